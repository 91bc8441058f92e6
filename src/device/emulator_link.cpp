#include "device/emulator_link.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

#include "device/poll_wait.hpp"

namespace tracora::device {

namespace {

constexpr short kHangUp = POLLHUP | POLLERR;

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

EmulatorLink::EmulatorLink(UniqueFd master) : master_(std::move(master)) {
    valid_ = master_.Valid() && wake_.Valid();
}

int EmulatorLink::EndedStatus() const {
    return dropped_ ? kIoLinkLost : kIoAborted;
}

int EmulatorLink::LinkState() const {
    std::lock_guard lock(stateMutex_);
    if (stopped_ || dropped_) {
        return EndedStatus();
    }
    return master_.Valid() ? 0 : kIoNotOpen;
}

int EmulatorLink::AcquireFd() {
    std::lock_guard lock(stateMutex_);
    if (stopped_ || dropped_) {
        return EndedStatus();
    }
    if (!master_.Valid()) {
        return kIoNotOpen;
    }
    ++users_;
    return master_.Get();
}

void EmulatorLink::ReleaseFd() {
    std::lock_guard lock(stateMutex_);
    if (--users_ == 0) {
        idle_.notify_all();
    }
}

bool EmulatorLink::IsDropped() const {
    std::lock_guard lock(stateMutex_);
    return dropped_;
}

bool EmulatorLink::IsStopped() const {
    std::lock_guard lock(stateMutex_);
    return stopped_;
}

void EmulatorLink::Stop() {
    {
        std::lock_guard lock(stateMutex_);
        stopped_ = true;
    }
    wake_.Set();
}

void EmulatorLink::DropLink() {
    std::unique_lock lock(stateMutex_);
    dropped_ = true;
    wake_.Set();
    // Waits in progress see the wake event and give the descriptor back promptly; closing it
    // under their feet could hand its number to another file.
    idle_.wait(lock, [this] { return users_ == 0; });
    master_.Reset();
}

int EmulatorLink::Fill(std::chrono::steady_clock::time_point deadline) {
    const int fd = AcquireFd();
    if (fd < 0) {
        return fd;
    }
    int result = 0;
    std::array<char, 512> chunk{};
    for (;;) {
        const int events = detail::PollUntil(fd, POLLIN, deadline, wake_.Fd());
        if (events == kIoAborted) {
            std::lock_guard lock(stateMutex_);
            result = EndedStatus();
            break;
        }
        if (events <= 0) {
            result = events < 0 ? kIoError : 0;
            break;
        }
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n > 0) {
            pending_.append(chunk.data(), static_cast<std::size_t>(n));
            result = static_cast<int>(n);
            break;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if ((events & kHangUp) != 0) {
                result = kIoLinkLost;
                break;
            }
            continue;
        }
        // EIO (or end of file): every descriptor of the slave side is closed.
        result = n < 0 && errno != EIO ? kIoError : kIoLinkLost;
        break;
    }
    ReleaseFd();
    return result;
}

int EmulatorLink::ReadByte(std::uint8_t& byte, int timeoutMs) {
    std::uint8_t one = 0;
    const int rc = ReadExact(std::span<std::uint8_t>(&one, 1), timeoutMs);
    if (rc > 0) {
        byte = one;
    }
    return rc;
}

int EmulatorLink::ReadExact(std::span<std::uint8_t> buffer, int timeoutMs) {
    if (buffer.empty() || buffer.size() > static_cast<std::size_t>(INT_MAX)) {
        return kIoBadArgument;
    }
    const auto deadline = detail::DeadlineAfter(timeoutMs);
    std::lock_guard lock(readMutex_);
    while (pending_.size() < buffer.size()) {
        const int rc = Fill(deadline);
        if (rc <= 0) {
            return rc;
        }
    }
    std::copy_n(pending_.begin(), buffer.size(), buffer.begin());
    pending_.erase(0, buffer.size());
    return static_cast<int>(buffer.size());
}

int EmulatorLink::ReadLine(std::string& line, int timeoutMs, std::size_t maxLength) {
    if (maxLength == 0 || maxLength > static_cast<std::size_t>(INT_MAX) - 1) {
        return kIoBadArgument;
    }
    const auto deadline = detail::DeadlineAfter(timeoutMs);
    std::lock_guard lock(readMutex_);
    std::size_t searched = 0;
    for (;;) {
        const std::size_t end = pending_.find('\n', searched);
        if (end != std::string::npos && end <= maxLength) {
            std::size_t length = end;
            if (length > 0 && pending_[length - 1] == '\r') {
                --length;
            }
            line.assign(pending_, 0, length);
            pending_.erase(0, end + 1);
            return static_cast<int>(end + 1);
        }
        if (pending_.size() >= maxLength) {
            line.assign(pending_, 0, maxLength);
            pending_.erase(0, maxLength);
            return static_cast<int>(maxLength);
        }
        searched = pending_.size();
        const int rc = Fill(deadline);
        if (rc <= 0) {
            return rc;
        }
    }
}

void EmulatorLink::SetSilent(bool silent) {
    std::lock_guard lock(faultMutex_);
    faults_.silent = silent;
}

void EmulatorLink::InjectGarbageBeforeNextReply(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(faultMutex_);
    faults_.garbage.insert(faults_.garbage.end(), bytes.begin(), bytes.end());
}

void EmulatorLink::InjectGarbageBeforeNextReply(std::string_view bytes) {
    InjectGarbageBeforeNextReply(AsBytes(bytes));
}

void EmulatorLink::CorruptNextReply(std::size_t offset, std::uint8_t xorMask) {
    std::lock_guard lock(faultMutex_);
    faults_.corrupt = true;
    faults_.corruptOffset = offset;
    faults_.corruptMask = xorMask != 0 ? xorMask : std::uint8_t{0x01};
}

int EmulatorLink::SendAll(std::span<const std::uint8_t> bytes,
                          std::chrono::steady_clock::time_point deadline) {
    const int fd = AcquireFd();
    if (fd < 0) {
        return fd;
    }
    int result = 0;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            result = errno == EIO ? kIoLinkLost : kIoError;
            break;
        }
        const int events = detail::PollUntil(fd, POLLOUT, deadline, wake_.Fd());
        if (events == kIoAborted) {
            std::lock_guard lock(stateMutex_);
            result = EndedStatus();
            break;
        }
        if (events <= 0) {
            result = events < 0 ? kIoError : kIoTimedOut;
            break;
        }
        if ((events & kHangUp) != 0 && (events & POLLOUT) == 0) {
            result = kIoLinkLost;
            break;
        }
    }
    ReleaseFd();
    return result;
}

int EmulatorLink::Write(std::span<const std::uint8_t> bytes, int timeoutMs) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return kIoBadArgument;
    }
    const auto deadline = detail::DeadlineAfter(timeoutMs);
    std::lock_guard writeLock(writeMutex_);
    std::vector<std::uint8_t> wire;
    {
        std::lock_guard lock(faultMutex_);
        if (faults_.silent) {
            // Nothing goes out, but a stopped or cut link still says so. Armed faults wait
            // for the first reply that really goes out.
            const int state = LinkState();
            return state < 0 ? state : static_cast<int>(bytes.size());
        }
        wire.swap(faults_.garbage);
        const std::size_t replyStart = wire.size();
        wire.insert(wire.end(), bytes.begin(), bytes.end());
        if (faults_.corrupt && !bytes.empty()) {
            const std::size_t at = replyStart + std::min(faults_.corruptOffset, bytes.size() - 1);
            wire[at] = static_cast<std::uint8_t>(wire[at] ^ faults_.corruptMask);
            faults_.corrupt = false;
        }
    }
    const int rc = SendAll(wire, deadline);
    return rc < 0 ? rc : static_cast<int>(bytes.size());
}

int EmulatorLink::Write(std::string_view text, int timeoutMs) {
    return Write(AsBytes(text), timeoutMs);
}

}  // namespace tracora::device
