// A session port and an emulator link joined by a pseudo-terminal, as every serial protocol
// test sets them up, and small helpers for timing and collecting bytes.
#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/serial_port.hpp"

namespace tracora::device::test_support {

// Generous bounds for a busy two-core machine: waits that should end "at once" must end
// well within kPromptMs; long waits that an event has to cut short use kLongWaitMs.
inline constexpr int kPromptMs = 10'000;
inline constexpr int kLongWaitMs = 60'000;

class Stopwatch {
public:
    long long ElapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Reads from the port until `count` bytes came or timeoutMs passed; returns what came.
inline std::vector<std::uint8_t> ReadFromPort(SerialPort& port, std::size_t count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> received;
    std::vector<std::uint8_t> buffer(count);
    while (received.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int rc = port.Read(std::span(buffer.data(), count - received.size()),
                                 static_cast<int>(std::max<long long>(left.count(), 0)), nullptr);
        if (rc <= 0) {
            break;
        }
        received.insert(received.end(), buffer.begin(), buffer.begin() + rc);
    }
    return received;
}

// Puts the line into the state a terminal program would leave it in (line editing, echo,
// CR/NL translation, XON/XOFF, 7E2 with RTS/CTS), so that tests see what Configure() changes.
inline void CookLine(int fd) {
    termios settings{};
    ASSERT_EQ(::tcgetattr(fd, &settings), 0);
    settings.c_iflag |= ICRNL | IXON | IXOFF | ISTRIP | INPCK;
    settings.c_oflag |= OPOST | ONLCR;
    settings.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    settings.c_cflag |= CS7 | PARENB | CSTOPB | CRTSCTS;
    settings.c_cc[VMIN] = 1;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &settings), 0);
}

class PtyLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pty.Open(), 0) << "cannot create a pseudo-terminal pair";
        link = std::make_unique<EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        ASSERT_EQ(port.Open(pty.SlavePath()), 0) << std::strerror(port.LastErrno());
    }

    void TearDown() override {
        if (link) {
            link->Stop();
        }
    }

    PseudoTerminal pty;
    std::unique_ptr<EmulatorLink> link;
    SerialPort port;
};

}  // namespace tracora::device::test_support
