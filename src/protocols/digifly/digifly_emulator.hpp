// The instrument's side of a Digifly Air or Leonardo Pro cable, for tests and tracora-emulate:
// holds flights in its track memory (records laid out page by page, a flight crossing page ends
// and the wrap from page 255 to page 0), lists them in an order of its own, keeps the user and
// competition waypoint pages, answers the product, flight list and memory requests, stores
// memory writes, and injects faults into chosen answers.
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

// A flight as the instrument keeps it. False when the IGC text has no fix.
bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points);

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

class DigiflyEmulator {
public:
    DigiflyEmulator(device::EmulatorLink& link, DigiflyEmulatorConfig config,
                    std::FILE* log = nullptr);
    DigiflyEmulator(const DigiflyEmulator&) = delete;
    DigiflyEmulator& operator=(const DigiflyEmulator&) = delete;
    ~DigiflyEmulator();

    void Start();
    void Stop();
    // Serves on the calling thread. 0 when the link was stopped or cut.
    int Run();

    // The next answer of `step` gets `fault` (once), after `skip` whole answers of the step.
    void ArmFault(DigiflyStep step, DigiflyFault fault, int skip = 0);

    // The requests received so far without CR LF.
    std::vector<std::string> Requests() const;
    // The memory writes received.
    std::vector<WriteCommand> Writes() const;
    // The waypoints of a list as its memory now holds them, with the records' slots.
    std::vector<std::pair<int, Waypoint>> StoredWaypoints(bool competitionList) const;
    // The flight list as the instrument sends it.
    std::vector<FlightEntry> ListedFlights() const;
    // "product request at 115200", ...
    std::vector<std::string> LineEvents() const;
    bool WaitForRequest(std::string_view prefix, int timeoutMs) const;
    std::uint64_t BytesSent() const;

    // Before Start(): puts raw records into a waypoint list (slot, 44 bytes).
    void SetWaypointRecord(bool competitionList, int slot, std::span<const std::uint8_t> record);

private:
    struct ArmedFault {
        DigiflyStep step;
        DigiflyFault fault;
        int skip;
    };
    void Handle(const std::string& request);
    void HandleMemory(const MemoryRequest& request);
    bool Answer(DigiflyStep step, std::string answer);
    bool TakeFault(DigiflyStep step, DigiflyFault& fault);
    bool Send(std::string_view bytes);
    void Log(const std::string& text);
    std::uint8_t* WaypointByte(int page, int offset);

    device::EmulatorLink& link_;
    DigiflyEmulatorConfig config_;
    std::FILE* log_;
    std::thread thread_;
    std::vector<FlightEntry> listed_;
    std::vector<std::uint8_t> trackMemory_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::uint8_t> waypointMemory_;  // pages 228 to 231
    std::vector<ArmedFault> faults_;
    std::vector<std::string> requests_;
    std::vector<WriteCommand> writes_;
    std::vector<std::string> lineEvents_;
    std::uint64_t bytesSent_ = 0;
    bool ended_ = false;
};

}  // namespace tracora::protocols::digifly
