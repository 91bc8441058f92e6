#include "device/transport.hpp"

#include "device/hid_transport.hpp"
#include "device/serial_transport.hpp"
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
    if (kind == TransportKind::kUsb)
        return MakeLibusbTransport();
    if (kind == TransportKind::kHid)
        return MakeHidapiTransport();
    return nullptr;
}

}  // namespace tracora::device
