// The serial back end of the transport: a termios port (real adapters and pseudo-terminals).
#pragma once

#include "device/serial_port.hpp"
#include "device/transport.hpp"

namespace tracora::device {

class SerialTransport final : public Transport {
public:
    int Open(const std::string& path) override { return port_.Open(path); }
    int Configure(const LineSettings& line) override {
        return port_.Configure(line.baud, line.xonXoff);
    }
    int Purge() override { return port_.Purge(); }
    int Read(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) override {
        return port_.Read(buffer, timeoutMs, wake);
    }
    int Write(std::span<const std::uint8_t> bytes, int timeoutMs, const WakeEvent* wake) override {
        return port_.Write(bytes, timeoutMs, wake);
    }
    using Transport::Write;
    void Close() override { port_.Close(); }
    bool IsOpen() const override { return port_.IsOpen(); }
    int LastErrno() const override { return port_.LastErrno(); }

    SerialPort& Port() { return port_; }

private:
    SerialPort port_;
};

}  // namespace tracora::device
