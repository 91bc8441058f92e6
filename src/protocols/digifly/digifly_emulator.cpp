#include "protocols/digifly/digifly_emulator.hpp"

#include <algorithm>

#include "core/angles.hpp"
#include "emulate/emulator_kit.hpp"

namespace tracora::protocols::digifly {

namespace {

constexpr int kFirstWaypointPage = kCompWaypointPage;
constexpr std::size_t kWaypointPages = 4;

std::string Request(std::string_view sentence) {
    return std::string(sentence.substr(0, sentence.size() - 2));
}

}  // namespace

std::vector<Waypoint> BuiltInWaypoints() {
    struct Entry {
        const char* id;
        const char* description;
        double latitude, longitude;
        int altitude;
        int kind;
    };
    constexpr Entry kEntries[] = {
        {"FIESCH", "Fiesch takeoff", 46.409383, 8.126333, 2212, kWaypointKindPoint},
        {"NIESEN", "Niesen Kulm", 46.694167, 7.857167, 2362, kWaypointKindPoint},
        {"LZ1", "Landing Wimmis", 46.678, 7.873, 568, kWaypointKindAirfield},
        {"A-12", "Andes", -33.952, -70.365, 2100, kWaypointKindPoint},
        {"DEAD", "Dead Sea", 31.5, 35.45, -400, kWaypointKindPoint},
    };
    std::vector<Waypoint> list;
    for (const Entry& e : kEntries) {
        Waypoint w;
        w.SetId(e.id);
        w.SetDescription(e.description);
        w.latitude = DegreesToSemicircles(e.latitude);
        w.longitude = DegreesToSemicircles(e.longitude);
        w.altitude = e.altitude;
        w.kind = e.kind;
        list.push_back(w);
    }
    return list;
}

DigiflyEmulator::DigiflyEmulator(device::EmulatorLink& link, DigiflyEmulatorConfig config,
                                 std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud, config.stallMs),
      config_(std::move(config)),
      trackMemory_(static_cast<std::size_t>(kPageCount) * kPageSize, kEmptyRecord),
      waypointMemory_(kWaypointPages * kPageSize, kEmptyRecord) {
    // The flights one behind the other, each record where the instrument's page rule puts it.
    std::vector<FlightEntry> stored;
    std::uint32_t address = config_.firstAddress;
    for (const std::vector<TrackPoint>& flight : config_.flights) {
        FlightEntry entry;
        entry.start = flight.front().time;
        entry.end = flight.back().time;
        entry.startAddress = address;
        entry.endAddress = TrackEndAddress(address, flight.size());
        for (std::size_t i = 0; i < flight.size(); ++i) {
            std::vector<std::uint8_t> record;
            AppendTrackRecord(record, FromTrackPoint(flight[i]));
            const std::uint32_t at = RecordAddress(address, i);
            std::copy(record.begin(), record.end(),
                      trackMemory_.begin() + (at >> 16) * kPageSize + (at & 0xFFFF));
        }
        address = NextTrackAddress(address, flight.size());
        stored.push_back(entry);
    }
    std::vector<int> order = config_.listOrder;
    if (order.empty()) {
        for (std::size_t i = 0; i < stored.size(); ++i) {
            order.push_back(static_cast<int>((i + 1) % stored.size()));
        }
    }
    for (const int i : order) {
        if (i >= 0 && static_cast<std::size_t>(i) < stored.size()) {
            listed_.push_back(stored[static_cast<std::size_t>(i)]);
        }
    }
    const auto store = [this](int firstPage, const std::vector<Waypoint>& list) {
        for (std::size_t i = 0; i < list.size() && i < static_cast<std::size_t>(kWaypointRecords);
             ++i) {
            std::vector<std::uint8_t> record;
            AppendWaypointRecord(record, list[i]);
            const int slot = static_cast<int>(i);
            std::copy(record.begin(), record.end(),
                      WaypointByte(firstPage + slot / kWaypointsPerPage,
                                   slot % kWaypointsPerPage * kWaypointRecordSize));
        }
    };
    store(kUserWaypointPage, config_.userWaypoints);
    store(kCompWaypointPage, config_.compWaypoints);
}

DigiflyEmulator::~DigiflyEmulator() {
    Stop();
}

std::uint8_t* DigiflyEmulator::WaypointByte(int page, int offset) {
    if (page < kFirstWaypointPage ||
        page >= kFirstWaypointPage + static_cast<int>(kWaypointPages) || offset < 0 ||
        offset >= kPageSize) {
        return nullptr;
    }
    return waypointMemory_.data() +
           static_cast<std::size_t>(page - kFirstWaypointPage) * kPageSize +
           static_cast<std::size_t>(offset);
}

void DigiflyEmulator::SetWaypointRecord(bool competitionList, int slot,
                                        std::span<const std::uint8_t> record) {
    const int firstPage = competitionList ? kCompWaypointPage : kUserWaypointPage;
    Change([&] {
        std::uint8_t* at = WaypointByte(firstPage + slot / kWaypointsPerPage,
                                        slot % kWaypointsPerPage * kWaypointRecordSize);
        if (at != nullptr) {
            std::copy_n(record.begin(), std::min<std::size_t>(record.size(), kWaypointRecordSize),
                        at);
        }
    });
}

int DigiflyEmulator::Serve() {
    return ServeSentences([this](const std::string& request) { Handle(request); });
}

void DigiflyEmulator::Handle(const std::string& request) {
    NoteRequest(request.substr(0, 60));
    if (request == Request(kProductRequest)) {
        Note("product request at " + std::to_string(emulate::LineBaud(config_.slaveFd)),
             "  line: ");
        DigiflyFault fault{};
        const bool faulted = TakeFault(DigiflyStep::kProductData, fault);
        Answer(ProductAnswer(config_.product), faulted ? &fault : nullptr);
        return;
    }
    if (request == Request(kFlightListRequest)) {
        DigiflyFault fault{};
        const bool faulted = TakeFault(DigiflyStep::kFlightList, fault);
        std::vector<FlightEntry> entries = listed_;
        int count = static_cast<int>(entries.size());
        if (faulted && fault == DigiflyFault::kCorruptEnd) {
            Log("  fault: end addresses beyond their pages");
            for (FlightEntry& e : entries) {
                e.endAddress = (e.endAddress & 0xFF0000u) | 0xF123u;
            }
        } else if (faulted && fault == DigiflyFault::kWrongCount) {
            Log("  fault: a count one too high");
            ++count;
        }
        Answer(FlightListAnswer(entries, count), faulted ? &fault : nullptr);
        return;
    }
    if (const std::optional<MemoryRequest> memory = ParseMemoryRequest(request)) {
        HandleMemory(*memory);
        return;
    }
    Log("  unknown request: ignored");
}

void DigiflyEmulator::HandleMemory(const MemoryRequest& request) {
    if (request.write) {
        Change([&] {
            std::uint8_t* at = WaypointByte(request.page, request.offset);
            if (request.type == kWaypointMemory && at != nullptr &&
                request.offset + request.length <= kPageSize) {
                std::copy(request.bytes.begin(), request.bytes.end(), at);
            }
            writes_.push_back({request.type, request.page, request.offset, request.bytes});
        });
        DigiflyFault fault{};
        const bool faulted = TakeFault(DigiflyStep::kWrite, fault);
        Answer(std::string(kWriteAnswer) + "\r\n", faulted ? &fault : nullptr);
        return;
    }
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < request.length; ++i) {
        const int offset = request.offset + i;
        std::uint8_t value = kEmptyRecord;
        if (request.type == kTrackMemory && offset < kPageSize) {
            value = trackMemory_[static_cast<std::size_t>(request.page) * kPageSize +
                                 static_cast<std::size_t>(offset)];
        } else if (request.type == kWaypointMemory) {
            value = Locked([&] {
                const std::uint8_t* at = WaypointByte(request.page, offset);
                return at != nullptr ? *at : kEmptyRecord;
            });
        }
        bytes.push_back(value);
    }
    const DigiflyStep step =
        request.type == kTrackMemory ? DigiflyStep::kTrack : DigiflyStep::kWaypoints;
    DigiflyFault fault{};
    const bool faulted = TakeFault(step, fault);
    if (faulted && fault == DigiflyFault::kWrongCount && !bytes.empty()) {
        Log("  fault: an answer one byte short");
        bytes.pop_back();
    }
    Answer(MemoryAnswer(bytes), faulted ? &fault : nullptr);
}

bool DigiflyEmulator::Answer(std::string answer, const DigiflyFault* fault) {
    if (fault == nullptr) {
        return Send(answer);
    }
    switch (*fault) {
        case DigiflyFault::kSilence:
            Log("  fault: no answer");
            return false;
        case DigiflyFault::kBadChecksum:
            Log("  fault: bad checksum");
            return Send(emulate::BreakChecksum(std::move(answer)));
        case DigiflyFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("#?\xFE" + answer);
        case DigiflyFault::kCutConnection:
            return SendCut(answer);
        case DigiflyFault::kStall:
            return SendStalled(answer);
        case DigiflyFault::kStopHalfway:
            return SendHalf(answer);
        case DigiflyFault::kWrongCount:
        case DigiflyFault::kCorruptEnd:
            // Already worked into the answer where they mean something.
            break;
    }
    return Send(answer);
}

std::vector<WriteCommand> DigiflyEmulator::Writes() const {
    return Locked([&] { return writes_; });
}

std::vector<std::pair<int, Waypoint>> DigiflyEmulator::StoredWaypoints(bool competitionList) const {
    return Locked([&] {
        const int firstPage = competitionList ? kCompWaypointPage : kUserWaypointPage;
        std::vector<std::pair<int, Waypoint>> list;
        for (int slot = 0; slot < kWaypointRecords; ++slot) {
            const std::size_t at =
                static_cast<std::size_t>(firstPage + slot / kWaypointsPerPage -
                                         kFirstWaypointPage) *
                    kPageSize +
                static_cast<std::size_t>(slot % kWaypointsPerPage * kWaypointRecordSize);
            if (const std::optional<Waypoint> w = DecodeWaypointRecord(
                    std::span(waypointMemory_).subspan(at, kWaypointRecordSize), 0)) {
                list.emplace_back(slot, *w);
            }
        }
        return list;
    });
}

std::vector<FlightEntry> DigiflyEmulator::ListedFlights() const {
    return listed_;
}

}  // namespace tracora::protocols::digifly
