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
#include <string_view>
#include <vector>

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

// A unit's bus address as a user gives it: "BUS:ADDRESS" ("1:5" or "001:005"), "usb:BUS:ADDRESS"
// or the device node "/dev/bus/usb/BUS/ADDRESS", decimal numbers from 1 to 255. The canonical
// "BBB:AAA" form (three digits each, as the port dialog lists the units), or empty when `name`
// is none of these.
std::string UsbBusAddress(std::string_view name);

// One Garmin unit on the buses: its canonical bus address and what it says it is.
struct UsbUnitInfo {
    std::string address;
    std::string product;

    bool operator==(const UsbUnitInfo&) const = default;
};

// The Garmin units this machine can see, in enumeration order; empty when there are none or
// USB cannot be reached at all.
std::vector<UsbUnitInfo> ListGarminUsbUnits();

// The libusb back end: Open("") takes the first Garmin unit found, Open(address) the one at that
// bus address (any form UsbBusAddress takes). No unit there, or no USB access at all, gives
// kIoNotFound; a kernel driver bound to the interface is detached while the program holds it.
std::unique_ptr<UsbTransport> MakeLibusbTransport();

}  // namespace tracora::device
