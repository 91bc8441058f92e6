// A manual-reset event that poll() can wait on next to a port's descriptor. Setting it ends
// every wait that includes it at once, which is how an abort reaches a blocked read or write.
#pragma once

#include "core/unique_fd.hpp"

namespace tracora::device {

class WakeEvent {
public:
    // Creates the underlying eventfd; Valid() tells whether that worked.
    WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;
    WakeEvent(WakeEvent&&) noexcept = default;
    WakeEvent& operator=(WakeEvent&&) noexcept = default;
    ~WakeEvent() = default;

    bool Valid() const { return fd_.Valid(); }

    // All four may be called from any thread at any time.
    void Set();
    void Reset();
    bool IsSet() const;
    // Waits up to timeoutMs (negative counts as 0); true when the event is set.
    bool Wait(int timeoutMs) const;

    // The descriptor to add to a poll() set (readable while the event is set), -1 when invalid.
    int Fd() const { return fd_.Get(); }

private:
    UniqueFd fd_;
};

}  // namespace tracora::device
