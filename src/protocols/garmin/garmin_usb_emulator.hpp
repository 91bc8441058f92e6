// A Garmin unit behind the USB transport interface, in process: the fake back end the tests
// (and the USB job routines) talk to instead of libusb. It plays the unit's side of the USB
// packet protocol: the session start, product data and capability array on the interrupt pipe,
// the downloads announced there and sent on the bulk pipe, uploads stored. It records every bulk
// OUT transfer, so that the zero-length packets can be checked.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/usb_transport.hpp"
#include "protocols/garmin/garmin_emulator.hpp"

namespace tracora::protocols::garmin {

struct GarminUsbConfig {
    GarminEmulatorConfig unit;
    std::uint32_t unitId = 0x12345678;
    // The session-started packet comes on the bulk pipe after a data-available packet on the
    // interrupt pipe (some units), instead of on the interrupt pipe.
    bool sessionOnBulk = false;
    // Packets of ID 248 (extended product data) between the product data and the array.
    bool extendedProductData = false;
    // Pause before each bulk IN transfer of a download, to give an abort time to hit it.
    int recordDelayMs = 0;
    std::size_t bulkPacketSize = 64;
};

class GarminUsbUnit final : public device::UsbTransport {
public:
    explicit GarminUsbUnit(GarminUsbConfig config);

    int Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override;
    int ReadInterrupt(std::span<std::uint8_t> buffer, int timeoutMs,
                      const device::WakeEvent* wake) override;
    int ReadBulk(std::span<std::uint8_t> buffer, int timeoutMs,
                 const device::WakeEvent* wake) override;
    int WriteBulkTransfer(std::span<const std::uint8_t> bytes, int timeoutMs,
                          const device::WakeEvent* wake) override;
    std::size_t BulkPacketSize() const override { return config_.bulkPacketSize; }

    // Arms a fault for the next packet of `step` (product, capabilities, records, record: the
    // first record of a download, complete). Over USB a packet can only stay away (silence; a
    // missing capability array) or the unit can go away (cut: from then on every transfer
    // fails as with a unit pulled out). False for the faults USB has not got.
    bool ArmFault(GarminStep step, GarminFault fault);

    // The sizes of every bulk OUT transfer, zero-length ones included.
    std::vector<std::size_t> OutTransfers() const;
    std::vector<Waypoint> UploadedWaypoints() const;
    std::vector<GarminEmulator::UploadedTrack> UploadedTracks() const;
    bool PoweredOff() const;
    // Session starts received while a download was under way.
    int Aborts() const;
    // Bulk IN transfers a download has sent so far.
    int BulkSent() const;

private:
    enum class Pipe { kInterrupt, kBulk };
    struct Transfer {
        Pipe pipe;
        std::vector<std::uint8_t> bytes;
        bool cut = false;  // the unit goes away when a read reaches this place
    };
    int ReadPipe(Pipe pipe, std::span<std::uint8_t> buffer, int timeoutMs,
                 const device::WakeEvent* wake);
    void Queue(Pipe pipe, std::uint8_t type, const GarminPacket& packet);
    void Handle(std::uint8_t type, const GarminPacket& packet);
    void QueueDownload(std::uint16_t command);
    // Whether the packet of `step` goes out; fires an armed fault.
    bool Passes(GarminStep step, Pipe pipe);

    GarminUsbConfig config_;
    GarminCapabilities caps_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Transfer> queue_;
    std::vector<std::uint8_t> pendingInterrupt_;  // the rest of a packet longer than 64 bytes
    bool open_ = false;
    bool downloading_ = false;
    bool bulkMode_ = false;
    std::vector<std::size_t> outTransfers_;
    std::vector<Waypoint> uploading_;
    GarminEmulator::UploadedTrack uploadingTrack_;
    std::vector<Waypoint> uploadedWaypoints_;
    std::vector<GarminEmulator::UploadedTrack> uploadedTracks_;
    bool poweredOff_ = false;
    int aborts_ = 0;
    int bulkSent_ = 0;
    std::vector<std::pair<GarminStep, GarminFault>> faults_;
    bool cutQueued_ = false;  // nothing is queued behind a cut
    bool cut_ = false;
};

}  // namespace tracora::protocols::garmin
