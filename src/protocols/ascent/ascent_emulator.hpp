// The logger's side of an Ascent cable, for tests and tracora-emulate: answers the product
// request, sends the track list and each flight's log memory as numbered blocks, takes the
// erase requests, records the line speed the session set (128,000 baud is set as a number) and
// injects faults into chosen answers.
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

namespace tracora::protocols::ascent {

enum class AscentStep { kProductData, kTrackList, kTrackLog, kErase };

enum class AscentFault {
    kSilence,      // the request is not answered
    kBadId,        // a block with a wrong message ID
    kBlockNumber,  // a block number skipped
    kCutConnection,
    kStopHalfway,  // the answer stops halfway; the cable stays
    kStuck,        // the erase does not bring the sector count down (every time)
    kBadHeader,    // the log header names another flight
    kGarbage,      // line noise before the answer
};

// The fixes of an IGC text as the logger keeps them (one a second); false when none.
bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points);

struct AscentEmulatorConfig {
    // The stored flights, flight numbers 1, 2, ...
    std::vector<std::vector<TrackPoint>> flights;
    int usedSectors = 3;
    int slaveFd = -1;
    int lineRateBaud = 0;
};

class AscentEmulator {
public:
    AscentEmulator(device::EmulatorLink& link, AscentEmulatorConfig config,
                   std::FILE* log = nullptr);
    AscentEmulator(const AscentEmulator&) = delete;
    AscentEmulator& operator=(const AscentEmulator&) = delete;
    ~AscentEmulator();

    void Start();
    void Stop();
    int Run();
    void ArmFault(AscentStep step, AscentFault fault, int skip = 0);

    // "product request at 128000", "erase", ...
    std::vector<std::string> Events() const;
    int EraseRequests() const;
    bool WaitForEvents(std::size_t count, int timeoutMs) const;

private:
    struct ArmedFault {
        AscentStep step;
        AscentFault fault;
        int skip;
    };
    bool TakeFault(AscentStep step, AscentFault& fault);
    bool Send(const std::vector<std::uint8_t>& bytes, AscentStep step);
    void Note(const std::string& what);
    void Log(const std::string& text);
    std::vector<std::uint8_t> ProductReply() const;
    void NextListBlock();
    void NextLogBlock(std::uint16_t flight);

    device::EmulatorLink& link_;
    AscentEmulatorConfig config_;
    std::FILE* log_;
    std::thread thread_;
    std::size_t listAt_ = 0;
    std::uint16_t logFlight_ = 0;
    std::size_t logAt_ = 0;
    std::vector<std::uint8_t> logData_;
    bool stuck_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ArmedFault> faults_;
    std::vector<std::string> events_;
    int erases_ = 0;
};

}  // namespace tracora::protocols::ascent
