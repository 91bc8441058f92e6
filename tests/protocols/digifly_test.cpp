// Digifly Air and Leonardo Pro: the requests, the memory answer and flight list parsers, the
// track and waypoint records, the page walk and the upload image on hand-built bytes (checksums
// and float bytes worked out by hand), then the real session routines against the emulator over
// a pseudo-terminal: the track log fix by fix against independent readers of the held flight,
// the flight list newest first, the pilot IDs, waypoints down and up, and the faults with their
// messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/angles.hpp"
#include "device/gps_job.hpp"
#include "protocols/digifly/digifly_emulator.hpp"
#include "protocols/digifly/digifly_frames.hpp"
#include "protocols/session_harness.hpp"

namespace tracora::protocols {
namespace {

using device::AccessFunction;
using digifly::DigiflyEmulator;
using digifly::DigiflyEmulatorConfig;
using digifly::DigiflyFault;
using digifly::DigiflyStep;

std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

TEST(DigiflyRequests, FixedAndBuiltSentences) {
    EXPECT_EQ(digifly::kProductRequest, "$PDGFVID*4E\r\n");
    EXPECT_EQ(digifly::ReadRequest(2, 255, 4000, 92), "$PDGFRMM,2,255,4000,92*48\r\n");
    EXPECT_EQ(digifly::ReadRequest(1, 230, 44, 44), "$PDGFRMM,1,230,44,44*47\r\n");
    const std::vector<std::uint8_t> two = {0x01, 0xAB};
    const std::string write = digifly::WriteRequest(230, 88, two);
    EXPECT_TRUE(write.starts_with("$PDGFWMM,1,230,88,2,01AB*")) << write;
    const auto parsed = digifly::ParseMemoryRequest(write.substr(0, write.size() - 2));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(parsed->write);
    EXPECT_EQ(parsed->bytes, two);
    EXPECT_FALSE(digifly::ParseMemoryRequest("$PDGFRMM,2,256,0,92*73").has_value());
}

int FeedAnswer(digifly::MemoryAnswerParser& parser, const std::string& text) {
    for (const char c : text) {
        if (const int rc = parser.Feed(static_cast<std::uint8_t>(c)); rc != 0) {
            return rc;
        }
    }
    return 0;
}

TEST(DigiflyMemoryAnswer, BytesInEitherCaseAndTheCodesOfEachFault) {
    digifly::MemoryAnswerParser parser;
    // Noise before the '$' is passed over.
    ASSERT_EQ(FeedAnswer(parser, "\r\n#$PDGFRMM,0102AbCd*6C\r\n"), 1);
    EXPECT_EQ(parser.Bytes(), (std::vector<std::uint8_t>{0x01, 0x02, 0xAB, 0xCD}));
    const std::pair<std::string, int> cases[] = {
        {"$PDGFRMX,", 15},    {"$PDGFRMM;01", 14},    {"$PDGFRMM,010*", 16},
        {"$PDGFRMM,0G", 18},  {"$PDGFRMM,01*G0", 19}, {"$PDGFRMM,0102AbCd*6D", 20},
        {"$PDGFRMM,01*6", 0},  // still waiting for the second digit
    };
    for (const auto& [text, code] : cases) {
        digifly::MemoryAnswerParser p;
        EXPECT_EQ(FeedAnswer(p, text), code) << text;
    }
    digifly::MemoryAnswerParser longer;
    EXPECT_EQ(FeedAnswer(longer, "$PDGFRMM," + std::string(202, '0')), 17);
    digifly::MemoryAnswerParser hundred;
    EXPECT_EQ(FeedAnswer(hundred, "$PDGFRMM," + std::string(200, '0') + "*"), 0);
}

int FeedList(digifly::FlightListParser& parser, const std::string& text) {
    for (const char c : text) {
        if (const int rc = parser.Feed(static_cast<std::uint8_t>(c)); rc != 0) {
            return rc;
        }
    }
    return 0;
}

// Three records: 1000-2000 s at 0x000000-0x000016, 5000-6000 s at page 1, 3000-4000 s at page 2
// (times in the system's seconds; the instrument adds 315,100,800).
constexpr const char* kThreeRecords =
    "6812C8125016C8120000001600000822C812F025C812000001160001381AC812201EC812000002160002";

TEST(DigiflyFlightList, RecordsNewestFirstAndEachError) {
    digifly::FlightListParser parser;
    ASSERT_EQ(FeedList(parser, std::string("$PDGFFLL,3,") +
                                   "6812c8125016c8120000001600000822c812f025c812000001160001381a"
                                   "c812201ec812000002160002*3C\r\n"),
              1);
    ASSERT_EQ(parser.Entries().size(), 3u);
    EXPECT_EQ(parser.Entries()[0].start, 1000u);
    EXPECT_EQ(parser.Entries()[0].end, 2000u);
    EXPECT_EQ(parser.Entries()[0].endAddress, 0x16u);
    EXPECT_EQ(parser.Entries()[1].startAddress, 0x010000u);
    const std::vector<digifly::FlightEntry> sorted = digifly::NewestFirst(parser.Entries());
    EXPECT_EQ(sorted[0].start, 5000u);
    EXPECT_EQ(sorted[1].start, 3000u);
    EXPECT_EQ(sorted[2].start, 1000u);

    const std::pair<std::string, int> cases[] = {
        {std::string("$PDGFFLL,2,") + kThreeRecords + "*1D\r\n", digifly::kListCountMismatch},
        {"$PDGFFLL,1,5016C8126812C812000000160000*6A\r\n", digifly::kListEndBeforeStart},
        {"$PDGFXLL,1,", digifly::kListBadSentence},
        {"$PDGFFLL,x", digifly::kListBadCount},
        {"$PDGFFLL,,", digifly::kListBadCount},
        {"$PDGFFLL,1,6812C8125016C81200000016000*", digifly::kListBadFormat},
        {"$PDGFFLL,1,6812C8125016C8120000001600*", digifly::kListBadFormat},
        {"$PDGFFLL,1,68Z", digifly::kListBadFormat},
        {std::string("$PDGFFLL,3,") + kThreeRecords + "*1D\r\n", digifly::kListBadChecksum},
    };
    for (const auto& [text, code] : cases) {
        digifly::FlightListParser p;
        EXPECT_EQ(FeedList(p, text), code) << text;
        EXPECT_STRNE(digifly::FlightListParserText(code), "");
    }
    EXPECT_STREQ(digifly::FlightListParserText(digifly::kListCountMismatch),
                 "Number of tracks detected unequal to track count indication");
}

TEST(DigiflyRecords, TrackRecordFields) {
    // Flag 1, one day after the system's epoch, 0.8 rad and -0.1 rad as floats, pressure 1234 m
    // and GPS -20 m (both high byte first), bytes 15-20 unused.
    const std::vector<std::uint8_t> bytes = Bytes("010060C912CDCC4C3FCDCCCCBD04D2000000000000FFEC");
    ASSERT_EQ(bytes.size(), 23u);
    const TrackPoint p = digifly::ToTrackPoint(digifly::DecodeTrackRecord(bytes));
    EXPECT_EQ(p.flags, 1u);
    EXPECT_EQ(p.time, 86400u);
    // float(0.8) = 0.800000011920929 rad x 2^31 / pi = 546852228.61; float(-0.1) -> -68356528.58.
    EXPECT_EQ(p.latitude, 546852229);
    EXPECT_EQ(p.longitude, -68356529);
    EXPECT_EQ(p.pressureAltitude, 1234);
    EXPECT_EQ(p.gpsAltitude, -200);
    std::vector<std::uint8_t> again;
    digifly::AppendTrackRecord(again, digifly::DecodeTrackRecord(bytes));
    EXPECT_EQ(again, bytes);
}

TEST(DigiflyRecords, WaypointRecordAndEmptySlots) {
    std::vector<std::uint8_t> record = Bytes(
        "4C5A31202020CDCC4C3FCDCCCCBD70FE014C616E64696E67202057696D6D6973200000000000000000000000");
    ASSERT_EQ(record.size(), 44u);
    const auto w = digifly::DecodeWaypointRecord(record, 77);
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->Id(), "LZ1");
    EXPECT_EQ(w->Description(), "Landing Wimmis");
    EXPECT_EQ(w->latitude, 546852229);
    EXPECT_EQ(w->longitude, -68356529);
    EXPECT_EQ(w->altitude, -400);
    EXPECT_EQ(w->kind, kWaypointKindAirfield);
    EXPECT_EQ(w->time, 77u);
    std::vector<std::uint8_t> written;
    digifly::AppendWaypointRecord(written, *w);
    // Written back with the description padded to 16 characters (runs of blanks normalised).
    EXPECT_EQ(std::vector(written.begin(), written.begin() + 17),
              std::vector(record.begin(), record.begin() + 17));
    // Kind 3 (written for kind 0) and any other value read as kind 0.
    record[16] = 3;
    EXPECT_EQ(digifly::DecodeWaypointRecord(record, 0)->kind, kWaypointKindPoint);
    // 0xFF in the first byte is an empty slot whatever follows; so is an ID of blanks.
    record[0] = 0xFF;
    EXPECT_FALSE(digifly::DecodeWaypointRecord(record, 0).has_value());
    record[0] = ' ';
    record[1] = ' ';
    record[2] = ' ';
    EXPECT_FALSE(digifly::DecodeWaypointRecord(record, 0).has_value());
}

TEST(DigiflyTrackWalk, RecordsNeverCrossAPageEndAndPagesWrap) {
    struct Read {
        int page, offset, length;
        bool operator==(const Read&) const = default;
    };
    const auto walk = [](std::uint32_t start, std::uint32_t end) {
        digifly::TrackWalk w(start, end);
        std::vector<Read> reads;
        digifly::MemoryRead r;
        int rc = 0;
        while ((rc = w.Next(r)) == 1 && reads.size() < 100) {
            reads.push_back({r.page, r.offset, r.length});
            w.Advance(r);
        }
        if (rc != 0) {
            reads.push_back({-1, -1, rc});
        }
        return reads;
    };
    // Offset 4,000 of page 255: (4096 - 4000) / 23 = 4 records, then page 0 from offset 0 to
    // the end address 0x000044 (68, the last byte of the third record there).
    EXPECT_EQ(walk(255u << 16 | 4000u, 0x000044u),
              (std::vector<Read>{{255, 4000, 92}, {0, 0, 69}}));
    // Offset 4,050: only two records fit, 4,096 - 4,096 leaves none; one read of 46 bytes.
    EXPECT_EQ(walk(7u << 16 | 4050u, 8u << 16 | 22u),
              (std::vector<Read>{{7, 4050, 46}, {8, 0, 23}}));
    // Within one page: 5 records, reads of at most 92 bytes.
    EXPECT_EQ(walk(3u << 16 | 230u, 3u << 16 | (230u + 5 * 23 - 1)),
              (std::vector<Read>{{3, 230, 92}, {3, 322, 23}}));
    // An end before the start in the same page: nothing to read.
    EXPECT_TRUE(walk(3u << 16 | 230u, 3u << 16 | 100u).empty());
    // An end offset beyond the page is never reached: an error, not an endless walk.
    EXPECT_EQ(walk(3u << 16, 4u << 16 | 0xF123u),
              (std::vector<Read>{{-1, -1, digifly::kTrackEndUnreachable}}));
    // The emulator's layout agrees with the walk.
    EXPECT_EQ(digifly::TrackEndAddress(255u << 16 | 4000u, 7), 0x000044u);
    EXPECT_EQ(digifly::NextTrackAddress(255u << 16 | 4000u, 7), 0x000045u);
}

std::vector<Waypoint> NewWaypoints(int count) {
    std::vector<Waypoint> list;
    for (int i = 0; i < count; ++i) {
        Waypoint w;
        w.SetId("N" + std::to_string(i));
        w.latitude = DegreesToSemicircles(46 + i * 0.01);
        list.push_back(w);
    }
    return list;
}

std::vector<std::uint8_t> ImageWithSlots(const std::vector<int>& slots) {
    std::vector<std::uint8_t> image(186 * 44, 0xFF);
    for (const int slot : slots) {
        std::vector<std::uint8_t> record;
        Waypoint w;
        w.SetId("S" + std::to_string(slot));
        digifly::AppendWaypointRecord(record, w);
        std::copy(record.begin(), record.end(), image.begin() + slot * 44);
    }
    return image;
}

TEST(DigiflyUpload, OnlyAsManyAsFitAndOldSlotsCleared) {
    std::vector<int> used(180);
    for (int i = 0; i < 180; ++i) {
        used[static_cast<std::size_t>(i)] = i;
    }
    std::vector<std::uint8_t> full = ImageWithSlots(used);
    const std::vector<Waypoint> ten = NewWaypoints(10);
    const digifly::UploadPlan plan = digifly::PlanWaypointUpload(full, ten);
    EXPECT_EQ(plan.usedBefore, 180);
    EXPECT_EQ(plan.added, 6);
    EXPECT_EQ(plan.recordsToWrite, 186);
    EXPECT_EQ(digifly::DecodeWaypointRecord(std::span(full).subspan(185 * 44, 44), 0)->Id(), "N5");

    // Slots 0, 5 and 100 used: compacted to 0-2, two new at 3-4, and the records up to the
    // old slot 100 written (as empty ones) so that "S100" does not stay behind as a duplicate.
    std::vector<std::uint8_t> image = ImageWithSlots({0, 5, 100});
    const digifly::UploadPlan holes = digifly::PlanWaypointUpload(image, NewWaypoints(2));
    EXPECT_EQ(holes.usedBefore, 3);
    EXPECT_EQ(holes.highestUsed, 100);
    EXPECT_EQ(holes.recordsToWrite, 101);
    const char* ids[] = {"S0", "S5", "S100", "N0", "N1"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(digifly::DecodeWaypointRecord(
                      std::span(image).subspan(static_cast<std::size_t>(i) * 44, 44), 0)
                      ->Id(),
                  ids[i]);
    }
    for (std::size_t at = 5 * 44; at < image.size(); ++at) {
        ASSERT_EQ(image[at], 0xFF) << at;
    }

    // Two records a write, one at the end of the first page (record 92) and at the end.
    const std::vector<std::pair<int, int>> chunks = digifly::WriteChunks(96);
    ASSERT_EQ(chunks.size(), 49u);
    EXPECT_EQ(chunks[45], std::make_pair(90, 2));
    EXPECT_EQ(chunks[46], std::make_pair(92, 1));
    EXPECT_EQ(chunks[47], std::make_pair(93, 2));
    EXPECT_EQ(chunks[48], std::make_pair(95, 1));
}

// The positions travel as 32-bit floats in radians: half a unit in the last place below 2
// radians is at most 2^-24 rad, 3.4e-6 degrees.
constexpr double kFloatDegrees = 3.5e-6;

class DigiflySessionTest : public harness::EmulatorSessionTest<DigiflyEmulator> {
protected:
    void SetUp() override {
        EmulatorSessionTest::SetUp();
        EXPECT_TRUE(emulate::FlightFromIgc(harness::ReadIgc("marcourt.igc"), flight));
    }

    DigiflyEmulatorConfig Config() {
        DigiflyEmulatorConfig config;
        config.flights = {flight};
        config.userWaypoints = digifly::BuiltInWaypoints();
        return config;
    }

    int Run(AccessFunction function, int parameter = 1, std::vector<Waypoint> upload = {}) {
        device::JobStart start = Job(function, GpsProtocol::kLeonardo);
        start.parameter = parameter;
        start.waypoints = std::move(upload);
        start.selectedFlights = selected;
        start.competitionMode = competitionMode;
        return EmulatorSessionTest::Run(std::move(start)).result;
    }

    // The held flight fix by fix, its positions to within the float records' rounding, with
    // the pressure altitude.
    void ExpectHeldFixes() {
        ASSERT_EQ(track.points.size(), harness::OracleCount("marcourt.igc"));
        harness::ExpectOracleFixes(
            "marcourt.igc", track.points, 0,
            [](const TrackPoint& p, const harness::OracleFix& f, const std::string& where) {
                EXPECT_EQ(p.pressureAltitude, f.pressureAltitude) << where;
            },
            kFloatDegrees);
    }

    std::vector<TrackPoint> flight;
    std::bitset<256> selected;
    bool competitionMode = false;
    DownloadedTrackLog& track = outcome.track;
    std::vector<Waypoint>& waypoints = outcome.waypoints;
    device::FlightList& flights = outcome.flights;
    int& competitionId = outcome.competitionId;
    int& civlId = outcome.civlId;
};

TEST_F(DigiflySessionTest, TrackLogHasTheHeldFixesAtEachModelsSpeed) {
    auto& emu = StartEmulator(Config());
    for (const int parameter : {1, 0}) {
        SCOPED_TRACE(parameter);
        ASSERT_EQ(Run(AccessFunction::kReadTrackLog, parameter), 0) << FirstError();
        ExpectHeldFixes();
        EXPECT_EQ(track.sourceKind, 12);
        EXPECT_TRUE(track.timeIsUtc && track.gRecordEligible && track.hasPressureAltitude);
        EXPECT_EQ(track.productName, parameter == 1 ? "DigiflyAir" : "LeonardoPro");
        EXPECT_EQ(track.instrumentDescription,
                  parameter == 1 ? "DigiflyAir SN10457 SW2.14" : "LeonardoPro SN10457 SW2.14");
        EXPECT_TRUE(sink.SawStatus("1 tracks found"));
        const std::vector<std::string> statuses = sink.Statuses();
        EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [](const std::string& s) {
            return s.starts_with("Track position 30 (");
        }));
        EXPECT_TRUE(sink.ProgressEndsAtTotal());
    }
    // The first flight starts at offset 4,000 of page 255: four records, then page 0.
    const std::vector<std::string> requests = emu.Requests();
    const auto first = std::find(requests.begin(), requests.end(), "$PDGFRMM,2,255,4000,92*48");
    ASSERT_NE(first, requests.end());
    EXPECT_TRUE((first + 1)->starts_with("$PDGFRMM,2,0,0,92*")) << *(first + 1);
    EXPECT_EQ(emu.Events(),
              (std::vector<std::string>{"product request at 115200", "product request at 38400"}));
}

TEST_F(DigiflySessionTest, FlightsListedNewestFirstAndJoinedOldestFirst) {
    DigiflyEmulatorConfig config = Config();
    std::vector<TrackPoint> nextDay = flight;
    for (TrackPoint& p : nextDay) {
        p.time += 86400;
    }
    config.flights = {flight, nextDay};
    // Listed oldest first: the session lists them newest first.
    config.listOrder = {0, 1};
    StartEmulator(config);
    ASSERT_EQ(Run(AccessFunction::kReadFlightList), 0) << FirstError();
    EXPECT_EQ(flights.start[0], nextDay.front().time);
    EXPECT_EQ(flights.start[1], flight.front().time);
    EXPECT_EQ(flights.duration[0], flight.back().time - flight.front().time);
    EXPECT_TRUE(sink.SawStatus("2 tracks found"));

    selected.set(0);
    selected.set(1);
    ASSERT_EQ(Run(AccessFunction::kReadTrackLog), 0) << FirstError();
    ASSERT_EQ(track.points.size(), 2 * flight.size());
    EXPECT_EQ(track.points.front().time, flight.front().time);
    EXPECT_EQ(track.points.back().time, nextDay.back().time);
    EXPECT_EQ(track.points[flight.size()].flags & 1u, 0u);
    EXPECT_TRUE(sink.SawStatus(std::to_string(2 * flight.size()) + " points received"));
}

TEST_F(DigiflySessionTest, CompetitionModeFindsThePilotIdsInTheCompetitionList) {
    DigiflyEmulatorConfig config = Config();
    Waypoint comp;
    Waypoint civl;
    ASSERT_EQ(competition::EncodeIdWaypoint(competition::IdKind::kCompId, 12345, 0, comp), 0);
    ASSERT_EQ(competition::EncodeIdWaypoint(competition::IdKind::kCivlId, 678, 0, civl), 0);
    config.compWaypoints = {comp, civl};
    auto& emu = StartEmulator(config);
    competitionMode = true;
    ASSERT_EQ(Run(AccessFunction::kReadTrackLog), 0) << FirstError();
    EXPECT_EQ(competitionId, 12345);
    EXPECT_EQ(civlId, 678);
    EXPECT_EQ(track.points.size(), flight.size());
    EXPECT_TRUE(emu.WaitForRequest("$PDGFRMM,1,228,0,44*", 1000));
    EXPECT_TRUE(sink.SawStatus("Comp ID = 12345, CIVL ID = 678"));
}

TEST_F(DigiflySessionTest, WaypointsOfEachList) {
    DigiflyEmulatorConfig config = Config();
    config.compWaypoints = {digifly::BuiltInWaypoints()[2]};
    StartEmulator(config);
    ASSERT_EQ(Run(AccessFunction::kReadWaypoints, 1), 0) << FirstError();
    const std::vector<Waypoint> held = digifly::BuiltInWaypoints();
    ASSERT_EQ(waypoints.size(), held.size());
    for (std::size_t i = 0; i < held.size(); ++i) {
        EXPECT_EQ(waypoints[i].Id(), held[i].Id());
        EXPECT_EQ(waypoints[i].Description(), held[i].Description());
        EXPECT_NEAR(SemicirclesToDegrees(waypoints[i].latitude),
                    SemicirclesToDegrees(held[i].latitude), kFloatDegrees);
        EXPECT_NEAR(SemicirclesToDegrees(waypoints[i].longitude),
                    SemicirclesToDegrees(held[i].longitude), kFloatDegrees);
        EXPECT_EQ(waypoints[i].altitude, held[i].altitude);
        EXPECT_EQ(waypoints[i].kind, held[i].kind);
    }
    EXPECT_TRUE(sink.SawStatus("Reading waypoints (10)"));
    EXPECT_TRUE(sink.SawStatus("Reading waypoints (1)"));
    EXPECT_TRUE(sink.SawStatus("5 waypoints received"));
    ASSERT_EQ(Run(AccessFunction::kReadWaypoints, 3), 0) << FirstError();
    ASSERT_EQ(waypoints.size(), 1u);
    EXPECT_EQ(waypoints[0].Id(), "LZ1");
}

TEST_F(DigiflySessionTest, UploadCompactsAppendsAndClearsTheOldSlots) {
    auto& emu = StartEmulator(Config());
    // A stray record at slot 50 behind a gap: it moves to slot 5, and slot 50 must not keep it.
    std::vector<std::uint8_t> stray;
    Waypoint lone;
    lone.SetId("LONE");
    digifly::AppendWaypointRecord(stray, lone);
    emu.SetWaypointRecord(false, 50, stray);
    std::vector<Waypoint> upload = NewWaypoints(3);
    upload[1].longitude = DegreesToSemicircles(-7.25);
    upload[1].altitude = 1640;
    upload[1].SetDescription("Landing");
    ASSERT_EQ(Run(AccessFunction::kWriteWaypoints, 1, upload), 0) << FirstError();
    EXPECT_TRUE(sink.SawStatus("51 wpts sent (3 new, 0 errors)"));
    const auto stored = emu.StoredWaypoints(false);
    ASSERT_EQ(stored.size(), 9u);
    const char* ids[] = {"FIESCH", "NIESEN", "LZ1", "A-12", "DEAD", "LONE", "N0", "N1", "N2"};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(stored[i].first, static_cast<int>(i));
        EXPECT_EQ(stored[i].second.Id(), ids[i]);
    }
    for (std::size_t i = 0; i < upload.size(); ++i) {
        const Waypoint& w = stored[6 + i].second;
        EXPECT_NEAR(SemicirclesToDegrees(w.latitude), SemicirclesToDegrees(upload[i].latitude),
                    kFloatDegrees);
        EXPECT_NEAR(SemicirclesToDegrees(w.longitude), SemicirclesToDegrees(upload[i].longitude),
                    kFloatDegrees);
        EXPECT_EQ(w.altitude, upload[i].altitude);
        EXPECT_EQ(w.Description(), upload[i].Description());
    }
    // Two records a write, 26 writes for 51 records, all to the user pages.
    const std::vector<digifly::WriteCommand> writes = emu.Writes();
    ASSERT_EQ(writes.size(), 26u);
    EXPECT_EQ(writes.back().page, 230);
    EXPECT_EQ(writes.back().offset, 50 * 44);
    EXPECT_EQ(writes.back().bytes.size(), 44u);
}

TEST_F(DigiflySessionTest, UploadWithAMissingAnswerIsNoSuccess) {
    auto& emu = StartEmulator(Config());
    emu.ArmFault(DigiflyStep::kWrite, DigiflyFault::kSilence, 1);
    EXPECT_EQ(Run(AccessFunction::kWriteWaypoints, 1, NewWaypoints(2)), -1);
    EXPECT_EQ(FirstError(), "7 wpts sent (2 new, 1 errors)");
}

TEST_F(DigiflySessionTest, UploadIntoAFullListIsRefused) {
    DigiflyEmulatorConfig config = Config();
    for (int i = 0; i < 186; ++i) {
        Waypoint w;
        w.SetId("W" + std::to_string(i));
        config.compWaypoints.push_back(w);
    }
    auto& emu = StartEmulator(config);
    EXPECT_EQ(Run(AccessFunction::kWriteWaypoints, 3, NewWaypoints(1)), -1);
    EXPECT_EQ(FirstError(), "Waypoint buffer in GPS full");
    EXPECT_TRUE(emu.Writes().empty());
}

TEST_F(DigiflySessionTest, NoiseBeforeAnAnswerIsPassedOver) {
    auto& emu = StartEmulator(Config());
    emu.ArmFault(DigiflyStep::kTrack, DigiflyFault::kGarbage, 2);
    emu.ArmFault(DigiflyStep::kFlightList, DigiflyFault::kGarbage);
    ASSERT_EQ(Run(AccessFunction::kReadTrackLog), 0) << FirstError();
    EXPECT_EQ(track.points.size(), flight.size());
}

struct DigiflyFaultCase {
    const char* name;
    DigiflyStep step;
    DigiflyFault fault;
    const char* error;
};

class DigiflyFaultTest : public DigiflySessionTest,
                         public ::testing::WithParamInterface<DigiflyFaultCase> {};

TEST_P(DigiflyFaultTest, EndsWithItsMessage) {
    const DigiflyFaultCase& c = GetParam();
    DigiflyEmulatorConfig config = Config();
    config.stallMs = 2500;
    auto& emu = StartEmulator(config);
    emu.ArmFault(c.step, c.fault, c.step == DigiflyStep::kTrack ? 2 : 0);
    EXPECT_EQ(Run(AccessFunction::kReadTrackLog), -1);
    EXPECT_EQ(FirstError(), c.error);
    EXPECT_TRUE(track.points.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DigiflyFaultTest,
    ::testing::Values(DigiflyFaultCase{"ListSilence", DigiflyStep::kFlightList,
                                       DigiflyFault::kSilence, "Timeout reading flight list data"},
                      DigiflyFaultCase{"ListChecksum", DigiflyStep::kFlightList,
                                       DigiflyFault::kBadChecksum, "Bad NMEA checksum"},
                      DigiflyFaultCase{
                          "ListCount", DigiflyStep::kFlightList, DigiflyFault::kWrongCount,
                          "Number of tracks detected unequal to track count indication"},
                      DigiflyFaultCase{"CorruptEndAddress", DigiflyStep::kFlightList,
                                       DigiflyFault::kCorruptEnd, "Error 22 reading track log"},
                      DigiflyFaultCase{"MemoryChecksum", DigiflyStep::kTrack,
                                       DigiflyFault::kBadChecksum, "Error 20 reading track log"},
                      DigiflyFaultCase{"ByteCount", DigiflyStep::kTrack, DigiflyFault::kWrongCount,
                                       "Error 21 reading track log"},
                      DigiflyFaultCase{"Silence", DigiflyStep::kTrack, DigiflyFault::kSilence,
                                       "Error 12 reading track log"},
                      DigiflyFaultCase{"StopHalfway", DigiflyStep::kTrack,
                                       DigiflyFault::kStopHalfway, "Error 12 reading track log"},
                      DigiflyFaultCase{"Stall", DigiflyStep::kTrack, DigiflyFault::kStall,
                                       "Error 12 reading track log"},
                      DigiflyFaultCase{"CutCable", DigiflyStep::kTrack,
                                       DigiflyFault::kCutConnection, "Error 13 reading track log"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tracora::protocols
