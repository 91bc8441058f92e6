#include "core/file_io.hpp"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace tracora {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

FileReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& out) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return FileReadStatus::kCannotOpen;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return FileReadStatus::kReadError;
    if (S_ISDIR(info.st_mode)) return FileReadStatus::kCannotOpen;
    std::string text;
    try {
        if (info.st_size > 0) text.reserve(static_cast<std::size_t>(info.st_size));
        char chunk[65536];
        for (;;) {
            const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
            if (got < 0) {
                if (errno == EINTR) continue;
                return FileReadStatus::kReadError;
            }
            if (got == 0) break;
            text.append(chunk, static_cast<std::size_t>(got));
        }
    } catch (const std::bad_alloc&) {
        return FileReadStatus::kNoMemory;
    }
    if (text.empty()) return FileReadStatus::kEmpty;
    out = std::move(text);
    return FileReadStatus::kOk;
}

}  // namespace tracora
