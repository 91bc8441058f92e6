#include "device/usb_transport.hpp"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "device/io_status.hpp"
#include "device/wake_event.hpp"

namespace tracora::device {

int UsbTransport::Write(std::span<const std::uint8_t> bytes, int timeoutMs, const WakeEvent* wake) {
    const int written = WriteBulkTransfer(bytes, timeoutMs, wake);
    if (written < 0)
        return written;
    const std::size_t packet = BulkPacketSize();
    if (!bytes.empty() && packet != 0 && bytes.size() % packet == 0) {
        const int end = WriteBulkTransfer({}, timeoutMs, wake);
        if (end < 0)
            return end;
    }
    return written;
}

namespace {

// A decimal number from 1 to 255 filling `text`, or 0.
int BusNumber(std::string_view text) {
    if (text.empty() || text.size() > 3)
        return 0;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value <= 255 ? value : 0;
}

}  // namespace

std::string UsbBusAddress(std::string_view name) {
    char separator = ':';
    if (name.starts_with("/dev/bus/usb/")) {
        name.remove_prefix(13);
        separator = '/';
    } else if (name.size() > 4 && (name[0] == 'u' || name[0] == 'U') &&
               (name[1] == 's' || name[1] == 'S') && (name[2] == 'b' || name[2] == 'B') &&
               name[3] == ':') {
        name.remove_prefix(4);
    }
    const std::size_t split = name.find(separator);
    if (split == std::string_view::npos)
        return {};
    const int bus = BusNumber(name.substr(0, split));
    const int address = BusNumber(name.substr(split + 1));
    if (bus == 0 || address == 0)
        return {};
    char text[16];
    std::snprintf(text, sizeof text, "%03d:%03d", bus, address);
    return text;
}

namespace {

// Waits are cut into slices so that an abort ends them soon.
constexpr int kSliceMs = 100;

std::string AddressOf(libusb_device* device) {
    char address[16];
    std::snprintf(address, sizeof address, "%03u:%03u", libusb_get_bus_number(device),
                  libusb_get_device_address(device));
    return address;
}

int IoCode(int libusbError) {
    switch (libusbError) {
        case LIBUSB_ERROR_NO_DEVICE:
        case LIBUSB_ERROR_PIPE:
            return kIoLinkLost;
        case LIBUSB_ERROR_NOT_FOUND:
            return kIoNotFound;
        case LIBUSB_ERROR_BUSY:
        case LIBUSB_ERROR_ACCESS:
            return kIoBusy;
        default:
            return kIoError;
    }
}

class LibusbTransport final : public UsbTransport {
public:
    ~LibusbTransport() override {
        Close();
        if (context_ != nullptr)
            libusb_exit(context_);
    }

    int Open(const std::string& path) override {
        Close();
        const std::string wanted = UsbBusAddress(path);
        if (!path.empty() && wanted.empty())
            return kIoNotFound;
        // A machine without USB access has no unit to find.
        if (context_ == nullptr && libusb_init(&context_) != 0) {
            context_ = nullptr;
            return kIoNotFound;
        }
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        if (count < 0)
            return kIoNotFound;
        int status = kIoNotFound;
        for (ssize_t i = 0; i < count && handle_ == nullptr; ++i) {
            libusb_device* device = list[i];
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(device, &descriptor) != 0 ||
                descriptor.idVendor != kGarminVendorId)
                continue;
            if (!wanted.empty() && wanted != AddressOf(device))
                continue;
            status = Claim(device);
        }
        libusb_free_device_list(list, 1);
        return handle_ != nullptr ? 0 : status;
    }

    void Close() override {
        if (handle_ == nullptr)
            return;
        libusb_release_interface(handle_, interface_);
        libusb_close(handle_);
        handle_ = nullptr;
    }

    bool IsOpen() const override { return handle_ != nullptr; }

    int ReadInterrupt(std::span<std::uint8_t> buffer, int timeoutMs,
                      const WakeEvent* wake) override {
        return Transfer(interruptIn_, buffer.data(), buffer.size(), timeoutMs, wake, true);
    }
    int ReadBulk(std::span<std::uint8_t> buffer, int timeoutMs, const WakeEvent* wake) override {
        return Transfer(bulkIn_, buffer.data(), buffer.size(), timeoutMs, wake, false);
    }
    int WriteBulkTransfer(std::span<const std::uint8_t> bytes, int timeoutMs,
                          const WakeEvent* wake) override {
        if (wake != nullptr && wake->IsSet())
            return kIoAborted;
        std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
        return Transfer(bulkOut_, copy.data(), copy.size(), timeoutMs, nullptr, false);
    }
    std::size_t BulkPacketSize() const override { return bulkPacketSize_; }

private:
    int Claim(libusb_device* device) {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(device, &config) != 0)
            return kIoError;
        bool found = false;
        for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
            const libusb_interface& iface = config->interface[i];
            for (int a = 0; a < iface.num_altsetting && !found; ++a) {
                const libusb_interface_descriptor& alt = iface.altsetting[a];
                unsigned char in = 0, out = 0, irq = 0;
                std::size_t packet = 0;
                for (int e = 0; e < alt.bNumEndpoints; ++e) {
                    const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                    const int type = ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
                    const bool input = (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0;
                    if (type == LIBUSB_TRANSFER_TYPE_BULK && input) {
                        in = ep.bEndpointAddress;
                    } else if (type == LIBUSB_TRANSFER_TYPE_BULK) {
                        out = ep.bEndpointAddress;
                        packet = ep.wMaxPacketSize;
                    } else if (type == LIBUSB_TRANSFER_TYPE_INTERRUPT && input) {
                        irq = ep.bEndpointAddress;
                    }
                }
                if (in != 0 && out != 0 && irq != 0) {
                    found = true;
                    interface_ = alt.bInterfaceNumber;
                    bulkIn_ = in;
                    bulkOut_ = out;
                    interruptIn_ = irq;
                    bulkPacketSize_ = packet;
                }
            }
        }
        libusb_free_config_descriptor(config);
        if (!found)
            return kIoNotFound;
        libusb_device_handle* handle = nullptr;
        if (const int rc = libusb_open(device, &handle); rc != 0)
            return IoCode(rc);
        // A kernel driver that took the unit (garmin_gps) gives it back when we let it go.
        libusb_set_auto_detach_kernel_driver(handle, 1);
        if (const int rc = libusb_claim_interface(handle, interface_); rc != 0) {
            libusb_close(handle);
            return IoCode(rc);
        }
        handle_ = handle;
        return 0;
    }

    int Transfer(unsigned char endpoint, std::uint8_t* data, std::size_t size, int timeoutMs,
                 const WakeEvent* wake, bool interrupt) {
        if (handle_ == nullptr)
            return kIoNotOpen;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (wake != nullptr && wake->IsSet())
                return kIoAborted;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            const bool output = (endpoint & LIBUSB_ENDPOINT_IN) == 0;
            // Writes run to their end; reads wait in slices.
            const int slice = output ? std::max(1, timeoutMs)
                                     : static_cast<int>(std::clamp<long long>(left, 1, kSliceMs));
            int done = 0;
            const int rc =
                interrupt
                    ? libusb_interrupt_transfer(handle_, endpoint, data, static_cast<int>(size),
                                                &done, static_cast<unsigned>(slice))
                    : libusb_bulk_transfer(handle_, endpoint, data, static_cast<int>(size), &done,
                                           static_cast<unsigned>(slice));
            if (rc == 0)
                return done;
            if (rc != LIBUSB_ERROR_TIMEOUT)
                return IoCode(rc);
            if (done > 0)
                return done;
            if (output)
                return kIoTimedOut;
            if (left <= kSliceMs)
                return 0;
        }
    }

    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    int interface_ = 0;
    unsigned char bulkIn_ = 0;
    unsigned char bulkOut_ = 0;
    unsigned char interruptIn_ = 0;
    std::size_t bulkPacketSize_ = 64;
};

}  // namespace

std::vector<UsbUnitInfo> ListGarminUsbUnits() {
    std::vector<UsbUnitInfo> units;
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0)
        return units;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0 ||
            descriptor.idVendor != kGarminVendorId)
            continue;
        UsbUnitInfo unit{AddressOf(device), "Garmin"};
        // The product string needs the device opened, which a unit in use refuses.
        libusb_device_handle* handle = nullptr;
        if (descriptor.iProduct != 0 && libusb_open(device, &handle) == 0) {
            unsigned char text[128] = {};
            const int length = libusb_get_string_descriptor_ascii(handle, descriptor.iProduct, text,
                                                                  sizeof text - 1);
            if (length > 0) {
                unit.product.assign(reinterpret_cast<const char*>(text),
                                    static_cast<std::size_t>(length));
                for (char& c : unit.product) {
                    if (static_cast<unsigned char>(c) < 0x20)
                        c = ' ';
                }
            }
            libusb_close(handle);
        }
        units.push_back(std::move(unit));
    }
    if (count >= 0)
        libusb_free_device_list(list, 1);
    libusb_exit(context);
    return units;
}

std::unique_ptr<UsbTransport> MakeLibusbTransport() {
    return std::make_unique<LibusbTransport>();
}

}  // namespace tracora::device
