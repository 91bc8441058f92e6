// The logger's side of a LogIt or Tracklogger cable, for tests and tracora-emulate: answers the
// product and point count requests, sends the track log as binary blocks once the session has
// switched the line to the requested speed (watched from its side of the pseudo-terminal),
// restarts a transfer behind the point the session names, takes the erase command and the user
// name, and injects faults into chosen answers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "emulate/emulator_frame.hpp"

namespace tracora::protocols::logit {

enum class LogItStep { kProductData, kPointCount, kTrack };

enum class LogItFault {
    kSilence,        // the request is not answered
    kBadChecksum,    // the product answer, or a data block halfway, carries a wrong checksum
    kSequence,       // a data block halfway skips a sentence number
    kBadCount,       // a data block halfway says it holds 17 records
    kGarbage,        // line noise before the answer
    kCutConnection,  // the cable is cut halfway through the answer
    kStall,          // the logger freezes halfway through the answer (see stallMs)
    kStopHalfway,    // the answer stops halfway; the cable stays
};

// The fixes of an IGC text as the logger keeps them; false when it has none.
using emulate::FlightFromIgc;

struct LogItEmulatorConfig {
    std::string model = "LOGIT";
    std::string user = "PILOT";
    std::string serial = "4711";
    std::string version = "2.10";
    std::vector<TrackPoint> points;
    std::uint8_t firstSentence = 0xFA;
    int slaveFd = -1;
    int lineRateBaud = 0;
    int stallMs = 20'000;
};

class LogItEmulator : public emulate::FaultedEmulator<LogItStep, LogItFault> {
public:
    LogItEmulator(device::EmulatorLink& link, LogItEmulatorConfig config, std::FILE* log = nullptr);
    ~LogItEmulator() override { Stop(); }

    // Events(): "track request at 4800", "track blocks at 57600", "end at 4800", "restart
    // 1235", ...
    // The user names received (9 characters each).
    std::vector<std::string> Names() const;
    bool Erased() const;

private:
    int Serve() override;
    void Handle(const std::string& request);
    bool Answer(LogItStep step, std::string answer);
    void SendTrack(int baud);

    LogItEmulatorConfig config_;
    // Point index a restarted transfer starts at, -1 for a transfer from the beginning.
    long long restartFrom_ = -1;
    std::vector<std::string> names_;
    bool erased_ = false;
};

}  // namespace tracora::protocols::logit
