// The recorder's side of a DSX cable, for tests and tracora-emulate: answers the connection,
// the flight list, the flights (real IGC texts) and the pilot data fields, records the fields
// written, and injects faults into chosen answers. Runs on a thread of its own over an
// EmulatorLink (the master side of a pseudo-terminal). Requests end with CR.
#pragma once

#include <array>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/emulator_link.hpp"
#include "protocols/dsx/dsx_frames.hpp"

namespace tracora::protocols::dsx {

enum class DsxStep { kConnect, kFlightList, kFlight, kField };

enum class DsxFault {
    kSilence,        // the request is not answered
    kGarbled,        // the connection answer "Conn" followed by something else; a list line
                     // with a two-digit track number
    kCutConnection,  // the cable is cut halfway through the answer
    kStopHalfway,    // the answer stops halfway (a flight without its "ZZZZ")
    kGarbage,        // line noise before the answer
};

struct DsxEmulatorConfig {
    // The stored flights as IGC text; flight i has the track number firstNumber + i.
    std::vector<std::string> flights;
    int firstNumber = 1;
    std::array<std::string, 5> fields{"TEST PILOT", "42", "Sport", "Ozone Enzo", "Sponsor"};
    int lineRateBaud = 0;
};

class DsxEmulator {
public:
    DsxEmulator(device::EmulatorLink& link, DsxEmulatorConfig config, std::FILE* log = nullptr);
    DsxEmulator(const DsxEmulator&) = delete;
    DsxEmulator& operator=(const DsxEmulator&) = delete;
    ~DsxEmulator();

    void Start();
    void Stop();
    int Run();
    void ArmFault(DsxStep step, DsxFault fault);

    // The requests received so far without their CR.
    std::vector<std::string> Requests() const;
    std::array<std::string, 5> Fields() const;
    std::string Telephone() const;

private:
    void Handle(const std::string& request);
    bool Answer(DsxStep step, std::string answer);
    bool Send(std::string_view bytes);
    void Log(const std::string& text);

    device::EmulatorLink& link_;
    DsxEmulatorConfig config_;
    std::FILE* log_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::vector<std::pair<DsxStep, DsxFault>> faults_;
    std::vector<std::string> requests_;
    std::string telephone_;
};

}  // namespace tracora::protocols::dsx
