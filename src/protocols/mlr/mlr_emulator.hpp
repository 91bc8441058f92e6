// The instrument's side of an MLR-style cable (MLR, SP24, Digifly Leonardo, CoMo, CPilot), for
// tests and tracora-emulate: answers the product request, sends the track log and the waypoint
// list as binary frames after the session has switched the line to 38,400 baud, sends the
// waypoint list as a "$GPWPL" stream when the pilot "starts" it, stores uploaded "$GPWPL"
// sentences, and injects faults into chosen answers. It watches the line speed the session
// sets from its side of the pseudo-terminal and records what it saw at each step.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "emulate/emulator_frame.hpp"
#include "protocols/mlr/mlr_frames.hpp"

namespace tracora::protocols::mlr {

// The answers a fault can hit.
enum class MlrStep { kProductData, kTrack, kWaypoints, kStream };

enum class MlrFault {
    kSilence,        // the request is not answered
    kBadChecksum,    // the product answer, or a data frame halfway, carries a wrong sum
    kSequence,       // a data frame halfway skips a sentence number
    kBadCount,       // a data frame halfway says it holds 28 records (30 for waypoints)
    kGarbage,        // line noise before the answer
    kCutConnection,  // the cable is cut halfway through the answer
    kStall,          // the unit freezes halfway through the answer (see stallMs)
    kStopHalfway,    // the answer stops halfway; the cable stays
};

// A flight as the receiver keeps it: the points with their times in the system's seconds.
using emulate::FlightFromIgc;

// A few waypoints (IDs of six characters and less), served when no other list is given.
std::vector<Waypoint> BuiltInWaypoints();

struct MlrEmulatorConfig {
    // The product answer's fields 1 to 5.
    std::vector<std::string> product{"MLR SP24", "XC", "12345", "2.80", "V2"};
    // Leonardo reading: 38,400 baud throughout, no speed switch.
    bool binarySpeed = false;
    // The stored track log (one flight after the other).
    std::vector<TrackPoint> points;
    std::vector<Waypoint> waypoints;
    // Sent as a "$GPWPL" stream once the product exchange has ended (the pilot starting the
    // transfer on the instrument); the list is sent twice, as the instrument repeats it.
    bool streamWaypoints = false;
    // The first sentence number of a binary transfer (wraps modulo 256).
    std::uint8_t firstSentence = 0xF0;
    // The slave side of the cable, to watch the line speed; -1 not to watch.
    int slaveFd = -1;
    int lineRateBaud = 0;
    int stallMs = 20'000;
};

class MlrEmulator : public emulate::FaultedEmulator<MlrStep, MlrFault> {
public:
    MlrEmulator(device::EmulatorLink& link, MlrEmulatorConfig config, std::FILE* log = nullptr);
    ~MlrEmulator() override { Stop(); }

    // Before Start(): whether the waypoints go out as a stream after the product exchange.
    void SetStreamWaypoints(bool on) { config_.streamWaypoints = on; }

    // The uploaded "$GPWPL" sentences as received, without CR LF.
    std::vector<std::string> Uploads() const;
    // Events() holds what the instrument saw of the line speed: "track request at 4800",
    // "track frames at 38400", "end at 4800", or "... not at 38400" when the session did not
    // switch in time.

private:
    int Serve() override;
    void Handle(const std::string& request);
    bool Answer(MlrStep step, std::string answer);
    void SendFrames(MlrStep step);
    void SendStream();
    void NoteLine(const std::string& what);

    MlrEmulatorConfig config_;
    bool productAnswered_ = false;
    bool streamed_ = false;
    std::vector<std::string> uploads_;
};

}  // namespace tracora::protocols::mlr
