#include "protocols/garmin/garmin_usb.hpp"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "core/text_forms.hpp"
#include "device/io_status.hpp"

namespace tracora::protocols::garmin {

namespace {

using device::GpsAccessJob;
using Clock = std::chrono::steady_clock;

constexpr int kWriteTimeoutMs = 500;
constexpr int kInterruptBlock = 64;
constexpr int kBulkBlock = 4096;
constexpr int kSessionStartMs = 10'000;
constexpr int kPacketReadMs = 3000;
// Bytes of one transfer beyond a header and 255 data bytes are dropped.
constexpr std::size_t kReceiveArea = kUsbHeaderSize + GarminPacket::kMaxData;

const char* const kProductTitle = "Read GPS product data";

std::string Hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

}  // namespace

int UsbPacketLink::SendUsb(std::uint8_t type, const GarminPacket& packet,
                           const device::WakeEvent* wake) {
    const std::vector<std::uint8_t> bytes = UsbPacketBytes(type, packet);
    job_.Trace().Text("Bulk OUT pipe:");
    job_.Trace().Hex(bytes);
    return usb_.Write(bytes, kWriteTimeoutMs, wake) >= 0 ? 0 : -1;
}

int UsbPacketLink::Send(const GarminPacket& packet) {
    return SendUsb(kUsbApplicationType, packet, &job_.Wake());
}

int UsbPacketLink::SendRegardless(const GarminPacket& packet) {
    return SendUsb(kUsbApplicationType, packet, nullptr);
}

void UsbPacketLink::SendAbort() {
    GarminPacket start;
    start.id = kUsbStartSession;
    SendUsb(kUsbLayerType, start, nullptr);
}

int UsbPacketLink::ReadAny(std::uint8_t& type, GarminPacket& packet, int timeoutMs) {
    std::vector<std::uint8_t> area;
    std::vector<std::uint8_t> block(bulkMode_ ? kBulkBlock : kInterruptBlock);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 && area.empty())
            return kLinkTimeout;
        const int wait = static_cast<int>(std::max<long long>(left, 1));
        const int got = bulkMode_ ? usb_.ReadBulk(block, wait, &job_.Wake())
                                  : usb_.ReadInterrupt(block, wait, &job_.Wake());
        if (got < 0)
            return got == device::kIoAborted ? kLinkAborted : kLinkFailure;
        if (got == 0) {
            if (area.empty())
                continue;  // an empty transfer: read again
            break;
        }
        job_.Trace().Text(bulkMode_ ? "Bulk IN pipe:" : "Interrupt IN pipe:");
        job_.Trace().Hex(
            std::span<const std::uint8_t>(block.data(), static_cast<std::size_t>(got)));
        const std::size_t room = kReceiveArea - std::min(area.size(), kReceiveArea);
        area.insert(area.end(), block.begin(),
                    block.begin() +
                        static_cast<std::ptrdiff_t>(std::min(room, static_cast<std::size_t>(got))));
        // A full block means that more of the same transfer follows.
        if (static_cast<std::size_t>(got) < block.size())
            break;
    }
    if (!ParseUsbPacket(area, type, packet))
        return kLinkTimeout;  // a runt transfer is dropped like a garbled frame
    return 0;
}

int UsbPacketLink::Receive(GarminPacket& packet, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const bool startedInBulk = bulkMode_;
    for (;;) {
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        std::uint8_t type = 0;
        const int rc = left <= 0 ? kLinkTimeout : ReadAny(type, packet, static_cast<int>(left));
        if (rc != 0) {
            readError_ = !bulkMode_ ? 1 : (startedInBulk ? 7 : 3);
            return rc;
        }
        if (type == kUsbLayerType && packet.id == kUsbDataAvailable) {
            bulkMode_ = true;
            job_.Trace().Text("Bulk pipe TRUE");
            continue;
        }
        if (type == kUsbApplicationType)
            return 0;
        // Other packets of the USB layer carry nothing for the transfers.
    }
}

int UsbPacketLink::StartSession(const char* title) {
    const Clock::time_point start = Clock::now();
    bulkMode_ = false;
    job_.Trace().Text("Bulk pipe FALSE");
    GarminPacket packet;
    packet.id = kUsbStartSession;
    if (SendUsb(kUsbLayerType, packet, &job_.Wake()) != 0) {
        job_.Error("E001 Bulk OUT error", title);
        return -1;
    }
    for (;;) {
        const long long left =
            kSessionStartMs -
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (left <= 0)
            break;
        std::uint8_t type = 0;
        const int rc =
            ReadAny(type, packet, static_cast<int>(std::min<long long>(left, kPacketReadMs)));
        if (rc == kLinkAborted) {
            job_.Status("Transfer aborted");
            return -1;
        }
        if (rc == kLinkTimeout) {
            if (bulkMode_) {
                // Nothing on the bulk pipe: the unit talks on the interrupt pipe again.
                bulkMode_ = false;
                job_.Trace().Text("Bulk pipe FALSE");
            }
            continue;
        }
        if (rc != 0) {
            job_.Error(bulkMode_ ? "E003 Start session error (1)" : "E002 Start session error",
                       title);
            return -1;
        }
        if (type != kUsbLayerType)
            continue;
        if (packet.id == kUsbSessionStarted) {
            if (packet.size != 4) {
                job_.Error("E004 Start session error", title);
                return -1;
            }
            unitId_ = GetU32(packet, 0);
            job_.Trace().Text("Session started");
            return 0;
        }
        if (packet.id == kUsbDataAvailable) {
            bulkMode_ = true;
            job_.Trace().Text("Bulk pipe TRUE");
            continue;
        }
        job_.Error("E006 Start session error", title);
        return -1;
    }
    job_.Error("E007 Start session error", title);
    return -1;
}

int ReadUsbProductData(GarminSession& s, UsbPacketLink& link) {
    GpsAccessJob& job = s.job;
    if (link.StartSession(kProductTitle) != 0)
        return -1;
    job.Trace().Text("Unit ID = " + Hex8(link.UnitId()));
    job.Status("Requesting product information");
    GarminPacket packet;
    packet.id = kPidProductRequest;
    if (link.Send(packet) != 0) {
        job.Error("E104 Bulk OUT error", kProductTitle);
        return -1;
    }
    auto readFailed = [&job, &link](int rc, int base) {
        if (rc == kLinkAborted) {
            job.Status("Transfer aborted");
            return -1;
        }
        job.Error(FormatCount("E% Packet read error", base + link.ReadErrorNumber()),
                  kProductTitle);
        return -1;
    };
    if (const int rc = link.Receive(packet, kPacketReadMs); rc != 0)
        return readFailed(rc, 104);
    ProductData product;
    if (!DecodeProductData(packet, product)) {
        job.Error("E114 Bad product data packet", kProductTitle);
        return -1;
    }
    job.instrumentDescription = product.description.substr(0, 80);
    job.Status("Product data read");
    job.Status2(job.instrumentDescription);
    job.productName = "Garmin";
    job.productText = FormatCount("Garmin USB: %", link.UnitId());
    job.track.productName = job.productName;
    job.track.instrumentDescription = job.instrumentDescription;
    job.track.productText = job.productText;
    s.caps = GarminCapabilities{};
    s.caps.productId = product.productId;
    s.caps.lowestVersion = s.caps.highestVersion = static_cast<std::uint16_t>(product.version);
    do {
        if (const int rc = link.Receive(packet, kPacketReadMs); rc != 0)
            return readFailed(rc, 114);
    } while (packet.id == kPidExtendedProduct);
    if (packet.id != kPidCapabilities) {
        job.Error("E124 Bad protocol array data packet", kProductTitle);
        return -1;
    }
    std::vector<CapabilityEntry> entries;
    if (!SplitCapabilityArray(packet, entries)) {
        job.Error("E125 Bad protocol data packet", kProductTitle);
        return -1;
    }
    if (ParseProtocolArray(entries, s.caps) != 0) {
        job.Error("E126 Bad protocol tag character", kProductTitle);
        return -1;
    }
    const std::string refusal = CheckCapabilities(s.caps);
    if (!refusal.empty()) {
        job.Error(refusal, kProductTitle);
        return -1;
    }
    return 0;
}

namespace {

// Opens the unit (up to the job's attempts, a second apart) and runs `body` on a session over
// USB packets.
int OverUsb(GpsAccessJob& job, const std::function<int(GarminSession&)>& body) {
    const char* const title = "Connecting to GPS";
    auto* usb = dynamic_cast<device::UsbTransport*>(job.transport.get());
    if (usb == nullptr) {
        job.Error("Could not open USB port", title);
        return -1;
    }
    const int attempts = job.openAttempts > 0 ? job.openAttempts : 30;
    bool open = false;
    for (int k = 1; k <= attempts && !open; ++k) {
        if (job.AbortRequested()) {
            job.Status("Transfer aborted");
            return -1;
        }
        job.Status(FormatCount("Connecting to GPS (%)", attempts - k + 1));
        job.Trace().Text("USB device name: " + job.portPath);
        const int status = usb->Open(job.portPath);
        // No unit on the buses (or none at the address asked for): nothing to wait for.
        if (status == device::kIoNotFound) {
            job.Error("No device interface GUID match", "Searching for USB device names");
            return -1;
        }
        open = status == 0;
        if (!open && k < attempts && !job.Pause(1000)) {
            job.Status("Transfer aborted");
            return -1;
        }
    }
    if (!open) {
        job.Error("Could not open USB port", title);
        return -1;
    }
    UsbPacketLink link(job, *usb);
    GarminSession session{job, link, {}};
    const int result = ReadUsbProductData(session, link) != 0 ? -1 : body(session);
    usb->Close();
    return result;
}

}  // namespace

int GarminUsbReadWaypoints(GpsAccessJob& job) {
    return OverUsb(job, [](GarminSession& s) { return ReadWaypoints(s, false); });
}

int GarminUsbReadTrackLog(GpsAccessJob& job) {
    return OverUsb(job, [](GarminSession& s) {
        // The user may spare the waypoint scan of a competition download over USB; the pilot
        // IDs are then unknown.
        if (s.job.competitionMode && !s.job.usbCheckWaypoints) {
            s.job.competitionId = s.job.civlId = -1;
            return ReadTrackLog(s);
        }
        return ReadTrackLogJob(s);
    });
}

int GarminUsbWriteWaypoints(GpsAccessJob& job) {
    return OverUsb(job, [](GarminSession& s) { return WriteWaypoints(s); });
}

int GarminUsbWriteWaypointsAsTrack(GpsAccessJob& job) {
    return OverUsb(job, [](GarminSession& s) { return WriteTrackLog(s, 0, ""); });
}

int GarminUsbWriteAirspace(GpsAccessJob& job) {
    return OverUsb(job, WriteAirspaceJob);
}

}  // namespace tracora::protocols::garmin
