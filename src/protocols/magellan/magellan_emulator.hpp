// The instrument's side of a Magellan cable, for tests and tracora-emulate: answers the version
// request, sends the track log (the points of real IGC flights) and the waypoints one sentence
// each with the end command after them, stores uploaded waypoints, acknowledges every sentence
// once the host has switched the handshake on, and injects faults into chosen answers. Runs
// over an EmulatorLink (the master side of a pseudo-terminal), on a thread of its own or on the
// caller's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "emulate/emulator_frame.hpp"

namespace tracora::protocols::magellan {

// The answers a fault can hit.
enum class MagellanStep { kVersion, kTrack, kWaypoints };

enum class MagellanFault {
    kSilence,      // the request is not answered
    kBadChecksum,  // the middle sentence of the answer has a wrong checksum
    kGarbage,      // line noise before the answer
    kCut,          // the cable is cut halfway through the answer
    kStall,        // the unit freezes halfway through the answer, then goes on
    kStop,         // the answer stops halfway, in the middle of a sentence
    kBadField,     // the middle sentence has a latitude of 91 degrees (a waypoint: a long name)
    kNoFix,        // the middle track point has no fix (status V)
    kBelowSea,     // the middle track point lies 12 m below sea level
};

struct MagellanEmulatorConfig {
    unsigned productId = 33;
    std::string version = "4.03";
    std::string description = "MERIDIAN GPS";
    // The track log: the flights' points in order.
    std::vector<TrackPoint> track;
    std::vector<Waypoint> waypoints;
    int lineRateBaud = 0;
    int stallMs = 20'000;
};

// Some waypoints of the Alps, as a unit keeps them.
std::vector<Waypoint> BuiltInWaypoints();

class MagellanEmulator : public emulate::FaultedEmulator<MagellanStep, MagellanFault> {
public:
    MagellanEmulator(device::EmulatorLink& link, MagellanEmulatorConfig config,
                     std::FILE* log = nullptr);
    ~MagellanEmulator() override { Stop(); }

    // The bodies of the sentences received, in order ("PMGNCMD,VERSION").
    std::vector<std::string> Received() const { return Requests(); }
    // The bodies of the waypoint sentences uploaded.
    std::vector<std::string> Uploads() const;
    // Whether an upload ended with the end command.
    bool UploadEnded() const;

private:
    int Serve() override;
    void Handle(const std::string& body);
    // Sends the sentences of an answer with the fault armed for `step`; `endCommand` follows
    // a list. False when the link is gone.
    bool Answer(MagellanStep step, std::vector<std::string> sentences, bool endCommand);

    MagellanEmulatorConfig config_;
    std::vector<std::string> uploads_;
    bool uploadEnded_ = false;
    bool handshake_ = false;
};

}  // namespace tracora::protocols::magellan
