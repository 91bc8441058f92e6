// The instrument's side of a Flymaster cable, for tests and tracora-emulate: answers the
// product-data, flight-list, track and waypoint requests from real IGC texts (converted into
// the instrument's packets) and a waypoint list, answers and records waypoint uploads and the
// set commands, and injects faults into chosen answers. Runs on a thread of its own over an
// EmulatorLink (the master side of a pseudo-terminal).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_frame.hpp"
#include "protocols/flymaster/flymaster_frames.hpp"

namespace tracora::protocols::flymaster {

struct EmulatedWaypoint {
    double latitude = 0;   // degrees, negative south
    double longitude = 0;  // degrees, negative west
    int altitude = 0;
    std::string name;
    bool airfield = false;
};

// A few waypoints of the Alps, served when no other list is given.
std::vector<EmulatedWaypoint> BuiltInWaypoints();

// The answers a fault can hit.
enum class FlymasterStep { kProductData, kFlightList, kTrack, kWaypoints, kUpload };

enum class FlymasterFault {
    kSilence,        // the request is not answered
    kBadChecksum,    // the first sentence, or a track packet halfway, carries a wrong checksum
    kGarbage,        // line noise ("#?" and 0xFE) before the answer
    kCutConnection,  // the cable is cut halfway through the answer
    kStall,          // the unit freezes halfway through the answer (see stallMs)
    kStopHalfway,    // the answer stops halfway; the cable stays
    kResend,         // a track packet with a wrong checksum, sent again when refused
};

struct FlymasterEmulatorConfig {
    FlymasterProduct product{"F1", "12345", "1.21"};
    // The stored flights, flight-list index 0 first.
    std::vector<StoredFlight> flights;
    std::vector<EmulatedWaypoint> waypoints;
    int lineRateBaud = 0;
    int stallMs = 20'000;
};

class FlymasterEmulator : public emulate::FaultedEmulator<FlymasterStep, FlymasterFault> {
public:
    FlymasterEmulator(device::EmulatorLink& link, FlymasterEmulatorConfig config,
                      std::FILE* log = nullptr);
    ~FlymasterEmulator() override { Stop(); }

    // The name fields of the waypoint uploads so far (16 characters each).
    std::vector<std::string> UploadedNames() const;
    // The control bytes the session sent during track transfers, in order.
    std::vector<std::uint8_t> ControlBytes() const;

private:
    int Serve() override;
    void Handle(const std::string& request);
    bool Answer(FlymasterStep step, std::string answer);
    void SendTrack(const StoredFlight& flight);
    // Waits for the session's control byte; 0 when none came.
    std::uint8_t WaitForControl();

    FlymasterEmulatorConfig config_;
    std::vector<std::string> uploadedNames_;
    std::vector<std::uint8_t> controlBytes_;
};

}  // namespace tracora::protocols::flymaster
