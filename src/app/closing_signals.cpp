#include "app/closing_signals.hpp"

#include <pthread.h>
#include <sys/signalfd.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace tracora::app {

ClosingSignals::ClosingSignals(OpenDescriptor open) {
    if (open == nullptr) {
        open = &::signalfd;
    }
    sigset_t closing;
    sigemptyset(&closing);
    sigaddset(&closing, SIGINT);
    sigaddset(&closing, SIGTERM);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &closing, &previous);
    fd_ = open(-1, &closing, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) {
        error_ = errno;
        // Nobody would ever read them: they must reach the program as before.
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
}

ClosingSignals::~ClosingSignals() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void ClosingSignals::Drain() const {
    signalfd_siginfo info{};
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
}

}  // namespace tracora::app
