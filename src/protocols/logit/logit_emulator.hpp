// The logger's side of a LogIt or Tracklogger cable, for tests and tracora-emulate: answers the
// product and point count requests, sends the track log as binary blocks once the session has
// switched the line to the requested speed (watched from its side of the pseudo-terminal),
// restarts a transfer behind the point the session names, takes the erase command and the user
// name, and injects faults into chosen answers.
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
bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points);

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

class LogItEmulator {
public:
    LogItEmulator(device::EmulatorLink& link, LogItEmulatorConfig config, std::FILE* log = nullptr);
    LogItEmulator(const LogItEmulator&) = delete;
    LogItEmulator& operator=(const LogItEmulator&) = delete;
    ~LogItEmulator();

    void Start();
    void Stop();
    int Run();

    // The next answer of `step` gets `fault`, after `skip` whole answers of the step.
    void ArmFault(LogItStep step, LogItFault fault, int skip = 0);

    std::vector<std::string> Requests() const;
    // "track request at 4800", "track blocks at 57600", "end at 4800", "restart 1235", ...
    std::vector<std::string> LineEvents() const;
    // The user names received (9 characters each).
    std::vector<std::string> Names() const;
    bool Erased() const;
    bool WaitForRequest(std::string_view prefix, int timeoutMs) const;

private:
    struct ArmedFault {
        LogItStep step;
        LogItFault fault;
        int skip;
    };
    void Handle(const std::string& request);
    bool Answer(LogItStep step, std::string answer);
    bool TakeFault(LogItStep step, LogItFault& fault);
    bool Send(std::string_view bytes);
    void SendTrack(int baud);
    void Note(const std::string& what);
    void Log(const std::string& text);

    device::EmulatorLink& link_;
    LogItEmulatorConfig config_;
    std::FILE* log_;
    std::thread thread_;
    // Point index a restarted transfer starts at, -1 for a transfer from the beginning.
    long long restartFrom_ = -1;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ArmedFault> faults_;
    std::vector<std::string> requests_;
    std::vector<std::string> events_;
    std::vector<std::string> names_;
    bool erased_ = false;
    bool ended_ = false;
};

}  // namespace tracora::protocols::logit
