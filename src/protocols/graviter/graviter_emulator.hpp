// The instrument's side of a Graviter cable, for tests and tracora-emulate: answers the product
// request, serves its memory image page by page (built from real IGC flights), stores an
// uploaded pilot name, and injects faults into chosen answers. Runs over an EmulatorLink (the
// master side of a pseudo-terminal), on a thread of its own or on the caller's.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/emulator_link.hpp"
#include "protocols/graviter/graviter_frames.hpp"

namespace tracora::protocols::graviter {

// The answers a fault can hit.
enum class GraviterStep { kProduct, kPage, kName };

enum class GraviterFault {
    kSilence,        // the request is not answered
    kBadChecksum,    // the page's checksum is wrong (the product and name answers: a letter)
    kGarbage,        // line noise before the answer
    kCutConnection,  // the cable is cut halfway through the answer
};

struct GraviterEmulatorConfig {
    GraviterProduct product{"G2", "00417", "1.08", "TEST PILOT"};
    // The flights of the memory, oldest first.
    std::vector<std::vector<TrackPoint>> flights;
    bool hasPressureAltitude = true;
    int lineRateBaud = 0;
};

// The points of IGC text as the instrument records them. False when the text holds none.
bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points);

class GraviterEmulator {
public:
    GraviterEmulator(device::EmulatorLink& link, GraviterEmulatorConfig config,
                     std::FILE* log = nullptr);
    GraviterEmulator(const GraviterEmulator&) = delete;
    GraviterEmulator& operator=(const GraviterEmulator&) = delete;
    ~GraviterEmulator();

    void Start();
    void Stop();
    // Serves on the calling thread until the link is stopped or cut. 0.
    int Run();

    // The next answer of `step` gets `fault` (once; several wait in the order armed).
    void ArmFault(GraviterStep step, GraviterFault fault);

    // The requests so far ("V", "R0001", "NANNA").
    std::vector<std::string> Requests() const;
    // The pilot name stored last (the product answer's fifth word follows it).
    std::string PilotName() const;
    // The memory image served.
    const std::vector<std::uint8_t>& Image() const { return image_; }

private:
    struct ArmedFault {
        GraviterStep step;
        GraviterFault fault;
    };
    void Handle(std::uint8_t command);
    bool Answer(GraviterStep step, std::string answer);
    bool TakeFault(GraviterStep step, GraviterFault& fault);
    void Log(const std::string& text);

    device::EmulatorLink& link_;
    GraviterEmulatorConfig config_;
    std::vector<std::uint8_t> image_;
    std::FILE* log_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::vector<ArmedFault> faults_;
    std::vector<std::string> requests_;
    bool ended_ = false;
};

}  // namespace tracora::protocols::graviter
