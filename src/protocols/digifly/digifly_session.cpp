#include "protocols/digifly/digifly_session.hpp"

#include <chrono>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/notify_texts.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "protocols/common/flight_list.hpp"
#include "protocols/common/pilot_ids.hpp"
#include "protocols/common/product_data.hpp"
#include "protocols/common/remaining_time.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/common/track_joiner.hpp"
#include "protocols/digifly/digifly_frames.hpp"

namespace tracora::protocols::digifly {

namespace {

using device::GpsAccessJob;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kAborted = "Transfer aborted";
constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kListTitle = "Read GPS track list";
constexpr const char* kWaypointTitle = "Read GPS waypoints";
constexpr const char* kUploadTitle = "Write GPS waypoints";

constexpr std::size_t kProductLineChars = 119;
constexpr int kListSilenceMs = 1000;
constexpr int kAnswerSilenceMs = 2000;
constexpr int kPauseBeforeTrackMs = 500;
constexpr std::size_t kFirstTrackCapacity = 2000;
constexpr int kPositionReportEvery = 30;
constexpr int kReadsPerCountdownStep = 19;
constexpr int kSourceKind = 12;

int Aborted(GpsAccessJob& job) {
    job.Status(std::string(kAborted));
    return -1;
}

template <typename Routine>
int Guarded(GpsAccessJob& job, const char* message, const char* title, Routine routine) {
    try {
        return routine();
    } catch (const std::bad_alloc&) {
        job.Error(message, title);
        return -1;
    }
}

// Port and product data; the instrument's names go to the job. 0 or -1 (reported).
int Connect(GpsAccessJob& job) {
    if (job.OpenComPort(LineBaud(job.parameter), false) != 0) {
        return -1;
    }
    std::vector<std::string> fields;
    const ProductDataRequest request{kProductRequest, kProductIdentifier, 5, kProductLineChars};
    if (ExchangeProductData(job, request, fields) != 0) {
        return -1;
    }
    DigiflyProduct product;
    if (DecodeProductData(fields, product) != 0) {
        job.Error("Bad/missing user name", "Reading product data");
        return -1;
    }
    job.Status("Product data read");
    job.Status2(product.product + ", SN" + product.serial + ", SW" + product.software);
    job.productName = std::string(DisplayName(job.parameter));
    job.instrumentDescription = DeviceDescription(job.parameter, product);
    job.productText = DeviceIdentifier(job.parameter, product);
    // An answer to an earlier attempt that arrived meanwhile must not be read as the answer to
    // the next request.
    job.DiscardInput();
    return 0;
}

// The memory read exchange: one request, its answer checked byte by byte.
class MemoryReader {
public:
    explicit MemoryReader(GpsAccessJob& job) : job_(job), receiver_(job, false) {}

    // 0 with the bytes in `out`, or one of the codes 10-21 of the exchange.
    int Read(int type, int page, int offset, int length, std::vector<std::uint8_t>& out) {
        parser_.Reset();
        if (job_.WriteText(ReadRequest(type, page, offset, length)) != 0) {
            return job_.AbortRequested() ? kReadAborted : kReadWriteFailed;
        }
        for (;;) {
            std::uint8_t byte = 0;
            const int rc = receiver_.ReadByte(byte, kAnswerSilenceMs);
            if (rc == kSilence) {
                return kReadTimeout;
            }
            if (rc < 0) {
                return IsAbort(rc) ? kReadAborted : kReadPortError;
            }
            const int parsed = parser_.Feed(byte);
            if (parsed == 0) {
                continue;
            }
            if (parsed != 1) {
                return parsed;
            }
            if (parser_.Bytes().size() != static_cast<std::size_t>(length)) {
                return kAnswerWrongLength;
            }
            out = parser_.Bytes();
            return 0;
        }
    }

    SerialReceiver& Receiver() { return receiver_; }

private:
    GpsAccessJob& job_;
    SerialReceiver receiver_;
    MemoryAnswerParser parser_;
};

// The flight list, newest first, into job.flights and `entries` (the same order). 0 when a
// flight is listed, else -1 (reported).
int ReadFlightList(GpsAccessJob& job, std::vector<FlightEntry>& entries) {
    job.flights.start.fill(0);
    job.flights.duration.fill(0);
    job.Status("Requesting track list");
    if (job.WriteText(kFlightListRequest) != 0) {
        if (job.AbortRequested()) {
            return Aborted(job);
        }
        job.Error("COM port write error", kListTitle);
        return -1;
    }
    SerialReceiver receiver(job, false);
    FlightListParser parser;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByte(byte, kListSilenceMs);
        if (rc == kSilence) {
            job.Error("Timeout reading flight list data", kListTitle);
            return -1;
        }
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("COM port read error", kListTitle);
            return -1;
        }
        const int parsed = parser.Feed(byte);
        if (parsed < 0) {
            job.Error(FlightListParserText(parsed), kListTitle);
            return -1;
        }
        if (parsed == 1) {
            break;
        }
    }
    entries = NewestFirst(parser.Entries());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        job.flights.start[i] = entries[i].start;
        job.flights.duration[i] = entries[i].end - entries[i].start;
    }
    job.Status(FormatCount("% tracks found", static_cast<long long>(entries.size())));
    return entries.empty() ? -1 : 0;
}

// Reads the 186 records of the waypoint list at `firstPage` into `image`. "Reading waypoints
// (%)" counts down from 10. 0 or -1 (reported).
int ReadWaypointImage(GpsAccessJob& job, MemoryReader& reader, int firstPage,
                      const char* progressText, const char* title,
                      std::vector<std::uint8_t>& image) {
    image.clear();
    image.reserve(static_cast<std::size_t>(kWaypointRecords) * kWaypointRecordSize);
    std::vector<std::uint8_t> record;
    for (int i = 0; i < kWaypointRecords; ++i) {
        if (i % kReadsPerCountdownStep == 0) {
            job.Status(FormatCount(progressText, 10 - i / kReadsPerCountdownStep));
        }
        const int code =
            reader.Read(kWaypointMemory, firstPage + i / kWaypointsPerPage,
                        i % kWaypointsPerPage * kWaypointRecordSize, kWaypointRecordSize, record);
        if (code == kReadAborted) {
            return Aborted(job);
        }
        if (code != 0) {
            job.Error(FormatCount("Error % reading waypoint data", code), title);
            return -1;
        }
        image.insert(image.end(), record.begin(), record.end());
    }
    return 0;
}

int WaypointPage(bool competitionList) {
    return competitionList ? kCompWaypointPage : kUserWaypointPage;
}

// The waypoint list at `firstPage`: into job.waypoints, or in identification mode into `ids`.
// 0 or -1 (reported).
int ReadWaypointList(GpsAccessJob& job, int firstPage, bool identification,
                     competition::PilotIds& ids) {
    const std::uint32_t now = CurrentTime();
    MemoryReader reader(job);
    std::vector<std::uint8_t> image;
    if (ReadWaypointImage(job, reader, firstPage, "Reading waypoints (%)", kWaypointTitle, image) !=
        0) {
        return -1;
    }
    std::vector<Waypoint> waypoints;
    waypoints.reserve(20);
    int found = 0;
    for (std::size_t at = 0; at + kWaypointRecordSize <= image.size(); at += kWaypointRecordSize) {
        const std::optional<Waypoint> waypoint =
            DecodeWaypointRecord(std::span(image).subspan(at, kWaypointRecordSize), now);
        if (!waypoint) {
            continue;
        }
        ++found;
        if (identification) {
            competition::DecodeIdWaypoint(*waypoint, job.compSpecial, ids);
        } else {
            waypoints.push_back(*waypoint);
        }
    }
    job.Status(FormatCount("% waypoints received", found));
    if (identification) {
        return 0;
    }
    job.Notify(WaypointCountText(found));
    job.waypoints = std::move(waypoints);
    return found > 0 ? 0 : -1;
}

// Progress of the point just received.
struct TrackProgress {
    Clock::time_point firstPointAt;
    PositionPacer positions;
    // The last estimate (its listed duration set from the start).
    DownloadProgress estimate;
};

void ReportPoint(GpsAccessJob& job, const std::vector<TrackPoint>& points,
                 TrackProgress& progress) {
    if (progress.positions.Enabled()) {
        if (std::optional<std::string> text = progress.positions.Offer(points.back())) {
            job.Notify(*text);
        }
    }
    const auto count = static_cast<long long>(points.size());
    if (count == 1) {
        progress.firstPointAt = Clock::now();
        job.Status("Receiving track log");
        return;
    }
    if (count % kPositionReportEvery != 0) {
        return;
    }
    DownloadProgress& estimate = progress.estimate;
    estimate.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - progress.firstPointAt)
            .count();
    estimate.receivedPoints = count;
    estimate.firstPointTime = points.front().time;
    estimate.lastPointTime = points.back().time;
    const int seconds = ReportTrackProgress(job, estimate);
    job.Status(FormatCount("Track position % (%m %s)", count, seconds / 60, seconds % 60));
    job.Notify(FormatCount("Progress %/?", count));
}

// One listed flight from track memory into `points`. 0 or -1 (reported).
int DownloadTrack(GpsAccessJob& job, MemoryReader& reader, int index, const FlightEntry& entry,
                  std::vector<TrackPoint>& points) {
    job.Status(FormatCount("Requesting track log %", index + 1));
    if (!job.Pause(kPauseBeforeTrackMs)) {
        return Aborted(job);
    }
    TrackProgress progress{Clock::now(), PositionPacer(job.sendLogSeconds), {}};
    progress.estimate.listedDurationSeconds = job.flights.duration[static_cast<std::size_t>(index)];
    points.clear();
    points.reserve(kFirstTrackCapacity);
    TrackWalk walk(entry.startAddress, entry.endAddress);
    std::vector<std::uint8_t> bytes;
    for (;;) {
        MemoryRead read;
        const int next = walk.Next(read);
        if (next == 0) {
            break;
        }
        const int code = next == 1
                             ? reader.Read(kTrackMemory, read.page, read.offset, read.length, bytes)
                             : next;
        if (code == kReadAborted) {
            return Aborted(job);
        }
        if (code != 0) {
            job.Error(FormatCount("Error % reading track log", code), kTrackTitle);
            return -1;
        }
        walk.Advance(read);
        for (std::size_t at = 0; at + kTrackRecordSize <= bytes.size(); at += kTrackRecordSize) {
            if (points.size() == points.capacity()) {
                points.reserve(points.size() * 2);
            }
            points.push_back(
                ToTrackPoint(DecodeTrackRecord(std::span(bytes).subspan(at, kTrackRecordSize))));
            ReportPoint(job, points, progress);
        }
    }
    job.Status(FormatCount("% points received", static_cast<long long>(points.size())));
    if (points.empty()) {
        job.Error("No points detected", kTrackTitle);
        return -1;
    }
    CompleteTrackProgress(job, progress.estimate);
    return 0;
}

// Waits for the instrument's answer to a write. True for "$PDGFWMM*42"; false for silence or
// another answer; nothing when the job was aborted.
std::optional<bool> WaitForWriteAnswer(SerialReceiver& receiver) {
    NmeaLineCollector collector(kWriteAnswer.size() + 8);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerSilenceMs);
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByteUntil(byte, deadline);
        if (rc == kSilence) {
            return false;
        }
        if (rc < 0) {
            if (IsAbort(rc)) {
                return std::nullopt;
            }
            return false;
        }
        if (collector.Feed(byte)) {
            return collector.Line() == kWriteAnswer;
        }
    }
}

}  // namespace

int DigiflyReadTrackLog(GpsAccessJob& job) {
    return Guarded(job, "Track log memory allocation", kTrackTitle, [&job] {
        if (Connect(job) != 0) {
            return -1;
        }
        job.competitionId = -1;
        job.civlId = -1;
        if (job.competitionMode) {
            competition::PilotIds ids;
            if (ReadWaypointList(job, WaypointPage(true), true, ids) != 0) {
                return -1;
            }
            AdoptPilotIds(job, ids);
        }
        std::vector<FlightEntry> entries;
        if (ReadFlightList(job, entries) != 0) {
            return -1;
        }
        const std::vector<int> indexes = SelectFlights(job, kTrackTitle);
        if (indexes.empty()) {
            return -1;
        }
        MemoryReader reader(job);
        std::vector<TrackPoint> joined;
        std::vector<TrackPoint> points;
        for (const int index : indexes) {
            if (DownloadTrack(job, reader, index, entries[static_cast<std::size_t>(index)],
                              points) != 0) {
                return -1;
            }
            if (JoinTrack(joined, std::move(points)) != 0) {
                job.Error(kOverlappingTracks, kTrackTitle);
                return -1;
            }
        }
        if (indexes.size() > 1) {
            job.Status(FormatCount("% points received", static_cast<long long>(joined.size())));
        }
        DownloadedTrackLog& track = job.track;
        track.points = std::move(joined);
        track.sourceKind = kSourceKind;
        track.protocol = ProtocolNumber(job.protocol);
        track.timeIsUtc = true;
        track.gRecordEligible = true;
        track.hasPressureAltitude = true;
        track.productName = job.productName;
        track.instrumentDescription = job.instrumentDescription;
        track.productText = job.productText;
        return 0;
    });
}

int DigiflyReadFlightList(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kListTitle, [&job] {
        std::vector<FlightEntry> entries;
        if (Connect(job) != 0 || ReadFlightList(job, entries) != 0) {
            return -1;
        }
        job.Notify(FlightListText(FlightListSlots(job.flights)));
        return 0;
    });
}

int DigiflyReadWaypoints(GpsAccessJob& job) {
    return Guarded(job, "Waypoint memory allocation", kWaypointTitle, [&job] {
        if (Connect(job) != 0) {
            return -1;
        }
        const bool competitionList = job.competitionMode || UsesCompetitionList(job.parameter);
        competition::PilotIds unused;
        return ReadWaypointList(job, WaypointPage(competitionList), false, unused);
    });
}

int DigiflyWriteWaypoints(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kUploadTitle, [&job] {
        if (Connect(job) != 0) {
            return -1;
        }
        const int firstPage = WaypointPage(UsesCompetitionList(job.parameter));
        MemoryReader reader(job);
        std::vector<std::uint8_t> image;
        if (ReadWaypointImage(job, reader, firstPage, "Reading current waypoints (%)", kUploadTitle,
                              image) != 0) {
            return -1;
        }
        const UploadPlan plan = PlanWaypointUpload(image, job.waypoints);
        if (plan.usedBefore >= kWaypointRecords) {
            job.Error("Waypoint buffer in GPS full", kUploadTitle);
            return -1;
        }
        if (static_cast<std::size_t>(plan.added) < job.waypoints.size()) {
            job.Status(FormatCount("% waypoints do not fit into the list and are not sent",
                                   static_cast<long long>(job.waypoints.size()) - plan.added));
        }
        const long long total = plan.recordsToWrite;
        long long sent = 0;
        long long errors = 0;
        auto shownAt = Clock::now() - std::chrono::seconds(1);
        for (const auto& [first, count] : WriteChunks(plan.recordsToWrite)) {
            const auto from = static_cast<std::size_t>(first) * kWaypointRecordSize;
            const auto size = static_cast<std::size_t>(count) * kWaypointRecordSize;
            const std::string request =
                WriteRequest(firstPage + first / kWaypointsPerPage,
                             first % kWaypointsPerPage * kWaypointRecordSize,
                             std::span(image).subspan(from, size));
            if (job.WriteText(request) != 0) {
                if (job.AbortRequested()) {
                    Aborted(job);
                    job.Status(FormatCount("% waypoints sent", sent));
                    return -1;
                }
                job.Error(FormatCount("% waypoints sent", sent), kUploadTitle);
                return -1;
            }
            sent += count;
            const std::optional<bool> answered = WaitForWriteAnswer(reader.Receiver());
            if (!answered) {
                Aborted(job);
                job.Status(FormatCount("% waypoints sent", sent));
                return -1;
            }
            if (!*answered) {
                ++errors;
            }
            if (Clock::now() - shownAt >= std::chrono::seconds(1) || sent == total) {
                shownAt = Clock::now();
                job.Status(FormatCount("Waypoint % of % sent", sent, total));
                job.Notify(FormatCount("Sent wpt %/%", sent, total));
                job.Progress(sent, total);
            }
        }
        const std::string outcome =
            FormatCount("% wpts sent (% new, % errors)", sent, plan.added, errors);
        if (errors > 0) {
            // Records the instrument did not confirm may not be stored: not a success.
            job.Error(outcome, kUploadTitle);
            return -1;
        }
        job.Status(outcome);
        return 0;
    });
}

}  // namespace tracora::protocols::digifly
