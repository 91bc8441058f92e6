#include "protocols/syride/syride_session.hpp"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "device/hid_transport.hpp"
#include "device/io_status.hpp"
#include "protocols/common/flight_list.hpp"
#include "protocols/common/pilot_ids.hpp"
#include "protocols/common/track_joiner.hpp"
#include "protocols/syride/syride_frames.hpp"

namespace tracora::protocols::syride {

namespace {

using device::GpsAccessJob;
using Clock = std::chrono::steady_clock;

// A reply that never becomes valid ends the exchange after this many requests.
constexpr int kExchangeAttempts = 10;
constexpr int kReplyMs = 1000;
constexpr int kFindPauseMs = 1000;
constexpr int kSectors = 6;

const char* const kProductTitle = "Get GPS product data";
const char* const kListTitle = "Read track list";
const char* const kTrackTitle = "Read GPS track log";
const char* const kWaypointTitle = "Read GPS waypoints";
const char* const kUploadTitle = "Upload GPS waypoints";

int Aborted(GpsAccessJob& job) {
    job.Status("Transfer aborted");
    return -1;
}

// The report exchange. With `keepGoing` an abort does not end it (the rewrite of an erased
// table must finish: the job fails afterwards).
class Device {
public:
    explicit Device(GpsAccessJob& job) : job_(job) {}

    // 0 with `reply` complete, or -1 (reported).
    int Exchange(std::uint8_t command, std::span<const std::uint8_t> arguments, Report& reply,
                 const char* title) {
        const Report request = MakeRequest(command, arguments);
        for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
            if (job_.AbortRequested() && !keepGoing_)
                return Aborted(job_);
            const device::WakeEvent* wake = keepGoing_ ? nullptr : &job_.Wake();
            job_.Trace().Hex(request);
            const int put = job_.transport->Write(request, kReplyMs, wake);
            if (put == device::kIoAborted && !keepGoing_)
                return Aborted(job_);
            if (put < 0) {
                job_.Error("USB write error", title);
                return -1;
            }
            const int got = job_.transport->Read(reply, kReplyMs, wake);
            if (got == device::kIoAborted && !keepGoing_)
                return Aborted(job_);
            if (got < 0) {
                job_.Error("USB read error", title);
                return -1;
            }
            if (got > 0)
                job_.Trace().Hex(std::span(reply.data(), static_cast<std::size_t>(got)));
            if (got == static_cast<int>(kReportSize) && ReplyComplete(reply))
                return 0;
        }
        job_.Error("No valid USB response", title);
        return -1;
    }

    // Memory in pieces of 61 bytes. `progress` (may be empty) gets the bytes still to read.
    int Read(std::uint32_t address, std::span<std::uint8_t> out, const char* title,
             const std::function<void(std::size_t)>& progress = {}) {
        std::size_t done = 0;
        while (done < out.size()) {
            const std::size_t length = std::min(kReadPiece, out.size() - done);
            const auto at = Le32(address + static_cast<std::uint32_t>(done));
            const std::uint8_t arguments[] = {at[0], at[1], at[2], at[3],
                                              static_cast<std::uint8_t>(length)};
            Report reply{};
            if (Exchange(kCmdReadMemory, arguments, reply, title) != 0)
                return -1;
            std::copy_n(reply.begin() + 1, length, out.begin() + static_cast<std::ptrdiff_t>(done));
            done += length;
            if (progress)
                progress(out.size() - done);
        }
        return 0;
    }

    // One 256-byte page: the page buffer in pieces of 59 bytes, then the page written.
    int WritePage(std::uint32_t address, std::span<const std::uint8_t> page, const char* title) {
        for (std::size_t offset = 0; offset < kPageSize; offset += kBufferPiece) {
            const std::size_t length = std::min(kBufferPiece, kPageSize - offset);
            std::vector<std::uint8_t> arguments = {static_cast<std::uint8_t>(offset),
                                                   static_cast<std::uint8_t>(length)};
            arguments.insert(arguments.end(), page.begin() + static_cast<std::ptrdiff_t>(offset),
                             page.begin() + static_cast<std::ptrdiff_t>(offset + length));
            Report reply{};
            if (Exchange(kCmdPageBuffer, arguments, reply, title) != 0)
                return -1;
        }
        const auto at = Le32(address);
        Report reply{};
        return Exchange(kCmdWritePage, at, reply, title);
    }

    int EraseSector(std::uint32_t address, const char* title) {
        const auto at = Le32(address);
        Report reply{};
        return Exchange(kCmdEraseSector, at, reply, title);
    }

    void KeepGoing(bool on) { keepGoing_ = on; }

private:
    GpsAccessJob& job_;
    bool keepGoing_ = false;
};

// Finds and opens the device, reads its identification. 0, or -1 (reported).
int Open(GpsAccessJob& job, Device& device) {
    auto* hid = dynamic_cast<device::HidTransport*>(job.transport.get());
    if (hid == nullptr) {
        job.Error("No valid USB response", kProductTitle);
        return -1;
    }
    // A hidraw path given as the port is opened as it is; otherwise the first device with the
    // instrument's IDs.
    const bool byPath = job.portPath.rfind("/dev/hidraw", 0) == 0;
    const int attempts = job.openAttempts > 0 ? job.openAttempts : 10;
    bool open = false;
    for (int left = attempts; left > 0 && !open; --left) {
        if (job.AbortRequested())
            return Aborted(job);
        job.Status(FormatCount("Requesting product info (%)", left));
        const std::string path = byPath ? job.portPath : hid->Find(kVendorId, kProductId);
        open = !path.empty() && hid->Open(path) == 0;
        if (!open && left > 1 && !job.Pause(kFindPauseMs))
            return Aborted(job);
    }
    if (!open) {
        job.Error("No valid response from GPS", kProductTitle);
        return -1;
    }
    const std::string product = hid->ProductString().substr(0, 80);
    Report reply{};
    if (device.Exchange(kCmdIdentify, {}, reply, kProductTitle) != 0)
        return -1;
    // The serial number: the identification's first four bytes, little-endian.
    const std::uint32_t serial = ReadLe32(std::span(reply).subspan(1, 4));
    char text[160];
    std::snprintf(text, sizeof text, "%s: %u", product.c_str(), serial);
    job.productText = std::string(text).substr(0, 53);
    std::snprintf(text, sizeof text, "%s, SNR %u", product.c_str(), serial);
    job.Status2(text);
    job.productName = product.substr(0, 16);
    job.instrumentDescription = std::string(text).substr(0, 80);
    job.Status("Product data read");
    if (!job.Pause(500))
        return Aborted(job);
    return 0;
}

// The flight list: start times, durations and start pages. 0 or -1.
int ReadFlightList(GpsAccessJob& job, Device& device, std::vector<FlightEntry>& entries) {
    Report reply{};
    if (device.Exchange(kCmdFlightCount, {}, reply, kListTitle) != 0)
        return -1;
    const int count = std::min<int>(reply[1], device::FlightList::kSlots);
    if (count == 0) {
        job.Status("No tracklogs found");
        job.Error("No tracklogs found", kListTitle);
        return -1;
    }
    job.flights.start.fill(0);
    job.flights.duration.fill(0);
    entries.clear();
    for (int i = 0; i < count; ++i) {
        const std::uint8_t index[] = {static_cast<std::uint8_t>(i)};
        if (device.Exchange(kCmdFlightEntry, index, reply, kListTitle) != 0)
            return -1;
        const FlightEntry entry = DecodeFlightEntry(std::span(reply).subspan(1, 20));
        entries.push_back(entry);
        // A start before the time base would read as an empty slot: it becomes 1.
        job.flights.start[static_cast<std::size_t>(i)] =
            entry.startUnix > kUnixToTimeBase ? entry.startUnix - kUnixToTimeBase : 1;
        job.flights.duration[static_cast<std::size_t>(i)] = entry.duration;
    }
    job.Status(FormatCount("% tracks in track list read", count));
    return 0;
}

// One flight's bytes, page by page. 0 or -1.
int ReadFlight(GpsAccessJob& job, Device& device, const FlightEntry& entry,
               std::vector<std::uint8_t>& bytes) {
    const std::size_t size = FlightBytes(entry.duration);
    bytes.clear();
    bytes.reserve(size);
    std::uint32_t page = entry.startPage;
    auto lastStatus = Clock::now() - std::chrono::seconds(1);
    while (bytes.size() < size && page != 0xFF) {
        const std::uint32_t base = page * kMemoryPage;
        std::uint8_t next = 0xFF;
        if (device.Read(base + 3, std::span(&next, 1), kTrackTitle) != 0)
            return -1;
        const std::size_t chunk = std::min<std::size_t>(kPageDataSize, size - bytes.size());
        const std::size_t before = bytes.size();
        bytes.resize(before + chunk);
        const auto progress = [&](std::size_t left) {
            if (Clock::now() - lastStatus >= std::chrono::seconds(1)) {
                lastStatus = Clock::now();
                job.Progress(static_cast<long long>(before + chunk - left),
                             static_cast<long long>(size));
                job.Status(FormatCount("Reading data (%)",
                                       static_cast<long long>(size - before - chunk + left)));
            }
        };
        if (device.Read(base + kPageDataOffset, std::span(bytes).subspan(before), kTrackTitle,
                        progress) != 0)
            return -1;
        page = next;
    }
    if (bytes.size() != size) {
        job.Error("Flight memory / duration inconsistency", kTrackTitle);
        return -1;
    }
    job.Progress(static_cast<long long>(size), static_cast<long long>(size));
    return 0;
}

// The valid slots of the waypoint table, in table order. 0 or -1 (reported).
int ReadWaypointTable(GpsAccessJob& job, Device& device, std::vector<Waypoint>& waypoints) {
    job.Status("Reading waypoints");
    std::vector<std::uint8_t> table(kWaypointTableSize);
    if (device.Read(kWaypointTable, table, kWaypointTitle) != 0)
        return -1;
    const std::uint32_t now = CurrentTime();
    waypoints.reserve(100);
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        Waypoint waypoint;
        if (DecodeSlot(std::span(table).subspan(slot * kSlotSize, kSlotSize), now, waypoint))
            waypoints.push_back(waypoint);
    }
    return 0;
}

// Competition mode: the pilot IDs the instrument carries as waypoints (none: both -1). A table
// that cannot be read ends the download before the flight list. 0 or -1.
int ScanPilotIds(GpsAccessJob& job, Device& device) {
    job.competitionId = -1;
    job.civlId = -1;
    std::vector<Waypoint> waypoints;
    if (ReadWaypointTable(job, device, waypoints) != 0)
        return -1;
    competition::PilotIds ids;
    for (const Waypoint& waypoint : waypoints)
        competition::DecodeIdWaypoint(waypoint, job.compSpecial, ids);
    AdoptPilotIds(job, ids);
    return 0;
}

}  // namespace

int SyrideReadFlightListJob(GpsAccessJob& job) {
    Device device(job);
    if (Open(job, device) != 0)
        return -1;
    std::vector<FlightEntry> entries;
    return ReadFlightList(job, device, entries);
}

int SyrideReadTrackLogJob(GpsAccessJob& job) {
    Device device(job);
    if (Open(job, device) != 0)
        return -1;
    if (job.competitionMode && ScanPilotIds(job, device) != 0)
        return -1;
    std::vector<FlightEntry> entries;
    if (ReadFlightList(job, device, entries) != 0)
        return -1;
    const std::vector<int> chosen = SelectFlights(job, kTrackTitle);
    if (chosen.empty())
        return -1;
    std::vector<TrackPoint> joined;
    for (const int slot : chosen) {
        const FlightEntry& entry = entries[static_cast<std::size_t>(slot)];
        job.Status(FormatCount("Reading track log %", slot + 1));
        std::vector<std::uint8_t> bytes;
        if (ReadFlight(job, device, entry, bytes) != 0)
            return -1;
        const std::uint32_t start = job.flights.start[static_cast<std::size_t>(slot)];
        std::vector<TrackPoint> points = DecodeFlight(bytes, entry.duration, start);
        // A flight of no seconds has no point to join.
        if (!points.empty()) {
            const std::uint32_t first = points.front().time;
            const std::uint32_t last = points.back().time;
            const std::uint32_t joinedFirst = joined.empty() ? 0 : joined.front().time;
            const std::uint32_t joinedLast = joined.empty() ? 0 : joined.back().time;
            if (JoinTrack(joined, std::move(points)) != 0) {
                char text[96];
                std::snprintf(text, sizeof text, "Overlapping tracks (%08X,%08X)(%08X,%08X)",
                              joinedFirst, joinedLast, first, last);
                job.Error(text, kTrackTitle);
                return -1;
            }
        }
        if (!job.Pause(500))
            return Aborted(job);
    }
    if (joined.empty()) {
        job.Error("No points detected", kTrackTitle);
        return -1;
    }
    job.Status(FormatCount("% points received", static_cast<long long>(joined.size())));
    DownloadedTrackLog& track = job.track;
    track.points = std::move(joined);
    track.sourceKind = kSourceKind;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = true;
    track.gRecordEligible = true;
    track.hasPressureAltitude = false;
    track.productName = job.productName;
    track.instrumentDescription = job.instrumentDescription;
    track.productText = job.productText;
    return 0;
}

int SyrideReadWaypointsJob(GpsAccessJob& job) {
    Device device(job);
    if (Open(job, device) != 0)
        return -1;
    std::vector<Waypoint> waypoints;
    if (ReadWaypointTable(job, device, waypoints) != 0)
        return -1;
    job.Status(FormatCount("% waypoints received", static_cast<long long>(waypoints.size())));
    if (waypoints.empty()) {
        job.Error("No waypoints found", kWaypointTitle);
        return -1;
    }
    job.waypoints = std::move(waypoints);
    return 0;
}

int SyrideWriteWaypointsJob(GpsAccessJob& job) {
    Device device(job);
    if (Open(job, device) != 0)
        return -1;
    job.Status("Writing waypoints");
    std::vector<std::uint8_t> table(kWaypointTableSize);
    if (device.Read(kWaypointTable, table, kUploadTitle) != 0)
        return -1;
    // The instrument's own waypoints first, in their order, then the new ones.
    std::vector<std::uint8_t> image;
    std::size_t used = 0;
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        const auto bytes = std::span(table).subspan(slot * kSlotSize, kSlotSize);
        if (SlotUsed(bytes)) {
            image.insert(image.end(), bytes.begin(), bytes.end());
            ++used;
        }
    }
    long long added = 0, unnamed = 0, cut = 0;
    for (const Waypoint& waypoint : job.waypoints) {
        if (used >= kSlots) {
            ++cut;
            continue;
        }
        std::array<std::uint8_t, kSlotSize> slot{};
        if (!EncodeSlot(waypoint, slot)) {
            ++unnamed;
            continue;
        }
        image.insert(image.end(), slot.begin(), slot.end());
        ++used;
        ++added;
    }
    image.resize((image.size() + kPageSize - 1) / kPageSize * kPageSize, 0xFF);
    // The table as it was, for the user who has to put it back after a failure below. The
    // trace is cleared first: the exchanges of the read would leave it no room.
    job.Trace().Clear();
    job.Trace().Text("Waypoint table before the upload:\r\n");
    job.Trace().Hex(table);
    if (job.AbortRequested())
        return Aborted(job);
    // From the first erase on the table must be written whole again: an abort waits for that.
    device.KeepGoing(true);
    bool failed = false;
    for (int s = 0; s < kSectors && !failed; ++s)
        failed = device.EraseSector(kWaypointTable + static_cast<std::uint32_t>(s) * kSectorSize,
                                    kUploadTitle) != 0;
    for (std::size_t at = 0; at < image.size() && !failed; at += kPageSize) {
        failed = device.WritePage(kWaypointTable + static_cast<std::uint32_t>(at),
                                  std::span(image).subspan(at, kPageSize), kUploadTitle) != 0;
        // The bar counts the table's bytes written.
        if (!failed)
            job.Progress(static_cast<long long>(at + kPageSize),
                         static_cast<long long>(image.size()));
    }
    device.KeepGoing(false);
    if (failed) {
        job.Error(
            "The waypoint memory was erased but not written again: the instrument's "
            "waypoints are lost. The table read before the upload is in the debug trace.",
            kUploadTitle);
        return -1;
    }
    job.Status(FormatCount("% waypoints added", added));
    if (cut > 0 || unnamed > 0) {
        std::string text;
        if (cut > 0)
            text = FormatCount("% waypoints not added: the instrument holds at most 1228", cut);
        if (unnamed > 0)
            text += (text.empty() ? "" : "\n") +
                    FormatCount("% waypoints without ID or description not added", unnamed);
        job.Error(text, kUploadTitle);
    }
    if (job.AbortRequested())
        return Aborted(job);
    return 0;
}

}  // namespace tracora::protocols::syride
