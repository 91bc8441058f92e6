// A USB unit served by another process over a Unix stream socket. An emulator plays the unit's
// side behind the USB transport interface and serves it on a socket path; the program, told by
// the environment variable below, talks to that path instead of libusb, so that its whole USB
// code runs end to end against the emulator.
//
// Each call is one request and one answer, all numbers little-endian:
//   request: the operation (1 byte: 'I' interrupt IN, 'B' bulk IN, 'W' bulk OUT, 'P' the bulk
//            packet size), the time-out in ms (32 bits), the size (32 bits: the bytes wanted, or
//            the bytes that follow for 'W');
//   answer:  the result (32 bits, signed: a count or a negative I/O code), then the bytes read.
// The device is opened when a client connects and closed when it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/unique_fd.hpp"
#include "device/usb_transport.hpp"

namespace tracora::device {

class WakeEvent;

// The environment variable that points the program's USB transport at a served unit (for tests
// and demonstrations; it is not a user setting).
inline constexpr const char* kUsbLinkVariable = "TRACORA_USB_LINK";

// The largest transfer a request may ask for or carry.
inline constexpr std::size_t kUsbLinkMaxTransfer = 65536;

// The client: Open connects to the socket (the bus address is not used: the socket holds one
// unit); no server there gives kIoNotFound, a lost server kIoLinkLost.
class UsbSocketTransport final : public UsbTransport {
public:
    explicit UsbSocketTransport(std::string socketPath) : socketPath_(std::move(socketPath)) {}

    int Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return fd_.Valid(); }
    int ReadInterrupt(std::span<std::uint8_t> buffer, int timeoutMs,
                      const WakeEvent* wake) override;
    int ReadBulk(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) override;
    int WriteBulkTransfer(std::span<const std::uint8_t> bytes, int timeoutMs,
                          const WakeEvent* wake) override;
    std::size_t BulkPacketSize() const override { return bulkPacketSize_; }

private:
    int ReadPipe(char operation, std::span<std::uint8_t> buffer, int timeoutMs,
                 const WakeEvent* wake);
    // One request and its answer; `in` receives the bytes of a read.
    int Call(char operation, int timeoutMs, std::span<const std::uint8_t> out,
             std::span<std::uint8_t> in, std::size_t wanted);

    std::string socketPath_;
    UniqueFd fd_;
    std::size_t bulkPacketSize_ = 64;
};

// Serves `device` on a socket made at `socketPath` (an old socket there is replaced), one client
// at a time, until `stop` is set; the socket file is removed at the end. 0, or -1 when the
// socket cannot be made. A client that sends nonsense is disconnected.
int ServeUsbDevice(const std::string& socketPath, UsbTransport& device, const WakeEvent& stop);

}  // namespace tracora::device
