// The HID back ends of the transport: 64-byte reports written and read whole. The system's
// back end talks through hidapi (the hidraw devices); the in-process fake hands every report to
// a HidDevice of the test (an instrument emulator) and returns its answers. Both find a device
// by its USB vendor and product IDs and name its product.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "device/transport.hpp"

namespace tracora::device {

class HidTransport : public Transport {
public:
    // The path of the first HID device with these IDs; empty when none is plugged in.
    virtual std::string Find(std::uint16_t vendor, std::uint16_t product) = 0;
    // The open device's product string, empty when it has none.
    virtual std::string ProductString() = 0;
    // HID devices have no line.
    int Configure(const LineSettings&) override { return 0; }
};

// The hidapi back end (hidraw). Open() of a path that does not exist gives kIoNotFound, of one
// the user may not open kIoError (EACCES), of one that cannot be opened otherwise kIoBusy.
std::unique_ptr<Transport> MakeHidapiTransport();

// The instrument behind the fake: takes one request report and gives the reports it answers
// with (none, one or several). Called on the job's thread.
class HidDevice {
public:
    virtual ~HidDevice() = default;
    virtual std::vector<std::vector<std::uint8_t>> Report(
        std::span<const std::uint8_t> request) = 0;
    virtual std::uint16_t VendorId() const = 0;
    virtual std::uint16_t ProductId() const = 0;
    virtual std::string ProductString() const = 0;
    // False once the device was unplugged (reads and writes then fail with kIoLinkLost).
    virtual bool Present() const { return true; }
};

// The in-process fake: one device under `path`. Reads wait for nothing: a request without an
// answer reads as silence after the time-out has been waited on the job's wake event.
class FakeHidTransport final : public HidTransport {
public:
    FakeHidTransport(HidDevice& device, std::string path)
        : device_(device), path_(std::move(path)) {}
    std::string Find(std::uint16_t vendor, std::uint16_t product) override;
    std::string ProductString() override;
    int Open(const std::string& path) override;
    int Purge() override;
    int Read(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) override;
    int Write(std::span<const std::uint8_t> bytes, int timeoutMs, const WakeEvent* wake) override;
    using Transport::Write;
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

private:
    HidDevice& device_;
    std::string path_;
    bool open_ = false;
    std::deque<std::vector<std::uint8_t>> replies_;
};

}  // namespace tracora::device
