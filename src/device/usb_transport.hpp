// The USB back end of the transport: a device with an interrupt IN, a bulk IN and a bulk OUT
// endpoint (the Garmin units). The packet layer reads the two IN pipes apart; a write is one
// bulk transfer, followed by a zero-length transfer when its size is a multiple of the
// endpoint's packet size, so that the unit sees where it ends. Tests put a fake device behind
// the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "device/transport.hpp"

namespace tracora::device {

class UsbTransport : public Transport {
public:
    // One transfer from the interrupt IN endpoint (at most the buffer): the count, 0 when
    // nothing came within timeoutMs, or a negative I/O code.
    virtual int ReadInterrupt(std::span<std::uint8_t> buffer, int timeoutMs,
                              const WakeEvent* wake) = 0;
    // One transfer from the bulk IN endpoint, the same way.
    virtual int ReadBulk(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) = 0;
    // One bulk OUT transfer exactly as given (an empty one is the zero-length packet).
    virtual int WriteBulkTransfer(std::span<const std::uint8_t> bytes, int timeoutMs,
                                  const WakeEvent* wake) = 0;
    // The bulk OUT endpoint's packet size.
    virtual std::size_t BulkPacketSize() const = 0;

    // Transport: no line settings, nothing to purge; reads come from the bulk pipe.
    int Configure(const LineSettings&) override { return 0; }
    int Purge() override { return 0; }
    int Read(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) override {
        return ReadBulk(buffer, timeoutMs, wake);
    }
    // The bytes as one bulk transfer, and the zero-length packet behind a multiple of the
    // packet size. The count, or a negative I/O code.
    int Write(std::span<const std::uint8_t> bytes, int timeoutMs, const WakeEvent* wake) final;
    using Transport::Write;
};

// The Garmin vendor ID; every unit of it with a bulk and an interrupt pipe is a candidate.
inline constexpr std::uint16_t kGarminVendorId = 0x091E;

// The libusb back end: Open("") takes the first Garmin unit found, Open("BUS:ADDRESS") the one
// at that bus address (as the port dialog lists them); a kernel driver bound to the interface
// is detached while the program holds it.
std::unique_ptr<UsbTransport> MakeLibusbTransport();

}  // namespace tracora::device
