// An owning file descriptor: closed when the owner goes away, moved but never copied.
#pragma once

#include <unistd.h>

#include <utility>

namespace tracora::device {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }

    // Gives up ownership without closing.
    int Release() { return std::exchange(fd_, -1); }

    // Closes the descriptor held (if any) and takes `fd` over. A close that reports an error
    // still frees the descriptor on Linux, so it is never retried.
    void Reset(int fd = -1) {
        const int old = std::exchange(fd_, fd);
        if (old >= 0) {
            ::close(old);
        }
    }

private:
    int fd_ = -1;
};

}  // namespace tracora::device
