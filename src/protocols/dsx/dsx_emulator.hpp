// The recorder's side of a DSX cable, for tests and tracora-emulate: answers the connection,
// the flight list, the flights (real IGC texts) and the pilot data fields, records the fields
// written, and injects faults into chosen answers. Runs on a thread of its own over an
// EmulatorLink (the master side of a pseudo-terminal). Requests end with CR.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_frame.hpp"
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

// Requests() are without their CR.
class DsxEmulator : public emulate::FaultedEmulator<DsxStep, DsxFault> {
public:
    DsxEmulator(device::EmulatorLink& link, DsxEmulatorConfig config, std::FILE* log = nullptr);
    ~DsxEmulator() override { Stop(); }

    std::array<std::string, 5> Fields() const;
    std::string Telephone() const;

private:
    int Serve() override;
    void Handle(const std::string& request);
    bool Answer(DsxStep step, std::string answer);

    DsxEmulatorConfig config_;
    std::string telephone_;
};

}  // namespace tracora::protocols::dsx
