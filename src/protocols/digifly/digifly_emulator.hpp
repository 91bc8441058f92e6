// The instrument's side of a Digifly Air or Leonardo Pro cable, for tests and tracora-emulate:
// holds flights in its track memory (records laid out page by page, a flight crossing page ends
// and the wrap from page 255 to page 0), lists them in an order of its own, keeps the user and
// competition waypoint pages, answers the product, flight list and memory requests, stores
// memory writes, and injects faults into chosen answers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/track_log.hpp"
#include "device/emulator_link.hpp"
#include "emulate/emulator_frame.hpp"
#include "protocols/digifly/digifly_frames.hpp"

namespace tracora::protocols::digifly {

// The answers a fault can hit.
enum class DigiflyStep { kProductData, kFlightList, kTrack, kWaypoints, kWrite };

enum class DigiflyFault {
    kSilence,        // the request is not answered (a write: its answer is missing)
    kGarbage,        // line noise before the answer
    kCutConnection,  // the cable is cut halfway through the answer
    kBadChecksum,    // the answer carries a wrong checksum
    kStall,          // the unit freezes halfway through the answer (see stallMs)
    kStopHalfway,    // the answer stops halfway; the cable stays
    kWrongCount,     // a memory answer one byte short; a flight list with a count one too high
    kCorruptEnd,     // the flight list gives end addresses beyond the end of their page
};

// A few waypoints for the user list (one an airfield).
std::vector<Waypoint> BuiltInWaypoints();

struct DigiflyEmulatorConfig {
    DigiflyProduct product{"DIGIFLY AIR", "2.14", "10457", "PILOT"};
    // The stored flights, oldest first; each is laid out behind the one before.
    std::vector<std::vector<TrackPoint>> flights;
    // Where the first flight starts: by default 92 bytes before the end of the last page, so
    // that it goes on at offset 0 of page 0.
    std::uint32_t firstAddress = 255u << 16 | 4000u;
    // The flight list's order (indexes of `flights`); empty: the stored order turned by one, so
    // that the list is neither oldest nor newest first.
    std::vector<int> listOrder;
    std::vector<Waypoint> userWaypoints;
    std::vector<Waypoint> compWaypoints;
    // The slave side of the cable, to log the line speed; -1 not to watch.
    int slaveFd = -1;
    int lineRateBaud = 0;
    int stallMs = 20'000;
};

class DigiflyEmulator : public emulate::FaultedEmulator<DigiflyStep, DigiflyFault> {
public:
    DigiflyEmulator(device::EmulatorLink& link, DigiflyEmulatorConfig config,
                    std::FILE* log = nullptr);
    ~DigiflyEmulator() override;

    // The memory writes received.
    std::vector<WriteCommand> Writes() const;
    // The waypoints of a list as its memory now holds them, with the records' slots.
    std::vector<std::pair<int, Waypoint>> StoredWaypoints(bool competitionList) const;
    // The flight list as the instrument sends it.
    std::vector<FlightEntry> ListedFlights() const;

    // Puts raw records into a waypoint list (slot, 44 bytes), also while serving.
    void SetWaypointRecord(bool competitionList, int slot, std::span<const std::uint8_t> record);

private:
    int Serve() override;
    void Handle(const std::string& request);
    void HandleMemory(const MemoryRequest& request);
    // Sends `answer`, broken by `fault` when one of the kit's faults was taken for it.
    bool Answer(std::string answer, const DigiflyFault* fault);
    std::uint8_t* WaypointByte(int page, int offset);

    DigiflyEmulatorConfig config_;
    std::vector<FlightEntry> listed_;
    std::vector<std::uint8_t> trackMemory_;
    std::vector<std::uint8_t> waypointMemory_;  // pages 228 to 231, under the frame's lock
    std::vector<WriteCommand> writes_;
};

}  // namespace tracora::protocols::digifly
