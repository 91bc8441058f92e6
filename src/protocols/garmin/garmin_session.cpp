#include "protocols/garmin/garmin_session.hpp"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/notify_texts.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "core/track_log.hpp"
#include "formats/openair/ctr_polygon.hpp"
#include "protocols/common/pilot_ids.hpp"
#include "protocols/common/remaining_time.hpp"

namespace tracora::protocols::garmin {

namespace {

using device::GpsAccessJob;
using Clock = std::chrono::steady_clock;

constexpr int kProductWaitMs = 2000;
constexpr int kPacketWaitMs = 5000;
// Times a packet the unit refused with a NAK is sent again.
constexpr int kNakRetries = 3;

const char* const kProductTitle = "Requesting GPS product data";
const char* const kCheckTitle = "Read GPS product data";
const char* const kWaypointTitle = "Read GPS waypoints";
const char* const kTrackTitle = "Read GPS track log";
const char* const kUploadTitle = "Upload waypoints";
const char* const kTrackUploadTitle = "Upload track log";
const char* const kCtrUploadTitle = "Upload CTR";

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// "% secs" as whole seconds, a point and the milliseconds in three digits.
std::string Seconds(long long ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", ms / 1000, ms % 1000);
    return text;
}

int SendWord(GarminSession& s, std::uint32_t id, std::uint16_t value) {
    GarminPacket packet;
    MakeWordPacket(id, value, packet);
    return s.link.Send(packet);
}

int Acknowledge(GarminSession& s, std::uint32_t id) {
    if (!s.link.Acknowledges())
        return 0;
    return SendWord(s, kPidAck, static_cast<std::uint16_t>(id & 0xFF));
}

void AbortTransfer(GarminSession& s) {
    s.link.SendAbort();
}

int Aborted(GarminSession& s, bool sendAbort) {
    if (sendAbort)
        AbortTransfer(s);
    s.job.Status("Transfer aborted");
    return -1;
}

// What a transfer says when a wait fails: the texts for a time-out and a port failure, the
// title, and whether the unit gets the abort command.
struct WaitTexts {
    std::string timeout;
    std::string port;
    const char* title;
    bool sendAbort = true;
};

// Waits for the next packet. 0, or -1 after the failure was handled.
int Await(GarminSession& s, GarminPacket& packet, const WaitTexts& texts) {
    const int rc = s.link.Receive(packet, kPacketWaitMs);
    if (rc == 0)
        return 0;
    if (rc == kLinkAborted)
        return Aborted(s, true);
    if (texts.sendAbort)
        AbortTransfer(s);
    s.job.Error(rc == kLinkTimeout ? texts.timeout : texts.port, texts.title);
    return -1;
}

bool IsAckOf(const GarminPacket& packet, std::uint32_t id) {
    return packet.id == kPidAck && packet.size >= 2 && packet.data[0] == (id & 0xFF) &&
           packet.data[1] == 0;
}

bool IsNakOf(const GarminPacket& packet, std::uint32_t id) {
    return packet.id == kPidNak && packet.size >= 1 && packet.data[0] == (id & 0xFF);
}

// Sends `packet` and waits for its acknowledge; a NAK of it has it sent again (the unit saw a
// damaged frame). 0 or -1 (handled).
int SendAcknowledged(GarminSession& s, const GarminPacket& packet, const WaitTexts& texts,
                     const std::string& badAck, bool badAckAborts = true) {
    for (int attempt = 0;; ++attempt) {
        if (s.link.Send(packet) != 0) {
            if (s.job.AbortRequested())
                return Aborted(s, true);
            if (texts.sendAbort)
                AbortTransfer(s);
            s.job.Error("COM port write error", texts.title);
            return -1;
        }
        if (!s.link.Acknowledges())
            return 0;
        GarminPacket answer;
        if (Await(s, answer, texts) != 0)
            return -1;
        if (IsAckOf(answer, packet.id))
            return 0;
        if (IsNakOf(answer, packet.id) && attempt < kNakRetries)
            continue;
        if (badAckAborts)
            AbortTransfer(s);
        s.job.Error(badAck, texts.title);
        return -1;
    }
}

// Whether the power-off command follows a successful transfer: the command line's PWROFF option
// or the menu's setting, both carried by the job.
void PowerOffIfAsked(GarminSession& s) {
    if (s.job.powerOff)
        PowerOff(s);
}

void SetProduct(GpsAccessJob& job, const ProductData& product) {
    job.instrumentDescription = product.description.substr(0, 80);
    job.Status("Product data read");
    job.Status2(job.instrumentDescription);
    job.productName = "Garmin";
    job.productText = ("Garmin: " + product.description).substr(0, 50);
    job.track.productName = job.productName;
    job.track.instrumentDescription = job.instrumentDescription;
    job.track.productText = job.productText;
}

int Checked(GarminSession& s) {
    const std::string refusal = CheckCapabilities(s.caps);
    if (!refusal.empty()) {
        s.job.Error(refusal, kCheckTitle);
        return -1;
    }
    return 0;
}

}  // namespace

// ---------------------------------------------------------------- the serial link

void PacketLink::SendAbort() {
    GarminPacket packet;
    MakeWordPacket(kPidCommand, kCmdAbort, packet);
    SendRegardless(packet);
}

int SerialPacketLink::Send(const GarminPacket& packet) {
    return job_.WriteBytes(FramePacket(packet)) == 0 ? 0 : -1;
}

int SerialPacketLink::SendRegardless(const GarminPacket& packet) {
    if (!job_.transport)
        return -1;
    const std::vector<std::uint8_t> frame = FramePacket(packet);
    job_.Trace().Hex(frame);
    return job_.transport->Write(frame, 1000, nullptr) >= 0 ? 0 : -1;
}

void SerialPacketLink::Reset() {
    receiver_.Reset();
    next_ = count_ = 0;
}

int SerialPacketLink::Receive(GarminPacket& packet, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (next_ < count_) {
            if (receiver_.Feed(block_[next_++]) == FrameReceiver::Result::kPacketComplete) {
                packet = receiver_.Packet();
                return 0;
            }
        }
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return kLinkTimeout;
        const int got = job_.ReadBytes(block_, static_cast<int>(left));
        if (got < 0) {
            next_ = count_ = 0;
            return got == device::kIoAborted ? kLinkAborted : kLinkFailure;
        }
        job_.Trace().Hex(
            std::span<const std::uint8_t>(block_.data(), static_cast<std::size_t>(got)));
        next_ = 0;
        count_ = static_cast<std::size_t>(got);
    }
}

// ---------------------------------------------------------------- transfers

int ReadProductData(GarminSession& s) {
    GpsAccessJob& job = s.job;
    job.Status2("");
    const int attempts = job.openAttempts > 0 ? job.openAttempts : 30;
    GarminPacket packet;
    ProductData product;
    bool found = false;
    for (int elapsed = 0, remaining = attempts; elapsed < attempts && !found;
         elapsed += 2, remaining -= 2) {
        if (job.AbortRequested())
            return Aborted(s, false);
        job.Status(FormatCount("Requesting product info (%)", remaining / 2));
        s.link.Reset();
        GarminPacket request;
        request.id = kPidProductRequest;
        if (s.link.Send(request) != 0) {
            if (job.AbortRequested())
                return Aborted(s, false);
            job.Error("COM port write error", kProductTitle);
            return -1;
        }
        for (int wait = 0; wait < 2 && !found; ++wait) {
            const int rc = s.link.Receive(packet, kProductWaitMs);
            if (rc == kLinkAborted)
                return Aborted(s, false);
            if (rc == kLinkFailure) {
                job.Error("COM port read error", kProductTitle);
                return -1;
            }
            if (rc != 0)
                break;
            if (DecodeProductData(packet, product)) {
                found = true;
            } else if (!IsAckOf(packet, kPidProductRequest)) {
                break;  // anything else: ask again
            }
        }
    }
    if (!found) {
        job.Error("No valid response from GPS", "Get GPS product data");
        return -1;
    }
    SetProduct(job, product);
    s.caps = GarminCapabilities{};
    Acknowledge(s, kPidProductData);
    for (;;) {
        const int rc = s.link.Receive(packet, kPacketWaitMs);
        if (rc == kLinkAborted)
            return Aborted(s, false);
        if (rc == kLinkFailure) {
            job.Error("COM port error while waiting for protocol capability packet", kProductTitle);
            return -1;
        }
        if (rc == kLinkTimeout) {
            // No capability array: the product table knows the older units.
            if (!LookUpProduct(product.productId, static_cast<std::uint16_t>(product.version),
                               s.caps)) {
                job.Error("GPS product ID not supported", kProductTitle);
                return -1;
            }
            return Checked(s);
        }
        if (packet.id == kPidCapabilities)
            break;
        Acknowledge(s, packet.id);
    }
    s.caps.productId = product.productId;
    s.caps.lowestVersion = s.caps.highestVersion = static_cast<std::uint16_t>(product.version);
    std::vector<CapabilityEntry> entries;
    if (!SplitCapabilityArray(packet, entries)) {
        job.Error("Bad protocol data packet", kProductTitle);
        return -1;
    }
    if (ParseProtocolArray(entries, s.caps) != 0) {
        job.Error("Bad protocol tag character", kProductTitle);
        return -1;
    }
    Acknowledge(s, kPidCapabilities);
    return Checked(s);
}

int ReadWaypoints(GarminSession& s, bool scanOnly) {
    GpsAccessJob& job = s.job;
    const char* title = kWaypointTitle;
    if (s.caps.waypointProtocol == 0) {
        job.Error("E310 No waypoint log protocol defined", title);
        return -1;
    }
    job.Status("Requesting waypoint download");
    GarminPacket command;
    MakeWordPacket(kPidCommand, kCmdTransferWaypoints, command);
    if (SendAcknowledged(s, command,
                         {"E300 Timeout while waiting for ack. packet",
                          "E300 COM port error while waiting for ack. packet", title},
                         "E301 Bad acknowledge packet type or format") != 0)
        return -1;
    GarminPacket packet;
    if (Await(s, packet,
              {"E302 Timeout while waiting for record count packet",
               "E302 COM port error while waiting for count packet", title}) != 0)
        return -1;
    if (packet.id != kPidRecords || packet.size < 2) {
        AbortTransfer(s);
        job.Error("E303 Bad record count packet", title);
        return -1;
    }
    const int count = GetU16(packet, 0);
    Acknowledge(s, kPidRecords);
    const Clock::time_point start = Clock::now();
    std::vector<Waypoint> waypoints;
    if (!scanOnly)
        waypoints.reserve(static_cast<std::size_t>(count));
    competition::PilotIds ids;
    for (int i = 1; i <= count; ++i) {
        if (Await(s, packet,
                  {"E305 Timeout while waiting for wpt. data packet",
                   "E305 COM port error while waiting for wpt. data packet", title}) != 0)
            return -1;
        if (job.AbortRequested())
            return Aborted(s, true);
        Waypoint waypoint;
        const int decoded = DecodeWaypoint(packet, s.caps.waypointType, waypoint);
        if (decoded != 0) {
            AbortTransfer(s);
            job.Error(
                decoded == -2 ? "E309 Bad waypoint data packet" : "E306 Bad waypoint data packet",
                title);
            return -1;
        }
        if (scanOnly)
            competition::DecodeIdWaypoint(waypoint, job.compSpecial, ids);
        Acknowledge(s, kPidWaypoint);
        job.Progress(i, count);
        job.Notify(WaypointCountText(i));
        if (i % 5 == 0)
            job.Status(FormatCount("Waypoint % of % received", i, count));
        if (!scanOnly)
            waypoints.push_back(waypoint);
    }
    if (Await(s, packet,
              {"E308 Timeout while waiting for transfer complete packet",
               "E308 COM port error while waiting for transfer complete packet", title}) != 0)
        return -1;
    if (packet.id != kPidTransferComplete || packet.size < 2) {
        AbortTransfer(s);
        job.Error("E307 Bad transfer complete packet type or format", title);
        return -1;
    }
    Acknowledge(s, kPidTransferComplete);
    if (scanOnly) {
        AdoptPilotIds(job, ids);
        return 0;
    }
    job.Status(
        FormatCount("% of % waypoints read (", static_cast<long long>(waypoints.size()), count) +
        Seconds(MsSince(start)) + " secs)");
    job.waypoints = std::move(waypoints);
    return 0;
}

int ReadTrackLog(GarminSession& s) {
    GpsAccessJob& job = s.job;
    const char* title = kTrackTitle;
    if (s.caps.trackProtocol == 0) {
        job.Error("E212 No track log protocol defined", title);
        return -1;
    }
    job.Status("Requesting track log download");
    GarminPacket command;
    MakeWordPacket(kPidCommand, kCmdTransferTrack, command);
    if (SendAcknowledged(s, command,
                         {"E200 Timeout while waiting for data packet",
                          "E200 COM port error while waiting for data packet", title},
                         "E201 Bad acknowledge packet type or format") != 0)
        return -1;
    GarminPacket packet;
    if (Await(s, packet,
              {"E202 Timeout while waiting for record count packet",
               "E202 COM port error while waiting for count packet", title}) != 0)
        return -1;
    if (packet.id != kPidRecords || packet.size < 2) {
        AbortTransfer(s);
        job.Error("E203 Bad record count packet", title);
        return -1;
    }
    const int count = GetU16(packet, 0);
    Acknowledge(s, kPidRecords);
    const Clock::time_point start = Clock::now();
    std::vector<TrackPoint> points;
    points.reserve(static_cast<std::size_t>(count));
    PositionPacer positions(job.sendLogSeconds);
    DownloadProgress progress;
    progress.expectedPoints = count;
    for (int i = 1; i <= count; ++i) {
        if (Await(s, packet,
                  {"E205 Timeout while waiting for log data packet",
                   "E205 COM port error while waiting for log data packet", title}) != 0)
            return -1;
        if (job.AbortRequested())
            return Aborted(s, true);
        if (packet.id == kPidTrackPoint) {
            TrackPoint point;
            if (DecodeTrackPoint(packet, s.caps.trackPointType, point) != 0) {
                AbortTransfer(s);
                job.Error("E206 Packet type/length mismatch", title);
                return -1;
            }
            // The first point of a download always starts a segment.
            if (points.empty())
                point.flags |= TrackPoint::kSegmentStart;
            points.push_back(point);
            if (positions.Enabled()) {
                if (const auto text = positions.Offer(point))
                    job.Notify(*text);
            }
            Acknowledge(s, kPidTrackPoint);
        } else if (packet.id == kPidTrackHeader) {
            if (s.caps.trackProtocol == 300) {
                AbortTransfer(s);
                job.Error("E208 Packet type/protocol mismatch", title);
                return -1;
            }
            Acknowledge(s, kPidTrackHeader);
        } else {
            AbortTransfer(s);
            job.Error("E209 Bad data packet", title);
            return -1;
        }
        if (i % 5 == 0) {
            progress.elapsedMs = MsSince(start);
            progress.receivedPoints = i;
            const int left = ReportTrackProgress(job, progress);
            job.Status(
                FormatCount("Track position % of % (%m %s)", i, count, left / 60, left % 60));
            job.Notify(FormatCount("Progress %/%", i, count));
        }
    }
    if (Await(s, packet,
              {"E211 Timeout while waiting for transfer complete packet",
               "E211 COM port error while waiting for transfer complete packet", title}) != 0)
        return -1;
    if (packet.id != kPidTransferComplete || packet.size < 2) {
        AbortTransfer(s);
        job.Error("E210 Bad transfer complete packet type or format", title);
        return -1;
    }
    Acknowledge(s, kPidTransferComplete);
    CompleteTrackProgress(job, progress);
    job.Status(FormatCount("% track positions read (", static_cast<long long>(points.size())) +
               Seconds(MsSince(start)) + " secs)");
    DownloadedTrackLog& track = job.track;
    track.points = std::move(points);
    track.sourceKind = 1;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = true;
    track.gRecordEligible = true;
    track.hasPressureAltitude = false;
    PowerOffIfAsked(s);
    return 0;
}

int WriteWaypoints(GarminSession& s) {
    GpsAccessJob& job = s.job;
    const char* title = kUploadTitle;
    const std::vector<Waypoint>& waypoints = job.waypoints;
    if (waypoints.empty())
        return 0;
    if (s.caps.waypointProtocol == 0) {
        job.Error("E406 No waypoint log protocol defined", title);
        return -1;
    }
    const int count = static_cast<int>(std::min<std::size_t>(waypoints.size(), 0xFFFF));
    GarminPacket packet;
    MakeWordPacket(kPidRecords, static_cast<std::uint16_t>(count), packet);
    if (SendAcknowledged(s, packet,
                         {"E400 Timeout while waiting for ack. packet",
                          "E400 COM port error while waiting for ack. packet", title},
                         "E401 Bad acknowledge packet type or format") != 0)
        return -1;
    for (int i = 1; i <= count; ++i) {
        if (job.AbortRequested())
            return Aborted(s, true);
        if (i % 5 == 0)
            job.Status(FormatCount("Sending waypoint % of %", i, count));
        EncodeWaypoint(waypoints[static_cast<std::size_t>(i - 1)], s.caps.waypointType, packet);
        job.Notify(FormatCount("Sent wpt %/%", i, count));
        if (SendAcknowledged(s, packet,
                             {"E402 Timeout while waiting for ack. packet",
                              "E402 COM port error while waiting for ack. packet", title},
                             "E403 Bad acknowledge packet type or format") != 0)
            return -1;
        job.Progress(i, count);
    }
    job.Status(FormatCount("Waypoint % of % sent", count, count));
    MakeWordPacket(kPidTransferComplete, kCmdTransferWaypoints, packet);
    if (SendAcknowledged(s, packet,
                         {"E404 Timeout while waiting for ack. packet",
                          "E404 COM port error while waiting for ack. packet", title},
                         "E405 Bad acknowledge packet type or format", false) != 0)
        return -1;
    PowerOffIfAsked(s);
    return 0;
}

int WriteTrackLog(GarminSession& s, int airspaceNumber, const std::string& trackName) {
    GpsAccessJob& job = s.job;
    const char* title = airspaceNumber != 0 ? kCtrUploadTitle : kTrackUploadTitle;
    const std::vector<Waypoint>& points = job.waypoints;
    if (points.empty())
        return 0;
    const std::uint16_t protocol = s.caps.trackProtocol;
    if (protocol == 0) {
        job.Error("E508 No track log protocol defined", title);
        return -1;
    }
    const int count = static_cast<int>(std::min<std::size_t>(points.size(), 0xFFFE));
    // A301 and A302 count the track header; both get one, so that the announced number of
    // records is the number sent.
    const bool header = protocol != 300;
    GarminPacket packet;
    MakeWordPacket(kPidRecords, static_cast<std::uint16_t>(header ? count + 1 : count), packet);
    if (SendAcknowledged(s, packet,
                         {"E500 Timeout while waiting for ack. packet",
                          "E500 COM port error while waiting for ack. packet", title},
                         "E501 Bad acknowledge packet type or format") != 0)
        return -1;
    if (header) {
        packet.Clear();
        packet.id = kPidTrackHeader;
        packet.data[0] = 1;  // displayed
        packet.data[1] = 0;  // colour
        const std::string name =
            (trackName.empty() ? std::string(points.front().Id()) : trackName).substr(0, 50);
        std::copy(name.begin(), name.end(), packet.data.begin() + 2);
        packet.size = static_cast<std::uint32_t>(name.size() + 3);
        if (SendAcknowledged(s, packet,
                             {"E502 Timeout while waiting for ack. packet",
                              "E502 COM port error while waiting for ack. packet", title},
                             "E503 Bad acknowledge packet type or format") != 0)
            return -1;
    }
    for (int i = 1; i <= count; ++i) {
        if (job.AbortRequested())
            return Aborted(s, true);
        if (i % 5 == 0) {
            job.Status(airspaceNumber != 0
                           ? FormatCount("CTR %: Sending point % of %", airspaceNumber, i, count)
                           : FormatCount("Sending point % of %", i, count));
        }
        const Waypoint& point = points[static_cast<std::size_t>(i - 1)];
        EncodeUploadPoint(point.latitude, point.longitude, protocol, s.caps.trackPointType, packet);
        if (SendAcknowledged(s, packet,
                             {"E504 Timeout while waiting for ack. packet",
                              "E504 COM port error while waiting for ack. packet", title},
                             "E505 Bad acknowledge packet type or format") != 0)
            return -1;
    }
    job.Status(airspaceNumber != 0
                   ? FormatCount("CTR %: Point % of % sent", airspaceNumber, count, count)
                   : FormatCount("Point % of % sent", count, count));
    MakeWordPacket(kPidTransferComplete, kCmdTransferTrack, packet);
    if (SendAcknowledged(s, packet,
                         {"E506 Timeout while waiting for ack. packet",
                          "E506 COM port error while waiting for ack. packet", title},
                         "E507 Bad acknowledge packet type or format", false) != 0)
        return -1;
    PowerOffIfAsked(s);
    return 0;
}

int PowerOff(GarminSession& s) {
    return SendWord(s, kPidCommand, kCmdPowerOff);
}

// ---------------------------------------------------------------- job routines

namespace {

// Opens the port and runs `body` on a session over the serial frames.
int OverSerial(GpsAccessJob& job, const std::function<int(GarminSession&)>& body) {
    if (job.OpenComPort(kBaud, false) != 0)
        return -1;
    SerialPacketLink link(job);
    GarminSession session{job, link, {}};
    if (ReadProductData(session) != 0)
        return -1;
    return body(session);
}

}  // namespace

int ReadTrackLogJob(GarminSession& s) {
    GpsAccessJob& job = s.job;
    if (job.competitionMode) {
        if (s.caps.waypointProtocol != 0) {
            if (ReadWaypoints(s, true) != 0)
                return -1;
        } else {
            job.competitionId = job.civlId = -1;
        }
    }
    return ReadTrackLog(s);
}

int WriteAirspaceJob(GarminSession& s) {
    GpsAccessJob& job = s.job;
    const std::vector<Waypoint> kept = std::move(job.waypoints);
    int result = 0;
    int number = 0;
    int firstEmpty = 0;
    for (const CtrArea& area : job.airspaces) {
        if (!area.selected)
            continue;
        ++number;
        std::vector<Waypoint> outline;
        if (openair::CtrToPolygon(area, number, openair::kDefaultMaxSegmentError, 0, outline) !=
                0 ||
            outline.empty()) {
            if (firstEmpty == 0)
                firstEmpty = number;
            continue;
        }
        job.waypoints = std::move(outline);
        result = WriteTrackLog(s, number, area.name);
        job.waypoints.clear();
        if (result != 0)
            break;
    }
    job.waypoints = kept;
    if (firstEmpty != 0)
        job.Error(FormatCount("No points for CTR % sent", firstEmpty), kCtrUploadTitle);
    return result;
}

int GarminReadWaypoints(GpsAccessJob& job) {
    return OverSerial(job, [](GarminSession& s) { return ReadWaypoints(s, false); });
}

int GarminReadTrackLog(GpsAccessJob& job) {
    return OverSerial(job, ReadTrackLogJob);
}

int GarminWriteWaypoints(GpsAccessJob& job) {
    return OverSerial(job, [](GarminSession& s) { return WriteWaypoints(s); });
}

int GarminWriteWaypointsAsTrack(GpsAccessJob& job) {
    return OverSerial(job, [](GarminSession& s) { return WriteTrackLog(s, 0, ""); });
}

int GarminWriteAirspace(GpsAccessJob& job) {
    return OverSerial(job, WriteAirspaceJob);
}

}  // namespace tracora::protocols::garmin
