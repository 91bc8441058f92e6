// The logger's side of an Ascent cable, for tests and tracora-emulate: answers the product
// request, sends the track list and each flight's log memory as numbered blocks, takes the
// erase requests, records the line speed the session set (128,000 baud is set as a number) and
// injects faults into chosen answers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "emulate/emulator_frame.hpp"

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
using emulate::FlightFromIgc;

struct AscentEmulatorConfig {
    // The stored flights, flight numbers 1, 2, ...
    std::vector<std::vector<TrackPoint>> flights;
    int usedSectors = 3;
    int slaveFd = -1;
    int lineRateBaud = 0;
};

class AscentEmulator : public emulate::FaultedEmulator<AscentStep, AscentFault> {
public:
    AscentEmulator(device::EmulatorLink& link, AscentEmulatorConfig config,
                   std::FILE* log = nullptr);
    ~AscentEmulator() override { Stop(); }

    // Events(): "product request at 128000", "erase, 2 left", ...
    int EraseRequests() const;

private:
    int Serve() override;
    bool Send(const std::vector<std::uint8_t>& bytes, AscentStep step);
    std::vector<std::uint8_t> ProductReply() const;
    void NextListBlock();
    void NextLogBlock(std::uint16_t flight);

    AscentEmulatorConfig config_;
    std::size_t listAt_ = 0;
    std::uint16_t logFlight_ = 0;
    std::size_t logAt_ = 0;
    std::vector<std::uint8_t> logData_;
    bool stuck_ = false;
    int erases_ = 0;
};

}  // namespace tracora::protocols::ascent
