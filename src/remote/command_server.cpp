#include "remote/command_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <bitset>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/debug_trace.hpp"
#include "remote/network_command.hpp"

namespace tracora::remote {

namespace {

constexpr const char* kStartTitle = "Start server";
// A client that stops reading gets this long to take one message before it is dropped.
constexpr int kSendTimeoutMs = 10'000;

// Sends all of `bytes` on a connection whose reads are non-blocking. False when the peer is
// gone or does not take the bytes within the time-out.
bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd wait{fd, POLLOUT, 0};
            if (::poll(&wait, 1, kSendTimeoutMs) <= 0)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

std::string SocketFailure(const char* function, int errorNumber) {
    return std::string(function) + " returned " + SocketErrorName(errorNumber);
}

// The protocols whose track-log download a remote session may start.
bool ServedRemotely(GpsProtocol protocol) {
    return protocol == GpsProtocol::kFlymaster || protocol == GpsProtocol::kFlytec ||
           protocol == GpsProtocol::kGarmin || protocol == GpsProtocol::kGarminUsb;
}

}  // namespace

// One connection. The main thread owns it; the job's worker uses only the connection (under
// sendMutex), the flight selection (under selectionMutex) and its sink.
struct CommandServer::Session : device::JobSink {
    int slot = 0;
    unsigned serial = 0;
    int fd = -1;
    std::string peerAddress;
    int peerPort = 0;
    CommandBuffer buffer;
    // Main thread: a download was started and has not ended yet.
    bool jobActive = false;
    // Main thread: the peer has gone while a download ran; freed when the job ends.
    bool halting = false;
    int comPort = 0;
    bool usb = false;

    std::mutex sendMutex;
    std::mutex selectionMutex;
    std::condition_variable selectionChanged;
    std::bitset<256> selection;
    bool abortRequested = false;

    DebugTrace trace;
    std::atomic<bool> busy{false};
    // Last member: destroyed first, so its worker has ended before anything it uses goes.
    std::unique_ptr<device::JobLayer> jobs;

    bool Send(std::string_view bytes) {
        std::lock_guard lock(sendMutex);
        return fd >= 0 && SendAll(fd, bytes);
    }
    void JobError(const std::string& text, const std::string& title) override {
        Send(ErrorMessage(title, text));
    }
    void JobStatus(const std::string& text) override { Send(StatusMessage(text)); }
    void JobStatus2(const std::string& text) override { Send(ProductMessage(text)); }

    // The job's flight choice: a selection made already, or the flight list sent to the client
    // and a wait for its "/track=n" (or an abort).
    bool ChooseFlights(const device::FlightList& list, std::bitset<256>& chosen) {
        std::unique_lock lock(selectionMutex);
        if (selection.none() && !abortRequested) {
            lock.unlock();
            Send(TrackListMessage(list));
            lock.lock();
            while (selection.none() && !abortRequested)
                selectionChanged.wait_for(lock, std::chrono::milliseconds(500));
        }
        if (abortRequested)
            return false;
        chosen = selection;
        return true;
    }

    void RequestAbort() {
        {
            std::lock_guard lock(selectionMutex);
            abortRequested = true;
        }
        selectionChanged.notify_all();
        if (jobs && jobs->Running())
            jobs->AbortGpsJob();
    }

    void Select(int flight) {
        {
            std::lock_guard lock(selectionMutex);
            selection.reset();
            selection.set(static_cast<std::size_t>(flight - 1));
        }
        selectionChanged.notify_all();
    }

    void CloseSocket() {
        std::lock_guard lock(sendMutex);
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

CommandServer::CommandServer(EventSource& events, ServerView& view, ServerSetup setup)
    : events_(events), view_(view), setup_(std::move(setup)) {}

CommandServer::~CommandServer() {
    CloseListening();
    for (auto& session : sessions_) {
        if (!session)
            continue;
        session->RequestAbort();
        if (session->jobs)
            session->jobs->WaitForJobEnd();
        events_.Unwatch(session->fd);
        session->CloseSocket();
        session.reset();
    }
}

int CommandServer::SessionCount() const {
    int count = 0;
    for (const auto& session : sessions_)
        count += session ? 1 : 0;
    return count;
}

int CommandServer::Start(std::string_view portText) {
    if (listenFd_ >= 0) {
        view_.ServerError(kStartTitle, "Server already started");
        return -1;
    }
    if (portText.empty()) {
        view_.ServerError(kStartTitle, "Missing port input");
        return -1;
    }
    long long port = 0;
    for (const char c : portText) {
        if (c < '0' || c > '9' || port > 1'000'000) {
            view_.ServerError(kStartTitle, "Bad port input");
            return -1;
        }
        port = port * 10 + (c - '0');
    }
    if (port >= 65536) {
        view_.ServerError(kStartTitle, "Port out of range");
        return -1;
    }

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        view_.ServerError(kStartTitle, SocketFailure("socket()", errno));
        return -1;
    }
    const auto fail = [&](const char* function) {
        const int error = errno;
        ::close(fd);
        view_.ServerError(kStartTitle, SocketFailure(function, error));
        return -1;
    };
    const int reuse = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0)
        return fail("setsockopt()");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail("bind()");
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return fail("getsockname()");
    if (::listen(fd, 20) != 0)
        return fail("listen()");

    listenFd_ = fd;
    port_ = ntohs(address.sin_port);
    events_.Watch(listenFd_, [this] { OnListenEvent(); });
    view_.ServerStatus("Listening on port " + std::to_string(port_));
    return 0;
}

void CommandServer::CloseListening() {
    if (listenFd_ < 0)
        return;
    events_.Unwatch(listenFd_);
    ::close(listenFd_);
    listenFd_ = -1;
    port_ = 0;
}

void CommandServer::Close() {
    CloseListening();
    view_.ServerStatus("Server closed");
    for (auto& session : sessions_) {
        if (!session)
            continue;
        if (session->jobActive) {
            session->RequestAbort();
            ShowRow(*session, "Halting");
        } else {
            Free(*session, "Closed");
        }
    }
}

void CommandServer::OnListenEvent() {
    int error = 0;
    socklen_t errorLength = sizeof error;
    if (::getsockopt(listenFd_, SOL_SOCKET, SO_ERROR, &error, &errorLength) == 0 && error != 0) {
        CloseListening();
        view_.ServerStatus(std::string("Listening socket returned ") + SocketErrorName(error));
        return;
    }
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        // Another event took the connection, or it went away before the accept.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED)
            return;
        view_.ServerStatus(SocketFailure("accept()", errno));
        return;
    }

    int slot = -1;
    for (int i = 0; i < kSessions; ++i) {
        if (!sessions_[static_cast<std::size_t>(i)]) {
            slot = i;
            break;
        }
    }
    std::unique_ptr<Session> session;
    if (slot >= 0) {
        try {
            session = std::make_unique<Session>();
        } catch (const std::bad_alloc&) {
            view_.ServerStatus("Memory allocation error");
        }
    }
    if (!session) {
        SendAll(fd, kRefusedMessage);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        return;
    }

    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    session->slot = slot;
    session->serial = nextSerial_++;
    session->fd = fd;
    session->peerAddress = text;
    session->peerPort = ntohs(peer.sin_port);
    Session& added = *session;
    sessions_[static_cast<std::size_t>(slot)] = std::move(session);
    events_.Watch(fd, [this, &added] { OnSessionEvent(added); });
    ShowRow(added, "Waiting for command");
}

void CommandServer::OnSessionEvent(Session& session) {
    std::uint8_t bytes[200];
    const ssize_t received = ::recv(session.fd, bytes, sizeof bytes, MSG_DONTWAIT);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (received > 0) {
        session.buffer.Feed(
            std::span(bytes, static_cast<std::size_t>(received)),
            [this, &session](std::string_view command) { Execute(session, command); });
        return;
    }
    const char* ending =
        received == 0 ? "Connection gracefully closed" : "Terminated (recv() error)";
    if (!session.jobActive) {
        Free(session, ending);
        return;
    }
    // The download goes on until its abort is noticed; the connection is closed when its job
    // has ended. Until then the socket is not watched: it would report its end again and again.
    events_.Unwatch(session.fd);
    session.halting = true;
    session.RequestAbort();
    ShowRow(session, "Halting");
}

void CommandServer::Execute(Session& session, std::string_view text) {
    NetworkCommand command;
    std::string error;
    if (DecodeNetworkCommand(text, command, error) != 0) {
        session.Send(ErrorMessage(kDecodeTitle, error));
        return;
    }
    if (session.jobActive) {
        // A running download takes only its abort and the flight choice.
        if ((command.abort && *command.abort == 1) || (command.track && *command.track == 0)) {
            session.RequestAbort();
        } else if (command.track && *command.track >= 1 && *command.track <= 255) {
            session.Select(*command.track);
        }
        return;
    }
    const int started = StartDownload(session, command, error);
    if (started == 0) {
        ShowRow(session, "Executing command");
    } else if (!error.empty()) {
        session.Send(ErrorMessage(kDecodeTitle, error));
    }
}

int CommandServer::StartDownload(Session& session, const NetworkCommand& command,
                                 std::string& error) {
    const auto refuse = [&error](const char* text) {
        error = text;
        return -1;
    };
    if (!command.gps)
        return refuse("Missing GPS protocol");
    const GpsProtocol protocol = *command.gps;
    const bool usb = protocol == GpsProtocol::kGarminUsb;
    if (usb) {
        for (const auto& other : sessions_) {
            if (other && other.get() != &session && other->jobActive && other->usb)
                return refuse("USB port is used by another session");
        }
    } else {
        if (!command.com || *command.com < 1)
            return refuse("Missing/bad COM port");
        for (const auto& other : sessions_) {
            if (other && other.get() != &session && other->jobActive && !other->usb &&
                other->comPort == *command.com)
                return refuse("COM port is used by another session");
        }
    }
    if (!ServedRemotely(protocol) || setup_.table == nullptr ||
        (*setup_.table)[static_cast<std::size_t>(device::AccessFunction::kReadTrackLog)]
                       [static_cast<std::size_t>(ProtocolNumber(protocol))] == nullptr)
        return refuse("GPS protocol not supported");

    try {
        session.jobs =
            std::make_unique<device::JobLayer>(*setup_.table, session.trace, session, session.busy);
    } catch (const std::exception&) {
        return refuse("Thread not started");
    }
    if (!usb)
        session.jobs->SetPortName("COM" + std::to_string(*command.com));
    session.jobs->SetPortTable(setup_.ports);
    session.jobs->SetOpenAttempts(setup_.openAttempts);
    session.jobs->SetTransportFactory(setup_.transports);
    {
        std::lock_guard lock(session.selectionMutex);
        session.selection.reset();
        session.abortRequested = false;
    }

    device::JobStart start;
    start.function = device::AccessFunction::kReadTrackLog;
    start.protocol = protocol;
    const int number = ProtocolNumber(protocol);
    start.parameter = (number == 3 || number == 10) ? 57600 : 0;
    start.sink = &session;
    start.chooseFlights = [&session](const device::FlightList& list, std::bitset<256>& chosen) {
        return session.ChooseFlights(list, chosen);
    };
    const int slot = session.slot;
    const unsigned serial = session.serial;
    start.completion = [this, &session, slot, serial](device::GpsAccessJob& job) {
        if (job.result >= 0 && setup_.keepFlight) {
            const std::string kept = setup_.keepFlight(job);
            if (!kept.empty())
                session.JobStatus(kept);
        }
        events_.Post([this, slot, serial] { OnJobEnded(slot, serial); });
    };
    // The job reports its own refusals ("Port/USB is being used", ...) to the client.
    if (session.jobs->StartGpsJob(std::move(start)) != 0)
        return -1;
    session.jobActive = true;
    session.usb = usb;
    session.comPort = usb ? 0 : *command.com;
    return 0;
}

void CommandServer::OnJobEnded(int slot, unsigned serial) {
    auto& entry = sessions_[static_cast<std::size_t>(slot)];
    if (!entry || entry->serial != serial)
        return;
    Session& session = *entry;
    // The worker has posted this from its last steps; they end at once.
    session.jobs->Join();
    session.jobActive = false;
    if (session.halting) {
        Free(session, "Closed");
        return;
    }
    // The client learns that the download is over when the connection ends; its closing is
    // then seen as the peer's close and frees the session.
    bool closed = false;
    {
        std::lock_guard lock(session.sendMutex);
        if (session.fd >= 0 && ::shutdown(session.fd, SHUT_RDWR) != 0) {
            events_.Unwatch(session.fd);
            ::close(session.fd);
            session.fd = -1;
        }
        closed = session.fd < 0;
    }
    if (closed)
        Free(session, "Closed");
}

void CommandServer::Free(Session& session, const std::string& status) {
    const int slot = session.slot;
    if (session.fd >= 0)
        events_.Unwatch(session.fd);
    session.CloseSocket();
    SessionRow row{session.peerAddress, session.peerPort, status, false};
    sessions_[static_cast<std::size_t>(slot)].reset();
    view_.SessionChanged(slot, row);
}

void CommandServer::ShowRow(const Session& session, const std::string& status) {
    view_.SessionChanged(session.slot,
                         SessionRow{session.peerAddress, session.peerPort, status, true});
}

}  // namespace tracora::remote
