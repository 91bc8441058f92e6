// Baud rates through the kernel's termios2 interface, which takes any rate as a number.
// Kept apart from serial_port.cpp: <asm/termbits.h> and <termios.h> define the same names
// and cannot share a translation unit.
#pragma once

#include <cstdint>

namespace tracora::device::detail {

// Sets input and output rate to `baud` (BOTHER). Returns 0 or -errno.
int SetArbitrarySpeed(int fd, std::uint32_t baud);

// The output rate the driver holds, whether it was set as a standard rate or as a number.
// Returns the rate (> 0) or -errno.
int ReadOutputSpeed(int fd);

}  // namespace tracora::device::detail
