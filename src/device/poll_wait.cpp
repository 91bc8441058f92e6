#include "device/poll_wait.hpp"

#include <poll.h>

#include <cerrno>
#include <climits>

#include "device/io_status.hpp"

namespace tracora::device::detail {

Clock::time_point DeadlineAfter(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
}

namespace {

// Milliseconds to the deadline, rounded up so that a wait never ends before it.
int MsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return 0;
    }
    return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
}

}  // namespace

int PollUntil(int fd, short events, Clock::time_point deadline, int wakeFd) {
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    for (;;) {
        const int waitMs = MsUntil(deadline);
        fds[0].revents = 0;
        fds[1].revents = 0;
        const int rc = ::poll(fds, 2, waitMs);
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            return kIoError;
        }
        if (fds[1].revents != 0) {
            return kIoAborted;
        }
        if (fds[0].revents != 0) {
            return static_cast<int>(static_cast<unsigned short>(fds[0].revents));
        }
        if (waitMs == 0) {
            return 0;
        }
    }
}

}  // namespace tracora::device::detail
