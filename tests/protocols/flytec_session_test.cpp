// The Flytec session routines against the emulator over a pseudo-terminal: every operation,
// the selection and joining of tracks, the G-record rule, and each fault with its message.
// Expected values come from the IGC texts read by hand, never from the code under test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocols/flytec/flytec_emulator.hpp"
#include "protocols/flytec_harness.hpp"

namespace tracora::protocols {
namespace {

using device::AccessFunction;
using flytec::EmulatedWaypoint;
using flytec::FlytecEmulatorConfig;
using flytec::FlytecFault;
using flytec::FlytecStep;
using test_support::FlytecSessionTest;
using test_support::kPromptMs;
using test_support::ReadFixture;
using test_support::ReadRealIgc;

// Receiver seconds (since 1989-12-31 00:00 UTC) of the first fixes, from the files' HFDTE and B
// records, converted with Python's calendar.timegm.
constexpr std::uint32_t kMarcourtStart = 983961251;  // 2021-03-06 10:34:11
constexpr std::uint32_t kMarcourtEnd = 983961471;    // 2021-03-06 10:37:51
constexpr std::uint32_t kTznStart = 1097216807;      // 2024-10-07 06:26:47
constexpr std::uint32_t kTznEnd = 1097217005;        // 2024-10-07 06:30:05

FlytecEmulatorConfig Flights(std::initializer_list<const char*> names) {
    FlytecEmulatorConfig config;
    for (const char* name : names) {
        config.flights.push_back(ReadFixture(name));
    }
    config.waypoints = flytec::BuiltInWaypoints();
    return config;
}

device::JobStart Select(device::JobStart start, std::initializer_list<int> slots) {
    for (const int slot : slots) {
        start.selectedFlights.set(static_cast<std::size_t>(slot));
    }
    return start;
}

TEST_F(FlytecSessionTest, OneTrackArrivesByteForByteWithProductDataAndPoints) {
    auto& emu = StartEmulator(Flights({"marcourt.igc"}));
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));

    EXPECT_EQ(out.result, 1);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_EQ(emu.Requests(),
              (std::vector<std::string>{"$PBRSNP,*21", "$PBRTL,*74", "$PBRTR,00*6A"}));
    EXPECT_EQ(out.track.rawIgc.text, ReadFixture("marcourt.igc"));
    ASSERT_EQ(out.track.points.size(), 221u);  // B records of the file
    const TrackPoint& first = out.track.points.front();
    // B1034115012954N00530990EA0016100331
    EXPECT_EQ(first.time, kMarcourtStart);
    EXPECT_EQ(first.latitude, 599099023);  // 50 deg 12.954 min N
    EXPECT_EQ(first.longitude, 65814409);  // 5 deg 30.990 min E
    EXPECT_EQ(first.gpsAltitude, 3310);    // 331 m in decimetres
    EXPECT_EQ(first.pressureAltitude, 161);
    EXPECT_EQ(first.flags, 1u);
    EXPECT_EQ(out.track.points.back().time, kMarcourtEnd);
    for (std::size_t i = 1; i < out.track.points.size(); ++i) {
        EXPECT_EQ(out.track.points[i].flags, 0u) << i;
    }
    EXPECT_EQ(out.track.sourceKind, kSourceKindFlytec);
    EXPECT_TRUE(out.track.gRecordEligible);
    EXPECT_TRUE(out.track.timeIsUtc);
    EXPECT_TRUE(out.track.hasPressureAltitude);

    EXPECT_EQ(out.productName, "Compeo+");
    EXPECT_EQ(out.instrumentDescription, "Compeo+ SN1234 SW1.22");
    EXPECT_EQ(out.productText, "Compeo+: 1234");
    EXPECT_EQ(out.track.productName, "Compeo+");
    EXPECT_EQ(out.track.instrumentDescription, "Compeo+ SN1234 SW1.22");
    EXPECT_EQ(out.track.productText, "Compeo+: 1234");
    EXPECT_EQ(sink.Statuses2(), (std::vector<std::string>{"COMPEO+, SN1234, SW1.22"}));
    for (const char* text :
         {"Requesting product info (2)", "Product data read", "Requesting track list",
          "1 tracks in track list found", "No track selected: the newest, track 1, is downloaded",
          "Requesting track log 1", "Receiving track log", "221 points received"}) {
        EXPECT_TRUE(sink.SawStatus(text)) << text;
    }
    EXPECT_TRUE(sink.SawStatus("Track position 201 (0m 0s)") ||
                sink.SawStatus("Track position 201 (0m 1s)"));
    const auto received = Notes();
    EXPECT_NE(std::find(received.begin(), received.end(), "Progress 101/?"), received.end());
    EXPECT_NE(std::find(received.begin(), received.end(), "Progress 201/?"), received.end());
    // The bar ends at the flight list's duration, the span of the B records.
    const long long listed = kMarcourtEnd - kMarcourtStart;
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
    EXPECT_EQ(sink.LastProgress(), std::make_pair(listed, listed));
}

// Both date-header forms, CR LF and LF line ends: the raw text is kept byte for byte and every
// B record becomes a point.
struct FixtureCase {
    const char* file;
    std::size_t fixes;  // B records, counted with grep
    std::uint32_t firstTime;
};

class FlytecFixtureTest : public FlytecSessionTest,
                          public ::testing::WithParamInterface<FixtureCase> {};

TEST_P(FlytecFixtureTest, DownloadKeepsTheTextAndReadsEveryFix) {
    const FixtureCase& c = GetParam();
    StartEmulator(Flights({c.file}));
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    EXPECT_EQ(out.result, 1);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_EQ(out.track.rawIgc.text, ReadFixture(c.file));
    ASSERT_EQ(out.track.points.size(), c.fixes);
    EXPECT_EQ(out.track.points.front().time, c.firstTime);
}

INSTANTIATE_TEST_SUITE_P(
    RealFiles, FlytecFixtureTest,
    ::testing::Values(FixtureCase{"marcourt.igc", 221, kMarcourtStart},  // HFDTEddmmyy, CR LF
                      FixtureCase{"20241007TZN.igc", 199, kTznStart},
                      // HFDTEDATE:200223,03 and LF only
                      FixtureCase{"lad_lod_extensions.igc", 424, 1045846019},
                      // HFDTEDATE:070422,01 with CR LF
                      FixtureCase{"xctrack-2022-04-07.igc", 294, 1018265690}),
    [](const auto& param) {
        std::string name = param.param.file;
        name = name.substr(0, name.find('.'));
        std::erase_if(name, [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); });
        return name;
    });

TEST_F(FlytecSessionTest, SeveralTracksAreJoinedOldestFirst) {
    // Slot 0 holds the newer flight: the download goes by slot, the join by time.
    auto& emu = StartEmulator(Flights({"20241007TZN.igc", "marcourt.igc"}));
    const auto& out = Run(Select(Start(AccessFunction::kReadTrackLog), {0, 1}));
    EXPECT_EQ(out.result, 1);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_EQ(emu.Requests(), (std::vector<std::string>{"$PBRSNP,*21", "$PBRTL,*74", "$PBRTR,00*6A",
                                                        "$PBRTR,01*6B"}));
    ASSERT_EQ(out.track.points.size(), 221u + 199u);
    EXPECT_EQ(out.track.points.front().time, kMarcourtStart);
    EXPECT_EQ(out.track.points[220].time, kMarcourtEnd);
    EXPECT_EQ(out.track.points[221].time, kTznStart);
    EXPECT_EQ(out.track.points.back().time, kTznEnd);
    EXPECT_EQ(out.track.points.front().flags, 1u);
    EXPECT_EQ(out.track.points[221].flags, 0u);
    EXPECT_EQ(out.track.rawIgc.text, ReadFixture("20241007TZN.igc") + ReadFixture("marcourt.igc"));
    EXPECT_TRUE(sink.SawStatus("199 points received"));
    EXPECT_TRUE(sink.SawStatus("420 points received"));
}

TEST_F(FlytecSessionTest, ReadAllTracksKeepsEachFlightASegment) {
    auto& emu = StartEmulator(Flights({"20241007TZN.igc", "marcourt.igc"}));
    auto start = Start(AccessFunction::kReadTrackLog);
    start.protocol = GpsProtocol::kReadAllFlytec;
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, 1);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_EQ(emu.Requests(), (std::vector<std::string>{"$PBRSNP,*21", "$PBRTL,*74", "$PBRTR,00*6A",
                                                        "$PBRTR,01*6B"}));
    ASSERT_EQ(out.track.points.size(), 420u);
    EXPECT_EQ(out.track.points.front().time, kMarcourtStart);
    EXPECT_EQ(out.track.points[221].time, kTznStart);
    EXPECT_EQ(out.track.points.front().flags, 1u);
    EXPECT_EQ(out.track.points[221].flags, 1u);
    EXPECT_TRUE(sink.SawStatus("Reading track log 2"));
    EXPECT_TRUE(sink.SawStatus("Reading track log 2   (201)"));
    EXPECT_EQ(sink.Statuses().back(), "Downloading completed");
    // The bar counts the flights read of the two.
    EXPECT_EQ(sink.Progress(), (std::vector<std::pair<long long, long long>>{{1, 2}, {2, 2}}));
}

TEST_F(FlytecSessionTest, OverlappingTracksAreRefused) {
    StartEmulator(Flights({"marcourt.igc", "marcourt.igc"}));
    const auto& out = Run(Select(Start(AccessFunction::kReadTrackLog), {0, 1}));
    EXPECT_LT(out.result, 0);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "Overlapping track start/stop times");
    EXPECT_EQ(sink.Errors()[0].title, "Read GPS track log");
    EXPECT_TRUE(out.track.points.empty());
}

TEST_F(FlytecSessionTest, TrackSelectionComesFromTheTrackList) {
    auto& emu = StartEmulator(Flights({"marcourt.igc", "20241007TZN.igc"}));
    // Slot 0 although slot 1 is newer; slot 9 holds no flight and is left out.
    const auto& out = Run(Select(Start(AccessFunction::kReadTrackLog), {0, 9}));
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(emu.Requests().back(), "$PBRTR,00*6A");
    EXPECT_EQ(out.track.points.size(), 221u);
}

TEST_F(FlytecSessionTest, SelectionOfEmptySlotsOnlyFails) {
    auto& emu = StartEmulator(Flights({"marcourt.igc"}));
    const auto& out = Run(Select(Start(AccessFunction::kReadTrackLog), {5}));
    EXPECT_LT(out.result, 0);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "None of the selected tracks is in the track list");
    EXPECT_EQ(emu.Requests().size(), 2u);  // product data and track list, no track request
}

TEST_F(FlytecSessionTest, NewestFlightWhenNobodyCanBeAsked) {
    auto& emu = StartEmulator(Flights({"20241007TZN.igc", "marcourt.igc"}));
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(emu.Requests().back(), "$PBRTR,00*6A");
    EXPECT_TRUE(sink.SawStatus("No track selected: the newest, track 1, is downloaded"));
    EXPECT_EQ(out.track.points.front().time, kTznStart);
}

TEST_F(FlytecSessionTest, ChooserDecidesWhenNothingWasSelected) {
    StartEmulator(Flights({"20241007TZN.igc", "marcourt.igc"}));
    auto start = Start(AccessFunction::kReadTrackLog);
    start.chooseFlights = [](const device::FlightList& list, std::bitset<256>& chosen) {
        EXPECT_EQ(list.start[0], kTznStart);
        EXPECT_EQ(list.start[1], kMarcourtStart);
        chosen.set(1);
        return true;
    };
    EXPECT_EQ(Run(std::move(start)).track.points.front().time, kMarcourtStart);

    // A cancelled choice ends the job without success.
    auto cancelled = Start(AccessFunction::kReadTrackLog);
    cancelled.chooseFlights = [](const device::FlightList&, std::bitset<256>&) { return false; };
    outcome = {};
    EXPECT_LT(Run(std::move(cancelled)).result, 0);
    EXPECT_TRUE(sink.SawStatus("Track selection cancelled"));
}

TEST_F(FlytecSessionTest, TrackWithoutGRecordsIsNotEligible) {
    StartEmulator(Flights({"skydrop-2019-04-15.igc"}));  // the file has no G record
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    EXPECT_EQ(out.result, 0);
    EXPECT_FALSE(out.track.gRecordEligible);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "No G-records found");
    EXPECT_EQ(sink.Errors()[0].title, "Read GPS track log");
    EXPECT_EQ(out.track.points.size(), 533u);
    EXPECT_EQ(out.track.points.front().time, 924251504u);  // 2019-04-15 08:31:44
    EXPECT_EQ(out.track.rawIgc.text, ReadFixture("skydrop-2019-04-15.igc"));
}

TEST_F(FlytecSessionTest, OneTrackWithoutGRecordsSpoilsTheJoinedLog) {
    auto config = Flights({"marcourt.igc", "20241007TZN.igc"});
    config.stripGRecords = true;
    StartEmulator(std::move(config));
    const auto& out = Run(Select(Start(AccessFunction::kReadTrackLog), {0, 1}));
    EXPECT_EQ(out.result, 0);
    EXPECT_FALSE(out.track.gRecordEligible);
    EXPECT_EQ(out.track.points.size(), 420u);
}

// The older firmware has no track list: the whole log comes with one request.
TEST_F(FlytecSessionTest, ModelWithoutTrackListSendsItsWholeLog) {
    auto config = Flights({"marcourt.igc"});
    config.product = {"COMPETINO", "PILOT", "77", "1.13"};
    config.hasTrackList = false;
    auto& emu = StartEmulator(std::move(config));
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(emu.Requests(), (std::vector<std::string>{"$PBRSNP,*21", "$PBRIGC,*21"}));
    EXPECT_EQ(out.productName, "Competino");
    EXPECT_EQ(out.instrumentDescription, "Competino SN77 SW1.13");
    EXPECT_EQ(out.track.points.size(), 221u);
    EXPECT_TRUE(sink.SawStatus("Requesting track log"));
    EXPECT_TRUE(sink.SawStatus("Track position 201"));
}

TEST_F(FlytecSessionTest, FlightListGoesToTheStatusAndTheCaller) {
    StartEmulator(Flights({"marcourt.igc", "20241007TZN.igc"}));
    const auto& out = Run(Start(AccessFunction::kReadFlightList));
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.flights.start[0], kMarcourtStart);
    EXPECT_EQ(out.flights.duration[0], 220u);  // 10:34:11 to 10:37:51
    EXPECT_EQ(out.flights.start[1], kTznStart);
    EXPECT_EQ(out.flights.duration[1], 198u);  // 06:26:47 to 06:30:05
    EXPECT_EQ(out.flights.start[2], 0u);
    EXPECT_TRUE(sink.SawStatus("2 tracks in track list found"));
    EXPECT_TRUE(sink.SawStatus("Track 1: 06.03.2021 10:34:11, 0:03:40"));
    EXPECT_TRUE(sink.SawStatus("Track 2: 07.10.2024 06:26:47, 0:03:18"));
    EXPECT_EQ(Notes(), (std::vector<std::string>{"Flightlist:\n2021.03.06,10:34:11,0:03:40\n"
                                                 "2024.10.07,06:26:47,0:03:18\n"}));
}

TEST_F(FlytecSessionTest, FlightListOfAModelWithoutOneFails) {
    auto config = Flights({"marcourt.igc"});
    config.product = {"COMPEO", "PILOT", "77", "2.19"};
    config.hasTrackList = false;
    StartEmulator(std::move(config));
    EXPECT_LT(Run(Start(AccessFunction::kReadFlightList)).result, 0);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "This instrument keeps no track list");
}

TEST_F(FlytecSessionTest, WaypointsAreRead) {
    StartEmulator(Flights({}));
    const auto& out = Run(Start(AccessFunction::kReadWaypoints));
    EXPECT_EQ(out.result, 0);
    ASSERT_EQ(out.waypoints.size(), 4u);
    // "$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234": no short name, the ID from the long one.
    const Waypoint& my = out.waypoints[0];
    EXPECT_EQ(my.Id(), "MY");
    EXPECT_EQ(my.Description(), "MY WPT");
    EXPECT_EQ(my.altitude, 1234);
    EXPECT_EQ(my.latitude, 554766609);  // 46.5 deg
    EXPECT_EQ(my.longitude, 89577906);  // 7 deg 30.5 min
    EXPECT_EQ(my.kind, 0);
    EXPECT_NE(my.time, 0u);
    EXPECT_EQ(out.waypoints[1].Id(), "FIESCH");
    EXPECT_EQ(out.waypoints[1].Description(), "FIESCH KUEHBODEN");
    const Waypoint& south = out.waypoints[3];  // 33 57.120 S, 70 21.900 W
    EXPECT_EQ(south.latitude, -405063138);
    EXPECT_EQ(south.longitude, -839487149);
    EXPECT_TRUE(sink.SawStatus("Receiving waypoints"));
    EXPECT_TRUE(sink.SawStatus("4 waypoints received"));
}

// The three name modes of the upload; the expected sentences are written out by hand (names
// cleaned of ',' '*' '$' and line ends, cut and padded to 17, altitude clamped to 0-9999).
struct UploadCase {
    int mode;
    std::vector<std::string> sentences;
};

class FlytecUploadTest : public FlytecSessionTest,
                         public ::testing::WithParamInterface<UploadCase> {};

TEST_P(FlytecUploadTest, SentencesArriveAsWritten) {
    auto& emu = StartEmulator(Flights({}));
    auto start = Start(AccessFunction::kWriteWaypoints, GetParam().mode);
    Waypoint fiesch;
    fiesch.latitude = 553685510;  // 46 deg 24.563 min N
    fiesch.longitude = 96950933;  // 8 deg 7.580 min E
    fiesch.altitude = 2212;
    fiesch.SetId("FIESCH");
    fiesch.SetDescription("FIESCH KUEHBODEN");
    Waypoint south;
    south.latitude = -405063138;   // 33 deg 57.120 min S
    south.longitude = -839487149;  // 70 deg 21.900 min W
    south.altitude = -20;
    south.SetId("ABC");
    Waypoint odd;
    odd.altitude = 12000;
    odd.SetId("X,Y");
    odd.SetDescription("A,B*C$D\nE");
    start.waypoints = {fiesch, south, odd};
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, 0);
    EXPECT_TRUE(sink.Errors().empty());
    ASSERT_TRUE(emu.WaitForUploads(3, kPromptMs));
    EXPECT_EQ(emu.UploadSentences(), GetParam().sentences);
    EXPECT_TRUE(sink.SawStatus("Waypoint 3 sent"));
    EXPECT_EQ(Notes(), (std::vector<std::string>{"Sent wpt 1/3", "Sent wpt 2/3", "Sent wpt 3/3"}));
    // The bar counts the waypoints sent of the three.
    EXPECT_EQ(sink.Progress(),
              (std::vector<std::pair<long long, long long>>{{1, 3}, {2, 3}, {3, 3}}));
}

INSTANTIATE_TEST_SUITE_P(
    NameModes, FlytecUploadTest,
    ::testing::Values(UploadCase{0,
                                 {"$PBRWPR,4624.563,N,00807.580,E,,FIESCH KUEHBODEN ,2212*44",
                                  "$PBRWPR,3357.120,S,07021.900,W,,ABC              ,0000*41",
                                  "$PBRWPR,0000.000,N,00000.000,E,,A B C D E        ,9999*43"}},
                      UploadCase{1,
                                 {"$PBRWPR,4624.563,N,00807.580,E,,FIESCH           ,2212*35",
                                  "$PBRWPR,3357.120,S,07021.900,W,,ABC              ,0000*41",
                                  "$PBRWPR,0000.000,N,00000.000,E,,X Y              ,9999*23"}},
                      UploadCase{2,
                                 {"$PBRWPR,4624.563,N,00807.580,E,,FIESCH FIESCH KUE,2212*5C",
                                  "$PBRWPR,3357.120,S,07021.900,W,,ABC              ,0000*41",
                                  "$PBRWPR,0000.000,N,00000.000,E,,X Y A B C D E    ,9999*42"}}),
    [](const auto& param) {
        return std::string(param.param.mode == 0   ? "OnlyName"
                           : param.param.mode == 1 ? "OnlyId"
                                                   : "IdAndName");
    });

TEST_F(FlytecSessionTest, CompetitionModeReadsThePilotIdsFirst) {
    auto config = Flights({"marcourt.igc"});
    // COMPID 12345: 3 deg 4' 5" N, 0 deg 1' 2" E; CIVLID 4321: 3 deg 2' 1" N, 0 deg 0' 4" E, in
    // thousandths of minutes as the instrument keeps them.
    config.waypoints = {{3 * 60000 + 4083, 1033, "COMPID", "COMPID 12345", 0},
                        {3 * 60000 + 2017, 67, "CIVLID", "CIVLID 4321", 0},
                        {46 * 60000, 7 * 60000, "OTHER", "OTHER", 500}};
    auto& emu = StartEmulator(std::move(config));
    auto start = Start(AccessFunction::kReadTrackLog);
    start.competitionMode = true;
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.competitionId, 12345);
    EXPECT_EQ(out.civlId, 4321);
    EXPECT_TRUE(sink.SawStatus("Comp ID = 12345, CIVL ID = 4321"));
    EXPECT_EQ(emu.Requests(), (std::vector<std::string>{"$PBRSNP,*21", "$PBRWPS,*38", "$PBRTL,*74",
                                                        "$PBRTR,00*6A"}));
    EXPECT_TRUE(out.waypoints.empty());
}

TEST_F(FlytecSessionTest, CompetitionModeWithoutIdWaypointsGivesNone) {
    StartEmulator(Flights({"marcourt.igc"}));
    auto start = Start(AccessFunction::kReadTrackLog);
    start.competitionMode = true;
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.competitionId, -1);
    EXPECT_EQ(out.civlId, -1);
}

TEST_F(FlytecSessionTest, GarbageBeforeTheProductDataIsSkipped) {
    auto& emu = StartEmulator(Flights({"marcourt.igc"}));
    emu.ArmFault(FlytecStep::kProductData, FlytecFault::kGarbage);
    emu.ArmFault(FlytecStep::kWaypoints, FlytecFault::kGarbage);
    EXPECT_EQ(Run(Start(AccessFunction::kReadWaypoints)).result, 0);
    EXPECT_EQ(outcome.waypoints.size(), 4u);
}

TEST_F(FlytecSessionTest, ProductDataIsAskedAgainAfterABadAnswer) {
    auto& emu = StartEmulator(Flights({"marcourt.igc"}));
    emu.ArmFault(FlytecStep::kProductData, FlytecFault::kBadChecksum);
    EXPECT_EQ(Run(Start(AccessFunction::kReadWaypoints)).result, 0);
    EXPECT_TRUE(sink.SawStatus("Requesting product info (2)"));
    EXPECT_TRUE(sink.SawStatus("Requesting product info (1)"));
    EXPECT_EQ(emu.Requests().size(), 3u);
}

// Each fault ends the job with its message and a failed result.
struct FaultCase {
    const char* name;
    device::AccessFunction function;
    FlytecStep step;
    FlytecFault fault;
    const char* error;  // nullptr: no message box, only the status below
    const char* title;
    const char* status;  // a status the job must show, or nullptr
};

class FlytecFaultTest : public FlytecSessionTest,
                        public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FlytecFaultTest, EndsWithItsMessageAndFails) {
    const FaultCase& c = GetParam();
    layer.SetOpenAttempts(2);  // one product-data attempt
    auto& emu = StartEmulator(Flights({"marcourt.igc"}));
    emu.ArmFault(c.step, c.fault);
    const auto& out = Run(Start(c.function));
    EXPECT_LT(out.result, 0);
    const auto errors = sink.Errors();
    if (c.error == nullptr) {
        EXPECT_TRUE(errors.empty());
    } else {
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].text, c.error);
        EXPECT_EQ(errors[0].title, c.title);
    }
    if (c.status != nullptr) {
        EXPECT_TRUE(sink.SawStatus(c.status)) << c.status;
    }
    EXPECT_TRUE(out.track.points.empty());
    EXPECT_TRUE(out.track.rawIgc.Empty());
}

constexpr auto kTrack = AccessFunction::kReadTrackLog;
constexpr auto kWaypoints = AccessFunction::kReadWaypoints;

INSTANTIATE_TEST_SUITE_P(
    Faults, FlytecFaultTest,
    ::testing::Values(
        FaultCase{"ProductSilence", kTrack, FlytecStep::kProductData, FlytecFault::kSilence,
                  "No valid response from GPS", "Get GPS product data", nullptr},
        FaultCase{"ProductBadChecksum", kTrack, FlytecStep::kProductData, FlytecFault::kBadChecksum,
                  "No valid response from GPS", "Get GPS product data", nullptr},
        FaultCase{"ProductCut", kTrack, FlytecStep::kProductData, FlytecFault::kCutConnection,
                  "COM port read error", "Reading product data", nullptr},
        FaultCase{"ListBadChecksum", kTrack, FlytecStep::kTrackList, FlytecFault::kBadChecksum,
                  "NMEA line parse error", "Read GPS track list", nullptr},
        FaultCase{"ListSilence", kTrack, FlytecStep::kTrackList, FlytecFault::kSilence,
                  "No answer to the flight list request: the instrument stopped answering, or it "
                  "holds no flight",
                  "Read GPS track list", "0 tracks in track list found"},
        FaultCase{"ListCut", kTrack, FlytecStep::kTrackList, FlytecFault::kCutConnection,
                  "E503 COM port read error", "Read GPS track list", nullptr},
        FaultCase{"TrackSilence", kTrack, FlytecStep::kTrack, FlytecFault::kSilence,
                  "No points detected", "Read GPS track log", "0 points received"},
        FaultCase{"TrackGarbage", kTrack, FlytecStep::kTrack, FlytecFault::kGarbage,
                  "E205 Bad record type (23)", "Read GPS track log", nullptr},
        FaultCase{"TrackBadRecordType", kTrack, FlytecStep::kTrack, FlytecFault::kBadRecordType,
                  "E205 Bad record type (31)", "Read GPS track log", nullptr},
        FaultCase{"TrackLineTooLong", kTrack, FlytecStep::kTrack, FlytecFault::kLineTooLong,
                  "E207 Too long sentence", "Read GPS track log", nullptr},
        FaultCase{"TrackBRecordBeforeDate", kTrack, FlytecStep::kTrack,
                  FlytecFault::kBRecordBeforeDate, "E206 Format error 25", "Read GPS track log",
                  nullptr},
        FaultCase{"TrackCut", kTrack, FlytecStep::kTrack, FlytecFault::kCutConnection,
                  "E203 COM port read error", "Read GPS track log", nullptr},
        FaultCase{"WaypointsBadChecksum", kWaypoints, FlytecStep::kWaypoints,
                  FlytecFault::kBadChecksum, "E302 Format error 20", "Read GPS waypoints", nullptr},
        FaultCase{"WaypointsCut", kWaypoints, FlytecStep::kWaypoints, FlytecFault::kCutConnection,
                  "E301 COM port read error", "Read GPS waypoints", nullptr},
        FaultCase{"WaypointsSilence", kWaypoints, FlytecStep::kWaypoints, FlytecFault::kSilence,
                  nullptr, nullptr, "0 waypoints received"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FlytecSessionTest, AbortDuringTheDownloadEndsItPromptly) {
    auto config = Flights({"marcourt.igc"});
    config.lineRateBaud = 1200;  // the 8.7 kB take over a minute at this rate
    StartEmulator(std::move(config));
    ASSERT_EQ(layer.StartGpsJob(Start(AccessFunction::kReadTrackLog)), 0);
    ASSERT_TRUE(sink.WaitForStatus("Receiving track log", test_support::kJobDeadlineMs));
    const auto aborted = std::chrono::steady_clock::now();
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::milliseconds(kPromptMs));
    EXPECT_LT(outcome.result, 0);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_EQ(sink.Statuses().back(), "Transfer aborted");
    EXPECT_TRUE(outcome.track.points.empty());
    EXPECT_FALSE(busy);
}

TEST_F(FlytecSessionTest, AbortDuringTheUploadStopsSending) {
    auto& emu = StartEmulator(Flights({}));
    auto start = Start(AccessFunction::kWriteWaypoints);
    Waypoint waypoint;
    waypoint.SetId("W");
    start.waypoints.assign(200, waypoint);  // 200 x 300 ms: a minute of pauses
    ASSERT_EQ(layer.StartGpsJob(std::move(start)), 0);
    ASSERT_TRUE(sink.WaitForStatus("Waypoint 2 sent", test_support::kJobDeadlineMs));
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    EXPECT_LT(outcome.result, 0);
    EXPECT_TRUE(sink.SawStatus("Transfer aborted"));
    EXPECT_LT(emu.Uploads().size(), 200u);
    const std::string last = sink.Statuses().back();
    EXPECT_TRUE(last.ends_with(" waypoints sent")) << last;
}

// An instrument that freezes in the middle of an answer (a hung unit, a loose contact that does
// not hang up) ends it by falling silent, as a whole answer ends. At every stage the job must
// fail with a message that says so and deliver nothing; once the unit goes on, the next job on
// the same port must work at its first try, whatever the frozen unit still sends.
struct StallCase {
    const char* name;
    device::AccessFunction function;
    FlytecStep step;
    FlytecFault fault;
    int skip;           // answers of the step that go out whole first
    int openAttempts;   // the first job's time in seconds
    const char* error;  // the start of the message
    const char* title;
};

class FlytecStallTest : public FlytecSessionTest,
                        public ::testing::WithParamInterface<StallCase> {};

TEST_P(FlytecStallTest, FailsWithoutDeliveringAndTheNextJobWorks) {
    const StallCase& c = GetParam();
    auto config = Flights({"20241007TZN.igc", "marcourt.igc"});
    config.stallMs = 6'000;
    auto& emu = StartEmulator(std::move(config));
    emu.ArmFault(c.step, c.fault, c.skip);
    layer.SetOpenAttempts(c.openAttempts);
    const auto& first = Run(Select(Start(c.function), {0, 1}));
    EXPECT_LT(first.result, 0);
    const auto errors = sink.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].text.starts_with(c.error)) << errors[0].text;
    EXPECT_EQ(errors[0].title, c.title);
    EXPECT_TRUE(first.track.points.empty());
    EXPECT_TRUE(first.track.rawIgc.Empty());
    EXPECT_TRUE(first.waypoints.empty());

    // Straight on, while the unit is still frozen: the job waits for it within its time.
    outcome = {};
    layer.SetOpenAttempts(60);
    const auto& next = Run(Select(Start(c.function), {0, 1}));
    EXPECT_EQ(sink.Errors().size(), 1u) << sink.Errors().back().text;
    if (c.function == AccessFunction::kReadWaypoints) {
        EXPECT_EQ(next.result, 0);
        EXPECT_EQ(next.waypoints.size(), 4u);
    } else {
        EXPECT_EQ(next.result, 1);
        EXPECT_EQ(next.track.points.size(), 221u + 199u);
        EXPECT_EQ(next.track.rawIgc.text,
                  ReadFixture("20241007TZN.igc") + ReadFixture("marcourt.igc"));
    }
}

constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kCutLine =
    "E208 Incomplete transfer: the instrument stopped sending in the middle of a line, after ";

INSTANTIATE_TEST_SUITE_P(
    EveryStage, FlytecStallTest,
    ::testing::Values(
        StallCase{"ProductData", kTrack, FlytecStep::kProductData, FlytecFault::kStall, 0, 2,
                  "No valid response from GPS", "Get GPS product data"},
        StallCase{"FlightList", kTrack, FlytecStep::kTrackList, FlytecFault::kStall, 0, 30,
                  "The instrument stopped answering in the middle of its flight list",
                  "Read GPS track list"},
        StallCase{"FlightListBetweenLines", kTrack, FlytecStep::kTrackList,
                  FlytecFault::kStallAtLineEnd, 0, 30,
                  "The instrument stopped answering in the middle of its flight list (1 of 2 "
                  "flights received)",
                  "Read GPS track list"},
        StallCase{"FirstTrack", kTrack, FlytecStep::kTrack, FlytecFault::kStall, 0, 30, kCutLine,
                  kTrackTitle},
        StallCase{"SecondTrack", kTrack, FlytecStep::kTrack, FlytecFault::kStall, 1, 30, kCutLine,
                  kTrackTitle},
        StallCase{"Waypoints", kWaypoints, FlytecStep::kWaypoints, FlytecFault::kStall, 0, 30,
                  "The instrument stopped answering in the middle of its waypoint list",
                  "Read GPS waypoints"}),
    [](const auto& param) { return std::string(param.param.name); });

// Cut at a line end, a track looks whole line by line; the flight list still tells. d3p.igc
// lasts 3 h 31 min 10 s (13:53:15 to 17:24:25); cut halfway, it falls short by far more than the
// tolerance of 5 minutes.
TEST_F(FlytecSessionTest, TrackCutBetweenLinesFallsShortOfItsListedDuration) {
    auto config = FlytecEmulatorConfig{};
    config.flights.push_back(ReadRealIgc("d3p.igc"));
    config.stallMs = 120'000;  // frozen until the test ends
    auto& emu = StartEmulator(std::move(config));
    emu.ArmFault(FlytecStep::kTrack, FlytecFault::kStallAtLineEnd);
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    EXPECT_LT(out.result, 0);
    const auto errors = sink.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].text.starts_with(
        "E208 Incomplete transfer: the instrument stopped sending after "))
        << errors[0].text;
    EXPECT_NE(errors[0].text.find(" min before the end of the flight in its list"),
              std::string::npos)
        << errors[0].text;
    EXPECT_TRUE(out.track.points.empty());
}

// After an abort the instrument goes on sending the rest of the flight. The next download, started
// at once, waits until the line is quiet and then works at its first try, its text free of the
// aborted flight's bytes.
TEST_F(FlytecSessionTest, DownloadRightAfterAnAbortWorksAtOnce) {
    auto config = Flights({"marcourt.igc"});
    config.lineRateBaud = 9600;  // the 8.7 kB take 9 s
    auto& emu = StartEmulator(std::move(config));
    layer.SetOpenAttempts(30);
    ASSERT_EQ(layer.StartGpsJob(Start(AccessFunction::kReadTrackLog)), 0);
    ASSERT_TRUE(sink.WaitForStatus("Receiving track log", test_support::kJobDeadlineMs));
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    ASSERT_LT(outcome.result, 0);
    const std::uint64_t sentAtAbort = emu.BytesSent();

    outcome = {};
    const auto& next = Run(Start(AccessFunction::kReadTrackLog));
    EXPECT_EQ(next.result, 1);
    EXPECT_TRUE(sink.Errors().empty()) << sink.Errors().front().text;
    EXPECT_TRUE(sink.SawStatus("Waiting for the instrument to finish sending"));
    EXPECT_GT(emu.BytesSent(), sentAtAbort);
    EXPECT_EQ(next.track.rawIgc.text, ReadFixture("marcourt.igc"));
    EXPECT_EQ(next.track.points.size(), 221u);
}

}  // namespace
}  // namespace tracora::protocols
