// The unit's side of a Garmin serial cable, for tests and tracora-emulate: answers the product
// request with its product data and a capability array (or none, as older units), sends its
// waypoints and its track log (flights made from real IGC files), stores uploaded waypoints and
// track logs, and injects faults into chosen answers. Runs over an EmulatorLink (the master side
// of a pseudo-terminal), on a thread of its own or on the caller's.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_frame.hpp"
#include "protocols/garmin/garmin_frames.hpp"

namespace tracora::protocols::garmin {

// The answers a fault can hit.
enum class GarminStep {
    kProduct,       // the product data
    kCapabilities,  // the capability array
    kCommand,       // the acknowledge of a device command
    kRecords,       // the record count of a download
    kRecord,        // a waypoint, track header or track point of a download
    kComplete,      // the transfer-complete packet of a download
    kUpload,        // the acknowledge of a packet of an upload
};

enum class GarminFault {
    kSilence,   // the packet is not sent
    kChecksum,  // the frame's checksum is wrong
    kLoneDle,   // a lone DLE inside the frame (broken stuffing)
    kNak,       // a NAK in place of the acknowledge (acknowledge steps)
    kCut,       // the cable is cut halfway through the frame
    kGarbage,   // line noise before the frame
    kMissing,   // no capability array (capabilities step)
    kUnknown,   // a product ID no table knows, and no capability array (product step)
};

// The capability arrays the emulator can announce, each covering other record types.
struct CapabilityPreset {
    std::string_view name;
    std::vector<CapabilityEntry> entries;
};
const std::vector<CapabilityPreset>& CapabilityPresets();
const CapabilityPreset* FindCapabilityPreset(std::string_view name);

struct GarminEmulatorConfig {
    ProductData product{77, 362, "Emulated GPS Software Version 3.62"};
    // The capability array; empty: none is sent and the product table decides.
    std::vector<CapabilityEntry> capabilities = CapabilityPresets().front().entries;
    // The flights of the track log, oldest first.
    std::vector<std::vector<TrackPoint>> flights;
    std::vector<Waypoint> waypoints;
    // The line rate the emulator paces its side at, 0 for none.
    int lineRateBaud = 0;
};

// The points of IGC text as a unit logs them. False when the text holds none.
bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points);

// Its faults are its own (some act where the packet is taken, not where it is answered), and
// so is its pacing (both directions of the line).
class GarminEmulator : public emulate::EmulatorFrame {
public:
    GarminEmulator(device::EmulatorLink& link, GarminEmulatorConfig config,
                   std::FILE* log = nullptr);
    ~GarminEmulator() override { Stop(); }

    // The next answer of `step` gets `fault` (once; several wait in the order armed).
    void ArmFault(GarminStep step, GarminFault fault);

    // What the unit has stored from uploads: the waypoints, and the points (with the name) of
    // each uploaded track log.
    struct UploadedTrack {
        std::string name;
        std::vector<TrackPoint> points;
    };
    std::vector<Waypoint> UploadedWaypoints() const;
    std::vector<UploadedTrack> UploadedTracks() const;
    // The packet IDs the session sent, in order (acknowledges left out).
    std::vector<std::uint32_t> Received() const;
    bool PoweredOff() const;
    // Device commands 0 received.
    int Aborts() const;
    // The frame bytes that crossed the line both ways.
    std::size_t LineBytes() const;

    // The record types in use.
    std::uint16_t WaypointType() const { return caps_.waypointType; }
    std::uint16_t TrackPointType() const { return caps_.trackPointType; }
    std::uint16_t TrackProtocol() const { return caps_.trackProtocol; }

private:
    struct ArmedFault {
        GarminStep step;
        GarminFault fault;
    };
    enum class Wait { kAck, kAbort, kGone };

    void Handle(const GarminPacket& packet);
    void SendWaypoints();
    void SendTrackLog();
    void ReceiveUpload(const GarminPacket& first);
    void Store(int expected, const std::vector<Waypoint>& waypoints, UploadedTrack track);
    // Sends a packet with the fault armed for `step`. False when the link is gone.
    bool Send(GarminStep step, const GarminPacket& packet);
    // Sends and waits for the session's acknowledge (a NAK has it sent again).
    Wait SendAcknowledged(GarminStep step, const GarminPacket& packet);
    // Acknowledges a received packet (the fault of `step` applies).
    bool Acknowledge(GarminStep step, std::uint32_t id);
    // The next complete frame within timeoutMs: 1, 0 on time-out, negative when the link is gone.
    int ReadPacket(GarminPacket& packet, int timeoutMs);
    bool WriteFrame(const std::vector<std::uint8_t>& frame);
    bool TakeFault(GarminStep step, GarminFault& fault);
    int Serve() override;

    GarminEmulatorConfig config_;
    GarminCapabilities caps_;
    FrameReceiver receiver_;
    std::chrono::steady_clock::time_point lineFree_{};

    std::vector<ArmedFault> faults_;
    std::vector<Waypoint> uploadedWaypoints_;
    std::vector<UploadedTrack> uploadedTracks_;
    std::vector<std::uint32_t> received_;
    bool poweredOff_ = false;
    int aborts_ = 0;
    std::size_t lineBytes_ = 0;
};

}  // namespace tracora::protocols::garmin
