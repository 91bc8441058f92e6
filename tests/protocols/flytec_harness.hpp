// The real Flytec session routines, run through the device layer's JobLayer against the
// Flytec emulator over a pseudo-terminal: what a test needs to start one job and to look at
// what it reported and delivered.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/flytec/flytec_emulator.hpp"

namespace tracora::protocols::test_support {

using device::test_support::RecordingSink;

// Generous bounds for a busy two-core machine.
inline constexpr int kPromptMs = 10'000;
inline constexpr int kJobDeadlineMs = 120'000;

inline std::string FixturePath(const std::string& name) {
    return std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name;
}

inline std::string ReadFixture(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(FixturePath(name), text), FileReadStatus::kOk) << name;
    return text;
}

// A real flight of tests/fixtures/real/igc.
inline std::string ReadRealIgc(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/real/igc/" + name, text),
              FileReadStatus::kOk)
        << name;
    return text;
}

// What the job handed to its completion routine.
struct JobOutcome {
    int result = 999;
    DownloadedTrackLog track;
    std::vector<Waypoint> waypoints;
    device::FlightList flights;
    std::string productName, instrumentDescription, productText;
    int competitionId = -2;
    int civlId = -2;
};

class FlytecSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pty.Open(), 0) << "cannot create a pseudo-terminal pair";
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        layer.SetPortName(pty.SlavePath());
        // Two product-data attempts of 2 s each when the instrument does not answer.
        layer.SetOpenAttempts(4);
    }

    void TearDown() override {
        layer.WaitForJobEnd();
        if (emulator) {
            emulator->Stop();
        }
    }

    // Starts the emulator with `config` on its own thread.
    flytec::FlytecEmulator& StartEmulator(flytec::FlytecEmulatorConfig config) {
        emulator = std::make_unique<flytec::FlytecEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }

    device::JobStart Start(device::AccessFunction function, int parameter = 0) {
        device::JobStart start;
        start.function = function;
        start.protocol = GpsProtocol::kFlytec;
        start.parameter = parameter;
        start.notify = [this](const std::string& text) {
            std::lock_guard lock(notifyMutex);
            notes.push_back(text);
        };
        start.completion = [this](device::GpsAccessJob& job) {
            outcome.result = job.result;
            outcome.track = std::move(job.track);
            outcome.waypoints = std::move(job.waypoints);
            outcome.flights = job.flights;
            outcome.productName = job.productName;
            outcome.instrumentDescription = job.instrumentDescription;
            outcome.productText = job.productText;
            outcome.competitionId = job.competitionId;
            outcome.civlId = job.civlId;
        };
        return start;
    }

    // Runs a job to its end.
    const JobOutcome& Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        EXPECT_FALSE(layer.Running());
        EXPECT_FALSE(busy);
        return outcome;
    }

    std::vector<std::string> Notes() {
        std::lock_guard lock(notifyMutex);
        return notes;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<flytec::FlytecEmulator> emulator;
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    JobOutcome outcome;
    std::mutex notifyMutex;
    std::vector<std::string> notes;
};

}  // namespace tracora::protocols::test_support
