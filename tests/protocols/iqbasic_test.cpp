// IQ Basic / Flytec 6015: the command lines and answers, then the real session routines against
// the emulator over a pseudo-terminal (downloads byte for byte, the list, waypoints both ways,
// the instrument's own fault).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/iqbasic/iqbasic_emulator.hpp"

namespace tracora::protocols::iqbasic {
namespace {

using device::AccessFunction;

TEST(IqBasicFrames, AnswerValuesAreBytePairsLeastSignificantFirst) {
    std::uint32_t value = 0;
    ASSERT_TRUE(DecodeAnswerValue("RPA_00_71040000", "RPA_00_", value));
    EXPECT_EQ(value, 1137u);
    ASSERT_TRUE(DecodeAnswerValue("RPA_01_00", "RPA_01_", value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(DecodeAnswerValue("RPA_01_  ", "RPA_01_", value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(DecodeAnswerValue("RPA_01_710", "RPA_01_", value));
    EXPECT_FALSE(DecodeAnswerValue("RPA_01_7G", "RPA_01_", value));
    EXPECT_FALSE(DecodeAnswerValue("RPA_02_71", "RPA_01_", value));
    EXPECT_EQ(EncodeAnswerValue(1137), "71040000");
    EXPECT_EQ(ModelName({1137, 0, 1234}), "6015");
    EXPECT_EQ(DeviceIdentifier({1137, 1, 1234}), "IQ-BASIC, SW 1.2.34, S/N 1137");
}

TEST(IqBasicFrames, TrackRequestsTakeAsManyHexDigitsAsTheNumberNeeds) {
    EXPECT_EQ(TrackRequest(10), "ACT_21_0A\r\n");
    EXPECT_EQ(TrackRequest(255), "ACT_21_FF\r\n");
    EXPECT_EQ(TrackRequest(300), "ACT_21_12C\r\n");
}

TEST(IqBasicFrames, TrackListLines) {
    TrackListLine line;
    ASSERT_TRUE(ParseTrackListLine("12; 21. 3. 6;10:34:11;x;0:03:40;more", line));
    EXPECT_EQ(line.number, 12u);
    EXPECT_EQ(line.start.year, 2021);
    EXPECT_EQ(line.start.month, 3);
    EXPECT_EQ(line.start.day, 6);
    EXPECT_EQ(line.start.hour, 10);
    EXPECT_EQ(line.durationSeconds, 220u);
    for (const char* bad : {"1;21.02.30;10:00:00;x;0:01:00", "1;21.13.01;10:00:00;x;0:01:00",
                            "1;21.02.01;25:00:00;x;0:01:00", "x;21.02.01;10:00:00;x;0:01:00",
                            "1;21.02.01;10:00:00;x"}) {
        EXPECT_FALSE(ParseTrackListLine(bad, line)) << bad;
    }
}

TEST(IqBasicFrames, WaypointLinesAndCodes) {
    Waypoint w;
    ASSERT_EQ(ParseWaypointLine("Fiesch  Kuehboden;N  46'24.563;w 008 ' 07.58;2212.4", 7, w), 0);
    EXPECT_EQ(w.Id(), "FIESCH");
    EXPECT_EQ(w.Description(), "Fiesch Kuehboden");
    EXPECT_EQ(w.altitude, 2212);
    EXPECT_NEAR(SemicirclesToDegrees(w.latitude), 46 + 24.563 / 60, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(w.longitude), -(8 + 7.58 / 60), 1e-7);
    const struct {
        const char* line;
        int code;
    } cases[] = {{" ;N 1'0;E 1'0", 1},    {"A;N 1'0", 2},         {"A;N 1'0;E 1'0;x", 3},
                 {"A;N 90'0;E 1'0", 4},   {"A;N 1'60;E 1'0", 4},  {"A;X 1'0;E 1'0", 4},
                 {"A;N 1'0.5x;E 1'0", 4}, {"A;N 1'0;E 180'0", 5}, {"A;N 1'0;S 1'0", 5}};
    for (const auto& c : cases) {
        EXPECT_EQ(ParseWaypointLine(c.line, 0, w), c.code) << c.line;
    }
    EXPECT_TRUE(EndsWaypointList("done"));
    EXPECT_TRUE(EndsWaypointList(" No Data "));
    EXPECT_FALSE(EndsWaypointList("Done;N 1'0;E 1'0"));
}

TEST(IqBasicFrames, UploadLineBlanksSemicolonsAndClampsTheAltitude) {
    Waypoint w;
    w.latitude = DegreesToSemicircles(46.5);
    w.longitude = DegreesToSemicircles(-7.25);
    w.altitude = 12000;
    EXPECT_EQ(WaypointUploadLine(w, "A;B"),
              "A B             ;N  46'30.000;W 007'15.000; 10000;   400\r\n");
    w.altitude = -3000;
    EXPECT_EQ(WaypointUploadLine(w, "Name longer than sixteen").substr(0, 17), "Name longer than;");
    EXPECT_NE(WaypointUploadLine(w, "x").find("; -2000;"), std::string::npos);
}

class IqSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        layer.SetPortName(pty.SlavePath());
        layer.SetOpenAttempts(4);
    }
    void TearDown() override {
        layer.WaitForJobEnd();
        if (emulator)
            emulator->Stop();
    }
    static std::string Igc(const std::string& name) {
        std::string text;
        EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
                  FileReadStatus::kOk);
        return text;
    }
    IqEmulator& StartEmulator(IqEmulatorConfig config) {
        if (config.waypointLines.empty())
            config.waypointLines = BuiltInWaypointLines();
        emulator = std::make_unique<IqEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }
    int Run(AccessFunction function, std::initializer_list<int> slots = {},
            std::vector<Waypoint> waypoints = {}) {
        device::JobStart start;
        start.function = function;
        start.protocol = GpsProtocol::kIqBasic;
        start.waypoints = std::move(waypoints);
        for (const int slot : slots)
            start.selectedFlights.set(static_cast<std::size_t>(slot));
        start.completion = [this](device::GpsAccessJob& job) {
            track = std::move(job.track);
            got = std::move(job.waypoints);
            flights = job.flights;
            productText = job.productText;
        };
        int result = 999;
        auto completion = start.completion;
        start.completion = [&result, completion](device::GpsAccessJob& job) {
            result = job.result;
            completion(job);
        };
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        return result;
    }
    std::string FirstError() {
        const auto errors = sink.Errors();
        return errors.empty() ? std::string() : errors.front().text;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<IqEmulator> emulator;
    DebugTrace trace;
    device::test_support::RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    DownloadedTrackLog track;
    std::vector<Waypoint> got;
    device::FlightList flights;
    std::string productText;
};

// Device numbers above 255 are requested with three hex digits; two flights arrive byte for
// byte, joined oldest first.
TEST_F(IqSessionTest, TracksArriveByteForByte) {
    IqEmulatorConfig config;
    config.flights = {Igc("marcourt.igc"), Igc("20241007TZN.igc")};
    config.firstNumber = 300;
    auto& emu = StartEmulator(config);
    ASSERT_EQ(Run(AccessFunction::kReadTrackLog, {0, 1}), 1) << FirstError();
    EXPECT_EQ(track.rawIgc.text, Igc("marcourt.igc") + Igc("20241007TZN.igc"));
    EXPECT_EQ(track.points.size(), 221u + 199u);
    EXPECT_EQ(track.sourceKind, kSourceKindIqBasic);
    EXPECT_EQ(productText, "IQ-BASIC, SW 1.2.34, S/N 1137");
    const auto requests = emu.Requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "ACT_21_12C"), requests.end());
    EXPECT_NE(std::find(requests.begin(), requests.end(), "ACT_21_12D"), requests.end());
    // 2021-03-06 10:34:11 UTC (Python's calendar.timegm), 220 s long.
    EXPECT_EQ(flights.start[0], 983961251u);
    EXPECT_EQ(flights.duration[0], 220u);
    // The bar measures each track against its listed duration and reaches its end.
    const auto bar = sink.Progress();
    EXPECT_NE(std::find(bar.begin(), bar.end(), std::make_pair(220LL, 220LL)), bar.end());
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
}

struct DamagedLineCase {
    const char* name;
    // Put in before the flight's last B record; "T" at its start stands for that record's
    // letter and time, so that the flight's span stays as it was.
    const char* line;
    const char* error;
};

class IqDamagedTrackTest : public IqSessionTest,
                           public ::testing::WithParamInterface<DamagedLineCase> {};

// A damaged line ends the download with the instrument's own message texts (the HFDTE one
// quotes the rest of the line) and leaves no track behind.
TEST_P(IqDamagedTrackTest, EndsWithItsMessage) {
    std::string flight = Igc("marcourt.igc");
    const std::size_t lastB = flight.rfind("\nB");
    ASSERT_NE(lastB, std::string::npos);
    std::string line = GetParam().line;
    if (line.starts_with("T")) {
        line = flight.substr(lastB + 1, 7) + line.substr(1);
    }
    flight.insert(lastB + 1, line);
    IqEmulatorConfig config;
    config.flights = {flight};
    StartEmulator(config);
    EXPECT_EQ(Run(AccessFunction::kReadTrackLog, {0}), -1);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, GetParam().error);
    EXPECT_EQ(sink.Errors()[0].title, "Read GPS track log");
    EXPECT_TRUE(track.points.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IqDamagedTrackTest,
    ::testing::Values(
        DamagedLineCase{"HfdteMonth", "HFDTE061321\r\n", "HFDTE sentence error: 061321"},
        DamagedLineCase{"HfdteDay", "HFDTE000321\r\n", "HFDTE sentence error: 000321"},
        DamagedLineCase{"ShortB", "T46\r\n", "Format error 24 in IGC sentence"},
        DamagedLineCase{"BadLatitudeHemisphere", "T4623456X00712345EA0123401234\r\n",
                        "Format error 17 in IGC sentence"},
        DamagedLineCase{"RecordType", "1B\r\n", "Bad record type (31)"},
        DamagedLineCase{"TooLong",
                        "LXXX1234567890123456789012345678901234567890123456789012345678901234567890"
                        "1234567890\r\n",
                        "Too long sentence"}),
    [](const auto& param) { return std::string(param.param.name); });

// Flow-control bytes inside a line are dropped before the line and the raw text see them.
TEST_F(IqSessionTest, FlowControlBytesAreDroppedFromTheTrack) {
    const std::string clean = Igc("marcourt.igc");
    std::string flight = clean;
    const std::size_t firstB = flight.find("\nB");
    ASSERT_NE(firstB, std::string::npos);
    flight.insert(firstB + 10, "\x11");
    flight.insert(firstB + 20, "\x13");
    IqEmulatorConfig config;
    config.flights = {flight};
    StartEmulator(config);
    ASSERT_EQ(Run(AccessFunction::kReadTrackLog, {0}), 1) << FirstError();
    EXPECT_EQ(track.points.size(), 221u);
    EXPECT_EQ(track.rawIgc.text, clean);
}

TEST_F(IqSessionTest, CutCableIsAnError) {
    IqEmulatorConfig config;
    config.flights = {Igc("marcourt.igc")};
    auto& emu = StartEmulator(config);
    emu.ArmFault(IqStep::kTrack, IqFault::kCutConnection);
    EXPECT_EQ(Run(AccessFunction::kReadTrackLog), -1);
    EXPECT_EQ(FirstError(), "COM port read error");
    EXPECT_TRUE(track.points.empty());
}

TEST_F(IqSessionTest, WaypointsDown) {
    StartEmulator({});
    ASSERT_EQ(Run(AccessFunction::kReadWaypoints), 0) << FirstError();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[2].Id(), "NIESEN");
    EXPECT_NEAR(SemicirclesToDegrees(got[2].longitude), 7 + 51.43 / 60, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(got[3].latitude), -(33 + 57.12 / 60), 1e-7);
}

TEST_F(IqSessionTest, WaypointsUpAndTheMissingDone) {
    auto& emu = StartEmulator({});
    emu.ArmFault(IqStep::kUpload, IqFault::kMissingDone, 1);
    Waypoint a;
    a.SetDescription("Lz;Reichenbach");
    a.latitude = DegreesToSemicircles(46.5);
    EXPECT_EQ(Run(AccessFunction::kWriteWaypoints, {}, {a, a, a}), -1);
    EXPECT_EQ(FirstError(), "2 of 3 waypoints ok. First error was \"\"");
    EXPECT_EQ(sink.Progress(),
              (std::vector<std::pair<long long, long long>>{{1, 3}, {2, 3}, {3, 3}}));
    ASSERT_EQ(emu.Uploads().size(), 3u);
    EXPECT_EQ(emu.Uploads()[0], "Lz Reichenbach  ;N  46'30.000;E 000'00.000;     0;   400");
}

TEST_F(IqSessionTest, SilentUploadAnswerIsMissing) {
    auto& emu = StartEmulator({});
    emu.ArmFault(IqStep::kUpload, IqFault::kSilence);
    Waypoint a;
    a.SetDescription("A");
    EXPECT_EQ(Run(AccessFunction::kWriteWaypoints, {}, {a}), -1);
    EXPECT_EQ(FirstError(), "Missing response");
}

}  // namespace
}  // namespace tracora::protocols::iqbasic
