// The instrument's side of an MLR-style cable (MLR, SP24, Digifly Leonardo, CoMo, CPilot), for
// tests and tracora-emulate: answers the product request, sends the track log and the waypoint
// list as binary frames after the session has switched the line to 38,400 baud, sends the
// waypoint list as a "$GPWPL" stream when the pilot "starts" it, stores uploaded "$GPWPL"
// sentences, and injects faults into chosen answers. It watches the line speed the session
// sets from its side of the pseudo-terminal and records what it saw at each step.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/track_log.hpp"
#include "device/emulator_link.hpp"
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
// False when the IGC text has no fix.
bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points);

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

class MlrEmulator {
public:
    MlrEmulator(device::EmulatorLink& link, MlrEmulatorConfig config, std::FILE* log = nullptr);
    MlrEmulator(const MlrEmulator&) = delete;
    MlrEmulator& operator=(const MlrEmulator&) = delete;
    ~MlrEmulator();

    void Start();
    void Stop();
    // Before Start(): whether the waypoints go out as a stream after the product exchange.
    void SetStreamWaypoints(bool on) { config_.streamWaypoints = on; }
    // Serves on the calling thread. 0 when the link was stopped or cut.
    int Run();

    // The next answer of `step` gets `fault` (once), after `skip` whole answers of the step.
    void ArmFault(MlrStep step, MlrFault fault, int skip = 0);

    // The requests received so far without CR LF.
    std::vector<std::string> Requests() const;
    // The uploaded "$GPWPL" sentences as received, without CR LF.
    std::vector<std::string> Uploads() const;
    // What the instrument saw of the line speed: "track request at 4800", "track frames at
    // 38400", "end at 4800", or "... not at 38400" when the session did not switch in time.
    std::vector<std::string> LineEvents() const;
    bool WaitForRequest(std::string_view prefix, int timeoutMs) const;
    std::uint64_t BytesSent() const;

private:
    struct ArmedFault {
        MlrStep step;
        MlrFault fault;
        int skip;
    };
    void Handle(const std::string& request);
    bool Answer(MlrStep step, std::string answer);
    bool TakeFault(MlrStep step, MlrFault& fault);
    bool Send(std::string_view bytes);
    void SendFrames(MlrStep step);
    void SendStream();
    void NoteLine(const std::string& what);
    void Log(const std::string& text);

    device::EmulatorLink& link_;
    MlrEmulatorConfig config_;
    std::FILE* log_;
    std::thread thread_;
    bool productAnswered_ = false;
    bool streamed_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ArmedFault> faults_;
    std::vector<std::string> requests_;
    std::vector<std::string> uploads_;
    std::vector<std::string> lineEvents_;
    std::uint64_t bytesSent_ = 0;
    bool ended_ = false;
};

}  // namespace tracora::protocols::mlr
