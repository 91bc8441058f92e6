// The Garmin conversations, one device-job routine per operation: product data and the
// capability array, waypoints and track logs down and up, a waypoint list and airspace outlines
// sent as track logs, power off. The transfers talk through a packet link, so the same code
// runs over the serial frames and over USB packets.
#pragma once

#include <cstdint>
#include <string>

#include "device/gps_job.hpp"
#include "protocols/garmin/garmin_frames.hpp"

namespace tracora::protocols::garmin {

// Results of PacketLink::Receive besides 0.
inline constexpr int kLinkTimeout = -1;
inline constexpr int kLinkFailure = -2;
inline constexpr int kLinkAborted = -3;

// Moves application packets to and from the unit.
class PacketLink {
public:
    PacketLink() = default;
    PacketLink(const PacketLink&) = delete;
    PacketLink& operator=(const PacketLink&) = delete;
    virtual ~PacketLink() = default;
    // 0, or -1 when the packet could not be written.
    virtual int Send(const GarminPacket& packet) = 0;
    // Sends without looking at the job's abort (the abort command after an abort). 0 or -1.
    virtual int SendRegardless(const GarminPacket& packet) = 0;
    // The next complete packet within timeoutMs: 0, kLinkTimeout, kLinkFailure or kLinkAborted.
    virtual int Receive(GarminPacket& packet, int timeoutMs) = 0;
    // Forgets what was received and not handed out (and a half-received frame).
    virtual void Reset() = 0;
    // Whether every packet is acknowledged (the serial link; USB has no acknowledges).
    virtual bool Acknowledges() const { return true; }
    // Tells the unit to leave its transfer: device command 0, also after an abort.
    virtual void SendAbort();
};

// The serial frames over the job's transport: framed writes, reads in blocks of 100 bytes whose
// unread rest is kept for the next packet.
class SerialPacketLink final : public PacketLink {
public:
    explicit SerialPacketLink(device::GpsAccessJob& job) : job_(job) {}
    int Send(const GarminPacket& packet) override;
    int SendRegardless(const GarminPacket& packet) override;
    int Receive(GarminPacket& packet, int timeoutMs) override;
    void Reset() override;

private:
    device::GpsAccessJob& job_;
    FrameReceiver receiver_;
    std::array<std::uint8_t, 100> block_{};
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

// One job's conversation: the link and what the unit said it supports.
struct GarminSession {
    device::GpsAccessJob& job;
    PacketLink& link;
    GarminCapabilities caps;
};

// Product request and capability negotiation (the product table for units without an array).
// 0 or -1 (reported).
int ReadProductData(GarminSession& session);
// Waypoints into job.waypoints, or in scan-only mode the pilot IDs into job.civlId and
// job.competitionId. 0 or -1.
int ReadWaypoints(GarminSession& session, bool scanOnly);
// The track log into job.track. 0 or -1.
int ReadTrackLog(GarminSession& session);
// job.waypoints to the unit. 0 or -1.
int WriteWaypoints(GarminSession& session);
// job.waypoints as a track log: airspace number 0 for a waypoint list, else the airspace's
// number, with its name as the track's. 0 or -1.
int WriteTrackLog(GarminSession& session, int airspaceNumber, const std::string& trackName);
// Sends the power-off command. 0 or -1.
int PowerOff(GarminSession& session);

// The track log job (in competition mode the waypoints are scanned for the pilot IDs first)
// and the airspace job (every marked airspace as a track log named after it). 0 or -1.
int ReadTrackLogJob(GarminSession& session);
int WriteAirspaceJob(GarminSession& session);

// The job routines of the serial link.
int GarminReadWaypoints(device::GpsAccessJob& job);
int GarminReadTrackLog(device::GpsAccessJob& job);
int GarminWriteWaypoints(device::GpsAccessJob& job);
int GarminWriteWaypointsAsTrack(device::GpsAccessJob& job);
int GarminWriteAirspace(device::GpsAccessJob& job);

}  // namespace tracora::protocols::garmin
