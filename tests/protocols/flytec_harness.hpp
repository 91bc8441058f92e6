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
#include "protocols/session_harness.hpp"

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

using JobOutcome = harness::JobOutcome;

class FlytecSessionTest : public harness::EmulatorSessionTest<flytec::FlytecEmulator> {
protected:
    // Starts the emulator with `config` on its own thread.
    flytec::FlytecEmulator& StartEmulator(flytec::FlytecEmulatorConfig config) {
        return EmulatorSessionTest::StartEmulator(std::move(config));
    }

    device::JobStart Start(device::AccessFunction function, int parameter = 0) {
        device::JobStart start = Job(function, GpsProtocol::kFlytec);
        start.parameter = parameter;
        start.notify = [this](const std::string& text) {
            std::lock_guard lock(notifyMutex);
            notes.push_back(text);
        };
        return start;
    }

    // Runs a job to its end.
    const JobOutcome& Run(device::JobStart start) {
        EmulatorSessionTest::Run(std::move(start));
        EXPECT_FALSE(layer.Running());
        EXPECT_FALSE(busy);
        return outcome;
    }

    std::vector<std::string> Notes() {
        std::lock_guard lock(notifyMutex);
        return notes;
    }

    std::mutex notifyMutex;
    std::vector<std::string> notes;
};

}  // namespace tracora::protocols::test_support
