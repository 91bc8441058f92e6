#include "core/file_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <string>

#include "core/unique_fd.hpp"

namespace tracora {

namespace fs = std::filesystem;

FileReadStatus ReadWholeFile(const fs::path& path, std::string& out, int* errorNumber,
                             std::size_t maxBytes) {
    auto fail = [errorNumber](FileReadStatus status, int error) {
        if (errorNumber != nullptr)
            *errorNumber = error;
        return status;
    };
    // O_NONBLOCK: a pipe or device put in place of the file must not hang the program.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        const int error = errno;
        return fail(error == ENOENT ? FileReadStatus::kAbsent : FileReadStatus::kCannotOpen, error);
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        return fail(FileReadStatus::kReadError, errno);
    if (S_ISDIR(info.st_mode))
        return fail(FileReadStatus::kCannotOpen, EISDIR);
    if (!S_ISREG(info.st_mode))
        return fail(FileReadStatus::kCannotOpen, EINVAL);
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
        return fail(FileReadStatus::kTooLarge, EFBIG);
    }

    std::string text;
    try {
        text.reserve(static_cast<std::size_t>(info.st_size));
        char chunk[65536];
        for (;;) {
            const ssize_t got = ::read(fd.Get(), chunk, sizeof chunk);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return fail(FileReadStatus::kReadError, errno);
            }
            if (got == 0)
                break;
            text.append(chunk, static_cast<std::size_t>(got));
            // The file may grow while it is read.
            if (text.size() > maxBytes)
                return fail(FileReadStatus::kTooLarge, EFBIG);
        }
    } catch (const std::bad_alloc&) {
        return fail(FileReadStatus::kNoMemory, ENOMEM);
    }
    if (text.empty())
        return FileReadStatus::kEmpty;
    out = std::move(text);
    return FileReadStatus::kOk;
}

std::string FileReadErrorText(FileReadStatus status, int errorNumber) {
    switch (status) {
        case FileReadStatus::kOk:
            return {};
        case FileReadStatus::kEmpty:
            return "File is empty";
        case FileReadStatus::kTooLarge:
            return "the file is larger than " + std::to_string(kMaxReadFileBytes >> 20) +
                   " MiB, far beyond any flight log; it was not read";
        case FileReadStatus::kNoMemory:
            return "not enough memory to read the file";
        case FileReadStatus::kAbsent:
            break;
        case FileReadStatus::kCannotOpen:
            if (errorNumber == EISDIR) {
                return "this is a folder, not a file";
            }
            if (errorNumber == EINVAL) {
                return "not a regular file (a pipe, a device or a socket); give a saved file";
            }
            break;
        case FileReadStatus::kReadError:
            break;
    }
    return std::string("cannot read: ") + std::strerror(errorNumber != 0 ? errorNumber : EIO);
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

namespace {

// Writes `content` to a new temporary file in `target`'s folder and hands it to `install`
// (which puts it in place); the temporary name never survives.
template <typename Install>
int WriteThroughTemporary(const fs::path& target, std::string_view content, mode_t createMode,
                          Install install) {
    fs::path folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return ec.value();
    }

    // A fresh name beside the target; the kernel applies the umask to `createMode`.
    std::string name;
    UniqueFd fd;
    for (unsigned attempt = 0; !fd.Valid(); ++attempt) {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        name = (folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) +
                          "." + std::to_string(stamp) + "." + std::to_string(attempt)))
                   .string();
        fd.Reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode));
        if (!fd.Valid() && (errno != EEXIST || attempt >= 100)) {
            return errno;
        }
    }
    auto fail = [&name, &fd](int error) {
        fd.Reset();
        ::unlink(name.c_str());
        return error;
    };
    // A replaced file keeps its permissions.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        ::fchmod(fd.Get(), old.st_mode & 07777);
    }
    if (!WriteAll(fd.Get(), content) || ::fsync(fd.Get()) != 0 || fd.Close() != 0) {
        return fail(errno);
    }
    if (const int error = install(name.c_str(), target.c_str()); error != 0) {
        return fail(error);
    }
    ::unlink(name.c_str());  // a link leaves the temporary name behind

    // Make the new name durable; the file is already complete, so a failure here is not an
    // error of the save.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) {
        ::fsync(dir.Get());
    }
    return 0;
}

}  // namespace

int ReplaceFileAtomically(const fs::path& target, std::string_view content) {
    // A new file is private to the user until someone widens it.
    return WriteThroughTemporary(target, content, 0600, [](const char* from, const char* to) {
        return ::rename(from, to) == 0 ? 0 : errno;
    });
}

int CreateFileAtomically(const fs::path& target, std::string_view content) {
    return WriteThroughTemporary(target, content, 0666, [](const char* from, const char* to) {
        return ::link(from, to) == 0 ? 0 : errno;
    });
}

}  // namespace tracora
