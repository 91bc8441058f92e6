// The real session routines of a family, run through the device layer's JobLayer against the
// family's emulator over a pseudo-terminal: the set-up every session test shares (the pty, the
// emulator's thread, the job and what it delivered), and the held flights' fixes as gpsbabel
// and igc-parser read them (igc/oracle_fixes.tsv) to compare a download with.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/angles.hpp"
#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "protocols/dispatch_table.hpp"

namespace tracora::protocols::harness {

// Generous bounds for a busy two-core machine.
inline constexpr int kPromptMs = 10'000;
// The receivers' clock starts on 1990-01-01, 631,065,600 seconds after the UNIX epoch.
inline constexpr std::int64_t kUnixToReceiver = 631065600;

// An IGC file of tests/fixtures/igc, or else of tests/fixtures/real/igc.
inline std::string ReadIgc(const std::string& name) {
    std::string text;
    for (const char* folder : {"/igc/", "/real/igc/"}) {
        if (ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + folder + name, text) ==
            FileReadStatus::kOk) {
            return text;
        }
    }
    ADD_FAILURE() << name;
    return text;
}

// A sampled fix of a file: index, UNIX time, latitude and longitude (gpsbabel), pressure and GPS
// altitude in metres.
struct OracleFix {
    std::size_t index;
    std::int64_t unixTime;
    double latitude, longitude;
    int pressureAltitude, gpsAltitude;
};

// The sampled fixes of `file`, and its fix count.
inline std::vector<OracleFix> OracleFixes(const std::string& file, std::size_t& count) {
    const std::string table = ReadIgc("oracle_fixes.tsv");
    std::vector<OracleFix> fixes;
    std::size_t start = 0;
    while (start < table.size()) {
        const std::size_t end = std::min(table.find('\n', start), table.size());
        const std::string line = table.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> f;
        for (std::size_t at = 0;;) {
            const std::size_t tab = line.find('\t', at);
            f.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
            if (tab == std::string::npos) {
                break;
            }
            at = tab + 1;
        }
        if (f.size() < 3 || f[1] != file) {
            continue;
        }
        if (f[0] == "count") {
            count = std::stoul(f[2]);
        } else if (f.size() >= 10) {
            fixes.push_back({std::stoul(f[2]), std::stoll(f[3]), std::stod(f[4]), std::stod(f[5]),
                             std::stoi(f[8]), std::stoi(f[9])});
        }
    }
    return fixes;
}

inline std::size_t OracleCount(const std::string& file) {
    std::size_t count = 0;
    OracleFixes(file, count);
    return count;
}

// Every sampled fix of `file` among `points` from `offset` on: time, position (to within
// `degrees`) and GPS altitude; `more` checks what else the family carries.
using FixCheck =
    std::function<void(const TrackPoint& p, const OracleFix& f, const std::string& where)>;
inline void ExpectOracleFixes(const std::string& file, const std::vector<TrackPoint>& points,
                              std::size_t offset = 0, const FixCheck& more = {},
                              double degrees = 1e-6) {
    std::size_t count = 0;
    const std::vector<OracleFix> fixes = OracleFixes(file, count);
    ASSERT_FALSE(fixes.empty()) << file;
    ASSERT_GE(points.size(), offset + count) << file;
    for (const OracleFix& f : fixes) {
        const TrackPoint& p = points[offset + f.index];
        const std::string where = file + " fix " + std::to_string(f.index);
        EXPECT_EQ(static_cast<std::int64_t>(p.time) + kUnixToReceiver, f.unixTime) << where;
        EXPECT_NEAR(SemicirclesToDegrees(p.latitude), f.latitude, degrees) << where;
        EXPECT_NEAR(SemicirclesToDegrees(p.longitude), f.longitude, degrees) << where;
        EXPECT_EQ(p.gpsAltitude, f.gpsAltitude * 10) << where;
        if (more) {
            more(p, f, where);
        }
    }
}

// What the job handed to its completion routine.
struct JobOutcome {
    int result = 999;
    DownloadedTrackLog track;
    std::vector<Waypoint> waypoints;
    device::FlightList flights;
    std::string productName, instrumentDescription, productText;
    int competitionId = 999, civlId = 999;
};

template <typename Emulator>
class EmulatorSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pty.Open(), 0) << "cannot create a pseudo-terminal pair";
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        layer.SetPortName(pty.SlavePath());
        // Two product-data attempts when the instrument does not answer.
        layer.SetOpenAttempts(4);
    }

    void TearDown() override {
        layer.WaitForJobEnd();
        if (emulator) {
            emulator->Stop();
        }
    }

    // Starts the emulator on its thread; one that watches the line speed gets the slave side.
    template <typename Config>
    Emulator& StartEmulator(Config config) {
        if constexpr (requires { config.slaveFd; }) {
            config.slaveFd = pty.SlaveFd();
        }
        emulator = std::make_unique<Emulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }

    // A job of `protocol` with the flights of `slots` chosen, delivering into `outcome`.
    device::JobStart Job(device::AccessFunction function, GpsProtocol protocol,
                         std::initializer_list<int> slots = {}) {
        device::JobStart start;
        start.function = function;
        start.protocol = protocol;
        for (const int slot : slots) {
            start.selectedFlights.set(static_cast<std::size_t>(slot));
        }
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

    // Runs the job to its end.
    const JobOutcome& Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        return outcome;
    }

    std::string FirstError() {
        const auto errors = sink.Errors();
        return errors.empty() ? std::string() : errors.front().text;
    }

    // The emulator's events once it has noted `count` of them (the end of a failed transfer
    // may come after the job has reported).
    std::vector<std::string> Events(std::size_t count) {
        emulator->WaitForEvents(count, kPromptMs);
        return emulator->Events();
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<Emulator> emulator;
    DebugTrace trace;
    device::test_support::RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    JobOutcome outcome;
};

}  // namespace tracora::protocols::harness
