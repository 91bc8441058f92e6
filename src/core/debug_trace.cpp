#include "core/debug_trace.hpp"

#include <filesystem>
#include <system_error>

#include "core/file_io.hpp"

namespace tracora {

namespace {

// A hex dump entry (" 0A") is not started when it would take the buffer past this size, so
// that the line end after it still has room.
constexpr std::size_t kHexLimit = 99997;

}  // namespace

void DebugTrace::AppendLocked(char c) {
    if (buffer_.size() < kCapacity) {
        if (buffer_.capacity() < kCapacity) {
            buffer_.reserve(kCapacity);
        }
        buffer_ += c;
    }
}

void DebugTrace::Text(std::string_view text) {
    const std::lock_guard lock(mutex_);
    for (const char c : text) {
        AppendLocked(c);
    }
}

void DebugTrace::Byte(std::uint8_t byte) {
    const std::lock_guard lock(mutex_);
    AppendLocked(static_cast<char>(byte));
}

void DebugTrace::Hex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::lock_guard lock(mutex_);
    std::size_t written = 0;
    for (const std::uint8_t byte : bytes) {
        if (buffer_.size() + 3 > kHexLimit) {
            return;  // the dump stops here, without a line end
        }
        AppendLocked(' ');
        AppendLocked(kDigits[byte >> 4]);
        AppendLocked(kDigits[byte & 0x0F]);
        ++written;
        if (written % 16 == 0) {
            AppendLocked('\r');
            AppendLocked('\n');
        }
    }
    if (written % 16 != 0) {
        AppendLocked('\r');
        AppendLocked('\n');
    }
}

void DebugTrace::Clear() {
    const std::lock_guard lock(mutex_);
    buffer_.clear();
}

std::string DebugTrace::Contents() const {
    const std::lock_guard lock(mutex_);
    return buffer_;
}

std::size_t DebugTrace::Size() const {
    const std::lock_guard lock(mutex_);
    return buffer_.size();
}

int DebugTrace::SaveTo(const std::filesystem::path& path) const {
    const std::string contents = Contents();  // a snapshot: tracing goes on while we write
    if (contents.empty()) {
        return -1;
    }
    // Written through a temporary file renamed over the target, so that a failed write never
    // leaves a truncated log in place of an earlier one. The log goes into an existing folder
    // only.
    std::error_code error;
    if (!std::filesystem::is_directory(path.parent_path().empty() ? "." : path.parent_path(),
                                       error)) {
        return -2;
    }
    if (ReplaceFileAtomically(path, contents) != 0) {
        return -2;
    }
    return 0;
}

}  // namespace tracora
