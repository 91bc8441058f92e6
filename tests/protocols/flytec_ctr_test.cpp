// Airspace ("CTR") transfer with Flytec/Brauniger instruments: the sentences of an upload, the
// acknowledgement and download parsers, and both directions against the emulator over a
// pseudo-terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "protocols/flytec/flytec_ctr.hpp"
#include "protocols/flytec_harness.hpp"

namespace tracora::protocols {
namespace {

using device::AccessFunction;
using flytec::FlytecFault;
using flytec::FlytecStep;
using test_support::FlytecSessionTest;

// "$" + body + "*" + XOR of the body in two upper-case hex digits + CR LF.
// `text` padded with blanks to the instrument's 17 characters.
std::string Pad(const std::string& text) {
    return text + std::string(17 - text.size(), ' ');
}

std::string Sentence(const std::string& body) {
    unsigned x = 0;
    for (const char c : body) {
        x ^= static_cast<unsigned char>(c);
    }
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "*%02X\r\n", x);
    return "$" + body + checksum;
}

CtrSegment Point(double latitude, double longitude) {
    CtrSegment s;
    s.kind = CtrSegmentKind::kPoint;
    s.position = {latitude, longitude};
    return s;
}

CtrSegment Circle(double latitude, double longitude, int radius) {
    CtrSegment s;
    s.kind = CtrSegmentKind::kCircle;
    s.centre = {latitude, longitude};
    s.radiusMetres = radius;
    return s;
}

CtrSegment ArcByAngles(double latitude, double longitude, int radius, double from, double to,
                       char direction) {
    CtrSegment s;
    s.kind = CtrSegmentKind::kArcByAngles;
    s.centre = {latitude, longitude};
    s.radiusMetres = radius;
    s.startBearing = from;
    s.endBearing = to;
    s.direction = direction;
    return s;
}

CtrSegment ArcByEndpoints(DegreePosition centre, DegreePosition start, DegreePosition end,
                          char direction) {
    CtrSegment s;
    s.kind = CtrSegmentKind::kArcByEndpoints;
    s.centre = centre;
    s.start = start;
    s.end = end;
    s.direction = direction;
    return s;
}

CtrArea Area(const std::string& name, const std::string& floor, std::vector<CtrSegment> segments) {
    CtrArea area;
    area.name = name;
    area.floor = floor;
    area.selected = true;
    area.segments = std::move(segments);
    return area;
}

std::vector<std::string> Texts(const CtrArea& area, bool xon = false) {
    std::vector<flytec::CtrSentence> sentences;
    EXPECT_TRUE(flytec::CtrSentences(area, flytec::kCtrUploadIdentifier, xon, sentences));
    std::vector<std::string> texts;
    for (const auto& s : sentences) {
        texts.push_back(s.text);
    }
    return texts;
}

// Three points and one arc: N = 8, sentences 000 to 007; a name of 20 characters cut to 17;
// -45.5 degrees as 4530.000,S and 7.25 degrees east as 00715.000,E.
TEST(CtrSentences, ThreePointsAndAnArcAreEightSentences) {
    const CtrArea area =
        Area("ABCDEFGHIJKLMNOPQRST", "GND",
             {Point(-45.5, 7.25), Point(-45.5, 7.5), Point(-45.25, 7.5),
              ArcByEndpoints({-45.25, 7.25}, {-45.25, 7.5}, {-45.5, 7.25}, kCounterClockwise)});
    EXPECT_EQ(flytec::CtrSentenceCount(area), 8);
    std::vector<flytec::CtrSentence> sentences;
    ASSERT_TRUE(flytec::CtrSentences(area, flytec::kCtrUploadIdentifier, true, sentences));
    const std::vector<std::string> expected = {
        "\x11" + Sentence("PBRCTRW,008,000,ABCDEFGHIJKLMNOPQ,0200"),
        "\x11" + Sentence("PBRCTRW,008,001," + Pad("GND")),
        "\x11" + Sentence("PBRCTRW,008,002,P,4530.000,S,00715.000,E"),
        "\x11" + Sentence("PBRCTRW,008,003,P,4530.000,S,00730.000,E"),
        "\x11" + Sentence("PBRCTRW,008,004,P,4515.000,S,00730.000,E"),
        "\x11" + Sentence("PBRCTRW,008,005,X,4515.000,S,00715.000,E"),
        "\x11" + Sentence("PBRCTRW,008,006,T,4515.000,S,00730.000,E,-"),
        "\x11" + Sentence("PBRCTRW,008,007,Z,4530.000,S,00715.000,E,-"),
    };
    ASSERT_EQ(sentences.size(), expected.size());
    const int pauses[] = {100, 100, 100, 100, 100, 200, 200, 100};
    const bool ends[] = {false, false, true, true, true, false, false, true};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sentences[i].text, expected[i]) << i;
        EXPECT_EQ(sentences[i].pauseMs, pauses[i]) << i;
        EXPECT_EQ(sentences[i].endsSegment, ends[i]) << i;
    }
}

TEST(CtrSentences, TextsArePaddedAndCleanedCirclesCarryTheRadius) {
    CtrArea area = Area("TMA,1*", "FL 95", {Circle(46.5, -7.25, 3704)});
    area.warningDistance = 350;
    EXPECT_EQ(Texts(area), (std::vector<std::string>{
                               Sentence("PBRCTRW,003,000," + Pad("TMA 1 ") + ",0350"),
                               Sentence("PBRCTRW,003,001," + Pad("FL 95")),
                               Sentence("PBRCTRW,003,002,C,4630.000,N,00715.000,W,03704"),
                           }));
}

// Bearings 0 and 90 with 1852 m: the start due north and the end due east of the centre on the
// UTM plane. The centre lies on the central meridian of zone 32; the expected positions are
// GeoConvert's for northing + 1852 and easting + 1852 (46.0166686 N 9 E, 45.9999975 N
// 9.0239177 E).
TEST(CtrSentences, ArcByBearingsIsSentByItsEndPoints) {
    const CtrArea area = Area("ARC", "", {ArcByAngles(46, 9, 1852, 0, 90, kClockwise)});
    EXPECT_EQ(Texts(area), (std::vector<std::string>{
                               Sentence("PBRCTRW,005,000," + Pad("ARC") + ",0200"),
                               Sentence("PBRCTRW,005,001," + Pad("")),
                               Sentence("PBRCTRW,005,002,X,4600.000,N,00900.000,E"),
                               Sentence("PBRCTRW,005,003,T,4601.000,N,00900.000,E,+"),
                               Sentence("PBRCTRW,005,004,Z,4600.000,N,00901.435,E,+"),
                           }));
}

TEST(CtrSentences, MoreThan997PointsAndNoSegmentsAreRefused) {
    CtrArea area = Area("BIG", "", {});
    std::vector<flytec::CtrSentence> sentences;
    EXPECT_FALSE(flytec::CtrSentences(area, flytec::kCtrUploadIdentifier, true, sentences));
    for (int i = 0; i < 997; ++i) {
        area.segments.push_back(Point(46 + i * 1e-3, 7));
    }
    ASSERT_TRUE(flytec::CtrSentences(area, flytec::kCtrUploadIdentifier, true, sentences));
    EXPECT_EQ(sentences.size(), 999u);
    EXPECT_NE(sentences.back().text.find("PBRCTRW,999,998,P,"), std::string::npos);
    area.segments.push_back(Point(47, 7));
    EXPECT_FALSE(flytec::CtrSentences(area, flytec::kCtrUploadIdentifier, true, sentences));
    EXPECT_TRUE(sentences.empty());
}

TEST(CtrAck, StatusesAndFormatCodes) {
    struct Case {
        std::string bytes;
        int result;  // of the last byte
        char status;
    } cases[] = {
        {Sentence("PBRANS,1"), 0, '1'},
        {"noise" + Sentence("PBRANS,3"), 0, '3'},
        {Sentence("PBRANS,2extra"), 0, '2'},
        {"$PBRANX", -1, 0},
        {"$PBRANS,1*g", -2, 0},
        {"$PBRANS,1*2a", -3, 0},
        {"$PBRANS,1*24\n", -4, 0},
        {"$PBRANS,1*24\r\r", -6, 0},
        {"$PBRANS,1*25\r\n", -5, 0},
    };
    for (const Case& c : cases) {
        flytec::CtrAckParser parser;
        int result = 1;
        for (const char byte : c.bytes) {
            result = parser.Feed(static_cast<std::uint8_t>(byte));
            if (result != 1) {
                break;
            }
        }
        EXPECT_EQ(result, c.result) << c.bytes;
        if (c.result == 0) {
            EXPECT_EQ(parser.Status(), c.status) << c.bytes;
        }
    }
    const std::pair<char, const char*> texts[] = {
        {'1', "CTR transfer ok"},         {'2', "Plausibility error"}, {'3', "No further memory"},
        {'4', "No more writing allowed"}, {'5', "NMEA syntax error"},  {'7', "Unknown ack. status"},
    };
    for (const auto& [status, text] : texts) {
        EXPECT_EQ(flytec::CtrAckText(status), text);
    }
}

TEST(CtrAssembler, SentencesAndFormatCodes) {
    struct Case {
        std::string bytes;
        int result;
    } cases[] = {
        {Sentence("PBRCTR,003,000,A,0200"), 0},
        {"$" + std::string(82, 'A') + "*", -1},
        {"$PBRCTR*x", -2},
        {"$PBRCTR*4x", -3},
        {"$PBRCTR*4E\n", -4},
        {"$PBRCTR*4E\r\r", -6},
        {"$PBRCTR*4F\r\n", -5},
    };
    for (const Case& c : cases) {
        flytec::CtrSentenceAssembler assembler;
        int result = 1;
        for (const char byte : c.bytes) {
            result = assembler.Feed(static_cast<std::uint8_t>(byte));
            if (result != 1) {
                break;
            }
        }
        EXPECT_EQ(result, c.result) << c.bytes;
    }
}

// Each sentence list is fed to a fresh parser; the last one gives `code`.
TEST(CtrListParser, FormatCodes) {
    const std::string head = "$PBRCTR,005,000,NAME,0200";
    const std::string remark = "$PBRCTR,005,001,GND";
    const std::string p2 = "$PBRCTR,005,002,P,4630.000,N,00715.000,E";
    struct Case {
        std::vector<std::string> sentences;
        int code;
    } cases[] = {
        {{"$PBRCTR"}, 1},
        {{"$PBRANS,0"}, 2},
        {{"$PBRXYZ,005,000,NAME,0200"}, 3},
        {{"$PBRCTR,"}, 4},
        {{"$PBRCTR,0x5,000"}, 5},
        {{"$PBRCTR,005"}, 6},
        {{"$PBRCTR,005,a"}, 7},
        {{"$PBRCTR,002,000,NAME,0200"}, 8},
        {{"$PBRCTR,005,001,NAME,0200"}, 9},
        {{"$PBRCTR,005,000,NAME"}, 10},
        {{"$PBRCTR,005,000,NAME,20m"}, 11},
        {{head, "$PBRCTR,005,002,GND"}, 13},
        {{head, remark, "$PBRCTR,005,003,P,4630.000,N,00715.000,E"}, 14},
        {{head, remark, "$PBRCTR,005,002"}, 15},
        {{head, remark, "$PBRCTR,005,002,Q,4630.000,N,00715.000,E"}, 16},
        {{head, remark, "$PBRCTR,005,002,P"}, 17},
        {{head, remark, "$PBRCTR,005,002,P,9030.000,N,00715.000,E"}, 18},
        {{head, remark, "$PBRCTR,005,002,P,4630,N,00715.000,E"}, 19},
        {{head, remark, "$PBRCTR,005,002,P,4630.000x,N,00715.000,E"}, 20},
        {{head, remark, "$PBRCTR,005,002,P,4630.000"}, 21},
        {{head, remark, "$PBRCTR,005,002,P,4630.000,E,00715.000,E"}, 22},
        {{head, remark, "$PBRCTR,005,002,P,4630.000,N"}, 23},
        {{head, remark, "$PBRCTR,005,002,P,4630.000,N,18015.000,E"}, 24},
        {{head, remark, "$PBRCTR,005,002,P,4630.000,N,00715,E"}, 25},
        {{head, remark, "$PBRCTR,005,002,P,4630.000,N,00715.0 0,E"}, 26},
        {{"$PBRCTR,003,000,C,0200", "$PBRCTR,003,001,", "$PBRCTR,003,002,C,4630.000,N,00715.000,E"},
         27},
        {{"$PBRCTR,003,000,C,0200", "$PBRCTR,003,001,",
          "$PBRCTR,003,002,C,4630.000,N,00715.000,E,2km"},
         28},
        {{head, remark, "$PBRCTR,005,002,X,4630.000,N,00715.000,E",
          "$PBRCTR,005,003,T,4630.000,N,00715.000,E"},
         29},
        {{head, remark, "$PBRCTR,005,002,X,4630.000,N,00715.000,E",
          "$PBRCTR,005,003,T,4630.000,N,00715.000,E,*"},
         30},
        {{head, remark, "$PBRCTR,005,002,P,4630.000,N,00715.000,N"}, 31},
        // A circle as sentence 3 of 5, and one in an airspace of 4 sentences.
        {{head, remark, p2, "$PBRCTR,005,003,C,4630.000,N,00715.000,E,01000"}, 34},
        {{"$PBRCTR,004,000,C,0200", "$PBRCTR,004,001,",
          "$PBRCTR,004,002,C,4630.000,N,00715.000,E,01000"},
         35},
        {{"$PBRCTR,003,000,X,0200", "$PBRCTR,003,001,", "$PBRCTR,003,002,X,4630.000,N,00715.000,E"},
         37},
        {{head, remark, "$PBRCTR,005,002,T,4630.000,N,00715.000,E,+"}, 38},
        {{"$PBRCTR,004,000,X,0200", "$PBRCTR,004,001,", "$PBRCTR,004,002,X,4630.000,N,00715.000,E",
          "$PBRCTR,004,003,T,4630.000,N,00715.000,E,+"},
         39},
        {{head, remark, "$PBRCTR,005,002,X,4630.000,N,00715.000,E",
          "$PBRCTR,005,003,P,4630.000,N,00715.000,E"},
         40},
        {{head, remark, "$PBRCTR,005,002,X,4630.000,N,00715.000,E",
          "$PBRCTR,005,003,T,4630.000,N,00715.000,E,+",
          "$PBRCTR,005,004,T,4630.000,N,00715.000,E,+"},
         41},
    };
    for (const Case& c : cases) {
        flytec::CtrListParser parser;
        int result = 0;
        for (const std::string& sentence : c.sentences) {
            result = parser.Sentence(sentence);
            if (result > 0) {
                break;
            }
        }
        EXPECT_EQ(result, c.code) << c.sentences.back();
    }
}

TEST(CtrListParser, ReadsAirspacesUntilTheFinalAnswer) {
    flytec::CtrListParser parser;
    const std::vector<std::string> sentences = {
        "$PBRCTR,003,000,ZONE A           ,0500",
        "$PBRCTR,003,001,FL 95            ",
        "$PBRCTR,003,002,C,4630.000,N,00715.000,W,03704",
        "$PBRCTR,006,000,ZONE B,0200",
        "$PBRCTR,006,001,GND",
        "$PBRCTR,006,002,P,4530.000,S,00715.500,E",
        "$PBRCTR,006,003,X,4515.000,S,00715.000,E",
        "$PBRCTR,006,004,T,4515.000,S,00730.000,E,+",
        "$PBRCTR,006,005,Z,4530.000,S,00715.000,E,-",
    };
    const int events[] = {flytec::kCtrAreaStarted, flytec::kCtrMore, flytec::kCtrAreaDone,
                          flytec::kCtrAreaStarted, flytec::kCtrMore, flytec::kCtrMore,
                          flytec::kCtrMore,        flytec::kCtrMore, flytec::kCtrAreaDone};
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        EXPECT_EQ(parser.Sentence(sentences[i]), events[i]) << i;
    }
    EXPECT_EQ(parser.Sentence("$PBRANS,1"), flytec::kCtrListDone);
    const auto& areas = parser.Areas();
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].name, "ZONE A");
    EXPECT_EQ(areas[0].floor, "FL 95");
    EXPECT_EQ(areas[0].floorValue, 9500);
    EXPECT_EQ(areas[0].warningDistance, 500);
    ASSERT_EQ(areas[0].segments.size(), 1u);
    EXPECT_EQ(areas[0].segments[0].kind, CtrSegmentKind::kCircle);
    EXPECT_DOUBLE_EQ(areas[0].segments[0].centre.latitude, 46.5);
    EXPECT_DOUBLE_EQ(areas[0].segments[0].centre.longitude, -7.25);
    EXPECT_EQ(areas[0].segments[0].radiusMetres, 3704);
    ASSERT_EQ(areas[1].segments.size(), 2u);
    EXPECT_DOUBLE_EQ(areas[1].segments[0].position.longitude, 7.25 + 0.5 / 60);
    const CtrSegment& arc = areas[1].segments[1];
    EXPECT_EQ(arc.kind, CtrSegmentKind::kArcByEndpoints);
    EXPECT_DOUBLE_EQ(arc.centre.latitude, -45.25);
    EXPECT_DOUBLE_EQ(arc.start.longitude, 7.5);
    EXPECT_DOUBLE_EQ(arc.end.latitude, -45.5);
    EXPECT_EQ(arc.direction, '-');  // the Z sentence's
}

// ------------------------------------------------------------------ against the emulator

class FlytecCtrTest : public FlytecSessionTest {
protected:
    static std::vector<CtrArea> Uploads() {
        return {Area("ZONE A", "FL 95", {Circle(46.5, -7.25, 3704)}),
                Area("ZONE B", "GND",
                     {Point(-45.5, 7.25), Point(-45.5, 7.5),
                      ArcByEndpoints({-45.25, 7.25}, {-45.25, 7.5}, {-45.5, 7.25},
                                     kCounterClockwise)})};
    }
    const test_support::JobOutcome& Upload(std::vector<CtrArea> areas) {
        device::JobStart start = Start(AccessFunction::kWriteAirspace);
        start.airspaces = std::move(areas);
        return Run(std::move(start));
    }
    std::vector<CtrArea> Download(int& result) {
        device::JobStart start = Start(AccessFunction::kReadAirspace);
        std::vector<CtrArea> areas;
        start.completion = [&](device::GpsAccessJob& job) {
            result = job.result;
            areas = std::move(job.airspaces);
        };
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        return areas;
    }
};

TEST_F(FlytecCtrTest, UploadedAirspacesAreStoredAndReadBack) {
    flytec::FlytecEmulatorConfig config;
    config.airspaces = {Area("STORED", "1500ft", {Circle(47, 8, 1000)})};
    auto& emu = StartEmulator(config);
    const auto& out = Upload(Uploads());
    EXPECT_EQ(out.result, 0);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_TRUE(sink.SawStatus("CTR transfer ok"));
    EXPECT_TRUE(sink.SawStatus("3 CTR segments sent"));
    EXPECT_TRUE(sink.SawStatus("Waiting for CTR transfer ack."));
    const auto received = emu.CtrSentencesReceived();
    ASSERT_EQ(received.size(), 3u + 7u);
    EXPECT_EQ(received[2] + "\r\n", Sentence("PBRCTRW,003,002,C,4630.000,N,00715.000,W,03704"));

    int result = -9;
    const std::vector<CtrArea> areas = Download(result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(sink.SawStatus("Receiving CTR list"));
    EXPECT_TRUE(sink.SawStatus("3 CTR(s) received"));
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(areas[0].name, "STORED");
    EXPECT_EQ(areas[1].name, "ZONE A");
    EXPECT_EQ(areas[1].floor, "FL 95");
    EXPECT_EQ(areas[1].segments[0].radiusMetres, 3704);
    EXPECT_EQ(areas[2].name, "ZONE B");
    ASSERT_EQ(areas[2].segments.size(), 3u);
    EXPECT_NEAR(areas[2].segments[0].position.latitude, -45.5, 1e-9);
    EXPECT_NEAR(areas[2].segments[2].end.longitude, 7.25, 1e-9);
    EXPECT_EQ(areas[2].segments[2].direction, '-');
}

TEST_F(FlytecCtrTest, OnlySelectedAirspacesGoAndATooLargeOneIsRefused) {
    auto& emu = StartEmulator({});
    std::vector<CtrArea> areas = Uploads();
    areas[0].selected = false;
    CtrArea big = Area("BIG", "", {});
    for (int i = 0; i < 998; ++i) {
        big.segments.push_back(Point(46 + i * 1e-3, 7));
    }
    areas.insert(areas.begin(), big);
    const auto& out = Upload(areas);
    EXPECT_EQ(out.result, -1);
    const auto errors = sink.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "CTR BIG: more than 997 points do not fit the GPS, not sent");
    const auto stored = emu.Airspaces();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].name, "ZONE B");
}

struct AckCase {
    const char* name;
    FlytecFault fault;
    const char* message;
    bool stored;  // the instrument stored the airspace (only its answer was lost)
};

class FlytecCtrAckTest : public FlytecCtrTest, public ::testing::WithParamInterface<AckCase> {};

// Any outcome but success stops the upload with -1 and its message; the airspace before it
// stays stored.
TEST_P(FlytecCtrAckTest, StopsTheUploadWithItsMessage) {
    auto& emu = StartEmulator({});
    emu.ArmFault(FlytecStep::kCtrAck, FlytecFault::kAckSyntax);  // taken by the first airspace
    emu.ArmFault(FlytecStep::kCtrAck, GetParam().fault);
    std::vector<CtrArea> areas = Uploads();
    areas.insert(areas.begin(), Area("FIRST", "", {Circle(45, 7, 500)}));
    // The first airspace is refused with '5'; the upload stops there.
    const auto& first = Upload(areas);
    EXPECT_EQ(first.result, -1);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "NMEA syntax error");
    EXPECT_EQ(sink.Errors()[0].title, "CTR upload acknowledge status");
    EXPECT_TRUE(emu.Airspaces().empty());

    const auto& second = Upload(Uploads());
    EXPECT_EQ(second.result, -1);
    const auto errors = sink.Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].text, GetParam().message);
    EXPECT_EQ(errors[1].title, "CTR upload acknowledge status");
    // The fault hit the first airspace of this upload; the second never went.
    EXPECT_EQ(emu.Airspaces().size(), GetParam().stored ? 1u : 0u);
    EXPECT_EQ(emu.CtrSentencesReceived().size(), 3u + 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, FlytecCtrAckTest,
    ::testing::Values(
        AckCase{"Plausibility", FlytecFault::kAckPlausibility, "Plausibility error", false},
        AckCase{"NoMemory", FlytecFault::kAckNoMemory, "No further memory", false},
        AckCase{"NoWriting", FlytecFault::kAckNoWriting, "No more writing allowed", false},
        AckCase{"Unknown", FlytecFault::kAckUnknown, "Unknown ack. status", false},
        AckCase{"Silence", FlytecFault::kSilence, "Missing CTR upload ack.", true},
        AckCase{"BadChecksum", FlytecFault::kBadChecksum, "E600 Format error 5", true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FlytecCtrTest, CutCableDuringTheAckFails) {
    auto& emu = StartEmulator({});
    emu.ArmFault(FlytecStep::kCtrAck, FlytecFault::kCutConnection);
    const auto& out = Upload(Uploads());
    EXPECT_EQ(out.result, -1);
    ASSERT_FALSE(sink.Errors().empty());
    EXPECT_EQ(sink.Errors()[0].text, "E601 COM port read error");
}

struct ListCase {
    const char* name;
    FlytecFault fault;
    const char* message;
};

class FlytecCtrListTest : public FlytecCtrTest, public ::testing::WithParamInterface<ListCase> {};

// A download that does not complete keeps nothing.
TEST_P(FlytecCtrListTest, FailsWithItsMessageAndNoAirspaces) {
    flytec::FlytecEmulatorConfig config;
    config.airspaces = Uploads();
    auto& emu = StartEmulator(config);
    emu.ArmFault(FlytecStep::kCtrList, GetParam().fault);
    int result = 0;
    const std::vector<CtrArea> areas = Download(result);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(areas.empty());
    const auto errors = sink.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, GetParam().message);
    EXPECT_EQ(errors[0].title, "Read CTR list");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FlytecCtrListTest,
    ::testing::Values(ListCase{"Silence", FlytecFault::kSilence,
                               "E704 CTR list incomplete: no answer from GPS"},
                      ListCase{"StopsHalfway", FlytecFault::kStopHalfway,
                               "E704 CTR list incomplete: no answer from GPS"},
                      ListCase{"BadChecksum", FlytecFault::kBadChecksum, "E703 Format error 5"},
                      ListCase{"Cut", FlytecFault::kCutConnection, "E701 COM port read error"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tracora::protocols
