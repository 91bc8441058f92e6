// SIGINT and SIGTERM as a descriptor the desktop's event loop reads, so that they close the
// window as the Exit command does. The signals are blocked before any thread starts; when no
// descriptor can be had, the signal mask is restored, so that they still end the program the
// ordinary way instead of being held back for ever.
#pragma once

#include <signal.h>

namespace tracora::app {

class ClosingSignals {
public:
    // signalfd(2), replaceable so that a test can make it fail.
    using OpenDescriptor = int (*)(int fd, const sigset_t* mask, int flags);

    explicit ClosingSignals(OpenDescriptor open = nullptr);
    ClosingSignals(const ClosingSignals&) = delete;
    ClosingSignals& operator=(const ClosingSignals&) = delete;
    // Closes the descriptor. The signals stay blocked: one that arrives while the program
    // ends is not delivered any more.
    ~ClosingSignals();

    // The readable descriptor, or -1 when there is none (the signals are then not blocked).
    int Descriptor() const { return fd_; }
    // Why there is no descriptor (an errno value), 0 when there is one.
    int Error() const { return error_; }
    // Reads the pending signals off the descriptor.
    void Drain() const;

private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace tracora::app
