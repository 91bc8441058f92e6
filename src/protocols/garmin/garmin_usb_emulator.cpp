#include "protocols/garmin/garmin_usb_emulator.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

#include "device/io_status.hpp"
#include "device/wake_event.hpp"

namespace tracora::protocols::garmin {

namespace {

constexpr std::size_t kInterruptBlock = 64;
constexpr int kSliceMs = 20;

}  // namespace

GarminUsbUnit::GarminUsbUnit(GarminUsbConfig config) : config_(std::move(config)) {
    if (config_.unit.capabilities.empty()) {
        LookUpProduct(config_.unit.product.productId,
                      static_cast<std::uint16_t>(config_.unit.product.version), caps_);
    } else {
        ParseProtocolArray(config_.unit.capabilities, caps_);
    }
}

bool GarminUsbUnit::ArmFault(GarminStep step, GarminFault fault) {
    const bool silence = fault == GarminFault::kSilence || fault == GarminFault::kCut ||
                         (fault == GarminFault::kMissing && step == GarminStep::kCapabilities);
    if (!silence || step == GarminStep::kCommand || step == GarminStep::kUpload)
        return false;
    std::lock_guard lock(mutex_);
    faults_.emplace_back(step, fault);
    return true;
}

// Called with mutex_ held.
bool GarminUsbUnit::Passes(GarminStep step, Pipe pipe) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->first != step)
            continue;
        if (it->second == GarminFault::kCut && !cutQueued_) {
            queue_.push_back({bulkMode_ ? Pipe::kBulk : pipe, {}, true});
            cutQueued_ = true;
            arrived_.notify_all();
        }
        faults_.erase(it);
        return false;
    }
    return true;
}

int GarminUsbUnit::Open(const std::string&) {
    std::lock_guard lock(mutex_);
    open_ = true;
    queue_.clear();
    pendingInterrupt_.clear();
    return 0;
}

void GarminUsbUnit::Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

bool GarminUsbUnit::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

std::vector<std::size_t> GarminUsbUnit::OutTransfers() const {
    std::lock_guard lock(mutex_);
    return outTransfers_;
}

std::vector<Waypoint> GarminUsbUnit::UploadedWaypoints() const {
    std::lock_guard lock(mutex_);
    return uploadedWaypoints_;
}

std::vector<GarminEmulator::UploadedTrack> GarminUsbUnit::UploadedTracks() const {
    std::lock_guard lock(mutex_);
    return uploadedTracks_;
}

bool GarminUsbUnit::PoweredOff() const {
    std::lock_guard lock(mutex_);
    return poweredOff_;
}

int GarminUsbUnit::Aborts() const {
    std::lock_guard lock(mutex_);
    return aborts_;
}

int GarminUsbUnit::BulkSent() const {
    std::lock_guard lock(mutex_);
    return bulkSent_;
}

void GarminUsbUnit::Queue(Pipe pipe, std::uint8_t type, const GarminPacket& packet) {
    if (cutQueued_)
        return;
    // Once the unit has announced data on the bulk pipe, everything follows there.
    if (bulkMode_)
        pipe = Pipe::kBulk;
    if (type == kUsbLayerType && packet.id == kUsbDataAvailable)
        bulkMode_ = true;
    queue_.push_back({pipe, UsbPacketBytes(type, packet)});
    arrived_.notify_all();
}

int GarminUsbUnit::ReadPipe(Pipe pipe, std::span<std::uint8_t> buffer, int timeoutMs,
                            const device::WakeEvent* wake) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!open_)
            return device::kIoNotOpen;
        if (cut_)
            return device::kIoLinkLost;
        if (wake != nullptr && wake->IsSet())
            return device::kIoAborted;
        if (pipe == Pipe::kInterrupt && !pendingInterrupt_.empty()) {
            const std::size_t n =
                std::min({pendingInterrupt_.size(), buffer.size(), kInterruptBlock});
            std::copy_n(pendingInterrupt_.begin(), n, buffer.begin());
            pendingInterrupt_.erase(pendingInterrupt_.begin(),
                                    pendingInterrupt_.begin() + static_cast<std::ptrdiff_t>(n));
            return static_cast<int>(n);
        }
        if (!queue_.empty() && queue_.front().cut) {
            cut_ = true;
            return device::kIoLinkLost;
        }
        if (!queue_.empty() && queue_.front().pipe == pipe) {
            if (pipe == Pipe::kBulk && config_.recordDelayMs > 0) {
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(config_.recordDelayMs));
                lock.lock();
                if (queue_.empty() || queue_.front().pipe != pipe)
                    continue;
            }
            Transfer transfer = std::move(queue_.front());
            queue_.pop_front();
            if (queue_.empty())
                downloading_ = false;
            if (pipe == Pipe::kBulk) {
                ++bulkSent_;
                const std::size_t n = std::min(transfer.bytes.size(), buffer.size());
                std::copy_n(transfer.bytes.begin(), n, buffer.begin());
                return static_cast<int>(n);
            }
            pendingInterrupt_ = std::move(transfer.bytes);
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return 0;
        arrived_.wait_for(lock, std::chrono::milliseconds(kSliceMs));
    }
}

int GarminUsbUnit::ReadInterrupt(std::span<std::uint8_t> buffer, int timeoutMs,
                                 const device::WakeEvent* wake) {
    return ReadPipe(Pipe::kInterrupt, buffer, timeoutMs, wake);
}

int GarminUsbUnit::ReadBulk(std::span<std::uint8_t> buffer, int timeoutMs,
                            const device::WakeEvent* wake) {
    return ReadPipe(Pipe::kBulk, buffer, timeoutMs, wake);
}

int GarminUsbUnit::WriteBulkTransfer(std::span<const std::uint8_t> bytes, int,
                                     const device::WakeEvent* wake) {
    if (wake != nullptr && wake->IsSet())
        return device::kIoAborted;
    std::lock_guard lock(mutex_);
    if (!open_)
        return device::kIoNotOpen;
    if (cut_)
        return device::kIoLinkLost;
    outTransfers_.push_back(bytes.size());
    std::uint8_t type = 0;
    GarminPacket packet;
    if (ParseUsbPacket(bytes, type, packet))
        Handle(type, packet);
    return static_cast<int>(bytes.size());
}

// Called with mutex_ held.
void GarminUsbUnit::Handle(std::uint8_t type, const GarminPacket& packet) {
    GarminPacket answer;
    if (type == kUsbLayerType && packet.id == kUsbStartSession) {
        if (downloading_ || !queue_.empty())
            ++aborts_;
        downloading_ = false;
        bulkMode_ = false;
        queue_.clear();
        cutQueued_ = false;
        pendingInterrupt_.clear();
        answer.id = kUsbSessionStarted;
        answer.size = 4;
        PutU32(answer, 0, config_.unitId);
        if (config_.sessionOnBulk) {
            GarminPacket available;
            available.id = kUsbDataAvailable;
            Queue(Pipe::kInterrupt, kUsbLayerType, available);
            Queue(Pipe::kBulk, kUsbLayerType, answer);
        } else {
            Queue(Pipe::kInterrupt, kUsbLayerType, answer);
        }
        return;
    }
    if (type != kUsbApplicationType)
        return;
    switch (packet.id) {
        case kPidProductRequest:
            EncodeProductData(config_.unit.product, answer);
            if (!Passes(GarminStep::kProduct, Pipe::kInterrupt))
                return;
            Queue(Pipe::kInterrupt, kUsbApplicationType, answer);
            if (config_.extendedProductData) {
                answer.Clear();
                answer.id = kPidExtendedProduct;
                answer.size = 8;
                Queue(Pipe::kInterrupt, kUsbApplicationType, answer);
            }
            if (!config_.unit.capabilities.empty() &&
                Passes(GarminStep::kCapabilities, Pipe::kInterrupt)) {
                EncodeCapabilityArray(config_.unit.capabilities, answer);
                Queue(Pipe::kInterrupt, kUsbApplicationType, answer);
            }
            return;
        case kPidCommand: {
            const std::uint16_t command = GetU16(packet, 0);
            if (command == kCmdPowerOff)
                poweredOff_ = true;
            else if (command == kCmdTransferWaypoints || command == kCmdTransferTrack)
                QueueDownload(command);
            return;
        }
        case kPidRecords:
            uploading_.clear();
            uploadingTrack_ = {};
            return;
        case kPidWaypoint: {
            Waypoint waypoint;
            if (DecodeWaypoint(packet, caps_.waypointType, waypoint) == 0)
                uploading_.push_back(waypoint);
            return;
        }
        case kPidTrackHeader:
            for (std::size_t at = 2; at < packet.size && packet.data[at] != 0; ++at)
                uploadingTrack_.name += static_cast<char>(packet.data[at]);
            return;
        case kPidTrackPoint: {
            TrackPoint point;
            if (DecodeTrackPoint(packet, caps_.trackPointType, point) == 0)
                uploadingTrack_.points.push_back(point);
            return;
        }
        case kPidTransferComplete:
            uploadedWaypoints_.insert(uploadedWaypoints_.end(), uploading_.begin(),
                                      uploading_.end());
            uploading_.clear();
            if (!uploadingTrack_.points.empty())
                uploadedTracks_.push_back(std::move(uploadingTrack_));
            uploadingTrack_ = {};
            return;
        default:
            return;
    }
}

// Called with mutex_ held: the records of a download, announced on the interrupt pipe and
// sent on the bulk pipe.
void GarminUsbUnit::QueueDownload(std::uint16_t command) {
    GarminPacket available;
    available.id = kUsbDataAvailable;
    Queue(Pipe::kInterrupt, kUsbLayerType, available);
    GarminPacket packet;
    std::vector<GarminPacket> records;
    if (command == kCmdTransferWaypoints) {
        for (const Waypoint& waypoint : config_.unit.waypoints) {
            EncodeWaypoint(waypoint, caps_.waypointType, packet);
            records.push_back(packet);
        }
    } else {
        const bool headers = caps_.trackProtocol != 300;
        for (std::size_t f = 0; f < config_.unit.flights.size(); ++f) {
            if (headers) {
                packet.Clear();
                packet.id = kPidTrackHeader;
                packet.data[0] = 1;
                packet.data[1] = 255;
                packet.data[2] = static_cast<std::uint8_t>('1' + f % 9);
                packet.size = 4;
                records.push_back(packet);
            }
            const auto& flight = config_.unit.flights[f];
            for (std::size_t i = 0; i < flight.size(); ++i) {
                TrackPoint point = flight[i];
                point.flags = i == 0 ? TrackPoint::kSegmentStart : 0;
                EncodeTrackPoint(point, caps_.trackPointType, packet);
                records.push_back(packet);
            }
        }
    }
    downloading_ = true;
    MakeWordPacket(kPidRecords, static_cast<std::uint16_t>(records.size()), packet);
    if (Passes(GarminStep::kRecords, Pipe::kBulk))
        Queue(Pipe::kBulk, kUsbApplicationType, packet);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i > 0 || Passes(GarminStep::kRecord, Pipe::kBulk))
            Queue(Pipe::kBulk, kUsbApplicationType, records[i]);
    }
    MakeWordPacket(kPidTransferComplete, command, packet);
    if (Passes(GarminStep::kComplete, Pipe::kBulk))
        Queue(Pipe::kBulk, kUsbApplicationType, packet);
}

}  // namespace tracora::protocols::garmin
