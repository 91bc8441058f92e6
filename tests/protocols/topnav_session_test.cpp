// The Top Navigator and XC Trainer family: the MXP lines, the block-structured log, the
// waypoint records and lines, and the real session routines run through the device layer
// against the push-mode emulator over a pseudo-terminal, with the kit's faults and the
// family's own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/format_registry.hpp"
#include "formats/tnlog/tn_log.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/topnav/topnav_emulator.hpp"
#include "protocols/topnav/topnav_frames.hpp"

namespace tracora::protocols::topnav {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;

constexpr int kJobDeadlineMs = 120'000;

std::vector<TrackPoint> FixturePoints(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
              FileReadStatus::kOk);
    std::vector<TrackPoint> points;
    EXPECT_TRUE(FlightFromIgc(text, points)) << name;
    return points;
}

// A position at a unit's resolution, worked out here from the definition of the units:
// degrees = semicircles x 180 / 2^31, rounded to 1/perDegree degree, back to semicircles
// rounded half away from zero.
std::int32_t AtResolution(std::int32_t semicircles, double perDegree) {
    const double degrees = semicircles * 180.0 / 2147483648.0;
    const double units = std::round(degrees * perDegree);
    return static_cast<std::int32_t>(std::round(units * 2147483648.0 / 180.0 / perDegree));
}

std::string WithSum(std::string text) {
    unsigned sum = 0;
    for (const char c : text)
        sum ^= static_cast<unsigned char>(c);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return text + hex;
}

// ---------------------------------------------------------------- MXP lines

// "@xc" F1-F4 "1234" S/N "00AB", "00", date-time, datum, positions, interval, format, "00".
std::string Header(const std::string& when = "240507103000", const std::string& count = "0003",
                   char format = '2', const std::string& id = "@xc") {
    return WithSum(id + "1234" + "00AB" + "00" + when + "01" + count + "01" + format + "00");
}

TEST(MxpLines, HeaderChecksInTheirOrder) {
    struct Case {
        std::string line;
        int result;
    };
    const std::string good = Header();
    std::string badSum = good;
    badSum[37] = badSum[37] == '0' ? '1' : '0';
    std::string noHexSum = good;
    noHexSum[36] = 'Z';
    const Case cases[] = {
        {good, 1},
        {Header("240507240000"), 1},  // hour 24 is accepted
        {Header("241307103000"), -7},
        {Header("24O507103000"), -6},
        {Header("240507103000", "0000"), 0},
        {Header("240507103000", "00G3"), -9},
        {Header("240507103000", "0003", '2', "@tn"), -5},
        {good.substr(0, 37), -2},  // one character short: never read from beyond the text
        {badSum, -4},
        {noHexSum, -3},
        {WithSum(std::string("@xc1234") + "00AB00240507103000" + "02" + "0003" + "01200"), -8},
        {WithSum(std::string("@xc1234") + "0XAB00240507103000" + "01" + "0003" + "01200"), -17},
    };
    for (const Case& c : cases) {
        MxpDecoder decoder(MxpModel::kXcTrainer, 0);
        EXPECT_EQ(decoder.ParseHeader(c.line), c.result) << c.line;
    }
    MxpDecoder decoder(MxpModel::kXcTrainer, 0);
    ASSERT_EQ(decoder.ParseHeader(good), 1);
    EXPECT_EQ(decoder.Description(), "XC Trainer V1.2-34, S/N 171");
    MxpDecoder topNav(MxpModel::kTopNavigator, 0);
    ASSERT_EQ(topNav.ParseHeader(Header("240507103000", "0003", '2', "@tn")), 1);
    EXPECT_EQ(topNav.Description(), "Top Navigator V1.234, S/N 171");
}

TEST(MxpLines, PositionsDecodeTimesPositionsAndAltitudes) {
    MxpDecoder decoder(MxpModel::kXcTrainer, 0);
    ASSERT_EQ(decoder.ParseHeader(Header("240507103000", "0003", '2')), 1);
    const std::uint32_t start = CalendarToTime(CalendarTime{2024, 5, 7, 10, 30, 0});
    TrackPoint point;
    // Record 1, offset 10 s, latitude 0x000001, longitude FFFFFF, altitudes 500 and 0x01F4.
    ASSERT_EQ(decoder.ParsePosition(WithSum("0001000A01000001FFFFFF01F401F5"), point), 1);
    EXPECT_EQ(point.time, start + 10);
    EXPECT_EQ(point.latitude, 497);
    EXPECT_EQ(point.longitude, -497);  // FFFFFF is -1/24000 degree
    EXPECT_EQ(point.pressureAltitude, 500);
    EXPECT_EQ(point.gpsAltitude, 5010);
    EXPECT_EQ(point.flags, 1u);
    // A smaller offset is the next day.
    ASSERT_EQ(decoder.ParsePosition(WithSum("0002000501000000000000FFFF0000"), point), 1);
    EXPECT_EQ(point.time, start + 86400 + 5);
    EXPECT_EQ(point.pressureAltitude, -1);
    EXPECT_EQ(point.flags, 0u);
    // Format 2 needs 30 characters before the checksum; 28 in all is too short.
    EXPECT_EQ(decoder.ParsePosition(WithSum("00030006010000000000000000"), point), -2);
    ASSERT_EQ(decoder.ParsePosition(WithSum("000300060100000000000000000000"), point), 0);
}

TEST(MxpLines, RecordNumbersMustFollowEachOther) {
    MxpDecoder decoder(MxpModel::kXcTrainer, 0);
    ASSERT_EQ(decoder.ParseHeader(Header("240507103000", "0009", '1')), 1);
    TrackPoint point;
    const char* numbers[] = {"0001", "0002", "0003"};
    for (const char* n : numbers)
        ASSERT_EQ(decoder.ParsePosition(WithSum(std::string(n) + "0000010000000000000064"), point),
                  1);
    EXPECT_EQ(point.gpsAltitude, 1000);  // format 1: altitude A is the GPS altitude
    EXPECT_EQ(point.pressureAltitude, 0);
    EXPECT_EQ(decoder.ParsePosition(WithSum("00050000010000000000000064"), point), -12);
    MxpDecoder second(MxpModel::kXcTrainer, 0);
    ASSERT_EQ(second.ParseHeader(Header("240507103000", "0009", '1')), 1);
    EXPECT_EQ(second.ParsePosition(WithSum("00020000010000000000000064"), point), -12);
    EXPECT_EQ(MxpErrorText(-12), "E202 Bad record number sequence");
    EXPECT_EQ(MxpErrorText(-99), "E202 Unknown error");
}

TEST(MxpLines, TopNavigatorTimesAreLocal) {
    MxpDecoder decoder(MxpModel::kTopNavigator, 7200);
    ASSERT_EQ(decoder.ParseHeader(Header("240507103000", "0001", '1', "@tn")), 1);
    TrackPoint point;
    ASSERT_EQ(decoder.ParsePosition(WithSum("00010000010000000000000064"), point), 0);
    EXPECT_EQ(point.time, CalendarToTime(CalendarTime{2024, 5, 7, 8, 30, 0}));
}

TEST(LineAssembler, CountsCrLfAndRefusesLongLines) {
    LineAssembler assembler;
    for (const char c : std::string("AB\r"))
        EXPECT_EQ(assembler.Feed(static_cast<std::uint8_t>(c)), LineAssembler::kGoesOn);
    EXPECT_EQ(assembler.Feed('\n'), LineAssembler::kComplete);
    EXPECT_EQ(assembler.Text(), "AB");
    EXPECT_EQ(assembler.Length(), 4u);
    LineAssembler longLine;
    int result = 0;
    for (int i = 0; i < 100 && result != LineAssembler::kTooLong; ++i)
        result = longLine.Feed('A');
    EXPECT_EQ(result, LineAssembler::kTooLong);
}

// ---------------------------------------------------------------- waypoint records and lines

TEST(WaypointRecord, RoundTripsAndRefusesDamage) {
    Waypoint waypoint;
    waypoint.SetId("ABC");
    waypoint.latitude = AtResolution(555'000'000, 6000);
    waypoint.longitude = AtResolution(-90'000'000, 6000);
    waypoint.altitude = 1234;
    const WaypointRecord record = EncodeWaypointRecord(waypoint);
    EXPECT_EQ(record[4], 0x81);
    EXPECT_EQ(record[5], 0x04);  // 1234 big-endian
    EXPECT_EQ(record[6], 0xD2);
    EXPECT_EQ(record[29], '\r');
    Waypoint back;
    ASSERT_EQ(DecodeWaypointRecord(record, 77, back), 0);
    EXPECT_EQ(back.Id(), "ABC");
    EXPECT_EQ(back.Description(), "ABC");  // the blank padding is dropped
    EXPECT_EQ(back.latitude, waypoint.latitude);
    EXPECT_EQ(back.longitude, waypoint.longitude);
    EXPECT_EQ(back.altitude, 1234);
    EXPECT_EQ(back.time, 77u);
    WaypointRecord damaged = record;
    damaged[28] ^= 1;
    EXPECT_EQ(DecodeWaypointRecord(damaged, 0, back), -2);
    damaged = record;
    damaged[0] = '#';
    EXPECT_EQ(DecodeWaypointRecord(damaged, 0, back), -3);
}

TEST(TnWaypointLine, ParsesTheFieldsAndIgnoresTheRest) {
    Waypoint waypoint;
    ASSERT_TRUE(ParseTnWaypointLine("ABC___ TPT N 46 30 15 E 7 30 15 1200 m", 5, waypoint));
    EXPECT_EQ(waypoint.Id(), "ABC");
    EXPECT_EQ(waypoint.altitude, 1200);
    // 46 deg 30' 15" = 167415" x 4.848136811095e-06 rad, in semicircles (2^31 / pi a radian).
    EXPECT_EQ(waypoint.latitude, static_cast<std::int32_t>(std::lround(167415 * 4.848136811095e-06 *
                                                                       2147483648.0 / M_PI)));
    const char* ignored[] = {"ABC___ TPT N 46 30 15 E 7 30 15 1200",
                             "; a comment",
                             "",
                             "ABC___ TPX N 46 30 15 E 7 30 15 1200 m",
                             "ABC___ TPT N 90 30 15 E 7 30 15 1200 m",
                             "______ TPT N 46 30 15 E 7 30 15 1200 m"};
    for (const char* line : ignored)
        EXPECT_FALSE(ParseTnWaypointLine(line, 5, waypoint)) << line;
    ASSERT_TRUE(ParseTnWaypointLine("LOW TPT S 1 2 3 W 4 5 6 -20 m", 5, waypoint));
    EXPECT_EQ(waypoint.altitude, 0);
    EXPECT_LT(waypoint.latitude, 0);
    EXPECT_LT(waypoint.longitude, 0);
}

// ---------------------------------------------------------------- the block-structured log

std::string Start() {
    return tnlog::EncodeTnStart(1, 0x0ABC, 2024, 5, 7);
}
std::string Pos(int lat) {
    return tnlog::EncodeTnPosition(lat, 600, 1000, 0, 1);
}

TEST(TnLog, GarbledLineSplitsTheBlockAndCountsBack) {
    tnlog::TnLogParser parser(false, 0);
    ASSERT_EQ(parser.ProcessLine(Start()), 1);
    ASSERT_EQ(parser.ProcessLine(tnlog::EncodeTnBlockLine(36000)), 1);
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(parser.ProcessLine(i == 2 ? std::string("garbled") : Pos(i)), 1);
    ASSERT_EQ(parser.ProcessLine(tnlog::EncodeTnBlockLine(36030)), 1);
    ASSERT_EQ(parser.ProcessLine(Pos(9)), 1);
    ASSERT_EQ(parser.ProcessLine("@EOF"), 0);
    const std::uint32_t base = CalendarToTime(CalendarTime{2024, 5, 7, 10, 0, 0});
    const auto& points = parser.Points();
    ASSERT_EQ(points.size(), 6u);
    EXPECT_EQ(points[0].time, base);
    EXPECT_EQ(points[1].time, base + 1);
    EXPECT_EQ(points[2].time, base + 30 - 3);  // lines 4-6 of 6 count back from + 30
    EXPECT_EQ(points[4].time, base + 29);
    EXPECT_EQ(points[5].time, base + 30);
    EXPECT_EQ(points[0].flags, 1u);
    EXPECT_EQ(points[5].flags, 0u);
    EXPECT_EQ(points[0].gpsAltitude, 10000);
    EXPECT_EQ(parser.ErrorBlocks(), 1);
}

TEST(TnLog, BlockErrorsAndTheDayChange) {
    {
        tnlog::TnLogParser parser(false, 0);
        parser.ProcessLine(Start());
        parser.ProcessLine(tnlog::EncodeTnBlockLine(100));
        EXPECT_EQ(parser.ProcessLine(tnlog::EncodeTnBlockLine(120)), -2);
    }
    {
        tnlog::TnLogParser parser(false, 0);
        parser.ProcessLine(Start());
        EXPECT_EQ(parser.ProcessLine("123"), -1);  // no block line after the start record
    }
    {
        tnlog::TnLogParser parser(false, 7200);
        parser.ProcessLine(Start());
        parser.ProcessLine(tnlog::EncodeTnBlockLine(86400 - 40));
        parser.ProcessLine(Pos(1));
        ASSERT_EQ(parser.ProcessLine(tnlog::EncodeTnBlockLine(10)), 1);
        parser.ProcessLine(Pos(2));
        ASSERT_EQ(parser.ProcessLine("@EOF"), 0);
        const std::uint32_t day = CalendarToTime(CalendarTime{2024, 5, 7, 0, 0, 0});
        ASSERT_EQ(parser.Points().size(), 2u);
        EXPECT_EQ(parser.Points()[0].time, day + 86400 - 40 - 7200);
        EXPECT_EQ(parser.Points()[1].time, day + 86400 + 10 - 7200);
    }
    {
        tnlog::TnLogParser parser(false, 0);
        parser.ProcessLine(Start());
        parser.ProcessLine(tnlog::EncodeTnBlockLine(100));
        int result = 1;
        for (int i = 0; i < 41 && result == 1; ++i)
            result = parser.ProcessLine(Pos(i));
        EXPECT_EQ(result, -3);
    }
}

TEST(TnLog, FileWithoutEndGivesNoPoints) {
    const std::string body =
        Start() + "\r\n" + tnlog::EncodeTnBlockLine(100) + "\r\n" + Pos(1) + "\r\n";
    tnlog::TnFileResult result = tnlog::ReadTnLogFile(body, 0);
    EXPECT_EQ(result.message, "Missing end-of-file record");
    EXPECT_TRUE(result.points.empty());
    EXPECT_EQ(tnlog::ReadTnLogFile("nothing\r\n", 0).message, "Missing start record");
    result = tnlog::ReadTnLogFile(body + "@EOF\r\n", 0);
    EXPECT_TRUE(result.message.empty());
    EXPECT_EQ(result.points.size(), 1u);
    EXPECT_EQ(tnlog::ReadTnLogFile(body + tnlog::EncodeTnBlockLine(110) + "\r\n", 0).message,
              "Error 2 on block line 3");
}

TEST(UtcOffset, DialogChoicesAndSeconds) {
    struct Case {
        int hours;
        bool half;
        int seconds;
    };
    const Case cases[] = {{2, false, 7200},   {5, true, 19800},     {0, true, 1800},
                          {-3, true, -12600}, {-12, false, -43200}, {12, true, 45000}};
    for (const Case& c : cases) {
        EXPECT_EQ(tnlog::UtcOffsetFromChoice({c.hours, c.half}), c.seconds) << c.seconds;
        const tnlog::UtcOffsetChoice back = tnlog::UtcOffsetToChoice(c.seconds);
        EXPECT_EQ(back.hours, c.hours) << c.seconds;
        EXPECT_EQ(back.halfHour, c.half) << c.seconds;
    }
}

// A Top Navigator log file read by its format, the UTC offset applied as for a download.
TEST(TnLog, FileFormatReadsWithTheUtcOffset) {
    const formats::FormatRecord* format = formats::FormatForPath("flight.tnl");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->id, "tnlog");
    tnlog::SetTnUtcOffset(3600);
    const std::string file = Start() + "\r\n" + tnlog::EncodeTnBlockLine(36000) + "\r\n" + Pos(1) +
                             "\r\n" + Pos(2) + "\r\n@EOF\r\n";
    formats::ReadResult read = format->read(file);
    tnlog::SetTnUtcOffset(0);
    ASSERT_EQ(read.status, 2) << read.message;
    EXPECT_EQ(read.track[0].time, CalendarToTime(CalendarTime{2024, 5, 7, 9, 0, 0}));
    EXPECT_FALSE(read.timesAreUtc);
    read = format->read(file.substr(0, file.size() - 6));
    EXPECT_EQ(read.status, -1);
    EXPECT_EQ(read.message, "Missing end-of-file record");
}

// ---------------------------------------------------------------- sessions

struct Outcome {
    int result = 999;
    DownloadedTrackLog track;
    std::vector<Waypoint> waypoints;
    std::string productName, productText, instrumentDescription;
};

class TopnavSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        layer.SetPortName(pty.SlavePath());
        layer.SetOpenAttempts(2);
        tnlog::SetTnUtcOffset(0);
    }
    void TearDown() override {
        layer.WaitForJobEnd();
        if (emulator)
            emulator->Stop();
        tnlog::SetTnUtcOffset(0);
    }

    TopnavEmulator& StartEmulator(TopnavEmulatorConfig config) {
        config.slaveFd = pty.SlaveFd();
        emulator = std::make_unique<TopnavEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }

    device::JobStart Start(AccessFunction function, GpsProtocol protocol) {
        device::JobStart start;
        start.function = function;
        start.protocol = protocol;
        start.completion = [this](device::GpsAccessJob& job) {
            outcome.result = job.result;
            outcome.track = std::move(job.track);
            outcome.waypoints = job.waypoints;
            outcome.productName = job.productName;
            outcome.productText = job.productText;
            outcome.instrumentDescription = job.instrumentDescription;
        };
        return start;
    }

    const Outcome& Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        EXPECT_FALSE(layer.Running());
        return outcome;
    }

    std::string FirstError() {
        const auto errors = sink.Errors();
        return errors.empty() ? std::string() : errors[0].text;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<TopnavEmulator> emulator;
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    Outcome outcome;
};

// Compares a download with the held flight at the unit's resolution.
void ExpectFlight(const std::vector<TrackPoint>& got, const std::vector<TrackPoint>& held,
                  double perDegree, int format) {
    ASSERT_EQ(got.size(), held.size());
    for (std::size_t i = 0; i < held.size(); ++i) {
        ASSERT_EQ(got[i].time, held[i].time) << i;
        ASSERT_EQ(got[i].latitude, AtResolution(held[i].latitude, perDegree)) << i;
        ASSERT_EQ(got[i].longitude, AtResolution(held[i].longitude, perDegree)) << i;
        ASSERT_EQ(got[i].gpsAltitude, format == 0 ? 0 : held[i].gpsAltitude) << i;
        ASSERT_EQ(got[i].pressureAltitude, format == 1 ? 0 : held[i].pressureAltitude) << i;
        ASSERT_EQ(got[i].flags, i == 0 ? 1u : 0u) << i;
    }
}

TEST_F(TopnavSessionTest, XcTrainerMxpDownloadHoldsTheFlight) {
    TopnavEmulatorConfig config;
    config.flight = FixturePoints("marcourt.igc");
    config.transfers = 1;  // the line keeps the session's settings afterwards
    StartEmulator(config);
    const Outcome& out = Run(Start(AccessFunction::kReadTrackLog, GpsProtocol::kXcTrainerMxp));
    ASSERT_EQ(out.result, 0) << FirstError();
    EXPECT_TRUE(sink.Errors().empty());
    ExpectFlight(out.track.points, config.flight, 24000, 2);
    EXPECT_EQ(out.track.sourceKind, 3);
    EXPECT_FALSE(out.track.timeIsUtc);
    EXPECT_TRUE(out.track.gRecordEligible);
    EXPECT_TRUE(out.track.hasPressureAltitude);
    EXPECT_FALSE(out.track.rawProtocolData.empty());
    EXPECT_EQ(out.productName, "XcTrainer");
    EXPECT_EQ(out.productText, "XcTrainer: 4660");
    EXPECT_EQ(out.instrumentDescription, "XC Trainer V1.2-34, S/N 4660");
    EXPECT_TRUE(sink.SawStatus(std::to_string(config.flight.size()) + " points received"));
    EXPECT_TRUE(sink.SawStatus("Waiting for data"));
    // The bar counts the positions the header announced: 100 and 200 of 221, then all.
    const auto all = static_cast<long long>(config.flight.size());
    EXPECT_EQ(sink.Progress(),
              (std::vector<std::pair<long long, long long>>{{100, all}, {200, all}, {all, all}}));
    EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()).rfind("57600 8N1 xon/xoff", 0), 0u);
}

TEST_F(TopnavSessionTest, TopNavigatorMxpSubtractsTheUtcOffset) {
    tnlog::SetTnUtcOffset(7200);
    TopnavEmulatorConfig config;
    config.model = TopnavModel::kTopNavigator;
    config.altitudeFormat = 1;
    config.utcOffsetSeconds = 7200;
    config.flight = FixturePoints("20241007TZN.igc");
    config.transfers = 1;
    StartEmulator(config);
    const Outcome& out = Run(Start(AccessFunction::kReadTrackLog, GpsProtocol::kTopNavigatorMxp));
    ASSERT_EQ(out.result, 0) << FirstError();
    ExpectFlight(out.track.points, config.flight, 24000, 1);
    EXPECT_FALSE(out.track.hasPressureAltitude);
    EXPECT_EQ(out.productName, "TopNav");
    EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()), "57600 8N1");
}

TEST_F(TopnavSessionTest, BlockLogDownloadsOfBothUnits) {
    struct Case {
        TopnavModel model;
        GpsProtocol protocol;
        int format;
        const char* line;
    };
    const Case cases[] = {
        {TopnavModel::kTopNavigator, GpsProtocol::kTopNavigator, 1, "9600 8N1"},
        {TopnavModel::kXcTrainer, GpsProtocol::kXcTrainer, 2, "57600 8N1 xon/xoff"}};
    for (const Case& c : cases) {
        tnlog::SetTnUtcOffset(-3600);
        TopnavEmulatorConfig config;
        config.model = c.model;
        config.mode = TopnavMode::kTncm;
        config.altitudeFormat = c.format;
        config.utcOffsetSeconds = -3600;
        config.flight = FixturePoints("xctrack-2022-04-07.igc");
        config.transfers = 1;
        StartEmulator(config);
        const Outcome& out = Run(Start(AccessFunction::kReadTrackLog, c.protocol));
        ASSERT_EQ(out.result, 0) << FirstError();
        EXPECT_TRUE(sink.Errors().empty());
        ExpectFlight(out.track.points, config.flight, 6000, c.format);
        EXPECT_EQ(out.track.hasPressureAltitude, c.format != 1);
        EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()).rfind(c.line, 0), 0u) << c.line;
        EXPECT_EQ(out.productText, out.productName + ": " + std::to_string(0x1234));
        emulator->Stop();
        emulator.reset();
        TearDown();
        SetUp();
        outcome = Outcome{};
    }
}

TEST_F(TopnavSessionTest, XcTrainerWaypointsAreAnsweredAndStored) {
    TopnavEmulatorConfig config;
    config.mode = TopnavMode::kWaypoints;
    for (int i = 0; i < 3; ++i) {
        Waypoint w;
        w.SetId("WP" + std::to_string(i));
        w.latitude = AtResolution(500'000'000 + i * 1000, 6000);
        w.longitude = AtResolution(-60'000'000 - i, 6000);
        w.altitude = 100 * i;
        config.waypoints.push_back(w);
    }
    // XON and XOFF inside a binary record are data.
    config.waypoints[1].altitude = 0x1113;
    StartEmulator(config);
    const Outcome& out = Run(Start(AccessFunction::kReadWaypoints, GpsProtocol::kXcTrainer));
    ASSERT_EQ(out.result, 0) << FirstError();
    ASSERT_EQ(out.waypoints.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(out.waypoints[i].Id(), config.waypoints[i].Id());
        EXPECT_EQ(out.waypoints[i].latitude, config.waypoints[i].latitude);
        EXPECT_EQ(out.waypoints[i].longitude, config.waypoints[i].longitude);
        EXPECT_EQ(out.waypoints[i].altitude, config.waypoints[i].altitude);
    }
    EXPECT_EQ(emulator->Acks(), (std::vector<std::string>{"@@OK", "@@OK", "@@OK"}));
    EXPECT_TRUE(sink.SawStatus("3 waypoints received"));
}

TEST_F(TopnavSessionTest, TopNavigatorWaypointLinesEndAtEof) {
    TopnavEmulatorConfig config;
    config.model = TopnavModel::kTopNavigator;
    config.mode = TopnavMode::kWaypoints;
    Waypoint w;
    w.SetId("ABC");
    w.latitude = 555'000'000;
    w.longitude = 89'000'000;
    w.altitude = 1200;
    config.waypoints = {w, w};
    config.waypoints[1].SetId("DEF");
    TopnavEmulator& emu = StartEmulator(config);
    emu.ArmFault(TopnavStep::kStart, TopnavFault::kChecksum);  // the first line a comment
    const Outcome& out = Run(Start(AccessFunction::kReadWaypoints, GpsProtocol::kTopNavigator));
    ASSERT_EQ(out.result, 0) << FirstError();
    ASSERT_EQ(out.waypoints.size(), 1u);
    EXPECT_EQ(out.waypoints[0].Id(), "DEF");
    EXPECT_EQ(out.waypoints[0].altitude, 1200);
    EXPECT_EQ(emu.Acks().size(), 2u);  // the skipped line is answered too
}

TEST_F(TopnavSessionTest, UploadWritesOneRecordPerWaypoint) {
    TopnavEmulatorConfig config;
    config.mode = TopnavMode::kReceive;
    TopnavEmulator& emu = StartEmulator(config);
    auto start = Start(AccessFunction::kWriteWaypoints, GpsProtocol::kXcTrainer);
    for (int i = 0; i < 3; ++i) {
        Waypoint w;
        w.SetId("UP" + std::to_string(i));
        w.latitude = -400'000'000 + i;
        w.longitude = 1'000'000'000;
        w.altitude = i == 2 ? -50 : 700;
        start.waypoints.push_back(w);
    }
    const auto sent = start.waypoints;
    const Outcome& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    EXPECT_TRUE(sink.SawStatus("3 waypoints sent"));
    EXPECT_EQ(sink.Progress(),
              (std::vector<std::pair<long long, long long>>{{1, 3}, {2, 3}, {3, 3}}));
    emu.Stop();
    const std::vector<Waypoint> received = emu.Received();
    ASSERT_EQ(received.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(received[i].Id(), sent[i].Id());
        EXPECT_EQ(received[i].latitude, AtResolution(sent[i].latitude, 6000));
        EXPECT_EQ(received[i].longitude, AtResolution(sent[i].longitude, 6000));
        EXPECT_EQ(received[i].altitude, i == 2 ? 0 : 700);
    }
    EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()), "9600 8N1 xon/xoff");
}

struct FaultCase {
    const char* name;
    TopnavMode mode;
    GpsProtocol protocol;
    TopnavStep step;
    TopnavFault fault;
    const char* error;  // nullptr: the job succeeds
    bool succeeds;
};

class TopnavFaultTest : public TopnavSessionTest,
                        public ::testing::WithParamInterface<FaultCase> {};

TEST_P(TopnavFaultTest, EndsWithItsMessage) {
    const FaultCase& c = GetParam();
    TopnavEmulatorConfig config;
    config.mode = c.mode;
    config.flight = FixturePoints("marcourt.igc");
    if (c.mode == TopnavMode::kWaypoints) {
        for (int i = 0; i < 4; ++i) {
            Waypoint w;
            w.SetId("W" + std::to_string(i));
            config.waypoints.push_back(w);
        }
    }
    TopnavEmulator& emu = StartEmulator(config);
    emu.ArmFault(c.step, c.fault);
    const AccessFunction function = c.mode == TopnavMode::kWaypoints
                                        ? AccessFunction::kReadWaypoints
                                        : AccessFunction::kReadTrackLog;
    const Outcome& out = Run(Start(function, c.protocol));
    if (c.succeeds) {
        EXPECT_EQ(out.result, 0) << FirstError();
    } else {
        EXPECT_LT(out.result, 0);
        EXPECT_TRUE(out.track.points.empty());
        EXPECT_TRUE(out.waypoints.empty());
    }
    if (c.error == nullptr) {
        EXPECT_TRUE(sink.Errors().empty()) << FirstError();
    } else {
        EXPECT_EQ(FirstError(), c.error);
    }
}

using M = TopnavMode;
using S = TopnavStep;
using F = TopnavFault;
constexpr auto kXcMxp = GpsProtocol::kXcTrainerMxp;
constexpr auto kXc = GpsProtocol::kXcTrainer;

INSTANTIATE_TEST_SUITE_P(
    Faults, TopnavFaultTest,
    ::testing::Values(
        FaultCase{"MxpSilentUnit", M::kMxp, kXcMxp, S::kStart, F::kSilence, "E203 No data received",
                  false},
        FaultCase{"MxpShortHeader", M::kMxp, kXcMxp, S::kStart, F::kShort, "E202 Too short line",
                  false},
        FaultCase{"MxpShortPosition", M::kMxp, kXcMxp, S::kLine, F::kShort, "E202 Too short line",
                  false},
        FaultCase{"MxpBadChecksum", M::kMxp, kXcMxp, S::kLine, F::kChecksum, "E202 Bad checksum",
                  false},
        FaultCase{"MxpGarbageBeforeHeader", M::kMxp, kXcMxp, S::kStart, F::kGarbage,
                  "E202 Too short line", false},
        FaultCase{"MxpCut", M::kMxp, kXcMxp, S::kLine, F::kCut, "E201 COM port read error", false},
        FaultCase{"MxpStopsEarlyIsAWarning", M::kMxp, kXcMxp, S::kEnd, F::kStop,
                  "Only 220 of 221 track positions received", true},
        FaultCase{"TncmStopsBeforeEof", M::kTncm, kXc, S::kEnd, F::kStop,
                  "E204 Transfer stopped before the end of the log", false},
        FaultCase{"TncmSilentUnit", M::kTncm, kXc, S::kStart, F::kSilence, "E203 No data received",
                  false},
        FaultCase{"TncmGarbageIsSkipped", M::kTncm, kXc, S::kStart, F::kGarbage, nullptr, true},
        FaultCase{"TncmGarbledLineIsCounted", M::kTncm, kXc, S::kLine, F::kChecksum,
                  "Error(s) in 1 block(s) ignored", true},
        FaultCase{"TncmCut", M::kTncm, kXc, S::kLine, F::kCut, "E201 COM port read error", false},
        FaultCase{"WaypointBadChecksum", M::kWaypoints, kXc, S::kLine, F::kChecksum,
                  "E302 Format error 2", false},
        FaultCase{"WaypointCut", M::kWaypoints, kXc, S::kLine, F::kCut, "E301 COM port read error",
                  false}),
    [](const auto& param) { return std::string(param.param.name); });

// An abort while the unit is quiet, and one in the middle of the data, end without success.
TEST_F(TopnavSessionTest, AbortEndsEveryTransferWithoutSuccess) {
    struct Case {
        TopnavMode mode;
        GpsProtocol protocol;
        AccessFunction function;
        const char* waitFor;
    };
    const Case cases[] = {
        {TopnavMode::kMxp, kXcMxp, AccessFunction::kReadTrackLog, "Waiting for data"},
        {TopnavMode::kMxp, kXcMxp, AccessFunction::kReadTrackLog, nullptr},
        {TopnavMode::kTncm, kXc, AccessFunction::kReadTrackLog, "30 points received"},
        {TopnavMode::kWaypoints, kXc, AccessFunction::kReadWaypoints, "1 waypoints received"},
    };
    for (const Case& c : cases) {
        TopnavEmulatorConfig config;
        config.mode = c.mode;
        config.flight = FixturePoints("marcourt.igc");
        config.lineRateBaud = 1200;  // slow enough to abort midway
        for (int i = 0; i < 4; ++i) {
            Waypoint w;
            w.SetId("W" + std::to_string(i));
            config.waypoints.push_back(w);
        }
        StartEmulator(config);
        ASSERT_EQ(layer.StartGpsJob(Start(c.function, c.protocol)), 0);
        // Midway through an MXP transfer: the header has been taken (the device line shows
        // the unit).
        bool reached = false;
        if (c.waitFor != nullptr) {
            reached = sink.WaitForStatus(c.waitFor, kJobDeadlineMs);
        } else {
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(kJobDeadlineMs);
            while (!reached && std::chrono::steady_clock::now() < deadline) {
                reached = !sink.Statuses2().empty();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        ASSERT_EQ(layer.AbortGpsJob(), 0);
        layer.Join();
        EXPECT_TRUE(reached);
        EXPECT_LT(outcome.result, 0);
        EXPECT_EQ(sink.Statuses().back(), "Transfer aborted");
        EXPECT_TRUE(outcome.track.points.empty());
        EXPECT_TRUE(outcome.waypoints.empty());
        emulator->Stop();
        emulator.reset();
        TearDown();
        SetUp();
        outcome = Outcome{};
    }
}

}  // namespace
}  // namespace tracora::protocols::topnav
