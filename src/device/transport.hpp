// What a device job talks through: a serial port, a USB device, a HID device, or an in-process
// fake in tests. The protocols see only this interface, so a family's real conversation runs
// unchanged over any of them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "device/io_status.hpp"

namespace tracora::device {

class WakeEvent;

// How a family reaches its instruments.
enum class TransportKind : int {
    kSerial = 0,
    kUsb = 1,
    kHid = 2,
};

const char* TransportKindName(TransportKind kind);

// Line settings of a serial link; the other transports ignore them.
struct LineSettings {
    int baud = 9600;
    bool xonXoff = false;

    friend constexpr bool operator==(const LineSettings&, const LineSettings&) = default;
};

// One open connection. Every call returns the I/O codes of io_status.hpp; reads and writes end
// at once when `wake` is set (an abort).
class Transport {
public:
    Transport() = default;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;
    virtual ~Transport() = default;

    // Opens the device named `path` for exclusive use. 0, kIoNotFound, kIoBusy or kIoError.
    virtual int Open(const std::string& path) = 0;
    // Applies the line settings. 0 or a negative I/O code.
    virtual int Configure(const LineSettings& line) = 0;
    // Throws away what was received and not read, and what was written and not sent.
    virtual int Purge() = 0;
    // Reads what is there, waiting up to timeoutMs for the first byte: a count, 0 on silence,
    // or kIoAborted, kIoLinkLost, kIoNotOpen, kIoError.
    virtual int Read(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) = 0;
    // Writes everything within timeoutMs: the count, or a negative I/O code.
    virtual int Write(std::span<const std::uint8_t> bytes, int timeoutMs,
                      const WakeEvent* wake) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The system's error number of the last call that failed, 0 when the back end keeps none.
    virtual int LastErrno() const { return 0; }

    int Write(std::string_view text, int timeoutMs, const WakeEvent* wake) {
        return Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                     timeoutMs, wake);
    }
};

// Makes the transport a job of `kind` talks through; null when this build has none for it.
using TransportFactory = std::unique_ptr<Transport> (*)(TransportKind kind);

// The back ends of this build: the serial port for kSerial; USB and HID arrive with their
// families.
std::unique_ptr<Transport> MakeSystemTransport(TransportKind kind);

}  // namespace tracora::device
