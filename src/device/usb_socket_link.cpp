#include "device/usb_socket_link.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "device/io_status.hpp"
#include "device/poll_wait.hpp"
#include "device/wake_event.hpp"

namespace tracora::device {

namespace {

using detail::Clock;
using detail::DeadlineAfter;
using detail::PollUntil;

constexpr std::size_t kRequestSize = 9;
constexpr std::size_t kAnswerSize = 4;
// Reads are asked for in slices, so that an abort on this side ends them soon.
constexpr int kSliceMs = 100;
// How long the other side may take beyond a request's own time-out.
constexpr int kAnswerGraceMs = 10'000;

void Put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t Get32(const std::uint8_t* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

// Sends everything: 0, or kIoLinkLost / kIoAborted.
int SendAll(int fd, std::span<const std::uint8_t> bytes, Clock::time_point deadline, int wakeFd) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int ready = PollUntil(fd, POLLOUT, deadline, wakeFd);
        if (ready == kIoAborted)
            return kIoAborted;
        if (ready <= 0)
            return kIoLinkLost;
        const ssize_t sent =
            ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (sent <= 0)
            return kIoLinkLost;
        done += static_cast<std::size_t>(sent);
    }
    return 0;
}

// Fills `bytes`: 0, or kIoLinkLost (the other side is gone or too slow) / kIoAborted.
int ReceiveAll(int fd, std::span<std::uint8_t> bytes, Clock::time_point deadline, int wakeFd) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int ready = PollUntil(fd, POLLIN, deadline, wakeFd);
        if (ready == kIoAborted)
            return kIoAborted;
        if (ready <= 0)
            return kIoLinkLost;
        const ssize_t got = ::recv(fd, bytes.data() + done, bytes.size() - done, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return kIoLinkLost;
        done += static_cast<std::size_t>(got);
    }
    return 0;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Answers one client's requests until it goes, talks nonsense or `stop` is set.
void ServeClient(int fd, UsbTransport& device, const WakeEvent& stop) {
    std::vector<std::uint8_t> data;
    for (;;) {
        std::uint8_t request[kRequestSize];
        // A client may stay quiet between its calls for as long as it likes.
        int ready = 0;
        while (ready == 0)
            ready = PollUntil(fd, POLLIN, DeadlineAfter(1000), stop.Fd());
        if (ready < 0 || ReceiveAll(fd, request, DeadlineAfter(kAnswerGraceMs), stop.Fd()) != 0)
            return;
        const char operation = static_cast<char>(request[0]);
        const int timeoutMs = std::clamp(static_cast<int>(Get32(request + 1)), 0, 60'000);
        const std::uint32_t size = Get32(request + 5);
        if (size > kUsbLinkMaxTransfer)
            return;
        data.assign(size, 0);
        int result = kIoError;
        switch (operation) {
            case 'I':
                result = device.ReadInterrupt(data, timeoutMs, &stop);
                break;
            case 'B':
                result = device.ReadBulk(data, timeoutMs, &stop);
                break;
            case 'W':
                if (ReceiveAll(fd, data, DeadlineAfter(kAnswerGraceMs), stop.Fd()) != 0)
                    return;
                result = device.WriteBulkTransfer(data, timeoutMs, &stop);
                break;
            case 'P':
                result = static_cast<int>(std::min(device.BulkPacketSize(), kUsbLinkMaxTransfer));
                break;
            default:
                return;
        }
        const bool read = operation == 'I' || operation == 'B';
        const std::size_t count =
            read && result > 0 ? std::min(static_cast<std::size_t>(result), data.size()) : 0;
        std::vector<std::uint8_t> answer(kAnswerSize + count);
        Put32(answer.data(),
              static_cast<std::uint32_t>(read && result > 0 ? static_cast<int>(count) : result));
        std::copy_n(data.begin(), count, answer.begin() + kAnswerSize);
        if (SendAll(fd, answer, DeadlineAfter(kAnswerGraceMs), stop.Fd()) != 0)
            return;
    }
}

}  // namespace

int UsbSocketTransport::Open(const std::string&) {
    Close();
    sockaddr_un address;
    if (!FillAddress(socketPath_, address))
        return kIoNotFound;
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid())
        return kIoError;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return errno == ECONNREFUSED || errno == ENOENT ? kIoNotFound : kIoError;
    fd_ = std::move(fd);
    // The packet size of the unit's bulk OUT endpoint decides the zero-length packets.
    const int packet = Call('P', 0, {}, {}, 0);
    if (packet <= 0) {
        fd_.Reset();
        return kIoNotFound;
    }
    bulkPacketSize_ = static_cast<std::size_t>(packet);
    return 0;
}

void UsbSocketTransport::Close() {
    fd_.Reset();
}

int UsbSocketTransport::ReadInterrupt(std::span<std::uint8_t> buffer, int timeoutMs,
                                      const WakeEvent* wake) {
    return ReadPipe('I', buffer, timeoutMs, wake);
}

int UsbSocketTransport::ReadBulk(std::span<std::uint8_t> buffer, int timeoutMs,
                                 const WakeEvent* wake) {
    return ReadPipe('B', buffer, timeoutMs, wake);
}

int UsbSocketTransport::WriteBulkTransfer(std::span<const std::uint8_t> bytes, int timeoutMs,
                                          const WakeEvent* wake) {
    if (wake != nullptr && wake->IsSet())
        return kIoAborted;
    if (bytes.size() > kUsbLinkMaxTransfer)
        return kIoBadArgument;
    return Call('W', timeoutMs, bytes, {}, 0);
}

int UsbSocketTransport::ReadPipe(char operation, std::span<std::uint8_t> buffer, int timeoutMs,
                                 const WakeEvent* wake) {
    const std::size_t wanted = std::min(buffer.size(), kUsbLinkMaxTransfer);
    const Clock::time_point deadline = DeadlineAfter(timeoutMs);
    for (;;) {
        if (wake != nullptr && wake->IsSet())
            return kIoAborted;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int slice = static_cast<int>(std::clamp<long long>(left, 0, kSliceMs));
        const int result = Call(operation, slice, {}, buffer, wanted);
        if (result != 0 || left <= kSliceMs)
            return result;
    }
}

int UsbSocketTransport::Call(char operation, int timeoutMs, std::span<const std::uint8_t> out,
                             std::span<std::uint8_t> in, std::size_t wanted) {
    if (!fd_.Valid())
        return kIoNotOpen;
    std::vector<std::uint8_t> request(kRequestSize + out.size());
    request[0] = static_cast<std::uint8_t>(operation);
    Put32(request.data() + 1, static_cast<std::uint32_t>(std::max(0, timeoutMs)));
    Put32(request.data() + 5, static_cast<std::uint32_t>(operation == 'W' ? out.size() : wanted));
    std::copy(out.begin(), out.end(), request.begin() + kRequestSize);
    // The conversation is not broken off halfway (an abort would leave an answer in the
    // socket); the server's own waits are short.
    const Clock::time_point deadline = DeadlineAfter(std::max(0, timeoutMs) + kAnswerGraceMs);
    std::uint8_t answer[kAnswerSize];
    if (SendAll(fd_.Get(), request, deadline, -1) != 0 ||
        ReceiveAll(fd_.Get(), answer, deadline, -1) != 0) {
        fd_.Reset();
        return kIoLinkLost;
    }
    const int result = static_cast<int>(Get32(answer));
    if (result > 0 && (operation == 'I' || operation == 'B')) {
        if (static_cast<std::size_t>(result) > wanted ||
            ReceiveAll(fd_.Get(), in.first(static_cast<std::size_t>(result)), deadline, -1) != 0) {
            fd_.Reset();
            return kIoLinkLost;
        }
    }
    return result;
}

int ServeUsbDevice(const std::string& socketPath, UsbTransport& device, const WakeEvent& stop) {
    sockaddr_un address;
    if (!FillAddress(socketPath, address))
        return -1;
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener.Valid())
        return -1;
    std::error_code ec;
    std::filesystem::remove(socketPath, ec);
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.Get(), 4) != 0)
        return -1;
    while (!stop.IsSet()) {
        const int ready = PollUntil(listener.Get(), POLLIN, DeadlineAfter(1000), stop.Fd());
        if (ready == kIoAborted)
            break;
        if (ready <= 0)
            continue;
        UniqueFd client(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client.Valid())
            continue;
        device.Open("");
        ServeClient(client.Get(), device, stop);
        device.Close();
    }
    std::filesystem::remove(socketPath, ec);
    return 0;
}

}  // namespace tracora::device
