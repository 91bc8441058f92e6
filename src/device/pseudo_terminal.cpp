#include "device/pseudo_terminal.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>

#include <array>
#include <cerrno>

#include "device/io_status.hpp"

namespace tracora::device {

int PseudoTerminal::Open() {
    Close();
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master.Valid() || ::grantpt(master.Get()) < 0 || ::unlockpt(master.Get()) < 0) {
        return kIoError;
    }
    // ptsname() returns a shared static buffer; the _r form is safe with other threads.
    std::array<char, 128> name{};
    if (::ptsname_r(master.Get(), name.data(), name.size()) != 0) {
        return kIoError;
    }
    // Line settings given through the master apply to the slave's line.
    termios settings{};
    if (::tcgetattr(master.Get(), &settings) < 0) {
        return kIoError;
    }
    ::cfmakeraw(&settings);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(master.Get(), TCSANOW, &settings) < 0) {
        return kIoError;
    }
    UniqueFd slave(::open(name.data(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave.Valid()) {
        return kIoError;
    }
    master_ = std::move(master);
    slave_ = std::move(slave);
    slavePath_ = name.data();
    return 0;
}

void PseudoTerminal::Close() {
    slave_.Reset();
    master_.Reset();
    slavePath_.clear();
}

}  // namespace tracora::device
