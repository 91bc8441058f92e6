// The instrument's side of a Flymaster cable, for tests and tracora-emulate: answers the
// product-data, flight-list, track and waypoint requests from real IGC texts (converted into
// the instrument's packets) and a waypoint list, answers and records waypoint uploads and the
// set commands, and injects faults into chosen answers. Runs on a thread of its own over an
// EmulatorLink (the master side of a pseudo-terminal).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/emulator_link.hpp"
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

class FlymasterEmulator {
public:
    FlymasterEmulator(device::EmulatorLink& link, FlymasterEmulatorConfig config,
                      std::FILE* log = nullptr);
    FlymasterEmulator(const FlymasterEmulator&) = delete;
    FlymasterEmulator& operator=(const FlymasterEmulator&) = delete;
    ~FlymasterEmulator();

    void Start();
    void Stop();
    // Serves on the calling thread. 0 when the link was stopped or cut.
    int Run();

    // The next answer of `step` gets `fault` (once), after `skip` whole answers of the step.
    void ArmFault(FlymasterStep step, FlymasterFault fault, int skip = 0);

    // The requests received so far without CR LF.
    std::vector<std::string> Requests() const;
    // The name fields of the waypoint uploads so far (16 characters each).
    std::vector<std::string> UploadedNames() const;
    // The control bytes the session sent during track transfers, in order.
    std::vector<std::uint8_t> ControlBytes() const;
    bool WaitForRequest(std::string_view prefix, int timeoutMs) const;
    std::uint64_t BytesSent() const;

private:
    struct ArmedFault {
        FlymasterStep step;
        FlymasterFault fault;
        int skip;
    };
    void Handle(const std::string& request);
    bool Answer(FlymasterStep step, std::string answer);
    bool TakeFault(FlymasterStep step, FlymasterFault& fault);
    bool Send(std::string_view bytes);
    void SendTrack(const StoredFlight& flight);
    // Waits for the session's control byte; 0 when none came.
    std::uint8_t WaitForControl();
    void Log(const std::string& text);

    device::EmulatorLink& link_;
    FlymasterEmulatorConfig config_;
    std::FILE* log_;
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ArmedFault> faults_;
    std::vector<std::string> requests_;
    std::vector<std::string> uploadedNames_;
    std::vector<std::uint8_t> controlBytes_;
    std::uint64_t bytesSent_ = 0;
    bool ended_ = false;
};

}  // namespace tracora::protocols::flymaster
