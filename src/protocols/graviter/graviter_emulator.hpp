// The instrument's side of a Graviter cable, for tests and tracora-emulate: answers the product
// request, serves its memory image page by page (built from real IGC flights), stores an
// uploaded pilot name, and injects faults into chosen answers. Runs over an EmulatorLink (the
// master side of a pseudo-terminal), on a thread of its own or on the caller's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_frame.hpp"
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

// Requests() are "V", "R0001", "NANNA".
class GraviterEmulator : public emulate::FaultedEmulator<GraviterStep, GraviterFault> {
public:
    GraviterEmulator(device::EmulatorLink& link, GraviterEmulatorConfig config,
                     std::FILE* log = nullptr);
    ~GraviterEmulator() override { Stop(); }

    // The pilot name stored last (the product answer's fifth word follows it).
    std::string PilotName() const;
    // The memory image served.
    const std::vector<std::uint8_t>& Image() const { return image_; }

private:
    int Serve() override;
    void Handle(std::uint8_t command);
    bool Answer(GraviterStep step, std::string answer);

    GraviterEmulatorConfig config_;
    std::vector<std::uint8_t> image_;
};

}  // namespace tracora::protocols::graviter
