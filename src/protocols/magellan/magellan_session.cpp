#include "protocols/magellan/magellan_session.hpp"

#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/track_log.hpp"
#include "protocols/common/pilot_ids.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/magellan/magellan_frames.hpp"

namespace tracora::protocols::magellan {

namespace {

using device::GpsAccessJob;
using Clock = SerialReceiver::Clock;

constexpr int kVersionAttemptMs = 2000;
// A download ends after this long without a complete sentence.
constexpr int kDownloadSilenceMs = 1000;
constexpr int kQuietLineMs = 500;
constexpr int kPauseAfterVersionMs = 500;
constexpr int kPauseAfterUploadMs = 300;

constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kUploadTitle = "Write GPS waypoints";
const std::string kAborted = "Transfer aborted";

int Aborted(GpsAccessJob& job) {
    job.Status(kAborted);
    return -1;
}

// Version request until a version answer arrives or the job's time is used. 0 or -1.
int ReadProductData(GpsAccessJob& job, VersionAnswer& version) {
    job.Status2("");
    if (job.OpenComPort(kBaud, false) != 0)
        return -1;
    const int totalSeconds = job.openAttempts > 0 ? job.openAttempts : 30;
    // What an aborted download left on the line is not the answer.
    if (job.DiscardStaleInput(kQuietLineMs, totalSeconds * 1000) != 0)
        return -1;
    SerialReceiver receiver(job);
    SentenceReceiver sentences;
    bool found = false;
    for (int used = 0; used < totalSeconds && !found; used += kVersionAttemptMs / 1000) {
        job.Status(FormatCount("Requesting product info (%)", (totalSeconds - used + 1) / 2));
        if (job.AbortRequested())
            return Aborted(job);
        if (job.WriteText(kVersionRequest) != 0) {
            if (job.AbortRequested())
                return Aborted(job);
            job.Error("COM port write error", "Requesting GPS product data");
            return -1;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(kVersionAttemptMs);
        sentences.Reset();
        for (;;) {
            std::uint8_t byte = 0;
            const int rc = receiver.ReadByteUntil(byte, deadline);
            if (rc < 0) {
                if (IsAbort(rc))
                    return Aborted(job);
                job.Error("COM port read error", "Reading product data");
                return -1;
            }
            if (rc == kSilence)
                break;
            if (sentences.Feed(byte) == 0 && ParseVersion(sentences.Body(), version) == 0) {
                found = true;
                break;
            }
        }
    }
    if (!found) {
        job.Error("No valid response from GPS", "Get GPS product data");
        return -1;
    }
    job.instrumentDescription = InstrumentDescription(version);
    job.Status2(job.instrumentDescription);
    job.Status("Product data read");
    if (!job.Pause(kPauseAfterVersionMs))
        return Aborted(job);
    job.productName = "Magellan";
    job.productText = FormatCount("Magellan: %", version.productId);
    job.track.productName = job.productName;
    job.track.instrumentDescription = job.instrumentDescription;
    job.track.productText = job.productText;
    return 0;
}

// What a download does with each complete sentence: 0 go on, 1 the download is complete, or a
// negative parser result (the error number negated).
template <typename Handler>
int CollectSentences(GpsAccessJob& job, const char* readError, const char* formatError,
                     const char* title, Handler handle) {
    SerialReceiver receiver(job);
    SentenceReceiver sentences;
    auto deadline = Clock::now() + std::chrono::milliseconds(kDownloadSilenceMs);
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByteUntil(byte, deadline);
        if (rc < 0) {
            if (IsAbort(rc)) {
                job.Status(kAborted);
                job.WriteText(kStopCommand);
                return -1;
            }
            job.Error(readError, title);
            return -1;
        }
        if (rc == kSilence) {
            job.WriteText(kStopCommand);
            // Silence inside a sentence is a unit that froze or a cable that came loose, not
            // the end of the list: what came so far is not the whole list.
            if (sentences.InsideSentence()) {
                job.Error(
                    "E207 The instrument stopped answering in the middle of a sentence; "
                    "nothing was kept",
                    title);
                return -1;
            }
            return 0;
        }
        const int got = sentences.Feed(byte);
        if (got > 0)
            continue;
        if (got < 0) {
            job.Error(FormatCount(formatError, -got), title);
            return -1;
        }
        deadline = Clock::now() + std::chrono::milliseconds(kDownloadSilenceMs);
        if (IsEndOfDownload(sentences.Body()))
            return 0;
        const int handled = handle(sentences.Body());
        if (handled < 0)
            return handled;
    }
}

int ReadWaypointList(GpsAccessJob& job, bool scanOnly, competition::PilotIds& ids) {
    const std::uint32_t readTime = CurrentTime();
    std::vector<Waypoint> waypoints;
    if (!scanOnly)
        waypoints.reserve(20);
    job.Status("Requesting waypoints");
    if (job.WriteText(kWaypointRequest) != 0) {
        if (job.AbortRequested())
            return Aborted(job);
        job.Error("E302 COM port write error", kTrackTitle);
        return -1;
    }
    int received = 0;
    const int rc = CollectSentences(
        job, "E303 COM port read error", "E305 Format error %", kTrackTitle,
        [&](const std::string& body) {
            if (SentenceName(body) != "PMGNWPL")
                return 0;
            Waypoint waypoint;
            const int parsed = ParseWaypoint(body, waypoint);
            if (parsed < 0) {
                job.Error(FormatCount("E304 Format error %", -parsed), kTrackTitle);
                return -1;
            }
            waypoint.time = readTime;
            waypoint.kind = kWaypointKindPoint;
            ++received;
            if (scanOnly)
                competition::DecodeIdWaypoint(waypoint, job.compSpecial, ids);
            else
                waypoints.push_back(waypoint);
            return 0;
        });
    if (rc != 0)
        return -1;
    // The scan keeps nothing: finding no ID is no failure.
    if (scanOnly)
        return 0;
    job.Status(FormatCount("% waypoints received", received));
    if (received == 0) {
        job.Error("No waypoints received", kTrackTitle);
        return -1;
    }
    job.waypoints = std::move(waypoints);
    return 0;
}

}  // namespace

int MagellanReadTrackLog(GpsAccessJob& job) {
    try {
        VersionAnswer version;
        if (ReadProductData(job, version) != 0)
            return -1;
        if (job.competitionMode) {
            competition::PilotIds ids;
            if (ReadWaypointList(job, true, ids) != 0)
                return -1;
            AdoptPilotIds(job, ids);
        }
        if (const std::string_view refusal = TrackLogRefusal(version); !refusal.empty()) {
            job.Error(std::string(refusal), kTrackTitle);
            return -1;
        }
        std::vector<TrackPoint> points;
        points.reserve(200);
        job.Status("Requesting track log");
        if (job.WriteText(kTrackRequest) != 0) {
            if (job.AbortRequested())
                return Aborted(job);
            job.Error("E203 COM port write error", kTrackTitle);
            return -1;
        }
        const int rc = CollectSentences(
            job, "E204 COM port read error", "E206 Format error %", kTrackTitle,
            [&](const std::string& body) {
                if (SentenceName(body) != "PMGNTRK")
                    return 0;
                TrackPoint point;
                const int parsed = ParseTrackPoint(body, point);
                if (parsed < 0) {
                    job.Error(FormatCount("E205 Format error %", -parsed), kTrackTitle);
                    return -1;
                }
                if (parsed == 0)
                    return 0;
                if (points.empty())
                    point.flags = TrackPoint::kSegmentStart;
                points.push_back(point);
                if (points.size() % 10 == 0) {
                    job.Status(
                        FormatCount("% points received", static_cast<long long>(points.size())));
                    job.Notify(FormatCount("Progress %/?", static_cast<long long>(points.size())));
                }
                return 0;
            });
        if (rc != 0)
            return -1;
        job.Status(FormatCount("% points received", static_cast<long long>(points.size())));
        if (points.empty()) {
            // An empty log is a failed download: say so rather than end without a word.
            job.Error("No track points received", kTrackTitle);
            return -1;
        }
        DownloadedTrackLog& track = job.track;
        track.points = std::move(points);
        track.sourceKind = kSourceKind;
        track.protocol = ProtocolNumber(job.protocol);
        track.timeIsUtc = false;
        track.gRecordEligible = true;
        track.hasPressureAltitude = false;
        return 0;
    } catch (const std::bad_alloc&) {
        job.Error("E202 Track log memory allocation", kTrackTitle);
        return -1;
    }
}

int MagellanReadWaypoints(GpsAccessJob& job) {
    try {
        VersionAnswer version;
        if (ReadProductData(job, version) != 0)
            return -1;
        competition::PilotIds unused;
        return ReadWaypointList(job, false, unused);
    } catch (const std::bad_alloc&) {
        job.Error("E301 Waypoint memory allocation", kTrackTitle);
        return -1;
    }
}

int MagellanWriteWaypoints(GpsAccessJob& job) {
    VersionAnswer version;
    if (ReadProductData(job, version) != 0)
        return -1;
    const auto total = static_cast<long long>(job.waypoints.size());
    long long sent = 0;
    for (const Waypoint& waypoint : job.waypoints) {
        if (job.AbortRequested()) {
            job.Status(FormatCount("% waypoints sent", sent));
            job.WriteText(kEndCommand);
            return -1;
        }
        if (job.WriteText(WaypointUploadSentence(waypoint)) != 0) {
            if (job.AbortRequested()) {
                job.Status(FormatCount("% waypoints sent", sent));
                job.WriteText(kEndCommand);
            } else {
                job.Error(FormatCount("% waypoints sent", sent + 1), kUploadTitle);
            }
            return -1;
        }
        ++sent;
        job.Status(FormatCount("Waypoint % sent", sent));
        job.Progress(sent, total);
        job.Notify(FormatCount("Sent wpt %/%", sent, total));
        if (!job.Pause(kPauseAfterUploadMs)) {
            job.Status(FormatCount("% waypoints sent", sent));
            job.WriteText(kEndCommand);
            return -1;
        }
    }
    job.Status(FormatCount("% waypoints sent", sent));
    if (job.WriteText(kEndCommand) != 0) {
        job.Error("COM port write error", kUploadTitle);
        return -1;
    }
    return 0;
}

}  // namespace tracora::protocols::magellan
