// The in-memory debug trace of what the device layer and the protocols send and receive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace tracora {

class DebugTrace {
public:
    static constexpr std::size_t kCapacity = 100000;

    // Appends text; what does not fit is dropped silently.
    void Text(std::string_view text);
    void Byte(std::uint8_t byte);
    // " 0A 1B ..." with CR LF after every 16 bytes and at the end of a partial line; stops
    // before passing 99,997 bytes.
    void Hex(std::span<const std::uint8_t> bytes);
    void Clear();

    std::string Contents() const;
    std::size_t Size() const;
    bool Empty() const { return Size() == 0; }

    // Writes the buffer to `path` as it is (bytes, CR LF kept). 0, or -1 when the buffer is
    // empty (nothing is written), -2 when the file cannot be written (a file already at
    // `path` is then left as it was).
    int SaveTo(const std::filesystem::path& path) const;

private:
    void AppendLocked(char c);

    mutable std::mutex mutex_;
    std::string buffer_;
};

}  // namespace tracora
