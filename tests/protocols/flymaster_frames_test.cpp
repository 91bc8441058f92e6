// The Flymaster wire format without I/O: the packet receiver and the track decoder, the
// position mapping, the request sentences and the waypoint answers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/angles.hpp"
#include "protocols/flymaster/flymaster_frames.hpp"

namespace tracora::protocols::flymaster {
namespace {

// Feeds `bytes` into a receiver and a decoder as the session does; the decoder's code of the
// first failing packet, -1 for a bad checksum, 0 when all were taken.
int Decode(const std::string& bytes, TrackDecoder& decoder) {
    PacketReceiver receiver;
    for (const char c : bytes) {
        const auto event = receiver.Feed(static_cast<std::uint8_t>(c));
        if (event == PacketReceiver::Event::kBadChecksum) {
            return -1;
        }
        if (event == PacketReceiver::Event::kNone) {
            continue;
        }
        const std::uint8_t type =
            event == PacketReceiver::Event::kEnd ? kEndPacket : receiver.Type();
        if (const int code = decoder.Packet(type, receiver.Data()); code != 0) {
            return code;
        }
    }
    return 0;
}

std::string InfoPacket() {
    FlightInfo info;
    info.firmwareMajor = 1;
    info.firmwareMinor = 2;
    info.serial = 77;
    info.pilotName = "A PILOT";
    return EncodePacket(kFlightInfoPacket, EncodeFlightInfo(info));
}

// Key position: 46 deg N (2,760,000), 7 deg E (-420,000 on the wire), 1000 m, 900.0 hPa,
// 2021-03-06 10:34:11 UTC (668,342,051 s after 2000-01-01, from Python's calendar.timegm).
std::string KeyBytes() {
    std::string key = "\xA1\xA1\x11";
    const std::uint8_t data[17] = {0x40, 0x1D, 0x2A, 0x00,  // 2,760,000
                                   0x60, 0x97, 0xF9, 0xFF,  // -420,000
                                   0xE8, 0x03,              // 1000
                                   0x28, 0x23,              // 9000
                                   0x23, 0x17, 0xD6, 0x27,  // 668,342,051
                                   0x00};
    std::uint8_t sum = 0x11;
    for (const std::uint8_t b : data) {
        key += static_cast<char>(b);
        sum = static_cast<std::uint8_t>(sum ^ b);
    }
    key += static_cast<char>(sum);
    return key;
}

TEST(FlymasterPackets, KeyPositionAfterFlightInfoGivesTheFirstPoint) {
    TrackDecoder decoder;
    ASSERT_EQ(Decode(InfoPacket() + KeyBytes() + "\xA3\xA3", decoder), 0);
    ASSERT_TRUE(decoder.Ended());
    EXPECT_EQ(decoder.Info().serial, 77u);
    EXPECT_EQ(decoder.Info().pilotName, "A PILOT");
    ASSERT_EQ(decoder.Points().size(), 1u);
    const TrackPoint& p = decoder.Points()[0];
    EXPECT_NEAR(SemicirclesToDegrees(p.latitude), 46.0, 1e-7);
    // East is negative on the wire.
    EXPECT_NEAR(SemicirclesToDegrees(p.longitude), 7.0, 1e-7);
    EXPECT_EQ(p.gpsAltitude, 10000);
    EXPECT_EQ(p.time, 983'961'251u);
    EXPECT_EQ(p.flags, TrackPoint::kSegmentStart);
    // 900.0 hPa in the standard atmosphere: 988.5 m (44307.69 x (1 - (900/1013.25)^0.190284)).
    EXPECT_EQ(p.pressureAltitude, 988);
}

TEST(FlymasterPackets, StrayByteBetweenTheTypeBytesRestartsTheHunt) {
    TrackDecoder decoder;
    std::string key = KeyBytes();
    key.insert(1, "\x20");
    // The hunt finds no confirmed type in the broken packet: its bytes are skipped, until the
    // next whole packet.
    ASSERT_EQ(Decode(InfoPacket() + key + KeyBytes(), decoder), 0);
    EXPECT_EQ(decoder.Points().size(), 1u);
    // Another type byte replaces the candidate.
    PacketReceiver receiver;
    EXPECT_EQ(receiver.Feed(0xA2), PacketReceiver::Event::kNone);
    EXPECT_EQ(receiver.Feed(0xA3), PacketReceiver::Event::kNone);
    EXPECT_EQ(receiver.Feed(0xA3), PacketReceiver::Event::kEnd);
}

TEST(FlymasterPackets, DeltaRecordsMoveTheRunningValues) {
    TrackDecoder decoder;
    // Latitude -1, longitude +2 (1/60,000 degree further west), altitude -3, pressure +4,
    // time 0; then time +255.
    const std::vector<std::uint8_t> deltas = {0xFF, 0x02, 0xFD, 0x04, 0x00, 0x00,
                                              0x00, 0x00, 0x00, 0x00, 0xFF, 0x00};
    ASSERT_EQ(
        Decode(InfoPacket() + KeyBytes() + EncodePacket(kDeltaPositionPacket, deltas), decoder), 0);
    const std::vector<TrackPoint>& p = decoder.Points();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_NEAR(SemicirclesToDegrees(p[1].latitude), 46.0 - 1.0 / 60000, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(p[1].longitude), 7.0 - 2.0 / 60000, 1e-7);
    EXPECT_EQ(p[1].gpsAltitude, 9970);
    EXPECT_EQ(p[1].time, p[0].time);
    EXPECT_EQ(p[1].flags, 0u);
    EXPECT_EQ(p[2].time, p[0].time + 255);
}

TEST(FlymasterPackets, BrokenPacketsAreNamed) {
    struct Case {
        std::string bytes;
        int code;
    };
    const std::vector<Case> cases = {
        {InfoPacket() + KeyBytes() +
             EncodePacket(kDeltaPositionPacket, std::vector<std::uint8_t>(7)),
         kBadDeltaLength},
        {InfoPacket() + KeyBytes() + EncodePacket(kDeltaPositionPacket, {}), kBadDeltaLength},
        {InfoPacket() + EncodePacket(kDeltaPositionPacket, std::vector<std::uint8_t>(6)),
         kMissingKeyPosition},
        {EncodePacket(kFlightInfoPacket, std::vector<std::uint8_t>(62)), kShortFlightInfo},
        {InfoPacket() + EncodePacket(kKeyPositionPacket, std::vector<std::uint8_t>(16)),
         kShortKeyPosition},
        {KeyBytes() + "\xA3\xA3", kMissingFlightInfo},
    };
    for (const Case& c : cases) {
        TrackDecoder decoder;
        EXPECT_EQ(Decode(c.bytes, decoder), c.code) << TrackErrorText(c.code);
    }
    std::string bad = KeyBytes();
    bad.back() = static_cast<char>(bad.back() ^ 1);
    TrackDecoder decoder;
    EXPECT_EQ(Decode(InfoPacket() + bad, decoder), -1);
    EXPECT_STREQ(TrackErrorText(kBadDeltaLength), "E205 Bad track position block length");
}

TEST(FlymasterPackets, PositionRangesAreChecked) {
    WirePosition p;
    p.latitude = 5'400'001;
    TrackDecoder decoder;
    EXPECT_EQ(decoder.Packet(kKeyPositionPacket, EncodeKeyPosition(p)), kLatitudeRange);
    p.latitude = -5'400'000;
    p.longitude = 10'800'001;
    EXPECT_EQ(decoder.Packet(kKeyPositionPacket, EncodeKeyPosition(p)), kLongitudeRange);
}

TEST(FlymasterPositions, MappingOfTheEdgeValues) {
    WirePosition p;
    p.longitude = 600'000;
    EXPECT_NEAR(SemicirclesToDegrees(ToTrackPoint(p).longitude), -10.0, 1e-7);
    EXPECT_EQ(PressureAltitude(10'132), 0);
    EXPECT_EQ(PressureAltitude(-10'132), 0);
    // The emulator's inverse finds a pressure for every altitude of a flight to within 1 m.
    for (int metres = -300; metres < 9000; metres += 7) {
        EXPECT_LE(std::abs(PressureAltitude(PressureForAltitude(metres)) - metres), 1) << metres;
    }
}

TEST(FlymasterSentences, RequestsCarryLowerCaseChecksums) {
    // The fixed requests as the instrument's documentation gives them.
    EXPECT_EQ(LowerHexSentence("PFMWPL,"), kWaypointRequest);
    EXPECT_EQ(LowerHexSentence("PFMOFF"), kPowerOffRequest);
    // 2021-03-06 10:34:11 UTC.
    EXPECT_EQ(TrackRequest(983961251), "$PFMDNL,210306103411,*1d\r\n");
    EXPECT_EQ(AltitudeAlarmSentence(3000), "$PFMALT,3000,*01\r\n");
}

TEST(FlymasterSentences, CommasAndStarsNeverShiftThePilotFields) {
    const std::string plt = PilotDataSentence("Doe, John*", "12,3", "Ozone", "Enzo 3");
    EXPECT_EQ(plt.substr(0, plt.find('*')), "$PFMPLT,Doe  John ,12 3,Ozone,Enzo 3,");
    EXPECT_EQ(PilotIdsSentence(-1, 12345, "A,B").substr(0, 19), "$PFMIDS,,12345,A B*");
    EXPECT_EQ(PilotIdsSentence(7, -1, "A"), "$PFMIDS,7,,A*5f\r\n");
}

TEST(FlymasterWaypoints, AnswerFieldsAndFormatCodes) {
    FlymasterWaypointFields w;
    const std::string good = WaypointAnswer(46.5, -7.25, 1234, "Niesen  Kulm", true);
    ASSERT_EQ(ParseWaypointAnswer(good.substr(0, good.size() - 2), w), 0);
    EXPECT_DOUBLE_EQ(w.latitude, 46.5);
    EXPECT_DOUBLE_EQ(w.longitude, -7.25);
    EXPECT_EQ(w.name, "Niesen Kulm");
    EXPECT_TRUE(w.airfield);
    const Waypoint waypoint = ToWaypoint(w, 5);
    EXPECT_EQ(waypoint.Id(), "NIESEN");
    EXPECT_EQ(waypoint.Description(), "Niesen Kulm");
    EXPECT_EQ(waypoint.kind, kWaypointKindAirfield);
    EXPECT_EQ(waypoint.altitude, 1234);
    struct Case {
        std::string line;
        int code;
    };
    const std::vector<Case> cases = {
        {"$PFMWPL,46.5,N,7.2,E,12,X", 4},     {"$PFMWPL,46.5,N,7.2,E,12,X*G0", 1},
        {"$PFMWPL,46.5,N,7.2,E,12,X*000", 2}, {"$PFMWPL,46.5,N,7.2,E,12,X*00", 3},
        {"$PFMWPL,46.5,N,7.2,E,12", 5},       {"$PFMWPL,4x,N,7.2,E,12,X", 6},
        {"$PFMWPL,46.5,Q,7.2,E,12,X", 7},     {"$PFMWPL,46.5,N,,E,12,X", 8},
        {"$PFMWPL,46.5,N,7.2,X,12,X", 9},     {"$PFMWPL,46.5,N,7.2,E,a,X", 10},
        {"$PFMWPL,46.5,N,7.2,E,12,  ", 11},
    };
    for (const Case& c : cases) {
        std::string line = c.line;
        if (c.code != 4 && c.code != 1 && c.code != 2 && c.code != 3) {
            // A valid checksum, so that the field checks are reached.
            const std::string sentence = LowerHexSentence(line.substr(1));
            line = sentence.substr(0, sentence.size() - 2);
        }
        EXPECT_EQ(ParseWaypointAnswer(line, w), c.code) << c.line;
    }
}

TEST(FlymasterWaypoints, UploadSentenceAndBothAnswerForms) {
    Waypoint w;
    w.latitude = DegreesToSemicircles(46.5);
    w.longitude = DegreesToSemicircles(-7.25);
    w.altitude = 1234;
    w.kind = kWaypointKindAirfield;
    const std::string sentence = WaypointUploadSentence(w, "Lz, Reichenbach*");
    EXPECT_EQ(sentence.substr(0, sentence.find('*')),
              "$PFMWPR,4630.000,N,00715.000,W,,Lz  Reichenbach ,1234,1");
    const std::string name = UploadNameField("Lz, Reichenbach*");
    EXPECT_EQ(name, "Lz  Reichenbach ");
    // Software 1.14 echoes the name as sent; later ones answer ACK and the name upper-cased
    // with everything but letters and digits blanked.
    const std::string echo = "$PFMWPR,Lz  Reichenbach ";
    const std::string ack = "$PFMWPR,ACK,LZ  REICHENBACH ";
    const auto line = [](const std::string& body) {
        const std::string s = LowerHexSentence(body.substr(1));
        return s.substr(0, s.size() - 2);
    };
    EXPECT_EQ(CheckUploadAnswer(line(echo), "1.14", name), 0);
    EXPECT_EQ(CheckUploadAnswer(line(ack), "1.21", name), 0);
    EXPECT_EQ(CheckUploadAnswer(line(ack), "1.14", name), 7);
    EXPECT_EQ(CheckUploadAnswer(line(echo), "1.21", name), 5);
    EXPECT_EQ(CheckUploadAnswer(line("$PFMWPR,NAK,LZ  REICHENBACH "), "1.21", name), 6);
    EXPECT_EQ(CheckUploadAnswer(line("$PFMWPR,ACK"), "1.21", name), 5);
    EXPECT_EQ(CheckUploadAnswer(line("$PFMWPR,ACK,OTHER"), "1.21", name), 7);
    EXPECT_EQ(CheckUploadAnswer(line("$PFMWPR"), "1.14", name), 5);
}

}  // namespace
}  // namespace tracora::protocols::flymaster
