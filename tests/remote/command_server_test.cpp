// The command server over real sockets on 127.0.0.1, its loop on a thread of its own, and real
// Flytec downloads against the emulator over a pseudo-terminal.
#include "remote/command_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/flymaster/flymaster_emulator.hpp"
#include "protocols/flytec/flytec_emulator.hpp"
#include "remote/network_command.hpp"
#include "remote/poll_loop.hpp"

namespace tracora::remote {
namespace {

using namespace std::chrono_literals;

// Generous bounds for a busy two-core machine; the tests wait for events, not for time.
constexpr auto kDeadline = 60s;

class RecordingView : public ServerView {
public:
    void ServerError(const std::string& title, const std::string& text) override {
        Record(errors_, title + ": " + text);
    }
    void ServerStatus(const std::string& text) override { Record(statuses_, text); }
    void SessionChanged(int slot, const SessionRow& row) override {
        std::lock_guard lock(mutex_);
        rows_[slot].push_back(row.status + (row.active ? "" : " (free)"));
        changed_.notify_all();
    }

    std::vector<std::string> Errors() {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    std::vector<std::string> Statuses() {
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    // Waits until the row of `slot` has shown `status`.
    bool WaitForRow(int slot, const std::string& status) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kDeadline, [&] {
            const auto& seen = rows_[slot];
            return std::find(seen.begin(), seen.end(), status) != seen.end();
        });
    }
    std::vector<std::string> Row(int slot) {
        std::lock_guard lock(mutex_);
        return rows_[slot];
    }

private:
    void Record(std::vector<std::string>& list, const std::string& text) {
        std::lock_guard lock(mutex_);
        list.push_back(text);
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> errors_, statuses_;
    std::map<int, std::vector<std::string>> rows_;
};

// A client of the server: commands out, NUL-ended messages in.
class Client {
public:
    explicit Client(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client() { Close(); }

    bool Connected() const { return connected_; }
    void SendRaw(const std::string& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    void Send(const std::string& command) { SendRaw(command + '\0'); }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // The next message without its NUL; nullopt when the server closed the connection (or
    // nothing came within the deadline, which the caller's expectations then show).
    std::optional<std::string> Next() {
        for (;;) {
            const std::size_t nul = pending_.find('\0');
            if (nul != std::string::npos) {
                std::string message = pending_.substr(0, nul);
                pending_.erase(0, nul + 1);
                return message;
            }
            if (!Fill())
                return std::nullopt;
        }
    }
    // Everything until the server closes the connection, and whether it did.
    bool ReadToEnd(std::string& rest) {
        while (Fill()) {
        }
        rest = pending_;
        pending_.clear();
        return ended_;
    }
    // Messages up to and including the first that starts with `prefix`.
    std::vector<std::string> Until(const std::string& prefix) {
        std::vector<std::string> seen;
        while (auto message = Next()) {
            seen.push_back(*message);
            if (message->starts_with(prefix))
                break;
        }
        return seen;
    }

private:
    bool Fill() {
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())) <= 0)
            return false;
        char bytes[512];
        const ssize_t got = ::recv(fd_, bytes, sizeof bytes, 0);
        if (got <= 0) {
            ended_ = true;
            return false;
        }
        pending_.append(bytes, static_cast<std::size_t>(got));
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
    bool ended_ = false;
    std::string pending_;
};

std::string Fixture(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
              FileReadStatus::kOk);
    return text;
}

class CommandServerTest : public ::testing::Test {
protected:
    // Runs `task` on the server's thread and waits for it.
    template <typename Task>
    auto OnLoop(Task task) {
        std::packaged_task<decltype(task())()> packaged(std::move(task));
        auto result = packaged.get_future();
        loop.Post([&packaged] { packaged(); });
        return result.get();
    }

    void SetUp() override {
        ASSERT_TRUE(loop.Valid());
        loopThread = std::thread([this] { loop.Run(); });
    }
    void TearDown() override {
        OnLoop([this] { server.reset(); });
        loop.Stop();
        loopThread.join();
        if (emulator)
            emulator->Stop();
        if (flymaster)
            flymaster->Stop();
    }

    int StartServer(ServerSetup setup = {}) {
        if (setup.table == nullptr)
            setup.table = &protocols::GpsDispatchTable();
        server = std::make_unique<CommandServer>(loop, view, std::move(setup));
        EXPECT_EQ(OnLoop([this] { return server->Start("0"); }), 0);
        return OnLoop([this] { return server->Port(); });
    }

    // The Flytec emulator on a pseudo-terminal that COM`com` leads to.
    ServerSetup FlytecOnCom(int com, std::vector<std::string> flights) {
        EXPECT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        protocols::flytec::FlytecEmulatorConfig config;
        config.flights = std::move(flights);
        emulator = std::make_unique<protocols::flytec::FlytecEmulator>(*link, std::move(config));
        emulator->Start();
        ServerSetup setup;
        setup.ports[com] = pty.SlavePath();
        setup.openAttempts = 4;
        setup.keepFlight = [this](device::GpsAccessJob& job) {
            std::lock_guard lock(keptMutex);
            kept.push_back(job.track.rawIgc.text);
            return std::string("Track log kept");
        };
        return setup;
    }

    // The Flymaster emulator holding `flight` on a pseudo-terminal that COM`com` leads to; a
    // kept flight is counted by its points.
    ServerSetup FlymasterOnCom(int com, const std::string& flight) {
        EXPECT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        protocols::flymaster::FlymasterEmulatorConfig config;
        config.flights.emplace_back();
        EXPECT_TRUE(protocols::flymaster::FlightFromIgc(flight, config.flights.back()));
        flymaster = std::make_unique<protocols::flymaster::FlymasterEmulator>(*link, config);
        flymaster->Start();
        ServerSetup setup;
        setup.ports[com] = pty.SlavePath();
        setup.openAttempts = 4;
        setup.keepFlight = [this](device::GpsAccessJob& job) {
            std::lock_guard lock(keptMutex);
            kept.push_back(std::to_string(job.track.points.size()) + " points");
            return std::string("Track log kept");
        };
        return setup;
    }

    std::vector<std::string> Kept() {
        std::lock_guard lock(keptMutex);
        return kept;
    }

    PollLoop loop;
    std::thread loopThread;
    RecordingView view;
    std::unique_ptr<CommandServer> server;
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::flytec::FlytecEmulator> emulator;
    std::unique_ptr<protocols::flymaster::FlymasterEmulator> flymaster;
    std::mutex keptMutex;
    std::vector<std::string> kept;
};

std::string Error(const std::string& text) {
    return "$Tracora Error Decode network command\n" + text;
}

TEST_F(CommandServerTest, CommandsThatCannotStartADownloadAreAnsweredWithTheirError) {
    Client client(StartServer());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(view.WaitForRow(0, "Waiting for command"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"$Tracora /gps=xctrainer /com=4", "GPS protocol not supported"},
        {"$Tracora /com=x", "Bad COM port value"},
        {"$Tracora /com=3", "Missing GPS protocol"},
        {"$Tracora /gps=iqcompeo", "Missing/bad COM port"},
        {"$Tracora /gps=iqcompeo /com=0", "Missing/bad COM port"},
        {"Tracora /gps=garmin", "Bad command identifier"},
        {"$Tracora /gps=garmin /speed=9600", "Unrecognized parameter"},
    };
    for (const auto& [command, error] : cases) {
        client.Send(command);
        EXPECT_EQ(client.Next(), Error(error)) << command;
    }
    // A line too long for a command is dropped up to its line feed; the connection goes on.
    client.SendRaw(std::string(150, 'x') + '\0' + "\n");
    client.Send("$Tracora /com=x");
    EXPECT_EQ(client.Next(), Error("Bad COM port value"));
    EXPECT_EQ(OnLoop([this] { return server->SessionCount(); }), 1);

    client.Close();
    EXPECT_TRUE(view.WaitForRow(0, "Connection gracefully closed (free)"));
    EXPECT_EQ(OnLoop([this] { return server->SessionCount(); }), 0);
}

TEST_F(CommandServerTest, TheEleventhConnectionIsRefused) {
    const int port = StartServer();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < CommandServer::kSessions; ++i) {
        clients.push_back(std::make_unique<Client>(port));
        ASSERT_TRUE(view.WaitForRow(i, "Waiting for command")) << i;
    }
    Client eleventh(port);
    std::string rest;
    EXPECT_TRUE(eleventh.ReadToEnd(rest));
    EXPECT_EQ(rest, kRefusedMessage);
    // The ten go on being served, and a freed slot takes the next connection.
    clients[3]->Send("$Tracora /com=x");
    EXPECT_EQ(clients[3]->Next(), Error("Bad COM port value"));
    clients[3].reset();
    ASSERT_TRUE(view.WaitForRow(3, "Connection gracefully closed (free)"));
    Client next(port);
    next.Send("$Tracora /com=x");
    EXPECT_EQ(next.Next(), Error("Bad COM port value"));
    EXPECT_EQ(OnLoop([this] { return server->SessionCount(); }), CommandServer::kSessions);
}

TEST_F(CommandServerTest, StartRefusesBadPortsAndSaysWhichCallFailed) {
    const int port = StartServer();
    EXPECT_EQ(OnLoop([this] { return server->Start("0"); }), -1);
    RecordingView otherView;
    CommandServer other(loop, otherView, ServerSetup{});
    for (const char* text : {"", "12a", "-1", "65536", "99999999999999"})
        EXPECT_EQ(OnLoop([&] { return other.Start(text); }), -1) << text;
    // A port another server holds.
    EXPECT_EQ(OnLoop([&] { return other.Start(std::to_string(port)); }), -1);
    EXPECT_EQ(otherView.Errors(),
              (std::vector<std::string>{
                  "Start server: Missing port input", "Start server: Bad port input",
                  "Start server: Bad port input", "Start server: Port out of range",
                  "Start server: Bad port input", "Start server: bind() returned WSAEADDRINUSE"}));
    EXPECT_EQ(view.Errors(), std::vector<std::string>{"Start server: Server already started"});
    EXPECT_EQ(view.Statuses(),
              std::vector<std::string>{"Listening on port " + std::to_string(port)});
}

TEST_F(CommandServerTest, ADownloadSendsItsLinesWaitsForTheFlightChoiceAndEndsTheConnection) {
    const std::string flight = Fixture("marcourt.igc");
    const int port = StartServer(FlytecOnCom(3, {flight}));
    Client desk(port);
    desk.Send("$Tracora /com=3 /gps=iqcompeo");
    ASSERT_TRUE(view.WaitForRow(0, "Executing command"));

    // The instrument's product line, then the list of its flights to choose from.
    const auto lines = desk.Until("$Tracora TrackList ");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().starts_with("$Tracora TrackList ")) << lines.back();
    EXPECT_EQ(std::count(lines.back().begin(), lines.back().end(), '\n'), 0);
    EXPECT_NE(
        std::find_if(lines.begin(), lines.end(),
                     [](const std::string& line) { return line.starts_with("$Tracora Product "); }),
        lines.end());

    // A second desk cannot take the same port meanwhile.
    Client second(port);
    second.Send("$Tracora /gps=iqcompeo /com=3");
    EXPECT_EQ(second.Next(), Error("COM port is used by another session"));

    desk.Send("$Tracora /track=1");
    std::string rest;
    ASSERT_TRUE(desk.ReadToEnd(rest));
    EXPECT_NE(rest.find(std::string("$Tracora Status Track log kept") + '\0'), std::string::npos)
        << rest;
    EXPECT_EQ(rest.find("$Tracora Error"), std::string::npos) << rest;
    EXPECT_EQ(Kept(), std::vector<std::string>{flight});
    EXPECT_TRUE(view.WaitForRow(0, "Connection gracefully closed (free)"));

    // The port is free again for the second desk.
    second.Send("$Tracora /gps=iqcompeo /com=3 ");
    ASSERT_TRUE(view.WaitForRow(1, "Executing command"));
    EXPECT_TRUE(second.Until("$Tracora TrackList ").back().starts_with("$Tracora TrackList "));
    second.Send("$Tracora /abort=1");
    ASSERT_TRUE(second.ReadToEnd(rest));
    EXPECT_EQ(Kept().size(), 1u);
}

TEST_F(CommandServerTest, AFlymasterDownloadIsServed) {
    const int port = StartServer(FlymasterOnCom(4, Fixture("marcourt.igc")));
    Client desk(port);
    desk.Send("$Tracora /com=4 /gps=flymaster");
    const auto lines = desk.Until("$Tracora TrackList ");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().starts_with("$Tracora TrackList ")) << lines.back();
    desk.Send("$Tracora /track=1");
    std::string rest;
    ASSERT_TRUE(desk.ReadToEnd(rest));
    EXPECT_NE(rest.find(std::string("$Tracora Status Track log kept") + '\0'), std::string::npos)
        << rest;
    EXPECT_EQ(rest.find("$Tracora Error"), std::string::npos) << rest;
    // The B records of the held flight.
    EXPECT_EQ(Kept(), std::vector<std::string>{"221 points"});
}

TEST_F(CommandServerTest, AnAbortOrAClosedPeerEndsTheDownloadWithoutKeepingIt) {
    const int port = StartServer(FlytecOnCom(3, {Fixture("marcourt.igc")}));
    {
        Client desk(port);
        desk.Send("$Tracora /com=3 /gps=iqcompeo");
        desk.Until("$Tracora TrackList ");
        desk.Send("$Tracora /track=0");
        std::string rest;
        ASSERT_TRUE(desk.ReadToEnd(rest));
        EXPECT_EQ(rest.find("Track log kept"), std::string::npos) << rest;
        ASSERT_TRUE(view.WaitForRow(0, "Connection gracefully closed (free)"));
    }
    {
        // The desk goes away while its download waits: the session halts and is freed when
        // its job has ended.
        Client desk(port);
        desk.Send("$Tracora /com=3 /gps=iqcompeo");
        desk.Until("$Tracora TrackList ");
        desk.Close();
        ASSERT_TRUE(view.WaitForRow(0, "Closed (free)"));
        const auto row = view.Row(0);
        EXPECT_NE(std::find(row.begin(), row.end(), "Halting"), row.end());
    }
    EXPECT_TRUE(Kept().empty());
    EXPECT_EQ(OnLoop([this] { return server->SessionCount(); }), 0);
}

TEST_F(CommandServerTest, ClosingTheServerAbortsRunningDownloadsAndDropsIdleSessions) {
    const int port = StartServer(FlytecOnCom(3, {Fixture("marcourt.igc")}));
    Client idle(port);
    Client busy(port);
    ASSERT_TRUE(view.WaitForRow(1, "Waiting for command"));
    busy.Send("$Tracora /com=3 /gps=iqcompeo");
    busy.Until("$Tracora TrackList ");
    OnLoop([this] { server->Close(); });
    std::string rest;
    EXPECT_TRUE(idle.ReadToEnd(rest));
    EXPECT_TRUE(busy.ReadToEnd(rest));
    EXPECT_TRUE(view.WaitForRow(1, "Connection gracefully closed (free)"));
    EXPECT_FALSE(OnLoop([this] { return server->Listening(); }));
    EXPECT_TRUE(Kept().empty());
}

}  // namespace
}  // namespace tracora::remote
