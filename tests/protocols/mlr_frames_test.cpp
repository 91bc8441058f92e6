// The "$PMLR" sentences, the binary block frame and the MLR records and "$GPWPL" sentences on
// hand-built bytes: every expected value here was worked out from the protocol's rules by hand
// (sums and checksums included), not by our encoders.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/angles.hpp"
#include "protocols/common/block_frame.hpp"
#include "protocols/common/pmlr.hpp"
#include "protocols/mlr/mlr_frames.hpp"

namespace tracora::protocols {
namespace {

std::vector<std::uint8_t> Hex(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<FrameEvent> FeedAll(FrameDecoder& decoder, const std::vector<std::uint8_t>& bytes) {
    std::vector<FrameEvent> events;
    for (const std::uint8_t b : bytes) {
        const FrameEvent e = decoder.Feed(b);
        if (e != FrameEvent::kNone) {
            events.push_back(e);
        }
    }
    return events;
}

TEST(PmlrSentences, FixedSentencesFollowTheSumRule) {
    EXPECT_EQ(PmlrSum("$PMLR,06,00,"), 0x2A9);
    EXPECT_EQ(PmlrSentence("$PMLR,26,01,01,"), "$PMLR,26,01,01,0339\r\n");
    EXPECT_EQ(PmlrSentence("$PMLR,24,02,0101,"), "$PMLR,24,02,0101,0399\r\n");
    EXPECT_EQ(PmlrSentence("$PMLR,24,02,0301,"), "$PMLR,24,02,0301,039B\r\n");
    EXPECT_EQ(PmlrSentence("$PMLR,06,00,"), std::string(kPmlrEndSentence));
    EXPECT_EQ(PmlrSentence("$PMLR,59,1235,"), "$PMLR,59,1235,031C\r\n");
}

TEST(PmlrProduct, ParserTakesTheFieldsAndChecksTheXor) {
    // XOR of "PMLR,IDGPS,01,MLR SP24,XC,123,2.80,V2" is 0x4A.
    const std::string good = "noise$PMLR,IDGPS,01,MLR SP24,XC,123,2.80,V2*4A\r\n";
    PmlrProductParser parser(5, 40);
    int complete = 0;
    for (const char c : good) {
        complete += parser.Feed(static_cast<std::uint8_t>(c)) ? 1 : 0;
    }
    ASSERT_EQ(complete, 1);
    ASSERT_EQ(parser.Fields().size(), 5u);
    EXPECT_EQ(parser.Fields()[0], "MLR SP24");
    EXPECT_EQ(parser.Fields()[3], "2.80");
    const char* bad[] = {
        "$PMLR,IDGPS,01,MLR SP24,XC,123,2.80,V2*0C\r\n",    // checksum
        "$PMLR,IDGPS,01,MLR SP24,XC,123,2.80*4A\r\n",       // a field short
        "$PMLR,IDGPS,01,MLR SP24,XC\r,123,2.80,V2*4A\r\n",  // CR inside a field
    };
    for (const char* text : bad) {
        PmlrProductParser p(5, 40);
        bool done = false;
        for (const char* c = text; *c != '\0'; ++c) {
            done = done || p.Feed(static_cast<std::uint8_t>(*c));
        }
        EXPECT_FALSE(done) << text;
    }
}

TEST(BlockFrame, DecodesBeginDataAndEndFrames) {
    FrameDecoder decoder(mlr::kTrackShape);
    EXPECT_EQ(FeedAll(decoder, Hex("00ff8b055401444542555402590d0a")),
              std::vector<FrameEvent>{FrameEvent::kFrame});
    EXPECT_EQ(decoder.Type(), BlockType::kBegin);
    EXPECT_EQ(decoder.Number(), 5);
    EXPECT_EQ(FeedAll(decoder, Hex("8b0654010001000112c81c9020000000f0000000fffff60106730d0a")),
              std::vector<FrameEvent>{FrameEvent::kFrame});
    EXPECT_EQ(decoder.Type(), BlockType::kData);
    ASSERT_EQ(decoder.Count(), 1);
    const TrackRecord r = DecodeTrackRecord(decoder.Records());
    EXPECT_EQ(r.number, 1);
    EXPECT_EQ(r.time, 315100800u + 3600u);
    EXPECT_EQ(r.latitude, 0x20000000);
    EXPECT_EQ(r.longitude, -0x10000000);
    EXPECT_EQ(r.altitude, -10);
    EXPECT_EQ(r.flag, 1);
    EXPECT_EQ(FeedAll(decoder, Hex("8b06540146494e01c30d0a")),
              std::vector<FrameEvent>{FrameEvent::kFrame});
    EXPECT_EQ(decoder.Type(), BlockType::kEnd);
}

TEST(BlockFrame, ReportsEachBrokenPart) {
    struct Case {
        const char* name;
        std::string hex;
        FrameEvent event;
    };
    const Case cases[] = {
        {"count 0",
         "8b06540100"
         "00",
         FrameEvent::kBadCount},
        {"count 28",
         "8b06540100"
         "1c",
         FrameEvent::kBadCount},
        {"sum", "8b055401444542555402580d0a", FrameEvent::kBadChecksum},
        {"no CR",
         "8b05540144454255540259"
         "0a",
         FrameEvent::kNoCr},
        {"no LF",
         "8b05540144454255540259"
         "0d0d",
         FrameEvent::kNoLf},
        {"waypoint kind", "8b0557", FrameEvent::kWrongKind},
        {"kind number", "8b055402", FrameEvent::kWrongKindNumber},
        {"block type", "8b05540152", FrameEvent::kBadBlockType},
        {"begin text", "8b0554014445425554", FrameEvent::kNone},
        {"begin letter", "8b05540144454258", FrameEvent::kBadBeginText},
        {"end letter", "8b0654014649", FrameEvent::kNone},
        {"end letter wrong", "8b065401464958", FrameEvent::kBadEndText},
    };
    for (const Case& c : cases) {
        FrameDecoder decoder(mlr::kTrackShape);
        const std::vector<FrameEvent> events = FeedAll(decoder, Hex(c.hex));
        if (c.event == FrameEvent::kNone) {
            EXPECT_TRUE(events.empty()) << c.name;
        } else {
            EXPECT_EQ(events, std::vector<FrameEvent>{c.event}) << c.name;
        }
    }
}

TEST(BlockFrame, AFrameBrokenByAStartByteLetsTheNextOneThrough) {
    FrameDecoder decoder(mlr::kTrackShape);
    // A begin frame cut after its kind letter by the start of a whole one.
    const std::vector<FrameEvent> events = FeedAll(decoder, Hex("8b0554"
                                                                "8b055401444542555402590d0a"));
    EXPECT_EQ(events, (std::vector<FrameEvent>{FrameEvent::kWrongKindNumber, FrameEvent::kFrame}));
}

TEST(BlockFrame, WaypointFrameWithOneRecord) {
    FrameDecoder decoder(mlr::kWaypointShape);
    EXPECT_EQ(FeedAll(decoder, Hex("8b005702000141424344454612c80e8020000000f0000000fffff600"
                                   "07e60d0a")),
              std::vector<FrameEvent>{FrameEvent::kFrame});
    const Waypoint w = mlr::DecodeWaypointRecord(decoder.Records(), 77);
    EXPECT_EQ(w.Id(), "ABCDEF");
    EXPECT_EQ(w.latitude, 0x20000000);
    EXPECT_EQ(w.longitude, -0x10000000);
    EXPECT_EQ(w.altitude, -1);
    EXPECT_EQ(w.time, 77u);
    EXPECT_TRUE(w.Description().empty());
}

TEST(MlrRecords, TimeRuleAndAltitudes) {
    mlr::MlrProduct mlr{"MLR SP12", "", "", "3.10", ""};
    mlr::MlrProduct sp24old{"SP24 XC", "", "", "2.70", ""};
    TrackRecord r;
    r.time = 315'100'800;
    r.altitude = -10;
    r.flag = 1;
    EXPECT_EQ(mlr::ToTrackPoint(r, mlr::TimeOffset(mlr), false).time, 0u);
    EXPECT_EQ(mlr::ToTrackPoint(r, mlr::TimeOffset(sp24old), false).time,
              static_cast<std::uint32_t>(-14));
    EXPECT_EQ(mlr::ToTrackPoint(r, 0, false).gpsAltitude, -10);
    EXPECT_EQ(mlr::ToTrackPoint(r, 0, false).flags, 1u);
    r.flag = 0;
    EXPECT_EQ(mlr::ToTrackPoint(r, 0, true).flags, 1u);
    EXPECT_EQ(mlr::ToTrackPoint(r, 0, false).flags, 0u);
    EXPECT_EQ(mlr::WaypointAltitude(-10), -1);
    EXPECT_EQ(mlr::WaypointAltitude(-15), -2);
    EXPECT_EQ(mlr::WaypointAltitude(-14), -1);
    EXPECT_EQ(mlr::WaypointAltitude(15), 2);
    EXPECT_EQ(mlr::WaypointAltitude(14), 1);
}

TEST(MlrProduct, ModelRulesAndGpsClock) {
    struct Case {
        const char* text;
        const char* version;
        const char* name;
        const char* status;
        bool gpsClock;
    };
    const Case cases[] = {
        {"DGIFLY LEONARDO", "3.05", "Digifly", "Digifly F5 SW3.05", false},
        {"CPILOT EVO", "1.2", "CPilot", "CPilot F5 SW1.02", false},
        {"COMO", "2.10", "CoMo", "CoMo F5 SW2.10", false},
        {"SP24 XC", "1.99", "MLR", "MLR F5 SW1.99", true},
        {"SP24 XC", "2.00", "MLR", "MLR F5 SW2.00", true},
        {"SP24 XC", "2.71", "MLR", "MLR F5 SW2.71", true},
        {"SP24 XC", "2.72", "MLR", "MLR F5 SW2.72", false},
        {"SP24 XC", "9.89", "MLR", "MLR F5 SW9.89", false},
        {"SP24 XC", "9.90", "MLR", "MLR F5 SW9.90", true},
        {"SP12", "1.00", "MLR", "MLR F5 SW1.00", false},
    };
    for (const Case& c : cases) {
        const mlr::MlrProduct p = mlr::DecodeProduct({c.text, "F2", "SER9", c.version, " F5"});
        EXPECT_EQ(mlr::DisplayName(p), c.name) << c.text;
        EXPECT_EQ(mlr::StatusLine(p), c.status) << c.text << c.version;
        EXPECT_EQ(mlr::HasGpsClock(p), c.gpsClock) << c.text << c.version;
        EXPECT_EQ(mlr::DeviceIdentifier(p), std::string(c.name) + ": SER9");
        EXPECT_EQ(mlr::DeviceDescription(p), c.text);
    }
}

TEST(Gpwpl, ParsesByPositionAndChecksTheId) {
    const mlr::GpwplResult full =
        mlr::ParseGpwpl("$GPWPL,3357.120,S,07021.900,W,ABCDEF0LAGUNILLAS*75", 5);
    ASSERT_EQ(full.error, mlr::GpwplError::kNone);
    EXPECT_EQ(full.waypoint.Id(), "ABCDEF");
    EXPECT_EQ(full.waypoint.Description(), "LAGUNILLAS");
    EXPECT_NEAR(SemicirclesToDegrees(full.waypoint.latitude), -(33 + 57.12 / 60), 1e-6);
    EXPECT_NEAR(SemicirclesToDegrees(full.waypoint.longitude), -(70 + 21.9 / 60), 1e-6);
    EXPECT_EQ(full.waypoint.time, 5u);

    const mlr::GpwplResult padded =
        mlr::ParseGpwpl("$GPWPL,4630.000,N,00730.500,E,A-B   0x y                   *74", 0);
    ASSERT_EQ(padded.error, mlr::GpwplError::kNone);
    EXPECT_EQ(padded.waypoint.Id(), "A-B");
    EXPECT_EQ(padded.waypoint.Description(), "x y");

    struct Case {
        const char* line;
        mlr::GpwplError error;
    };
    const Case cases[] = {
        // The XOR checksums of these are right (worked out by hand); only the field is bad.
        {"$GPWPL,4630.000,N,00730.500,E,abc   0x*43", mlr::GpwplError::kIdCharacter},
        {"$GPWPL,4630.000,N,00730.500,E,      0x*03", mlr::GpwplError::kMissingId},
        {"$GPWPL,9000.000,N,00730.500,E,A     0x*00", mlr::GpwplError::kFormat},
        {"$GPWPL,4630.000,N,00730.500,E,A     0x*00", mlr::GpwplError::kFormat},
        {"$GPWPL,4630.000,N,18000.000,E,A     0x*00", mlr::GpwplError::kFormat},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mlr::ParseGpwpl(c.line, 0).error, c.error) << c.line;
    }
}

TEST(Gpwpl, UploadSentenceKeepsItsFields) {
    Waypoint w;
    w.SetId("A,B");
    w.SetDescription("x*y");
    w.latitude = DegreesToSemicircles(46.5);
    w.longitude = DegreesToSemicircles(7.0 + 30.5 / 60);
    EXPECT_EQ(mlr::GpwplSentence(w),
              "$GPWPL,4630.000,N,00730.500,E,A-B   0x y                   *74\r\n");
}

}  // namespace
}  // namespace tracora::protocols
