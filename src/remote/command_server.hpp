// The TCP command server: another program on the network (a competition desk's software)
// connects, sends "$Tracora /com=3 /gps=iqcompeo", and the server downloads the track log of
// the instrument on that port, sending the download's status, product and error lines back.
// Up to ten sessions run at once, each on its own port with its own device job. Socket events
// and the session table belong to the main thread; each job's worker writes only to its own
// session's connection.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "device/gps_job.hpp"
#include "device/port_names.hpp"
#include "device/transport.hpp"
#include "remote/event_source.hpp"

namespace tracora::remote {

struct NetworkCommand;

// One row of the server's session list.
struct SessionRow {
    std::string peerAddress;  // "192.168.1.20"
    int peerPort = 0;
    std::string status;  // "Waiting for command", "Executing command", "Closed", ...
    bool active = false;
};

// Where the server shows what happens: the Server dialog, the terminal, or a test.
class ServerView {
public:
    virtual ~ServerView() = default;
    // A failure of a server command, as a message box ("Start server", "Port out of range").
    virtual void ServerError(const std::string& title, const std::string& text) = 0;
    // The server's status line ("Listening on port 61234").
    virtual void ServerStatus(const std::string& text) = 0;
    virtual void SessionChanged(int slot, const SessionRow& row) = 0;
};

struct ServerSetup {
    const device::DispatchTable* table = nullptr;
    device::PortTable ports;
    // Open attempts of a session's job, one a second.
    int openAttempts = 30;
    device::TransportFactory transports = device::MakeSystemTransport;
    // Keeps a downloaded flight, on the job's worker after a successful download; the text it
    // returns goes to the client as a status line (empty: nothing). Without it the flight is
    // dropped with the job.
    std::function<std::string(device::GpsAccessJob&)> keepFlight;
};

class CommandServer {
public:
    static constexpr int kSessions = 10;
    static constexpr const char* kDefaultPort = "61234";

    CommandServer(EventSource& events, ServerView& view, ServerSetup setup);
    CommandServer(const CommandServer&) = delete;
    CommandServer& operator=(const CommandServer&) = delete;
    // Aborts the running downloads, waits for their workers and closes every socket.
    ~CommandServer();

    // Starts listening on all local addresses at the port `portText` names ("0": any free
    // port). 0, or -1 after ServerError with the title "Start server".
    int Start(std::string_view portText);
    // Stops listening, closes every session without a running download and aborts the
    // others (they close when their job has ended).
    void Close();

    bool Listening() const { return listenFd_ >= 0; }
    // The port the server listens on, 0 when stopped.
    int Port() const { return port_; }
    // Sessions that exist (connected, or ending their download).
    int SessionCount() const;

private:
    struct Session;

    void OnListenEvent();
    void OnSessionEvent(Session& session);
    void Execute(Session& session, std::string_view text);
    // 0 when the download runs; -1 with `error` for the client, or with `error` empty when the
    // job layer has told the client why.
    int StartDownload(Session& session, const NetworkCommand& command, std::string& error);
    void OnJobEnded(int slot, unsigned serial);
    void CloseListening();
    // Closes the connection and frees the slot, leaving `status` in its row.
    void Free(Session& session, const std::string& status);
    void ShowRow(const Session& session, const std::string& status);

    EventSource& events_;
    ServerView& view_;
    ServerSetup setup_;
    int listenFd_ = -1;
    int port_ = 0;
    unsigned nextSerial_ = 1;
    std::array<std::unique_ptr<Session>, kSessions> sessions_;
};

}  // namespace tracora::remote
