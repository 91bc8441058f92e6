#include "device/transport.hpp"

#include <cstdlib>

#include "device/hid_transport.hpp"
#include "device/serial_transport.hpp"
#include "device/usb_socket_link.hpp"
#include "device/usb_transport.hpp"

namespace tracora::device {

const char* TransportKindName(TransportKind kind) {
    switch (kind) {
        case TransportKind::kSerial:
            return "serial";
        case TransportKind::kUsb:
            return "USB";
        case TransportKind::kHid:
            return "USB HID";
    }
    return "unknown";
}

std::unique_ptr<Transport> MakeSystemTransport(TransportKind kind) {
    if (kind == TransportKind::kSerial)
        return std::make_unique<SerialTransport>();
    if (kind == TransportKind::kUsb) {
        // A unit served by an emulator stands in for the buses when the environment says so.
        if (const char* link = std::getenv(kUsbLinkVariable); link != nullptr && *link != '\0')
            return std::make_unique<UsbSocketTransport>(link);
        return MakeLibusbTransport();
    }
    if (kind == TransportKind::kHid)
        return MakeHidapiTransport();
    return nullptr;
}

}  // namespace tracora::device
