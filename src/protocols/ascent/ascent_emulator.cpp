#include "protocols/ascent/ascent_emulator.hpp"

#include <algorithm>

#include "device/io_status.hpp"
#include "emulate/emulator_kit.hpp"
#include "protocols/ascent/ascent_frames.hpp"

namespace tracora::protocols::ascent {

namespace {

constexpr int kRequestByteMs = 1000;

}  // namespace

AscentEmulator::AscentEmulator(device::EmulatorLink& link, AscentEmulatorConfig config,
                               std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud), config_(std::move(config)) {}

std::vector<std::uint8_t> AscentEmulator::ProductReply() const {
    AscentProduct product;
    product.serial = {0x12, 0x34, 0xAB, 0xCD};
    product.hardware = 3;
    product.software = 1025;
    product.usedSectors = config_.usedSectors;
    return EncodeProduct(product);
}

int AscentEmulator::Serve() {
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = link_.ReadByte(byte, emulate::kRequestPollMs);
        if (rc == 0) {
            continue;
        }
        if (rc < 0) {
            return rc == device::kIoAborted || rc == device::kIoLinkLost ? 0 : rc;
        }
        const std::string baud = std::to_string(emulate::LineBaud(config_.slaveFd));
        if (byte == kProductRequest) {
            Received(1);
            Note("product request at " + baud, "");
            Send(ProductReply(), AscentStep::kProductData);
            continue;
        }
        if (byte != 0x03) {
            Log("unknown byte ignored");
            continue;
        }
        std::uint8_t what = 0;
        if (link_.ReadByte(what, kRequestByteMs) <= 0) {
            continue;
        }
        if (what == kTrackListRequest[1]) {
            Received(2);
            NextListBlock();
        } else if (what == kEraseRequest[1]) {
            Received(2);
            Change([this] { ++erases_; });
            AscentFault fault{};
            if (TakeFault(AscentStep::kErase, fault) && fault == AscentFault::kStuck) {
                stuck_ = true;
            }
            if (!stuck_ && config_.usedSectors > 0) {
                --config_.usedSectors;
            }
            Note("erase, " + std::to_string(config_.usedSectors) + " left", "");
            Send(ProductReply(), AscentStep::kErase);
        } else if (what == 0x03) {
            std::uint8_t number[2] = {};
            if (link_.ReadByte(number[0], kRequestByteMs) <= 0 ||
                link_.ReadByte(number[1], kRequestByteMs) <= 0) {
                continue;
            }
            Received(4);
            NextLogBlock(static_cast<std::uint16_t>(number[0] << 8 | number[1]));
        }
        if (link_.IsDropped() || link_.IsStopped()) {
            return 0;
        }
    }
}

// Blocks 1, 2, ... and the last one numbered 0; a list of one flight sends it as block 1 and
// again as the closing block 0.
void AscentEmulator::NextListBlock() {
    const std::size_t count = config_.flights.size();
    std::vector<std::uint8_t> entry;
    std::uint16_t number = 0;
    if (count == 0) {
        entry.assign(kEntrySize, 0);
    } else {
        const std::size_t index = std::min(listAt_, count - 1);
        const std::vector<TrackPoint>& flight = config_.flights[index];
        const CalendarTime start = TimeToCalendar(flight.front().time);
        const std::uint32_t minutes = (flight.back().time - flight.front().time + 59) / 60;
        entry = EncodeEntry(static_cast<std::uint16_t>(index + 1), start, minutes);
        const bool last = listAt_ + 1 >= std::max<std::size_t>(count, 2);
        number = last ? 0 : static_cast<std::uint16_t>(listAt_ + 1);
        listAt_ = last ? 0 : listAt_ + 1;
    }
    Send(EncodeBlock(kTrackListId, number, 0, entry, kEntrySize), AscentStep::kTrackList);
}

void AscentEmulator::NextLogBlock(std::uint16_t flight) {
    if (flight != logFlight_ || logData_.empty()) {
        logFlight_ = flight;
        logAt_ = 0;
        logData_.clear();
        if (flight >= 1 && flight <= config_.flights.size()) {
            logData_ = EncodeFlightLog(flight, config_.flights[flight - 1]);
        } else {
            logData_ = EncodeFlightLog(flight, {});
        }
        // A header fault hits the next flight's data as a whole.
        AscentFault fault{};
        if (TakeTransferFault(AscentStep::kTrackLog, fault,
                              [](AscentFault f) { return f == AscentFault::kBadHeader; })) {
            logData_[2] = static_cast<std::uint8_t>(logData_[2] ^ 0x40);
        }
    }
    const std::size_t blocks =
        std::max<std::size_t>((logData_.size() + kLogDataSize - 1) / kLogDataSize, 2);
    const std::size_t index = logAt_;
    const bool last = index + 1 >= blocks;
    const std::size_t from = std::min(index * kLogDataSize, logData_.size());
    const std::size_t length = std::min(kLogDataSize, logData_.size() - from);
    const std::vector<std::uint8_t> body(logData_.begin() + static_cast<long>(from),
                                         logData_.begin() + static_cast<long>(from + length));
    const auto number = static_cast<std::uint16_t>(last ? 0 : index + 1);
    if (last) {
        logData_.clear();
        logAt_ = 0;
    } else {
        ++logAt_;
    }
    Send(EncodeBlock(kTrackLogId, number, static_cast<std::uint8_t>(length), body, kLogDataSize),
         AscentStep::kTrackLog);
}

bool AscentEmulator::Send(const std::vector<std::uint8_t>& bytes, AscentStep step) {
    std::vector<std::uint8_t> out = bytes;
    AscentFault fault{};
    if (TakeFault(step, fault, [](AscentFault f) { return f != AscentFault::kBadHeader; })) {
        switch (fault) {
            case AscentFault::kSilence:
                Log("  fault: no answer");
                return true;
            case AscentFault::kBadId:
                Log("  fault: a wrong message ID");
                out[0] = static_cast<std::uint8_t>(out[0] ^ 0x10);
                break;
            case AscentFault::kBlockNumber:
                Log("  fault: a block number skipped");
                out[2] = static_cast<std::uint8_t>(out[2] + 1);
                break;
            case AscentFault::kCutConnection:
                return SendCut(
                    std::string_view(reinterpret_cast<const char*>(out.data()), out.size()));
            case AscentFault::kStopHalfway:
                out.resize(out.size() / 2);
                break;
            case AscentFault::kGarbage:
                Log("  fault: garbage before the answer");
                out.insert(out.begin(), {0x23, 0x3F, 0xFE});
                break;
            default:
                break;
        }
    }
    return EmulatorFrame::Send(out);
}

int AscentEmulator::EraseRequests() const {
    return Locked([this] { return erases_; });
}

}  // namespace tracora::protocols::ascent
