#include "device/serial_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <utility>

#include "device/poll_wait.hpp"
#include "device/serial_speed.hpp"
#include "device/wake_event.hpp"

namespace tracora::device {

namespace {

struct StandardRate {
    int baud;
    speed_t code;
};

// The rates termios names with a constant; any other rate goes through termios2.
constexpr std::array kStandardRates = {
    StandardRate{50, B50},           StandardRate{75, B75},
    StandardRate{110, B110},         StandardRate{134, B134},
    StandardRate{150, B150},         StandardRate{200, B200},
    StandardRate{300, B300},         StandardRate{600, B600},
    StandardRate{1200, B1200},       StandardRate{1800, B1800},
    StandardRate{2400, B2400},       StandardRate{4800, B4800},
    StandardRate{9600, B9600},       StandardRate{19200, B19200},
    StandardRate{38400, B38400},     StandardRate{57600, B57600},
    StandardRate{115200, B115200},   StandardRate{230400, B230400},
    StandardRate{460800, B460800},   StandardRate{500000, B500000},
    StandardRate{576000, B576000},   StandardRate{921600, B921600},
    StandardRate{1000000, B1000000}, StandardRate{1152000, B1152000},
    StandardRate{1500000, B1500000}, StandardRate{2000000, B2000000},
    StandardRate{2500000, B2500000}, StandardRate{3000000, B3000000},
    StandardRate{3500000, B3500000}, StandardRate{4000000, B4000000},
};

constexpr tcflag_t Bits(unsigned value) {
    return static_cast<tcflag_t>(value);
}

// errno values that mean the device is gone (unplugged adapter, closed pseudo-terminal).
bool MeansLinkLost(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

constexpr short kHangUp = POLLHUP | POLLERR;

}  // namespace

SerialPort::SerialPort(SerialPort&& other) noexcept
    : fd_(std::move(other.fd_)),
      path_(std::exchange(other.path_, std::string())),
      lastErrno_(other.lastErrno_) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::move(other.fd_);
        path_ = std::exchange(other.path_, std::string());
        lastErrno_ = other.lastErrno_;
    }
    return *this;
}

SerialPort::~SerialPort() {
    Close();
}

int SerialPort::Fail(int status, int error) {
    lastErrno_ = error;
    return status;
}

int SerialPort::Open(const std::string& path) {
    Close();
    lastErrno_ = 0;
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        const int error = errno;
        if (error == ENOENT || error == ENXIO || error == ENODEV) {
            return Fail(kIoNotFound, error);
        }
        return Fail(error == EBUSY ? kIoBusy : kIoError, error);
    }
    termios settings{};
    if (::tcgetattr(fd.Get(), &settings) < 0) {
        return Fail(kIoError, errno);
    }
    // The lock goes with the open file and is dropped by the kernel when it is closed.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) < 0) {
        const int error = errno;
        return Fail(error == EWOULDBLOCK ? kIoBusy : kIoError, error);
    }
    if (::ioctl(fd.Get(), TIOCEXCL) < 0) {
        return Fail(kIoError, errno);
    }
    fd_ = std::move(fd);
    path_ = path;
    return 0;
}

void SerialPort::Close() {
    if (!fd_.Valid()) {
        return;
    }
    // A pseudo-terminal's slave keeps its exclusive flag after its last close for as long as
    // the master lives, which would refuse the next open of the same port: clear it here.
    ::ioctl(fd_.Get(), TIOCNXCL);
    fd_.Reset();
    path_.clear();
}

int SerialPort::Configure(int baud, bool xonXoff) {
    if (!fd_.Valid()) {
        return kIoNotOpen;
    }
    if (baud <= 0) {
        return kIoBadArgument;
    }
    termios settings{};
    if (::tcgetattr(fd_.Get(), &settings) < 0) {
        return Fail(kIoError, errno);
    }
    // Raw bytes: no break or parity handling, no CR/NL translation, no flow control unless
    // asked, no output processing, no echo, no line editing, no signals.
    settings.c_iflag &= ~Bits(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                              ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
    settings.c_oflag &= ~Bits(OPOST);
    settings.c_lflag &= ~Bits(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    // 8 data bits, no parity, 1 stop bit; modem status lines ignored, no RTS/CTS.
    settings.c_cflag &= ~Bits(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= Bits(CS8 | CLOCAL | CREAD);
    if (xonXoff) {
        settings.c_iflag |= Bits(IXON | IXOFF);
        settings.c_cc[VSTART] = kXon;
        settings.c_cc[VSTOP] = kXoff;
    }
    // read() returns at once with what is there; waits are done with poll().
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;

    const auto* standard = std::find_if(kStandardRates.begin(), kStandardRates.end(),
                                        [baud](const StandardRate& r) { return r.baud == baud; });
    if (standard != kStandardRates.end() && ::cfsetspeed(&settings, standard->code) < 0) {
        return Fail(kIoError, errno);
    }
    if (::tcsetattr(fd_.Get(), TCSANOW, &settings) < 0) {
        return Fail(kIoError, errno);
    }
    if (standard == kStandardRates.end()) {
        const int rc = detail::SetArbitrarySpeed(fd_.Get(), static_cast<std::uint32_t>(baud));
        if (rc < 0) {
            return Fail(kIoError, -rc);
        }
    }
    // Some instruments draw their interface's power from DTR and RTS. A pseudo-terminal has no
    // modem lines and refuses the request, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_.Get(), TIOCMBIS, &lines) < 0 && errno != ENOTTY && errno != EINVAL) {
        return Fail(kIoError, errno);
    }
    return 0;
}

int SerialPort::Purge() {
    if (!fd_.Valid()) {
        return kIoNotOpen;
    }
    if (::tcflush(fd_.Get(), TCIOFLUSH) < 0) {
        return Fail(kIoError, errno);
    }
    return 0;
}

int SerialPort::Write(std::span<const std::uint8_t> bytes, int timeoutMs, const WakeEvent* wake) {
    if (!fd_.Valid()) {
        return kIoNotOpen;
    }
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return kIoBadArgument;
    }
    if (wake != nullptr && wake->IsSet()) {
        return kIoAborted;
    }
    const int wakeFd = wake != nullptr ? wake->Fd() : -1;
    const auto deadline = detail::DeadlineAfter(timeoutMs);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            const int error = errno;
            return Fail(MeansLinkLost(error) ? kIoLinkLost : kIoError, error);
        }
        // The driver's buffer is full (or output is stopped by XOFF): wait for room.
        const int events = detail::PollUntil(fd_.Get(), POLLOUT, deadline, wakeFd);
        if (events == kIoAborted) {
            return kIoAborted;
        }
        if (events < 0) {
            return Fail(kIoError, errno);
        }
        if (events == 0) {
            return kIoTimedOut;
        }
        if ((events & kHangUp) != 0 && (events & POLLOUT) == 0) {
            return Fail(kIoLinkLost, 0);
        }
    }
    return static_cast<int>(done);
}

int SerialPort::Write(std::string_view text, int timeoutMs, const WakeEvent* wake) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return Write(std::span<const std::uint8_t>(bytes, text.size()), timeoutMs, wake);
}

int SerialPort::Read(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) {
    if (!fd_.Valid()) {
        return kIoNotOpen;
    }
    if (buffer.empty()) {
        return kIoBadArgument;
    }
    const std::size_t want = std::min(buffer.size(), static_cast<std::size_t>(INT_MAX));
    const int wakeFd = wake != nullptr ? wake->Fd() : -1;
    const auto deadline = detail::DeadlineAfter(timeoutMs);
    for (;;) {
        const int events = detail::PollUntil(fd_.Get(), POLLIN, deadline, wakeFd);
        if (events == kIoAborted) {
            return kIoAborted;
        }
        if (events < 0) {
            return Fail(kIoError, errno);
        }
        if (events == 0) {
            return 0;
        }
        // Data that arrived before a hang-up is still delivered; the hang-up shows next time.
        const ssize_t n = ::read(fd_.Get(), buffer.data(), want);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            const int error = errno;
            return Fail(MeansLinkLost(error) ? kIoLinkLost : kIoError, error);
        }
        // Nothing to read although poll() woke up: a hung-up terminal reports end of file
        // (read() returns 0) for ever, which must not look like a quiet line.
        if ((events & kHangUp) != 0) {
            return Fail(kIoLinkLost, n < 0 ? errno : 0);
        }
    }
}

int SerialPort::Baud() const {
    if (!fd_.Valid()) {
        return kIoNotOpen;
    }
    const int rate = detail::ReadOutputSpeed(fd_.Get());
    return rate > 0 ? rate : kIoError;
}

}  // namespace tracora::device
