// The one poll() wait of the layer: a descriptor, a deadline and an optional wake descriptor.
#pragma once

#include <chrono>

namespace tracora::device::detail {

using Clock = std::chrono::steady_clock;

// The deadline timeoutMs from now; a negative time-out counts as 0.
Clock::time_point DeadlineAfter(int timeoutMs);

// Waits until `fd` reports one of `events` (or a hang-up or error), `wakeFd` becomes readable,
// or the deadline passes; interrupted waits resume with the time left. `wakeFd` may be -1.
// Returns the descriptor's revents (> 0), 0 at the deadline, kIoAborted when the wake
// descriptor is readable (it wins over ready data) or kIoError with errno set.
int PollUntil(int fd, short events, Clock::time_point deadline, int wakeFd);

}  // namespace tracora::device::detail
