#include "protocols/garmin/garmin_emulator.hpp"

#include <algorithm>
#include <chrono>

#include "emulate/emulator_kit.hpp"
#include "formats/igc/igc_reader.hpp"

namespace tracora::protocols::garmin {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequestPollMs = 200;
// Longer than the session waits for a packet: a frame the session dropped ends its transfer
// before the unit sends the frame again.
constexpr int kAckWaitMs = 8000;
constexpr int kResends = 3;

// Each preset: the waypoint type and a track log protocol with its header and point types.
struct PresetRow {
    std::string_view name;
    std::uint16_t waypointType;
    std::uint16_t trackProtocol;
    std::uint16_t trackHeaderType;  // 0 for none
    std::uint16_t trackPointType;
};

constexpr PresetRow kPresetRows[] = {
    {"d108", 108, 301, 310, 301}, {"d109", 109, 301, 312, 302}, {"d110", 110, 302, 311, 304},
    {"d100", 100, 300, 0, 300},   {"d101", 101, 300, 0, 300},   {"d102", 102, 300, 0, 300},
    {"d103", 103, 300, 0, 300},   {"d104", 104, 300, 0, 300},   {"d107", 107, 300, 0, 300},
    {"d150", 150, 300, 0, 300},   {"d151", 151, 300, 0, 300},   {"d152", 152, 300, 0, 300},
    {"d154", 154, 301, 310, 303}, {"d155", 155, 301, 310, 301},
};

std::vector<CapabilityPreset> MakePresets() {
    std::vector<CapabilityPreset> presets;
    for (const PresetRow& row : kPresetRows) {
        std::vector<CapabilityEntry> entries = {{'P', 0},
                                                {'L', 1},
                                                {'A', 10},
                                                {'A', 100},
                                                {'D', row.waypointType},
                                                {'A', 201},
                                                {'D', 202},
                                                {'D', row.waypointType},
                                                {'D', 210},
                                                {'A', row.trackProtocol}};
        if (row.trackHeaderType != 0)
            entries.push_back({'D', row.trackHeaderType});
        entries.push_back({'D', row.trackPointType});
        entries.insert(entries.end(), {{'A', 500}, {'D', 501}});
        presets.push_back({row.name, std::move(entries)});
    }
    return presets;
}

}  // namespace

const std::vector<CapabilityPreset>& CapabilityPresets() {
    static const std::vector<CapabilityPreset> presets = MakePresets();
    return presets;
}

const CapabilityPreset* FindCapabilityPreset(std::string_view name) {
    for (const CapabilityPreset& preset : CapabilityPresets()) {
        if (preset.name == name)
            return &preset;
    }
    return nullptr;
}

bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points) {
    igc::IgcParseResult parsed;
    if (igc::ParseIgc(igc, parsed) <= 0)
        return false;
    points = std::move(parsed.points);
    for (TrackPoint& point : points) {
        point.flags = 0;
        point.pressureAltitude = 0;
        point.depth = 0;
    }
    if (!points.empty())
        points.front().flags = TrackPoint::kSegmentStart;
    return !points.empty();
}

GarminEmulator::GarminEmulator(device::EmulatorLink& link, GarminEmulatorConfig config,
                               std::FILE* log)
    : EmulatorFrame(link, log), config_(std::move(config)) {
    if (config_.capabilities.empty()) {
        LookUpProduct(config_.product.productId,
                      static_cast<std::uint16_t>(config_.product.version), caps_);
    } else {
        ParseProtocolArray(config_.capabilities, caps_);
    }
}

int GarminEmulator::Serve() {
    for (;;) {
        GarminPacket packet;
        const int got = ReadPacket(packet, kRequestPollMs);
        if (got < 0)
            return 0;  // stopped or cut
        if (got > 0)
            Handle(packet);
    }
}

void GarminEmulator::ArmFault(GarminStep step, GarminFault fault) {
    Change([&] { faults_.push_back({step, fault}); });
}

std::vector<Waypoint> GarminEmulator::UploadedWaypoints() const {
    return Locked([this] { return uploadedWaypoints_; });
}

std::vector<GarminEmulator::UploadedTrack> GarminEmulator::UploadedTracks() const {
    return Locked([this] { return uploadedTracks_; });
}

std::vector<std::uint32_t> GarminEmulator::Received() const {
    return Locked([this] { return received_; });
}

bool GarminEmulator::PoweredOff() const {
    return Locked([this] { return poweredOff_; });
}

int GarminEmulator::Aborts() const {
    return Locked([this] { return aborts_; });
}

std::size_t GarminEmulator::LineBytes() const {
    return Locked([this] { return lineBytes_; });
}

bool GarminEmulator::TakeFault(GarminStep step, GarminFault& fault) {
    return Locked([&] {
        const auto it = std::find_if(faults_.begin(), faults_.end(),
                                     [step](const ArmedFault& a) { return a.step == step; });
        if (it == faults_.end())
            return false;
        fault = it->fault;
        faults_.erase(it);
        return true;
    });
}

int GarminEmulator::ReadPacket(GarminPacket& packet, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t bytes = 0;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return 0;
        std::uint8_t byte = 0;
        const int got = link_.ReadByte(byte, static_cast<int>(left));
        if (got < 0)
            return got;
        if (got == 0)
            return 0;
        ++bytes;
        if (receiver_.Feed(byte) != FrameReceiver::Result::kPacketComplete)
            continue;
        packet = receiver_.Packet();
        Change([&] {
            lineBytes_ += bytes;
            if (packet.id != kPidAck && packet.id != kPidNak)
                received_.push_back(packet.id);
        });
        // On a paced line the session's frame takes its time to arrive too.
        if (config_.lineRateBaud > 0) {
            const auto carried = std::chrono::microseconds(static_cast<long long>(bytes) * 10 *
                                                           1'000'000 / config_.lineRateBaud);
            lineFree_ = std::max(lineFree_, Clock::now()) + carried;
        }
        return 1;
    }
}

bool GarminEmulator::WriteFrame(const std::vector<std::uint8_t>& frame) {
    Change([&] { lineBytes_ += frame.size(); });
    const std::string_view bytes(reinterpret_cast<const char*>(frame.data()), frame.size());
    if (config_.lineRateBaud <= 0)
        return emulate::SendPaced(link_, bytes, 0);
    // A frame leaves when the line has carried what went before it, and holds the line for its
    // own bytes.
    while (Clock::now() < lineFree_) {
        if (!link_.Hold(static_cast<int>(std::max<long long>(
                1, std::chrono::duration_cast<std::chrono::milliseconds>(lineFree_ - Clock::now())
                       .count()))))
            return false;
    }
    lineFree_ = Clock::now() + std::chrono::microseconds(static_cast<long long>(frame.size()) * 10 *
                                                         1'000'000 / config_.lineRateBaud);
    return emulate::SendPaced(link_, bytes, config_.lineRateBaud);
}

bool GarminEmulator::Send(GarminStep step, const GarminPacket& packet) {
    std::vector<std::uint8_t> frame = FramePacket(packet);
    GarminFault fault{};
    if (TakeFault(step, fault)) {
        switch (fault) {
            case GarminFault::kSilence:
                Log("fault: silence");
                return true;
            case GarminFault::kChecksum:
                Log("fault: bad checksum");
                // The checksum is the byte before DLE ETX (never 0x10 after the change).
                frame[frame.size() - 3] = static_cast<std::uint8_t>(frame[frame.size() - 3] ^ 0x01);
                if (frame[frame.size() - 3] == kDle)
                    frame[frame.size() - 3] ^= 0x03;
                break;
            case GarminFault::kLoneDle:
                Log("fault: lone DLE");
                frame.insert(frame.begin() + 3, kDle);
                break;
            case GarminFault::kGarbage:
                Log("fault: garbage");
                link_.InjectGarbageBeforeNextReply(std::string_view("\x10\xFE\x10\x03", 4));
                break;
            case GarminFault::kCut: {
                Log("fault: cut");
                frame.resize(frame.size() / 2);
                WriteFrame(frame);
                link_.DropLink();
                return false;
            }
            case GarminFault::kNak:
            case GarminFault::kMissing:
            case GarminFault::kUnknown:
                break;  // handled where they apply
        }
    }
    return WriteFrame(frame);
}

bool GarminEmulator::Acknowledge(GarminStep step, std::uint32_t id) {
    GarminPacket ack;
    GarminFault fault{};
    bool silenced = false;
    Change([&] {
        const auto first = std::find_if(faults_.begin(), faults_.end(),
                                        [step](const ArmedFault& a) { return a.step == step; });
        // A unit that stays silent did not hear the packet: it does not act on it either.
        silenced = first != faults_.end() && first->fault == GarminFault::kSilence;
        const auto it = std::find_if(faults_.begin(), faults_.end(), [step](const ArmedFault& a) {
            return a.step == step && a.fault == GarminFault::kNak;
        });
        if (it != faults_.end()) {
            faults_.erase(it);
            fault = GarminFault::kNak;
        }
    });
    if (fault == GarminFault::kNak) {
        Log("fault: NAK");
        MakeWordPacket(kPidNak, static_cast<std::uint16_t>(id & 0xFF), ack);
        WriteFrame(FramePacket(ack));
        return false;  // the packet is taken as not received: the session sends it again
    }
    MakeWordPacket(kPidAck, static_cast<std::uint16_t>(id & 0xFF), ack);
    return Send(step, ack) && !silenced;
}

GarminEmulator::Wait GarminEmulator::SendAcknowledged(GarminStep step, const GarminPacket& packet) {
    for (int attempt = 0; attempt <= kResends; ++attempt) {
        if (!Send(step, packet))
            return Wait::kGone;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kAckWaitMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0)
                break;  // no acknowledge: send again
            GarminPacket answer;
            const int got = ReadPacket(answer, static_cast<int>(left));
            if (got < 0)
                return Wait::kGone;
            if (got == 0)
                break;
            if (answer.id == kPidAck && answer.size >= 1 && answer.data[0] == (packet.id & 0xFF))
                return Wait::kAck;
            if (answer.id == kPidNak)
                break;
            if (answer.id == kPidCommand && GetU16(answer, 0) == kCmdAbort) {
                Change([this] { ++aborts_; });
                return Wait::kAbort;
            }
            if (answer.id == kPidProductRequest) {
                // The session gave up on this transfer and starts again.
                Handle(answer);
                return Wait::kAbort;
            }
        }
    }
    return Wait::kAbort;
}

void GarminEmulator::Handle(const GarminPacket& packet) {
    if (packet.id == kPidAck || packet.id == kPidNak)
        return;
    if (packet.id == kPidProductRequest) {
        GarminPacket ack;
        MakeWordPacket(kPidAck, static_cast<std::uint16_t>(packet.id), ack);
        if (!WriteFrame(FramePacket(ack)))
            return;
        GarminFault fault{};
        ProductData product = config_.product;
        bool sendArray = !config_.capabilities.empty();
        Change([&] {
            for (auto it = faults_.begin(); it != faults_.end(); ++it) {
                if ((it->step == GarminStep::kProduct && it->fault == GarminFault::kUnknown) ||
                    (it->step == GarminStep::kCapabilities && it->fault == GarminFault::kMissing)) {
                    fault = it->fault;
                    faults_.erase(it);
                    break;
                }
            }
        });
        if (fault == GarminFault::kUnknown) {
            Log("fault: unknown product");
            product.productId = 20;
            sendArray = false;
        } else if (fault == GarminFault::kMissing) {
            Log("fault: no capability array");
            sendArray = false;
            // From now on the unit talks the types the product table gives it.
            GarminCapabilities table;
            if (LookUpProduct(product.productId, static_cast<std::uint16_t>(product.version),
                              table))
                caps_ = table;
        }
        GarminPacket answer;
        EncodeProductData(product, answer);
        if (SendAcknowledged(GarminStep::kProduct, answer) != Wait::kAck)
            return;
        if (!sendArray)
            return;
        EncodeCapabilityArray(config_.capabilities, answer);
        SendAcknowledged(GarminStep::kCapabilities, answer);
        return;
    }
    if (packet.id == kPidCommand) {
        const std::uint16_t command = GetU16(packet, 0);
        if (command == kCmdAbort) {
            Change([this] { ++aborts_; });
            return;  // nothing runs; acknowledges are not sent for it either
        }
        if (!Acknowledge(GarminStep::kCommand, packet.id))
            return;
        if (command == kCmdTransferWaypoints)
            SendWaypoints();
        else if (command == kCmdTransferTrack)
            SendTrackLog();
        else if (command == kCmdPowerOff) {
            Log("power off");
            Change([this] { poweredOff_ = true; });
        }
        return;
    }
    if (packet.id == kPidRecords) {
        ReceiveUpload(packet);
        return;
    }
    Acknowledge(GarminStep::kUpload, packet.id);
}

void GarminEmulator::SendWaypoints() {
    const std::vector<Waypoint>& waypoints = config_.waypoints;
    GarminPacket packet;
    MakeWordPacket(kPidRecords, static_cast<std::uint16_t>(waypoints.size()), packet);
    if (SendAcknowledged(GarminStep::kRecords, packet) != Wait::kAck)
        return;
    for (const Waypoint& waypoint : waypoints) {
        EncodeWaypoint(waypoint, caps_.waypointType, packet);
        if (caps_.waypointType >= 108 && caps_.waypointType <= 110) {
            // Units send the facility, city, address and cross road too, empty here.
            packet.size = std::min<std::uint32_t>(packet.size + 4, GarminPacket::kMaxData);
        }
        if (SendAcknowledged(GarminStep::kRecord, packet) != Wait::kAck)
            return;
    }
    MakeWordPacket(kPidTransferComplete, kCmdTransferWaypoints, packet);
    SendAcknowledged(GarminStep::kComplete, packet);
    Log("waypoints sent: " + std::to_string(waypoints.size()));
}

void GarminEmulator::SendTrackLog() {
    const bool headers = caps_.trackProtocol != 300;
    std::size_t records = 0;
    for (const auto& flight : config_.flights)
        records += flight.size() + (headers ? 1 : 0);
    GarminPacket packet;
    MakeWordPacket(kPidRecords, static_cast<std::uint16_t>(std::min<std::size_t>(records, 0xFFFF)),
                   packet);
    if (SendAcknowledged(GarminStep::kRecords, packet) != Wait::kAck)
        return;
    std::size_t sent = 0;
    for (std::size_t f = 0; f < config_.flights.size(); ++f) {
        if (headers) {
            packet.Clear();
            packet.id = kPidTrackHeader;
            if (caps_.trackHeaderType == 311) {
                PutU16(packet, 0, static_cast<std::uint16_t>(f));
                packet.size = 2;
            } else {
                const std::string name = "TRACK " + std::to_string(f + 1);
                packet.data[0] = 1;    // displayed
                packet.data[1] = 255;  // default colour
                std::copy(name.begin(), name.end(), packet.data.begin() + 2);
                packet.size = static_cast<std::uint32_t>(name.size() + 3);
            }
            if (++sent > records || SendAcknowledged(GarminStep::kRecord, packet) != Wait::kAck)
                return;
        }
        for (std::size_t i = 0; i < config_.flights[f].size(); ++i) {
            TrackPoint point = config_.flights[f][i];
            point.flags = i == 0 ? TrackPoint::kSegmentStart : 0;
            EncodeTrackPoint(point, caps_.trackPointType, packet);
            if (++sent > records || SendAcknowledged(GarminStep::kRecord, packet) != Wait::kAck)
                return;
        }
    }
    MakeWordPacket(kPidTransferComplete, kCmdTransferTrack, packet);
    SendAcknowledged(GarminStep::kComplete, packet);
    Log("track log sent: " + std::to_string(records) + " records");
}

void GarminEmulator::ReceiveUpload(const GarminPacket& first) {
    if (!Acknowledge(GarminStep::kUpload, first.id))
        return;
    const int expected = GetU16(first, 0);
    std::vector<Waypoint> waypoints;
    UploadedTrack track;
    for (;;) {
        GarminPacket packet;
        const int got = ReadPacket(packet, kAckWaitMs);
        if (got <= 0) {
            Log("upload: the session fell silent");
            return;
        }
        if (packet.id == kPidAck || packet.id == kPidNak)
            continue;
        if (packet.id == kPidCommand && GetU16(packet, 0) == kCmdAbort) {
            Change([this] { ++aborts_; });
            Log("upload aborted");
            return;
        }
        if (Logging()) {
            // The record as it came, for decoder fixtures.
            std::string hex;
            char digits[4];
            for (std::uint8_t byte : packet.Bytes()) {
                std::snprintf(digits, sizeof digits, "%02x", byte);
                hex += digits;
            }
            Log("received " + std::to_string(packet.id) + " " + hex);
        }
        if (packet.id == kPidWaypoint) {
            Waypoint waypoint;
            if (DecodeWaypoint(packet, caps_.waypointType, waypoint) == 0)
                waypoints.push_back(waypoint);
        } else if (packet.id == kPidTrackHeader) {
            std::size_t at = caps_.trackHeaderType == 311 ? packet.size : 2;
            while (at < packet.size && packet.data[at] != 0)
                track.name += static_cast<char>(packet.data[at++]);
        } else if (packet.id == kPidTrackPoint) {
            TrackPoint point;
            if (DecodeTrackPoint(packet, caps_.trackPointType, point) == 0)
                track.points.push_back(point);
        } else if (packet.id == kPidTransferComplete) {
            // Stored before the acknowledge, so that whoever waits for the end finds it.
            Store(expected, waypoints, std::move(track));
            Acknowledge(GarminStep::kUpload, packet.id);
            return;
        }
        if (!Acknowledge(GarminStep::kUpload, packet.id))
            return;
    }
}

void GarminEmulator::Store(int expected, const std::vector<Waypoint>& waypoints,
                           UploadedTrack track) {
    if (!waypoints.empty() || track.points.empty()) {
        Log("waypoints stored: " + std::to_string(waypoints.size()) + " of " +
            std::to_string(expected) + " announced");
        Change([&] {
            uploadedWaypoints_.insert(uploadedWaypoints_.end(), waypoints.begin(), waypoints.end());
        });
    }
    if (!track.points.empty()) {
        Log("track stored: " + track.name + ", " + std::to_string(track.points.size()) + " points");
        Change([&] { uploadedTracks_.push_back(std::move(track)); });
    }
}

}  // namespace tracora::protocols::garmin
