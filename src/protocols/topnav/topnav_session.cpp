#include "protocols/topnav/topnav_session.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/notify_texts.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/track_log.hpp"
#include "device/io_status.hpp"
#include "formats/tnlog/tn_log.hpp"
#include "protocols/common/remaining_time.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/topnav/topnav_frames.hpp"

namespace tracora::protocols::topnav {

namespace {

using device::GpsAccessJob;
using Clock = std::chrono::steady_clock;

// Silence before the first byte (the pilot still has to start the transfer on the
// instrument) and between bytes once data flow.
constexpr int kMxpFirstSilenceMs = 10'000;
constexpr int kMxpSilenceMs = 2'000;
constexpr int kTnFirstSilenceMs = 30'000;
constexpr int kTnSilenceMs = 10'000;
constexpr int kWaypointSilenceMs = 10'000;
constexpr int kUploadPauseMs = 400;
constexpr std::size_t kReadBlock = 200;

const char* const kTrackTitle = "Read GPS track log";
const char* const kDecodeTitle = "Decode track log sentence";
const char* const kWaypointTitle = "Read GPS waypoints";
const char* const kUploadTitle = "Write GPS waypoints";

bool IsTopNavigator(GpsProtocol protocol) {
    return protocol == GpsProtocol::kTopNavigator || protocol == GpsProtocol::kTopNavigatorMxp;
}

int Aborted(GpsAccessJob& job) {
    job.Status("Transfer aborted");
    return -1;
}

// The end of a read that brought no byte: an abort, a lost line, or silence (kSilence).
int ReadFailed(GpsAccessJob& job, int status, const char* message, const char* title) {
    if (IsAbort(status))
        return Aborted(job);
    job.Error(message, title);
    return -1;
}

void FinishTrack(GpsAccessJob& job, std::vector<TrackPoint> points, std::vector<std::uint8_t> raw,
                 bool pressureAltitude) {
    DownloadedTrackLog& track = job.track;
    track.points = std::move(points);
    track.rawProtocolData = std::move(raw);
    track.sourceKind = kSourceKind;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = false;
    track.gRecordEligible = true;
    track.hasPressureAltitude = pressureAltitude;
    track.productName = job.productName;
    track.instrumentDescription = job.instrumentDescription;
    track.productText = job.productText;
}

void ClearCompetitionIds(GpsAccessJob& job) {
    if (job.competitionMode) {
        job.competitionId = -1;
        job.civlId = -1;
    }
}

// What the push-mode receive loops share: bytes without XON/XOFF, traced, kept in the raw log.
class PushReceiver {
public:
    explicit PushReceiver(GpsAccessJob& job) : receiver_(job) { raw_.reserve(1000); }
    // A byte, kSilence after `silenceMs` without one (first byte: `firstSilenceMs`), or an
    // I/O status.
    int Next(std::uint8_t& byte, int firstSilenceMs, int silenceMs) {
        const int got = receiver_.ReadByte(byte, any_ ? silenceMs : firstSilenceMs);
        if (got == kByteReceived) {
            any_ = true;
            raw_.push_back(byte);
        }
        return got;
    }
    bool Any() const { return any_; }
    std::vector<std::uint8_t> TakeRaw() { return std::move(raw_); }

private:
    SerialReceiver receiver_;
    std::vector<std::uint8_t> raw_;
    bool any_ = false;
};

int OpenPort(GpsAccessJob& job, int baud, bool xonXoff) {
    if (job.OpenComPort(baud, xonXoff) != 0)
        return -1;
    ClearCompetitionIds(job);
    return 0;
}

}  // namespace

int MxpReadTrackLogJob(GpsAccessJob& job) {
    const bool topNav = job.protocol == GpsProtocol::kTopNavigatorMxp;
    job.productName = topNav                                       ? "TopNav"
                      : job.protocol == GpsProtocol::kXcTrainerMxp ? "XcTrainer"
                                                                   : "Unknown";
    if (OpenPort(job, kMxpBaud, !topNav) != 0)
        return -1;
    job.Trace().Clear();
    job.Status("Waiting for data");
    const MxpModel model = topNav ? MxpModel::kTopNavigator : MxpModel::kXcTrainer;
    MxpDecoder decoder(model, topNav ? tnlog::TnUtcOffset() : 0);
    LineAssembler assembler;
    PushReceiver receiver(job);
    std::vector<TrackPoint> points;
    points.reserve(1000);
    PositionPacer positions(job.sendLogSeconds);
    Clock::time_point headerAt = Clock::now();
    bool headerParsed = false;
    for (;;) {
        std::uint8_t byte = 0;
        const int got = receiver.Next(byte, kMxpFirstSilenceMs, kMxpSilenceMs);
        if (got == kSilence)
            break;
        if (got != kByteReceived)
            return ReadFailed(job, got, "E201 COM port read error", kTrackTitle);
        const LineAssembler::Result fed = assembler.Feed(byte);
        if (fed == LineAssembler::kTooLong) {
            job.Error(MxpErrorText(-1), kDecodeTitle);
            return -1;
        }
        if (fed != LineAssembler::kComplete)
            continue;
        int result = 0;
        if (!decoder.HeaderSeen()) {
            result = decoder.ParseHeader(assembler.Text());
            if (result >= 0) {
                headerParsed = true;
                headerAt = Clock::now();
                job.instrumentDescription = decoder.Description().substr(0, 80);
                job.Status2(job.instrumentDescription);
            }
        } else {
            TrackPoint point;
            result = decoder.ParsePosition(assembler.Text(), point);
            if (result >= 0) {
                points.push_back(point);
                if (positions.Enabled()) {
                    if (std::optional<std::string> text = positions.Offer(point))
                        job.Notify(*text);
                }
            }
        }
        if (result < 0) {
            job.Error(MxpErrorText(result), kDecodeTitle);
            return result;
        }
        if (result == 0)
            break;
        const auto stored = static_cast<long long>(points.size());
        if (stored > 0 && stored % 100 == 0) {
            DownloadProgress progress;
            progress.elapsedMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - headerAt)
                    .count();
            progress.expectedPoints = decoder.Header().positions;
            progress.receivedPoints = stored;
            const int left = ReportTrackProgress(job, progress);
            job.Status(FormatCount("Track position % of % (%m %s)", stored,
                                   decoder.Header().positions, left / 60, left % 60));
            job.Notify(FormatCount("Progress %/%", stored, decoder.Header().positions));
        }
    }
    // A transfer that brought no header is no track log: the current one must stay.
    if (!headerParsed) {
        job.Error("E203 No data received", kTrackTitle);
        return -1;
    }
    if (points.empty()) {
        job.Error("No points detected", kTrackTitle);
        return -1;
    }
    job.Status(FormatCount("% points received", static_cast<long long>(points.size())));
    if (static_cast<int>(points.size()) < decoder.Header().positions) {
        job.Error(FormatCount("Only % of % track positions received",
                              static_cast<long long>(points.size()), decoder.Header().positions),
                  kTrackTitle);
    }
    DownloadProgress whole;
    whole.expectedPoints = decoder.Header().positions;
    CompleteTrackProgress(job, whole);
    job.productText =
        (job.productName + ": " + std::to_string(decoder.Header().serial)).substr(0, 53);
    FinishTrack(job, std::move(points), receiver.TakeRaw(), decoder.Header().altitudeFormat != 1);
    return 0;
}

int TnReadTrackLogJob(GpsAccessJob& job) {
    const bool topNav = job.protocol == GpsProtocol::kTopNavigator;
    if (OpenPort(job, topNav ? kTncmBaud : kMxpBaud, !topNav) != 0)
        return -1;
    job.Trace().Clear();
    job.Status2(topNav ? "Top Navigator" : "XC Trainer");
    job.productName = topNav ? "TopNav" : "XcTrainer";
    job.instrumentDescription = job.productName;
    job.Status("Waiting for data");
    tnlog::TnLogParser parser(!topNav, tnlog::TnUtcOffset());
    LineAssembler assembler;
    PushReceiver receiver(job);
    PositionPacer positions(job.sendLogSeconds);
    std::size_t reported = 0;
    for (;;) {
        std::uint8_t byte = 0;
        const int got = receiver.Next(byte, kTnFirstSilenceMs, kTnSilenceMs);
        if (got == kSilence) {
            // The unit stopped before "@EOF" (or never started): a run must not wait forever.
            job.Error(receiver.Any() ? "E204 Transfer stopped before the end of the log"
                                     : "E203 No data received",
                      kTrackTitle);
            return -1;
        }
        if (got != kByteReceived)
            return ReadFailed(job, got, "E201 COM port read error", kTrackTitle);
        const LineAssembler::Result fed = assembler.Feed(byte);
        if (fed == LineAssembler::kTooLong) {
            job.Error("E203 Too long sentence", kTrackTitle);
            return -1;
        }
        if (fed != LineAssembler::kComplete)
            continue;
        const int result = parser.ProcessLine(assembler.Text());
        if (result < 0) {
            job.Error(FormatCount("E202 Format error %", -result), kTrackTitle);
            return result;
        }
        const std::vector<TrackPoint>& points = parser.Points();
        if (points.size() != reported) {
            for (std::size_t i = reported; i < points.size() && positions.Enabled(); ++i) {
                if (std::optional<std::string> text = positions.Offer(points[i]))
                    job.Notify(*text);
            }
            reported = points.size();
            job.Status(FormatCount("% points received", static_cast<long long>(reported)));
            job.Notify(FormatCount("Progress %/?", static_cast<long long>(reported)));
        }
        if (result == 0)
            break;
    }
    std::vector<TrackPoint> points = parser.TakePoints();
    job.Status(FormatCount("% points received", static_cast<long long>(points.size())));
    if (points.empty()) {
        job.Error("No points detected", kTrackTitle);
        return -1;
    }
    if (parser.ErrorBlocks() > 0)
        job.Error(FormatCount("Error(s) in % block(s) ignored", parser.ErrorBlocks()), kTrackTitle);
    job.productText = (job.productName + ": " + std::to_string(parser.UnitNumber())).substr(0, 53);
    FinishTrack(job, std::move(points), receiver.TakeRaw(), parser.AltitudeFormat() != 1);
    return 0;
}

int XcTrainerReadWaypointsJob(GpsAccessJob& job) {
    if (OpenPort(job, kWaypointBaud, false) != 0)
        return -1;
    const std::uint32_t now = CurrentTime();
    job.productName = "XC Trainer";
    job.Status("Waiting for data");
    job.Status2("XC Trainer");
    std::vector<Waypoint> waypoints;
    WaypointRecord record{};
    std::size_t filled = 0;
    std::uint8_t block[kReadBlock];
    for (;;) {
        if (job.AbortRequested())
            return Aborted(job);
        // Binary records: every byte counts, XON and XOFF included.
        const int got = job.ReadBytes(block, kWaypointSilenceMs);
        if (got == 0)
            break;
        if (got < 0)
            return ReadFailed(job, got, "E301 COM port read error", kWaypointTitle);
        for (int i = 0; i < got; ++i) {
            job.Trace().Byte(block[i]);
            record[filled++] = block[i];
            if (filled < record.size())
                continue;
            filled = 0;
            Waypoint waypoint;
            if (const int decoded = DecodeWaypointRecord(record, now, waypoint); decoded != 0) {
                job.Error(FormatCount("E302 Format error %", -decoded), kWaypointTitle);
                return -1;
            }
            waypoints.push_back(waypoint);
            if (job.WriteText(kWaypointAck) != 0) {
                if (job.AbortRequested())
                    return Aborted(job);
                job.Error("E304 COM port write error", kWaypointTitle);
                return -1;
            }
            job.Status(
                FormatCount("% waypoints received", static_cast<long long>(waypoints.size())));
        }
    }
    if (waypoints.empty())
        return Aborted(job);
    job.waypoints = std::move(waypoints);
    return 0;
}

int TnReadWaypointsJob(GpsAccessJob& job) {
    if (OpenPort(job, kWaypointBaud, false) != 0)
        return -1;
    const std::uint32_t now = CurrentTime();
    job.productName = "Top Navigator";
    job.Status("Waiting for data");
    job.Status2("Top Navigator");
    std::vector<Waypoint> waypoints;
    LineAssembler assembler;
    PushReceiver receiver(job);
    for (;;) {
        std::uint8_t byte = 0;
        const int got = receiver.Next(byte, kTnFirstSilenceMs, kTnSilenceMs);
        if (got == kSilence) {
            job.Error(receiver.Any() ? "E305 Transfer stopped before the end of the list"
                                     : "E303 No data received",
                      kWaypointTitle);
            return -1;
        }
        if (got != kByteReceived)
            return ReadFailed(job, got, "E301 COM port read error", kWaypointTitle);
        const LineAssembler::Result fed = assembler.Feed(byte);
        if (fed == LineAssembler::kTooLong) {
            job.Error(FormatCount("E302 Format error %", 1), kWaypointTitle);
            return -1;
        }
        if (fed != LineAssembler::kComplete)
            continue;
        if (assembler.Text() == "@EOF")
            break;
        Waypoint waypoint;
        if (ParseTnWaypointLine(assembler.Text(), now, waypoint)) {
            waypoints.push_back(waypoint);
            job.Status(
                FormatCount("% waypoints received", static_cast<long long>(waypoints.size())));
        }
        if (job.WriteText(kWaypointAck) != 0) {
            if (job.AbortRequested())
                return Aborted(job);
            job.Error("E304 COM port write error", kWaypointTitle);
            return -1;
        }
    }
    if (waypoints.empty()) {
        job.Status("No waypoints received");
        return -1;
    }
    job.waypoints = std::move(waypoints);
    return 0;
}

int TnWriteWaypointsJob(GpsAccessJob& job) {
    const bool xcTrainer = job.protocol == GpsProtocol::kXcTrainer;
    if (OpenPort(job, kWaypointBaud, xcTrainer) != 0)
        return -1;
    job.productName = IsTopNavigator(job.protocol) ? "Top Navigator" : "XC Trainer";
    const auto total = static_cast<long long>(job.waypoints.size());
    long long sent = 0;
    for (const Waypoint& waypoint : job.waypoints) {
        if (job.AbortRequested()) {
            job.Status(FormatCount("% waypoints sent", sent));
            return -1;
        }
        const WaypointRecord record = EncodeWaypointRecord(waypoint);
        if (job.WriteBytes(record) != 0) {
            job.Status(FormatCount("% waypoints sent", sent));
            if (job.AbortRequested())
                return -1;
            job.Error("E402 COM port write error", kUploadTitle);
            return -1;
        }
        ++sent;
        job.Status(FormatCount("Waypoint % sent", sent));
        job.Progress(sent, total);
        job.Notify(FormatCount("Sent wpt %/%", sent, total));
        if (!job.Pause(kUploadPauseMs)) {
            job.Status(FormatCount("% waypoints sent", sent));
            return -1;
        }
    }
    job.Status(FormatCount("% waypoints sent", sent));
    return 0;
}

}  // namespace tracora::protocols::topnav
