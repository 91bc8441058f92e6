#include "notify/notify.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <utility>

#include "core/automation_request.hpp"

namespace tracora {
namespace {

constexpr std::size_t kHeaderBytes = 4;

// Fills `address` for `path`; false when the path does not fit (a NUL must follow it).
bool MakeAddress(const std::string& path, sockaddr_un& address, socklen_t& length) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

sockaddr* AsSockaddr(sockaddr_un& address) {
    // The socket calls take the generic address type; sockaddr_un is one of its layouts.
    return reinterpret_cast<sockaddr*>(&address);
}

UniqueFd OpenDatagramSocket() {
    return UniqueFd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
}

// Whether a process is bound to the socket file at `address` right now.
bool SomeoneListens(sockaddr_un& address, socklen_t length) {
    const UniqueFd probe = OpenDatagramSocket();
    if (!probe.Valid()) {
        return true;  // cannot tell: treat the file as taken rather than remove it
    }
    int result = 0;
    do {
        result = ::connect(probe.Get(), AsSockaddr(address), length);
    } while (result != 0 && errno == EINTR);
    const bool refused = result != 0 && (errno == ECONNREFUSED || errno == ENOENT);
    return !refused;
}

// Creates the missing folders above `path`, each with mode 0700. false when one is missing
// and cannot be created, or when something other than a folder is in the way.
bool MakeParentFolders(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) {
        return true;
    }
    std::filesystem::path partial;
    for (const auto& part : parent) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) == 0) {
            continue;
        }
        if (errno != EEXIST) {
            // A folder we may not create, but which exists already, is fine.
            struct stat info {};
            if (::stat(partial.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                continue;
            }
            return false;
        }
    }
    struct stat info {};
    return ::stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string EncodeNotifyDatagram(std::uint32_t dwData, std::string_view text) {
    std::string datagram;
    datagram.reserve(kHeaderBytes + text.size());
    for (std::size_t i = 0; i < kHeaderBytes; ++i) {
        datagram.push_back(static_cast<char>((dwData >> (8 * i)) & 0xFFu));
    }
    datagram.append(text);
    return datagram;
}

int DecodeNotifyDatagram(std::string_view datagram, NotifyMessage& out) {
    if (datagram.size() < kHeaderBytes) {
        return kNotifyMalformed;
    }
    std::uint32_t dwData = 0;
    for (std::size_t i = 0; i < kHeaderBytes; ++i) {
        dwData |= static_cast<std::uint32_t>(static_cast<unsigned char>(datagram[i])) << (8 * i);
    }
    out.dwData = dwData;
    out.text.assign(datagram.substr(kHeaderBytes));
    return 0;
}

std::string NotifySocketPath(std::string_view name, std::string_view runtimeDir) {
    if (name.find('/') != std::string_view::npos) {
        return std::string(name);
    }
    std::string path(runtimeDir.empty() ? std::string_view("/tmp") : runtimeDir);
    path += "/tracora/notify-";
    path += name;
    path += ".sock";
    return path;
}

std::uint32_t NotifyDwData(const AutomationRequest& request) {
    return request.sessionGiven ? request.sessionNumber : request.notifyTickMs;
}

NotifySender::NotifySender(std::string socketPath, std::uint32_t dwData)
    : path_(std::move(socketPath)), dwData_(dwData) {
    sockaddr_un address{};
    socklen_t length = 0;
    if (path_.empty()) {
        openStatus_ = kNotifyNotOpen;
        return;
    }
    if (!MakeAddress(path_, address, length)) {
        openStatus_ = kNotifyPathTooLong;
        return;
    }
    // Never bound: the listener needs no reply address, and nothing is left in the file system.
    fd_ = OpenDatagramSocket();
    openStatus_ = fd_.Valid() ? 0 : kNotifyNoSocket;
}

NotifySender NotifySender::ForRequest(const AutomationRequest& request) {
    if (request.notifySocket.empty()) {
        return NotifySender();
    }
    return NotifySender(request.notifySocket, NotifyDwData(request));
}

NotifySender::NotifySender(NotifySender&& other) noexcept
    : fd_(std::move(other.fd_)),
      openStatus_(std::exchange(other.openStatus_, kNotifyNotOpen)),
      path_(std::move(other.path_)),
      dwData_(other.dwData_) {}

NotifySender& NotifySender::operator=(NotifySender&& other) noexcept {
    if (this != &other) {
        fd_ = std::move(other.fd_);
        openStatus_ = std::exchange(other.openStatus_, kNotifyNotOpen);
        path_ = std::move(other.path_);
        dwData_ = other.dwData_;
    }
    return *this;
}

NotifySender::~NotifySender() = default;

int NotifySender::Send(std::string_view text) const {
    if (!fd_.Valid()) {
        return openStatus_ < 0 ? openStatus_ : kNotifyNotOpen;
    }
    sockaddr_un address{};
    socklen_t length = 0;
    if (!MakeAddress(path_, address, length)) {
        return kNotifyPathTooLong;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX) - kHeaderBytes) {
        return kNotifyTooLarge;
    }
    const std::string datagram = EncodeNotifyDatagram(dwData_, text);
    ssize_t sent = 0;
    do {
        // MSG_DONTWAIT: a full listener costs this message, never the caller's time.
        // MSG_NOSIGNAL: a vanished listener is a status, never a signal.
        sent = ::sendto(fd_.Get(), datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                        AsSockaddr(address), length);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0) {
        return static_cast<int>(sent);
    }
    switch (errno) {
        case ENOENT:
        case ECONNREFUSED:
        case ENOTDIR:
            return kNotifyNoListener;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case ENOBUFS:
        case ENOMEM:
            return kNotifyListenerBusy;
        case EMSGSIZE:
            return kNotifyTooLarge;
        default:
            return kNotifySendFailed;
    }
}

NotifyListener::NotifyListener(NotifyListener&& other) noexcept
    : fd_(std::move(other.fd_)),
      path_(std::move(other.path_)),
      device_(other.device_),
      inode_(other.inode_) {
    other.path_.clear();
}

NotifyListener& NotifyListener::operator=(NotifyListener&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::move(other.fd_);
        path_ = std::move(other.path_);
        other.path_.clear();
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

NotifyListener::~NotifyListener() {
    Close();
}

void NotifyListener::Close() {
    if (fd_.Valid() && !path_.empty()) {
        // Remove the file only while it is still ours: a later listener may own the name now.
        struct stat info {};
        if (::lstat(path_.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) &&
            static_cast<std::uint64_t>(info.st_dev) == device_ &&
            static_cast<std::uint64_t>(info.st_ino) == inode_) {
            ::unlink(path_.c_str());
        }
    }
    fd_.Reset();
    path_.clear();
}

int NotifyListener::Open(const std::string& path) {
    Close();
    sockaddr_un address{};
    socklen_t length = 0;
    if (!MakeAddress(path, address, length)) {
        return kNotifyPathTooLong;
    }
    if (!MakeParentFolders(path)) {
        return kNotifyFolderFailed;
    }
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        // Only a socket nobody is bound to any more is removed; anything else is someone's.
        if (!S_ISSOCK(existing.st_mode) || SomeoneListens(address, length)) {
            return kNotifyPathInUse;
        }
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            return kNotifyPathInUse;
        }
    }
    UniqueFd fd = OpenDatagramSocket();
    if (!fd.Valid()) {
        return kNotifyNoSocket;
    }
    if (::bind(fd.Get(), AsSockaddr(address), length) != 0) {
        const int error = errno;
        return error == EADDRINUSE ? kNotifyPathInUse : kNotifyBindFailed;
    }
    struct stat bound {};
    if (::lstat(path.c_str(), &bound) != 0) {
        return kNotifyBindFailed;
    }
    fd_ = std::move(fd);
    path_ = path;
    device_ = static_cast<std::uint64_t>(bound.st_dev);
    inode_ = static_cast<std::uint64_t>(bound.st_ino);
    return 0;
}

int NotifyListener::Receive(int timeoutMs, NotifyMessage& out) {
    if (!fd_.Valid()) {
        return kNotifyNotOpen;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        // Rounded up, so that a wait never ends just before the deadline and spins.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd_.Get(), POLLIN, 0};
        const int ready = ::poll(&entry, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return kNotifyReceiveFailed;
        }
        if (ready == 0) {
            return 0;
        }
        // The real size of the next datagram, so that a long flight list is never cut.
        ssize_t size = ::recv(fd_.Get(), nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (size < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (size < 0) {
            return kNotifyReceiveFailed;
        }
        std::string datagram(static_cast<std::size_t>(size), '\0');
        // A zero-length buffer still consumes an empty datagram.
        size = ::recv(fd_.Get(), datagram.data(), datagram.size(), MSG_DONTWAIT);
        if (size < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (size < 0) {
            return kNotifyReceiveFailed;
        }
        datagram.resize(static_cast<std::size_t>(size));
        const int status = DecodeNotifyDatagram(datagram, out);
        return status == 0 ? 1 : status;
    }
}

}  // namespace tracora
