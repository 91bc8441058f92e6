#include "device/serial_speed.hpp"

// Only the kernel's view of termios here: no <termios.h> in this file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <climits>

namespace tracora::device::detail {

int SetArbitrarySpeed(int fd, std::uint32_t baud) {
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) < 0) {
        return -errno;
    }
    const auto baudMask = static_cast<tcflag_t>(CBAUD);
    const auto other = static_cast<tcflag_t>(BOTHER);
    settings.c_cflag &= ~(baudMask | (baudMask << IBSHIFT));
    settings.c_cflag |= other | (other << IBSHIFT);
    settings.c_ispeed = baud;
    settings.c_ospeed = baud;
    if (::ioctl(fd, TCSETS2, &settings) < 0) {
        return -errno;
    }
    return 0;
}

int ReadOutputSpeed(int fd) {
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) < 0) {
        return -errno;
    }
    // The kernel fills c_ospeed for standard rates too.
    if (settings.c_ospeed == 0) {
        return -EINVAL;
    }
    return settings.c_ospeed > INT_MAX ? INT_MAX : static_cast<int>(settings.c_ospeed);
}

}  // namespace tracora::device::detail
