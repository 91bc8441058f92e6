// The Garmin conversations over USB: the same application packets without framing, checksum or
// acknowledges, in 12-byte-header USB packets; a session must be started first, and the unit
// says on the interrupt pipe when data wait on the bulk pipe. The transfers are those of the
// serial link (garmin_session.hpp) over this packet link.
#pragma once

#include <cstdint>
#include <vector>

#include "device/gps_job.hpp"
#include "device/usb_transport.hpp"
#include "protocols/garmin/garmin_session.hpp"

namespace tracora::protocols::garmin {

class UsbPacketLink final : public PacketLink {
public:
    UsbPacketLink(device::GpsAccessJob& job, device::UsbTransport& usb) : job_(job), usb_(usb) {}
    int Send(const GarminPacket& packet) override;
    int SendRegardless(const GarminPacket& packet) override;
    int Receive(GarminPacket& packet, int timeoutMs) override;
    void Reset() override {}
    bool Acknowledges() const override { return false; }
    // An abort over USB starts the session again, which ends any transfer of the unit.
    void SendAbort() override;

    // The session start: 0 with UnitId() set, or -1 (reported with `title`).
    int StartSession(const char* title);
    std::uint32_t UnitId() const { return unitId_; }
    // Which read of the last failed Receive failed, as the USB messages number it: 1 the
    // interrupt pipe, 3 the bulk pipe after the unit switched to it during that Receive, 7 the
    // bulk pipe already in use.
    int ReadErrorNumber() const { return readError_; }
    bool BulkMode() const { return bulkMode_; }

private:
    // One packet of either layer from the current pipe: 0, kLinkTimeout, kLinkFailure or
    // kLinkAborted; `type` is the USB packet type.
    int ReadAny(std::uint8_t& type, GarminPacket& packet, int timeoutMs);
    int SendUsb(std::uint8_t type, const GarminPacket& packet, const device::WakeEvent* wake);

    device::GpsAccessJob& job_;
    device::UsbTransport& usb_;
    std::uint32_t unitId_ = 0;
    bool bulkMode_ = false;
    int readError_ = 0;
};

// Session start, product data and the capability array over USB (no product table: every USB
// unit sends its array). 0 or -1 (reported).
int ReadUsbProductData(GarminSession& session, UsbPacketLink& link);

// The job routines of the USB link.
int GarminUsbReadWaypoints(device::GpsAccessJob& job);
int GarminUsbReadTrackLog(device::GpsAccessJob& job);
int GarminUsbWriteWaypoints(device::GpsAccessJob& job);
int GarminUsbWriteWaypointsAsTrack(device::GpsAccessJob& job);
int GarminUsbWriteAirspace(device::GpsAccessJob& job);

}  // namespace tracora::protocols::garmin
