#include "notify/notify.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/automation_request.hpp"

namespace tracora {
namespace {

// Generous bounds for a busy two-core machine.
constexpr int kLongWaitMs = 30'000;

// A private folder for the sockets of one test, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tracora-nt-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    std::string Path(const std::string& name) const { return (path_ / name).string(); }
    bool Valid() const { return !path_.empty(); }

private:
    std::filesystem::path path_;
};

// A socket bound by hand, to see the bytes exactly as any listener receives them.
class RawReceiver {
public:
    explicit RawReceiver(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_DGRAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    RawReceiver(const RawReceiver&) = delete;
    RawReceiver& operator=(const RawReceiver&) = delete;
    ~RawReceiver() { ::close(fd_); }
    bool Bound() const { return bound_; }
    // Closes the socket but leaves its file behind, as a listener that crashed would.
    void CloseLeavingFile() {
        ::close(fd_);
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    }
    int Fd() const { return fd_; }
    std::string ReceiveBytes() {
        std::array<char, 4096> buffer{};
        timeval wait{kLongWaitMs / 1000, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        const ssize_t size = ::recv(fd_, buffer.data(), buffer.size(), 0);
        return size < 0 ? std::string("<nothing>")
                        : std::string(buffer.data(), static_cast<std::size_t>(size));
    }

private:
    int fd_;
    bool bound_ = false;
};

TEST(NotifyDatagramTest, BytesOnTheWireAreLittleEndianHeaderAndTextWithoutNul) {
    struct Case {
        std::uint32_t dwData;
        std::string text;
        std::string wire;
    };
    const Case cases[] = {
        {0x12345678u, "Transfer started", std::string("\x78\x56\x34\x12", 4) + "Transfer started"},
        {0u, "Byte count 5", std::string("\0\0\0\0", 4) + "Byte count 5"},
        {0xFFFFFFFEu, "", std::string("\xFE\xFF\xFF\xFF", 4)},
        {1u, "Flightlist:\n\xE9t\xE9", std::string("\x01\0\0\0", 4) + "Flightlist:\n\xE9t\xE9"},
    };
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    const std::string path = folder.Path("raw.sock");
    RawReceiver receiver(path);
    ASSERT_TRUE(receiver.Bound());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(EncodeNotifyDatagram(c.dwData, c.text), c.wire);
        NotifySender sender(path, c.dwData);
        ASSERT_EQ(sender.OpenStatus(), 0);
        EXPECT_EQ(sender.Send(c.text), static_cast<int>(c.wire.size()));
        EXPECT_EQ(receiver.ReceiveBytes(), c.wire);
        NotifyMessage decoded;
        ASSERT_EQ(DecodeNotifyDatagram(c.wire, decoded), 0);
        EXPECT_EQ(decoded, (NotifyMessage{c.dwData, c.text}));
    }
}

TEST(NotifyDatagramTest, ShortDatagramIsMalformed) {
    NotifyMessage message{7, "kept"};
    EXPECT_EQ(DecodeNotifyDatagram(std::string("\x01\x02\x03", 3), message), kNotifyMalformed);
    EXPECT_EQ(message, (NotifyMessage{7, "kept"}));
}

TEST(NotifyChannelTest, ListenerReceivesWhatTheSenderSent) {
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    const std::string path = folder.Path("pair.sock");
    NotifyListener listener;
    ASSERT_EQ(listener.Open(path), 0);
    NotifySender sender(path, 4711);
    // A long flight list still arrives whole.
    const std::string longText = "Flightlist:\n" + std::string(20000, 'x');
    for (const std::string& text : {std::string("Transfer started"), longText, std::string()}) {
        ASSERT_GT(sender.Send(text), 0);
        NotifyMessage message;
        ASSERT_EQ(listener.Receive(kLongWaitMs, message), 1);
        EXPECT_EQ(message.dwData, 4711u);
        EXPECT_EQ(message.text, text);
    }
}

TEST(NotifyChannelTest, ListenerSkipsNothingAfterAMalformedDatagram) {
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    const std::string path = folder.Path("bad.sock");
    NotifyListener listener;
    ASSERT_EQ(listener.Open(path), 0);
    const int raw = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::sendto(raw, "ab", 2, 0, reinterpret_cast<sockaddr*>(&address), sizeof address), 2);
    ::close(raw);
    ASSERT_GT(NotifySender(path, 9).Send("Transfer completed"), 0);
    NotifyMessage message;
    EXPECT_EQ(listener.Receive(kLongWaitMs, message), kNotifyMalformed);
    ASSERT_EQ(listener.Receive(kLongWaitMs, message), 1);
    EXPECT_EQ(message, (NotifyMessage{9, "Transfer completed"}));
}

TEST(NotifyChannelTest, ReceiveEndsAtItsTimeoutWhenNothingComes) {
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    NotifyListener listener;
    ASSERT_EQ(listener.Open(folder.Path("quiet.sock")), 0);
    NotifyMessage message;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(listener.Receive(250, message), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    EXPECT_EQ(listener.Receive(0, message), 0);
}

TEST(NotifySenderTest, MissingOrVanishedListenerIsAStatusNotACrash) {
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    // Never there.
    NotifySender never(folder.Path("never.sock"), 1);
    ASSERT_EQ(never.OpenStatus(), 0);
    EXPECT_EQ(never.Send("Transfer started"), kNotifyNoListener);
    // There at first, then gone: the file is removed with the listener.
    const std::string path = folder.Path("gone.sock");
    auto listener = std::make_unique<NotifyListener>();
    ASSERT_EQ(listener->Open(path), 0);
    NotifySender sender(path, 2);
    EXPECT_GT(sender.Send("Transfer started"), 0);
    listener.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(sender.Send("Progress 1/2"), kNotifyNoListener);
    // Gone without removing its file (a crashed listener): the default SIGPIPE action would
    // end this test program if the sender raised it.
    RawReceiver crashed(path);
    ASSERT_TRUE(crashed.Bound());
    crashed.CloseLeavingFile();
    EXPECT_EQ(sender.Send("Progress 2/2"), kNotifyNoListener);
    EXPECT_EQ(sender.Send("Transfer completed"), kNotifyNoListener);
}

TEST(NotifySenderTest, FullListenerLosesMessagesWithoutBlocking) {
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    const std::string path = folder.Path("full.sock");
    NotifyListener listener;
    ASSERT_EQ(listener.Open(path), 0);
    NotifySender sender(path, 3);
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    int sent = 0;
    for (; sent < 1'000'000; ++sent) {
        status = sender.Send("Waypoint count " + std::to_string(sent));
        if (status < 0) {
            break;
        }
    }
    EXPECT_EQ(status, kNotifyListenerBusy);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLongWaitMs));
    // Everything sent before the queue filled up is there, in order, and room is made again.
    NotifyMessage message;
    ASSERT_EQ(listener.Receive(kLongWaitMs, message), 1);
    EXPECT_EQ(message.text, "Waypoint count 0");
    for (int i = 1; i < sent; ++i) {
        ASSERT_EQ(listener.Receive(kLongWaitMs, message), 1);
    }
    EXPECT_EQ(message.text, "Waypoint count " + std::to_string(sent - 1));
    EXPECT_EQ(listener.Receive(0, message), 0) << "the lost message must not appear";
    EXPECT_GT(sender.Send("Transfer completed"), 0);
}

TEST(NotifySenderTest, SendersOnSeveralThreadsDeliverWholeMessages) {
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    const std::string path = folder.Path("threads.sock");
    NotifyListener listener;
    ASSERT_EQ(listener.Open(path), 0);
    const NotifySender sender(path, 5);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&sender, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const std::string text = "Sent wpt " + std::to_string(t) + "/" + std::to_string(i);
                // The test's listener reads all the time; a full queue is retried here.
                const auto deadline =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongWaitMs);
                while (sender.Send(text) == kNotifyListenerBusy &&
                       std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::yield();
                }
            }
        });
    }
    std::map<int, int> nextPerThread;
    NotifyMessage message;
    int received = 0;
    while (received < kThreads * kPerThread && listener.Receive(kLongWaitMs, message) == 1) {
        ++received;
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(message.text.c_str(), "Sent wpt %d/%d", &t, &i), 2) << message.text;
        EXPECT_EQ(i, nextPerThread[t]++) << "messages of one thread arrive whole and in order";
        EXPECT_EQ(message.dwData, 5u);
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(received, kThreads * kPerThread);
}

TEST(NotifySenderTest, TargetComesFromTheRequest) {
    struct Case {
        bool sessionGiven;
        std::uint32_t session;
        std::uint32_t tick;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {true, 77, 123456, 77},
        {true, 0, 123456, 0},
        {false, 0, 123456, 123456},
        {false, 0, 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    NotifyListener listener;
    ASSERT_EQ(listener.Open(folder.Path("request.sock")), 0);
    for (const Case& c : cases) {
        AutomationRequest request;
        request.notifySocket = listener.Path();
        request.sessionGiven = c.sessionGiven;
        request.sessionNumber = c.session;
        request.notifyTickMs = c.tick;
        EXPECT_EQ(NotifyDwData(request), c.expected);
        const NotifySender sender = NotifySender::ForRequest(request);
        ASSERT_TRUE(sender.Active());
        ASSERT_GT(sender.Send("Transfer started"), 0);
        NotifyMessage message;
        ASSERT_EQ(listener.Receive(kLongWaitMs, message), 1);
        EXPECT_EQ(message.dwData, c.expected);
    }
    // No socket found at parse time: nothing is sent.
    const NotifySender none = NotifySender::ForRequest(AutomationRequest{});
    EXPECT_FALSE(none.Active());
    EXPECT_EQ(none.Send("Transfer started"), kNotifyNotOpen);
}

TEST(NotifySenderTest, PathLongerThanASocketAddressIsRefused) {
    const std::string path = "/tmp/" + std::string(200, 'n') + ".sock";
    NotifySender sender(path, 1);
    EXPECT_EQ(sender.OpenStatus(), kNotifyPathTooLong);
    EXPECT_FALSE(sender.Active());
    EXPECT_EQ(sender.Send("Transfer started"), kNotifyPathTooLong);
    NotifyListener listener;
    EXPECT_EQ(listener.Open(path), kNotifyPathTooLong);
}

TEST(NotifyListenerTest, CreatesAPrivateFolderAndRemovesItsSocketOnClose) {
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    const std::string path = folder.Path("runtime/tracora/notify-x.sock");
    {
        NotifyListener listener;
        ASSERT_EQ(listener.Open(path), 0);
        struct stat info {};
        ASSERT_EQ(::stat(folder.Path("runtime/tracora").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_TRUE(std::filesystem::is_socket(path));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(NotifyListenerTest, ReplacesOnlyAStaleSocket) {
    TempFolder folder;
    ASSERT_TRUE(folder.Valid());
    // A socket file whose listener is gone is taken over.
    const std::string stale = folder.Path("stale.sock");
    RawReceiver crashed(stale);
    ASSERT_TRUE(crashed.Bound());
    crashed.CloseLeavingFile();
    NotifyListener listener;
    EXPECT_EQ(listener.Open(stale), 0);
    // A live listener keeps its socket.
    NotifyListener second;
    EXPECT_EQ(second.Open(stale), kNotifyPathInUse);
    ASSERT_GT(NotifySender(stale, 8).Send("still mine"), 0);
    NotifyMessage message;
    ASSERT_EQ(listener.Receive(kLongWaitMs, message), 1);
    EXPECT_EQ(message.text, "still mine");
    // A file that is not a socket is never removed.
    const std::string plain = folder.Path("data.txt");
    std::ofstream(plain) << "pilot data";
    EXPECT_EQ(second.Open(plain), kNotifyPathInUse);
    std::ifstream kept(plain);
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "pilot data");
}

}  // namespace
}  // namespace tracora
