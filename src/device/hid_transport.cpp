#include "device/hid_transport.hpp"

#include <hidapi/hidapi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cwchar>
#include <mutex>

#include "device/io_status.hpp"
#include "device/wake_event.hpp"

namespace tracora::device {

namespace {

// Reads wait in slices so that an abort ends them at once.
constexpr int kSliceMs = 50;

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

bool HidInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = hid_init() == 0; });
    return ok;
}

class HidapiTransport final : public HidTransport {
public:
    ~HidapiTransport() override { Close(); }

    std::string Find(std::uint16_t vendor, std::uint16_t product) override {
        if (!HidInit())
            return {};
        hid_device_info* list = hid_enumerate(vendor, product);
        std::string path = list != nullptr && list->path != nullptr ? list->path : "";
        hid_free_enumeration(list);
        return path;
    }
    std::string ProductString() override {
        wchar_t text[81] = {};
        if (device_ == nullptr || hid_get_product_string(device_, text, 80) != 0)
            return {};
        return Narrow(text);
    }
    int Open(const std::string& path) override {
        Close();
        if (!HidInit()) {
            errno_ = ENOSYS;
            return kIoError;
        }
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            errno_ = errno;
            return kIoNotFound;
        }
        device_ = hid_open_path(path.c_str());
        if (device_ == nullptr) {
            errno_ = ::access(path.c_str(), R_OK | W_OK) != 0 ? EACCES : EBUSY;
            return errno_ == EACCES ? kIoError : kIoBusy;
        }
        return 0;
    }
    int Purge() override {
        if (device_ == nullptr)
            return kIoNotOpen;
        std::uint8_t report[64];
        while (hid_read_timeout(device_, report, sizeof report, 0) > 0) {
        }
        return 0;
    }
    int Read(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) override {
        if (device_ == nullptr)
            return kIoNotOpen;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            if (wake != nullptr && wake->IsSet())
                return kIoAborted;
            const int got = hid_read_timeout(device_, buffer.data(), buffer.size(), kSliceMs);
            if (got < 0) {
                errno_ = EIO;
                return kIoLinkLost;
            }
            if (got > 0)
                return got;
            if (std::chrono::steady_clock::now() >= deadline)
                return 0;
        }
    }
    int Write(std::span<const std::uint8_t> bytes, int, const WakeEvent* wake) override {
        if (device_ == nullptr)
            return kIoNotOpen;
        if (wake != nullptr && wake->IsSet())
            return kIoAborted;
        const int put = hid_write(device_, bytes.data(), bytes.size());
        if (put < 0) {
            errno_ = EIO;
            return kIoLinkLost;
        }
        return put;
    }
    using Transport::Write;
    void Close() override {
        if (device_ != nullptr)
            hid_close(device_);
        device_ = nullptr;
    }
    bool IsOpen() const override { return device_ != nullptr; }
    int LastErrno() const override { return errno_; }

private:
    hid_device* device_ = nullptr;
    int errno_ = 0;
};

}  // namespace

std::unique_ptr<Transport> MakeHidapiTransport() {
    return std::make_unique<HidapiTransport>();
}

std::string FakeHidTransport::Find(std::uint16_t vendor, std::uint16_t product) {
    if (!device_.Present() || device_.VendorId() != vendor || device_.ProductId() != product)
        return {};
    return path_;
}

std::string FakeHidTransport::ProductString() {
    return device_.ProductString();
}

int FakeHidTransport::Open(const std::string& path) {
    if (path != path_ || !device_.Present())
        return kIoNotFound;
    open_ = true;
    replies_.clear();
    return 0;
}

int FakeHidTransport::Purge() {
    replies_.clear();
    return open_ ? 0 : kIoNotOpen;
}

int FakeHidTransport::Read(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) {
    if (!open_)
        return kIoNotOpen;
    if (!device_.Present())
        return kIoLinkLost;
    if (wake != nullptr && wake->IsSet())
        return kIoAborted;
    if (replies_.empty()) {
        // Silence: the time passes (an abort ends it).
        if (wake != nullptr && wake->Wait(std::max(timeoutMs, 0)))
            return kIoAborted;
        return 0;
    }
    const std::vector<std::uint8_t> reply = std::move(replies_.front());
    replies_.pop_front();
    const std::size_t n = std::min(buffer.size(), reply.size());
    std::copy_n(reply.begin(), n, buffer.begin());
    return static_cast<int>(n);
}

int FakeHidTransport::Write(std::span<const std::uint8_t> bytes, int, const WakeEvent* wake) {
    if (!open_)
        return kIoNotOpen;
    if (!device_.Present())
        return kIoLinkLost;
    if (wake != nullptr && wake->IsSet())
        return kIoAborted;
    for (std::vector<std::uint8_t>& reply : device_.Report(bytes))
        replies_.push_back(std::move(reply));
    return static_cast<int>(bytes.size());
}

}  // namespace tracora::device
