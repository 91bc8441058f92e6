// The DSX flight recorder: the flight list parser and the requests, then the real session
// routines against the emulator over a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/dsx/dsx_emulator.hpp"

namespace tracora::protocols::dsx {
namespace {

using device::AccessFunction;

int FeedAll(FlightListParser& parser, const std::string& text) {
    for (const char c : text) {
        if (const int code = parser.Feed(static_cast<std::uint8_t>(c)); code != 0) {
            return code;
        }
    }
    return 0;
}

TEST(DsxFrames, FlightListLinesAndCodes) {
    FlightListParser parser;
    ASSERT_EQ(FeedAll(parser, "#\r\n012 recs n.000345\r\n013 recs n.000001 more text\r\n"), 0);
    ASSERT_EQ(parser.Flights().size(), 2u);
    EXPECT_EQ(parser.Flights()[0].number, 12);
    EXPECT_EQ(parser.Flights()[0].records, 345);
    EXPECT_EQ(parser.Flights()[1].number, 13);
    const struct {
        const char* text;
        int code;
    } cases[] = {{"12 recs n.000345\r\n", -1},
                 {"012_recs n.000345\r\n", -2},
                 {"012 recs x.000345\r\n", -3},
                 {"012 recs n.0003x5\r\n", -4},
                 {"012 recs n.000345x\r\n", -5}};
    for (const auto& c : cases) {
        FlightListParser fresh;
        EXPECT_EQ(FeedAll(fresh, c.text), c.code) << c.text;
    }
    std::string hundredAndOne;
    for (int i = 0; i < 101; ++i) {
        hundredAndOne += FlightListLine(i, 1);
    }
    FlightListParser full;
    EXPECT_EQ(FeedAll(full, hundredAndOne), -6);
    EXPECT_EQ(full.Flights().size(), 100u);
}

TEST(DsxFrames, RequestsAndFieldsWithoutLineEnds) {
    EXPECT_EQ(FlightRequest(7), "F007\r");
    EXPECT_EQ(ReadFieldRequest(3), "E3\r");
    EXPECT_EQ(WriteFieldRequest(1, "Jane\rDoe\n"), "H1JaneDoe\r");
    EXPECT_EQ(WriteFieldRequest(6, "+41 79"), "C1+41 79\r");
}

class DsxSessionTest : public ::testing::Test {
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
    DsxEmulator& StartEmulator(DsxEmulatorConfig config) {
        emulator = std::make_unique<DsxEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }
    int Run(device::JobStart start) {
        start.protocol = GpsProtocol::kDsx;
        int result = 999;
        start.completion = [this, &result](device::GpsAccessJob& job) {
            result = job.result;
            track = std::move(job.track);
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
    std::unique_ptr<DsxEmulator> emulator;
    DebugTrace trace;
    device::test_support::RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    DownloadedTrackLog track;
};

// Without a TRACK list nobody is asked: the newest flight comes, byte for byte, without the
// recorder's end line.
TEST_F(DsxSessionTest, NewestFlightArrivesByteForByte) {
    DsxEmulatorConfig config;
    config.flights = {Igc("20241007TZN.igc"), Igc("marcourt.igc")};
    config.firstNumber = 7;
    auto& emu = StartEmulator(config);
    device::JobStart start;
    start.function = AccessFunction::kReadTrackLog;
    ASSERT_EQ(Run(std::move(start)), 1) << FirstError();
    EXPECT_EQ(track.rawIgc.text, Igc("marcourt.igc"));
    EXPECT_EQ(track.points.size(), 221u);
    EXPECT_EQ(track.sourceKind, 9);
    EXPECT_EQ(track.productName, "DSX");
    const auto requests = emu.Requests();
    EXPECT_EQ(requests, (std::vector<std::string>{"V1", "V4", "FL", "F008", "V0"}));
}

TEST_F(DsxSessionTest, TrackListChoosesTheFlight) {
    DsxEmulatorConfig config;
    config.flights = {Igc("20241007TZN.igc"), Igc("marcourt.igc")};
    StartEmulator(config);
    device::JobStart start;
    start.function = AccessFunction::kReadTrackLog;
    start.selectedFlights.set(0);
    ASSERT_EQ(Run(std::move(start)), 1) << FirstError();
    EXPECT_EQ(track.rawIgc.text, Igc("20241007TZN.igc"));
}

// A window's chooser is asked with the list newest first; its row picks the flight, and a
// cancelled choice downloads nothing.
TEST_F(DsxSessionTest, ChooserIsAskedNewestFirst) {
    DsxEmulatorConfig config;
    config.flights = {Igc("20241007TZN.igc"), Igc("marcourt.igc")};
    config.firstNumber = 41;
    auto& emu = StartEmulator(config);
    std::string title;
    std::vector<std::string> entries;
    int answer = 1;
    const auto chooser = [&](const device::JobContext&, const std::string& t,
                             const std::vector<std::string>& e) {
        title = t;
        entries = e;
        return answer;
    };
    device::JobStart start;
    start.function = AccessFunction::kReadTrackLog;
    start.chooseEntry = chooser;
    ASSERT_EQ(Run(std::move(start)), 1) << FirstError();
    EXPECT_EQ(title, "Track List (" + pty.SlavePath() + ", DSX)");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].starts_with("042       ")) << entries[0];
    EXPECT_TRUE(entries[1].starts_with("041       ")) << entries[1];
    EXPECT_EQ(track.rawIgc.text, Igc("20241007TZN.igc"));

    answer = -1;
    device::JobStart cancelled;
    cancelled.function = AccessFunction::kReadTrackLog;
    cancelled.chooseEntry = chooser;
    EXPECT_EQ(Run(std::move(cancelled)), -1);
    EXPECT_TRUE(track.points.empty());
    EXPECT_TRUE(sink.SawStatus("Track selection cancelled"));
    const auto requests = emu.Requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "F041"), 1);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "F042"), 0);
}

struct DsxFaultCase {
    const char* name;
    DsxStep step;
    DsxFault fault;
    const char* error;
};

class DsxFaultTest : public DsxSessionTest, public ::testing::WithParamInterface<DsxFaultCase> {};

TEST_P(DsxFaultTest, EndsWithItsMessage) {
    const DsxFaultCase& c = GetParam();
    DsxEmulatorConfig config;
    config.flights = {Igc("marcourt.igc")};
    auto& emu = StartEmulator(config);
    emu.ArmFault(c.step, c.fault);
    device::JobStart start;
    start.function = AccessFunction::kReadTrackLog;
    EXPECT_EQ(Run(std::move(start)), -1);
    EXPECT_EQ(FirstError(), c.error);
    EXPECT_TRUE(track.points.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DsxFaultTest,
    ::testing::Values(
        DsxFaultCase{"FlightWithoutEnd", DsxStep::kFlight, DsxFault::kStopHalfway,
                     "E208 Incomplete transfer: the recorder stopped sending before the end of "
                     "the flight"},
        DsxFaultCase{"CutCable", DsxStep::kFlight, DsxFault::kCutConnection,
                     "E203 COM port read error"},
        DsxFaultCase{"TwoDigitTrackNumber", DsxStep::kFlightList, DsxFault::kGarbled,
                     "E505 Format error -1"}),
    [](const auto& param) { return std::string(param.param.name); });

// A garbled first connection answer does not count; the next attempt connects.
TEST_F(DsxSessionTest, GarbledConnectionAnswerIsRetried) {
    DsxEmulatorConfig config;
    config.flights = {Igc("marcourt.igc")};
    auto& emu = StartEmulator(config);
    emu.ArmFault(DsxStep::kConnect, DsxFault::kGarbled);
    emu.ArmFault(DsxStep::kConnect, DsxFault::kGarbage);
    device::JobStart start;
    start.function = AccessFunction::kReadTrackLog;
    ASSERT_EQ(Run(std::move(start)), 1) << FirstError();
    EXPECT_EQ(emu.Requests()[0], "V1");
    EXPECT_EQ(emu.Requests()[1], "V1");
}

TEST_F(DsxSessionTest, ChangedFieldsAreWrittenWithoutLineEnds) {
    auto& emu = StartEmulator({});
    device::JobStart start;
    start.function = AccessFunction::kWritePilotData;
    start.pilotData.fields = {"JANE\rDOE", "42", "", "", "", "+41 79"};
    ASSERT_EQ(Run(std::move(start)), 0) << FirstError();
    const auto fields = emu.Fields();
    EXPECT_EQ(fields[0], "JANEDOE");
    EXPECT_EQ(fields[1], "42");
    EXPECT_EQ(emu.Telephone(), "+41 79");
    const auto requests = emu.Requests();
    // The unchanged competition ID is not sent again.
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const std::string& r) { return r.starts_with("H2"); }),
              0);
    EXPECT_EQ(requests.back(), "V0");
}

}  // namespace
}  // namespace tracora::protocols::dsx
