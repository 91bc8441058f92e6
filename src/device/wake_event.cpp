#include "device/wake_event.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "device/poll_wait.hpp"

namespace tracora::device {

// The eventfd's counter is the state: non-zero (readable) while set. Reading it in
// non-semaphore mode clears it in one step, which is the reset.
WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeEvent::Set() {
    if (!fd_.Valid()) {
        return;
    }
    const std::uint64_t one = 1;
    // EAGAIN means the counter is at its maximum: the event is set already.
    while (::write(fd_.Get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void WakeEvent::Reset() {
    if (!fd_.Valid()) {
        return;
    }
    std::uint64_t value = 0;
    // EAGAIN means the counter is zero: the event is clear already.
    while (::read(fd_.Get(), &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool WakeEvent::IsSet() const {
    return Wait(0);
}

bool WakeEvent::Wait(int timeoutMs) const {
    if (!fd_.Valid()) {
        return false;
    }
    return detail::PollUntil(fd_.Get(), POLLIN, detail::DeadlineAfter(timeoutMs), -1) > 0;
}

}  // namespace tracora::device
