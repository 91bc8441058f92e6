// A USB device served over a Unix socket: the client transport sees the served device's
// transfers one for one (the zero-length packet included), an abort ends its waits, a missing
// or vanished server is reported as such, and a client talking nonsense is sent away without
// harm to the server.
#include "device/usb_socket_link.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/io_status.hpp"
#include "device/wake_event.hpp"

namespace tracora::device {
namespace {

namespace fs = std::filesystem;

// Bulk OUT transfers are recorded and come back on the bulk IN pipe; the interrupt pipe stays
// silent for as long as it is asked to wait.
class EchoDevice final : public UsbTransport {
public:
    int Open(const std::string&) override {
        std::lock_guard lock(mutex_);
        ++opens_;
        return 0;
    }
    void Close() override {}
    bool IsOpen() const override { return true; }
    int ReadInterrupt(std::span<std::uint8_t>, int timeoutMs, const WakeEvent* wake) override {
        if (wake != nullptr && wake->Wait(timeoutMs))
            return kIoAborted;
        return 0;
    }
    int ReadBulk(std::span<std::uint8_t> buffer, int, const WakeEvent*) override {
        std::lock_guard lock(mutex_);
        if (pending_.empty())
            return 0;
        std::vector<std::uint8_t> next = std::move(pending_.front());
        pending_.pop_front();
        const std::size_t n = std::min(next.size(), buffer.size());
        std::copy_n(next.begin(), n, buffer.begin());
        return static_cast<int>(n);
    }
    int WriteBulkTransfer(std::span<const std::uint8_t> bytes, int, const WakeEvent*) override {
        std::lock_guard lock(mutex_);
        sizes_.push_back(bytes.size());
        if (!bytes.empty())
            pending_.emplace_back(bytes.begin(), bytes.end());
        return static_cast<int>(bytes.size());
    }
    std::size_t BulkPacketSize() const override { return 32; }

    std::vector<std::size_t> Sizes() {
        std::lock_guard lock(mutex_);
        return sizes_;
    }
    int Opens() {
        std::lock_guard lock(mutex_);
        return opens_;
    }

private:
    std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> pending_;
    std::vector<std::size_t> sizes_;
    int opens_ = 0;
};

class UsbSocketLinkTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("tracora-usb-link-" + std::to_string(::getpid()));
    std::string socket = (dir / "unit.sock").string();
    EchoDevice device;
    WakeEvent stop;
    std::thread server;

    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override {
        StopServer();
        fs::remove_all(dir);
    }
    void StartServer() {
        server = std::thread([this] { ServeUsbDevice(socket, device, stop); });
        for (int i = 0; i < 600 && !fs::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_TRUE(fs::exists(socket));
    }
    void StopServer() {
        stop.Set();
        if (server.joinable())
            server.join();
    }
};

TEST_F(UsbSocketLinkTest, TransfersPassOneForOne) {
    StartServer();
    UsbSocketTransport usb(socket);
    ASSERT_EQ(usb.Open("001:002"), 0);
    EXPECT_EQ(usb.BulkPacketSize(), 32u);

    const std::vector<std::uint8_t> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(usb.Write(ten, 1000, nullptr), 10);
    std::vector<std::uint8_t> in(100, 0);
    ASSERT_EQ(usb.ReadBulk(in, 5000, nullptr), 10);
    EXPECT_TRUE(std::equal(ten.begin(), ten.end(), in.begin()));

    // A transfer of the packet size is followed by the zero-length packet.
    const std::vector<std::uint8_t> full(32, 0x55);
    EXPECT_EQ(usb.Write(full, 1000, nullptr), 32);
    EXPECT_EQ(device.Sizes(), (std::vector<std::size_t>{10, 32, 0}));
    // A read asks for no more than the buffer holds.
    std::vector<std::uint8_t> small(8, 0);
    ASSERT_EQ(usb.ReadBulk(small, 5000, nullptr), 8);
    EXPECT_EQ(small[7], 0x55);

    // Silence on the interrupt pipe is a read of nothing.
    EXPECT_EQ(usb.ReadInterrupt(in, 300, nullptr), 0);
    EXPECT_EQ(device.Opens(), 1);
}

TEST_F(UsbSocketLinkTest, AbortEndsAWait) {
    StartServer();
    UsbSocketTransport usb(socket);
    ASSERT_EQ(usb.Open(""), 0);
    WakeEvent wake;
    std::vector<std::uint8_t> in(64, 0);
    std::thread aborter([&wake] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        wake.Set();
    });
    // A minute's wait ends with the abort; the link is still in step afterwards.
    EXPECT_EQ(usb.ReadInterrupt(in, 60'000, &wake), kIoAborted);
    aborter.join();
    const std::vector<std::uint8_t> one = {42};
    EXPECT_EQ(usb.Write(one, 1000, nullptr), 1);
    ASSERT_EQ(usb.ReadBulk(in, 5000, nullptr), 1);
    EXPECT_EQ(in[0], 42);
}

TEST_F(UsbSocketLinkTest, MissingOrVanishedServer) {
    UsbSocketTransport usb(socket);
    EXPECT_EQ(usb.Open(""), kIoNotFound);
    EXPECT_FALSE(usb.IsOpen());

    StartServer();
    ASSERT_EQ(usb.Open(""), 0);
    StopServer();
    std::vector<std::uint8_t> in(64, 0);
    EXPECT_EQ(usb.ReadBulk(in, 1000, nullptr), kIoLinkLost);
    EXPECT_FALSE(usb.IsOpen());
    EXPECT_FALSE(fs::exists(socket));
}

TEST_F(UsbSocketLinkTest, ClientTalkingNonsenseIsSentAway) {
    StartServer();
    const std::vector<std::string> nonsense = {
        std::string("X\0\0\0\0\0\0\0\0", 9),               // no such operation
        std::string("B\x10\0\0\0\xff\xff\xff\x7f", 9),     // a 2 GB read
        std::string("W\x10\0\0\0\x05\0\0\0\x01\x02", 11),  // a write cut short, then gone
    };
    for (const std::string& request : nonsense) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::write(fd, request.data(), request.size()),
                  static_cast<ssize_t>(request.size()));
        if (request[0] != 'W') {
            // The server hangs up without an answer.
            char byte = 0;
            EXPECT_EQ(::read(fd, &byte, 1), 0);
        }
        ::close(fd);
    }
    // The server goes on serving.
    UsbSocketTransport usb(socket);
    ASSERT_EQ(usb.Open(""), 0);
    const std::vector<std::uint8_t> one = {7};
    EXPECT_EQ(usb.Write(one, 1000, nullptr), 1);
}

}  // namespace
}  // namespace tracora::device
