#include "protocols/syride/syride_emulator.hpp"

#include <algorithm>

#include "core/time_base.hpp"
#include "protocols/syride/syride_frames.hpp"

namespace tracora::protocols::syride {

namespace {

// 32 pages of 64 KiB; page 1 holds the waypoint table, the flights start at page 2.
constexpr std::size_t kMemoryPages = 32;
constexpr std::uint8_t kFirstFlightPage = 2;

}  // namespace

SyrideEmulator::SyrideEmulator(SyrideEmulatorConfig config)
    : config_(std::move(config)), memory_(kMemoryPages * kMemoryPage, 0xFF) {
    std::fill_n(memory_.begin() + kWaypointTable, kWaypointTableSize, 0xFF);
    for (std::size_t i = 0; i < config_.waypoints.size() && i < kSlots; ++i)
        EncodeSlot(config_.waypoints[i],
                   std::span(memory_).subspan(kWaypointTable + i * kSlotSize, kSlotSize));
    std::uint8_t page = kFirstFlightPage;
    for (std::size_t f = 0; f < config_.flights.size(); ++f) {
        const std::vector<TrackPoint>& flight = config_.flights[f];
        const std::vector<std::uint8_t> bytes = EncodeFlight(flight);
        FlightEntry entry;
        entry.startUnix = (flight.empty() ? 0 : flight.front().time) + kUnixToTimeBase;
        entry.duration = static_cast<std::uint16_t>(flight.size());
        if (static_cast<int>(f) == config_.inconsistentFlight)
            entry.duration = static_cast<std::uint16_t>(flight.size() + 5000);
        entry.startPage = page;
        entries_.push_back(EncodeFlightEntry(entry));
        for (std::size_t at = 0; at < bytes.size() || at == 0; at += kPageDataSize) {
            const std::size_t base = std::size_t{page} * kMemoryPage;
            const std::size_t chunk = std::min<std::size_t>(kPageDataSize, bytes.size() - at);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), chunk,
                        memory_.begin() + static_cast<std::ptrdiff_t>(base + kPageDataOffset));
            const bool more = at + kPageDataSize < bytes.size();
            memory_[base + 3] = more ? static_cast<std::uint8_t>(page + 1) : 0xFF;
            ++page;
            if (bytes.empty())
                break;
        }
    }
}

std::uint16_t SyrideEmulator::VendorId() const {
    return kVendorId;
}

std::uint16_t SyrideEmulator::ProductId() const {
    return kProductId;
}

bool SyrideEmulator::Present() const {
    std::lock_guard lock(mutex_);
    return present_;
}

std::vector<std::vector<std::uint8_t>> SyrideEmulator::Report(
    std::span<const std::uint8_t> request) {
    if (request.size() != kReportSize || request[0] != kReportId ||
        request[63] != ReportSum(request))
        return {};  // a damaged request is not answered
    const std::uint8_t command = request[1];
    SyrideStep step = SyrideStep::kMemory;
    std::vector<std::uint8_t> data;
    switch (command) {
        case kCmdIdentify: {
            step = SyrideStep::kIdentify;
            const auto serial = Le32(config_.serial);
            data.assign(serial.begin(), serial.end());
            const char tail[] = "SYSNAV01";
            data.insert(data.end(), tail, tail + 8);
            break;
        }
        case kCmdFlightCount:
            step = SyrideStep::kList;
            data.push_back(static_cast<std::uint8_t>(entries_.size()));
            break;
        case kCmdFlightEntry:
            step = SyrideStep::kList;
            data.assign(20, 0);
            if (request[2] < entries_.size())
                data.assign(entries_[request[2]].begin(), entries_[request[2]].end());
            break;
        case kCmdReadMemory: {
            const std::uint32_t address = ReadLe32(request.subspan(2, 4));
            const std::size_t length = std::min<std::size_t>(request[6], kReadPiece);
            data.assign(length, 0xFF);
            for (std::size_t i = 0; i < length; ++i) {
                if (address + i < memory_.size())
                    data[i] = memory_[address + i];
            }
            break;
        }
        case kCmdPageBuffer: {
            step = SyrideStep::kWrite;
            const std::size_t offset = request[2];
            const std::size_t length = std::min<std::size_t>(request[3], kBufferPiece);
            for (std::size_t i = 0; i < length && offset + i < pageBuffer_.size(); ++i)
                pageBuffer_[offset + i] = request[4 + i];
            break;
        }
        case kCmdWritePage: {
            step = SyrideStep::kWrite;
            const std::uint32_t address = ReadLe32(request.subspan(2, 4)) & ~0xFFu;
            if (address + kPageSize <= memory_.size())
                std::copy(pageBuffer_.begin(), pageBuffer_.end(), memory_.begin() + address);
            std::lock_guard lock(mutex_);
            ++written_;
            break;
        }
        case kCmdEraseSector: {
            step = SyrideStep::kErase;
            const std::uint32_t address = ReadLe32(request.subspan(2, 4)) & ~0xFFFu;
            if (address + kSectorSize <= memory_.size())
                std::fill_n(memory_.begin() + address, kSectorSize, 0xFF);
            std::lock_guard lock(mutex_);
            ++erased_;
            break;
        }
        default:
            return {};
    }
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
    }
    SyrideFault fault{};
    syride::Report reply = MakeReply(data);
    bool never = false;
    {
        std::lock_guard lock(mutex_);
        never = never_;
    }
    if (!never && TakeFault(step, fault)) {
        switch (fault) {
            case SyrideFault::kSilence:
                return {};
            case SyrideFault::kGarbage:
                reply[63] ^= 0x5A;
                break;
            case SyrideFault::kCut: {
                std::lock_guard lock(mutex_);
                present_ = false;
                return {};
            }
            case SyrideFault::kNever: {
                std::lock_guard lock(mutex_);
                never_ = true;
                never = true;
                break;
            }
        }
    }
    if (never)
        reply[62] = 0;  // never a complete answer
    return {std::vector<std::uint8_t>(reply.begin(), reply.end())};
}

void SyrideEmulator::ArmFault(SyrideStep step, SyrideFault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back({step, fault});
}

bool SyrideEmulator::TakeFault(SyrideStep step, SyrideFault& fault) {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(faults_.begin(), faults_.end(),
                                 [step](const ArmedFault& armed) { return armed.step == step; });
    if (it == faults_.end())
        return false;
    fault = it->fault;
    faults_.erase(it);
    return true;
}

std::vector<Waypoint> SyrideEmulator::Waypoints() const {
    std::vector<Waypoint> out;
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        Waypoint waypoint;
        if (DecodeSlot(std::span(memory_).subspan(kWaypointTable + slot * kSlotSize, kSlotSize), 0,
                       waypoint))
            out.push_back(waypoint);
    }
    return out;
}

int SyrideEmulator::Erased() const {
    std::lock_guard lock(mutex_);
    return erased_;
}

int SyrideEmulator::Written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::vector<std::uint8_t> SyrideEmulator::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

}  // namespace tracora::protocols::syride
