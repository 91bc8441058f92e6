// A serial port over termios: exclusive open, raw 8N1 at a given rate, optional XON/XOFF, and
// reads and writes that wait with poll() next to a wake event so that an abort ends them at once.
// Works on real adapters (/dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*) and on pseudo-terminals.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/unique_fd.hpp"
#include "device/io_status.hpp"

namespace tracora::device {

class WakeEvent;

inline constexpr std::uint8_t kXon = 0x11;
inline constexpr std::uint8_t kXoff = 0x13;

class SerialPort {
public:
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    ~SerialPort();

    // Opens the device for exclusive use: TIOCEXCL keeps other programs out, and an advisory
    // flock() on the device keeps out every other user of this class, root included (root is
    // not bound by TIOCEXCL). Closes a port held before. Returns 0, kIoNotFound, kIoBusy or
    // kIoError (also for a path that is not a terminal).
    int Open(const std::string& path);

    // Raw 8N1 at `baud`, receiver on, modem lines ignored, no hardware flow control; XON/XOFF
    // in both directions (0x11 / 0x13) only when `xonXoff`. Non-blocking reads (VMIN 0,
    // VTIME 0). Rates without a Bxxx constant go through termios2. Raises DTR and RTS where
    // the device has them. Returns 0, kIoBadArgument, kIoNotOpen or kIoError.
    int Configure(int baud, bool xonXoff);

    // Throws away what was received and not read, and what was written and not sent.
    int Purge();

    // Writes all bytes, waiting up to timeoutMs in total for room in the driver. Returns the
    // count written (all of it), or kIoAborted when `wake` is set, kIoTimedOut, kIoLinkLost,
    // kIoNotOpen, kIoBadArgument or kIoError. `wake` may be null.
    int Write(std::span<const std::uint8_t> bytes, int timeoutMs, const WakeEvent* wake);
    int Write(std::string_view text, int timeoutMs, const WakeEvent* wake);

    // Reads what is there, up to buffer.size() bytes, waiting up to timeoutMs for the first
    // byte. Returns the count (> 0), 0 when nothing came in time, kIoAborted when `wake` is
    // set (also when data is waiting), kIoLinkLost when the device went away or the other end
    // of a pseudo-terminal closed, kIoNotOpen, kIoBadArgument or kIoError.
    int Read(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake);

    // The output rate the driver holds (> 0), or kIoNotOpen / kIoError.
    int Baud() const;

    // Gives up exclusive use and closes. Safe to call when closed.
    void Close();

    bool IsOpen() const { return fd_.Valid(); }
    int Fd() const { return fd_.Get(); }
    const std::string& Path() const { return path_; }
    // errno of the last call that returned kIoError, kIoLinkLost, kIoBusy or kIoNotFound.
    int LastErrno() const { return lastErrno_; }

private:
    int Fail(int status, int error);

    UniqueFd fd_;
    std::string path_;
    int lastErrno_ = 0;
};

}  // namespace tracora::device
