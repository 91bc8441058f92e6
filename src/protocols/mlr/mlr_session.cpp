#include "protocols/mlr/mlr_session.hpp"

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/notify_texts.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "protocols/common/block_frame.hpp"
#include "protocols/common/pilot_ids.hpp"
#include "protocols/common/pmlr.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/mlr/mlr_frames.hpp"

namespace tracora::protocols::mlr {

namespace {

using device::GpsAccessJob;

constexpr std::string_view kAborted = "Transfer aborted";
constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kWaypointTitle = "Read GPS waypoints";
constexpr const char* kUploadTitle = "Write GPS waypoints";

constexpr int kPauseBeforeSwitchMs = 300;
constexpr int kPauseBeforeEndMs = 200;
constexpr int kDataSilenceMs = 10'000;
constexpr int kStreamPollMs = 1000;
constexpr std::size_t kStreamLineChars = 700;
constexpr int kUploadPauseMs = 500;
constexpr int kSourceKind = 2;

int Aborted(GpsAccessJob& job) {
    job.Status(std::string(kAborted));
    return -1;
}

bool RunsAtBinarySpeed(const GpsAccessJob& job) {
    return job.protocol == GpsProtocol::kMlrTrackReader;
}

// Port and product data; the product texts go to the job. 0 or -1 (reported).
int Connect(GpsAccessJob& job, MlrProduct& product) {
    if (job.OpenComPort(RunsAtBinarySpeed(job) ? kBinaryBaud : kBaud, false) != 0) {
        return -1;
    }
    std::vector<std::string> fields;
    const PmlrProductRules rules{.fieldCount = 5, .maxFieldChars = 40};
    if (PmlrProductExchange(job, rules, fields) != 0) {
        return -1;
    }
    product = DecodeProduct(fields);
    job.Status("Product data read");
    job.Status2(StatusLine(product));
    job.productName = DisplayName(product);
    job.instrumentDescription = DeviceDescription(product);
    job.productText = DeviceIdentifier(product);
    return 0;
}

// The texts of one kind of binary transfer.
struct TransferTexts {
    std::string_view request;
    const char* requesting;
    const char* writeError;
    const char* readError;
    const char* timeout;
    const char* formatError;
    const char* typeSequence;
    const char* dataSequence;
    const char* endSequence;
    const char* memory;
    const char* title;
};

constexpr TransferTexts kTrackTexts{kTrackRequest,
                                    "Requesting track log",
                                    "E201 COM port write error",
                                    "E202 COM port read error",
                                    "E210 Track log data timeout",
                                    "E208 Format error %",
                                    "E203 Bad sentence type sequence",
                                    "E204 Bad sentence sequence",
                                    "E205 Bad sentence sequence",
                                    "E207 Track log memory allocation",
                                    kTrackTitle};
// A silent unit would hang the waypoint transfer for ever: it gets the track log's time limit.
constexpr TransferTexts kWaypointTexts{kWaypointRequest,
                                       "Requesting waypoints",
                                       "E301 COM port write error",
                                       "E302 COM port read error",
                                       "E310 Waypoint data timeout",
                                       "E303 Format error %",
                                       "E303 Bad sentence type sequence",
                                       "E304 Bad sentence sequence",
                                       "E305 Bad sentence sequence",
                                       "E207 Waypoint memory allocation",
                                       kWaypointTitle};

// What a binary transfer delivers.
struct TransferResult {
    std::vector<TrackPoint> points;
    std::vector<Waypoint> waypoints;
    competition::PilotIds ids;
    bool identification = false;
};

// The frame's format error code, 0 for a frame that is passed over silently.
int FormatCode(FrameEvent event) {
    switch (event) {
        case FrameEvent::kBadCount:
            return 1;
        case FrameEvent::kBadChecksum:
            return 2;
        case FrameEvent::kNoCr:
            return 3;
        default:
            return 0;
    }
}

// The frames of one transfer after the request. 0 or -1 (reported).
int ReceiveFrames(GpsAccessJob& job, const TransferTexts& texts, bool track,
                  std::uint32_t timeOffset, TransferResult& result) {
    SerialReceiver serial(job, false);
    FrameDecoder decoder(track ? kTrackShape : kWaypointShape);
    PositionPacer positions(job.sendLogSeconds);
    const std::uint32_t now = CurrentTime();
    bool begun = false;
    std::uint8_t last = 0;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByte(byte, kDataSilenceMs);
        if (rc == kSilence) {
            job.Error(texts.timeout, texts.title);
            return -1;
        }
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error(texts.readError, texts.title);
            return -1;
        }
        const FrameEvent event = decoder.Feed(byte);
        if (event == FrameEvent::kNone) {
            continue;
        }
        if (event != FrameEvent::kFrame) {
            if (const int code = FormatCode(event); code != 0) {
                job.Error(FormatCount(texts.formatError, code), texts.title);
                return -1;
            }
            continue;
        }
        job.Status(FormatCount("Sentence number % received", decoder.Number()));
        const auto next = static_cast<std::uint8_t>(last + 1);
        if (!begun) {
            // Whatever comes before the begin frame is passed over.
            if (decoder.Type() == BlockType::kBegin) {
                begun = true;
                last = decoder.Number();
            }
            continue;
        }
        if (decoder.Type() == BlockType::kBegin) {
            job.Error(texts.typeSequence, texts.title);
            return -1;
        }
        if (decoder.Type() == BlockType::kEnd) {
            if (decoder.Number() != next) {
                job.Error(texts.endSequence, texts.title);
                return -1;
            }
            job.Status(track ? FormatCount("% points received",
                                           static_cast<long long>(result.points.size()))
                             : FormatCount("% waypoints received",
                                           static_cast<long long>(result.waypoints.size())));
            return 0;
        }
        if (decoder.Number() != next) {
            job.Error(texts.dataSequence, texts.title);
            return -1;
        }
        last = decoder.Number();
        const std::span<const std::uint8_t> records = decoder.Records();
        const std::size_t size = track ? kTrackRecordSize : kWaypointRecordSize;
        for (std::size_t at = 0; at + size <= records.size(); at += size) {
            const std::span<const std::uint8_t> bytes = records.subspan(at, size);
            if (track) {
                const TrackRecord record = DecodeTrackRecord(bytes);
                if (static_cast<std::size_t>(record.number) != result.points.size() + 1) {
                    job.Error("E206 Bad track point sequence", texts.title);
                    return -1;
                }
                if (result.points.size() == result.points.capacity()) {
                    result.points.reserve(result.points.size() * 2);
                }
                result.points.push_back(ToTrackPoint(record, timeOffset, result.points.empty()));
                const auto count = static_cast<long long>(result.points.size());
                job.Notify(FormatCount("Progress %/?", count));
                if (positions.Enabled()) {
                    if (std::optional<std::string> text = positions.Offer(result.points.back())) {
                        job.Notify(*text);
                    }
                }
                continue;
            }
            const Waypoint waypoint = DecodeWaypointRecord(bytes, now);
            competition::DecodeIdWaypoint(waypoint, job.compSpecial, result.ids);
            if (!result.identification) {
                if (result.waypoints.size() == result.waypoints.capacity()) {
                    result.waypoints.reserve(result.waypoints.size() * 2);
                }
                result.waypoints.push_back(waypoint);
            }
            job.Notify(WaypointCountText(static_cast<int>(result.waypoints.size())));
        }
    }
}

// One binary transfer: the request at the current speed, the switch to 38,400 baud, the frames,
// and at every end the speed back and the end sentence. 0 or -1 (reported).
int BinaryTransfer(GpsAccessJob& job, bool track, const MlrProduct& product,
                   TransferResult& result) {
    const TransferTexts& texts = track ? kTrackTexts : kWaypointTexts;
    const bool switches = !RunsAtBinarySpeed(job);
    try {
        result.points.reserve(100);
        result.waypoints.reserve(20);
    } catch (const std::bad_alloc&) {
        job.Error(track ? "E200 Track log memory allocation" : "E300 Waypoint memory allocation",
                  texts.title);
        return -1;
    }
    job.Status(texts.requesting);
    if (job.WriteText(texts.request) != 0) {
        EndBinaryTransfer(job, 0, kPauseBeforeEndMs);
        if (job.AbortRequested()) {
            return Aborted(job);
        }
        job.Error(texts.writeError, texts.title);
        return -1;
    }
    if (!job.Pause(kPauseBeforeSwitchMs)) {
        EndBinaryTransfer(job, 0, kPauseBeforeEndMs);
        return Aborted(job);
    }
    if (switches && job.SetComBaud(kBinaryBaud) != 0) {
        EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
        return job.AbortRequested() ? Aborted(job) : -1;
    }
    int rc = -1;
    try {
        rc = ReceiveFrames(job, texts, track, TimeOffset(product), result);
    } catch (const std::bad_alloc&) {
        job.Error(texts.memory, texts.title);
        rc = -1;
    }
    EndBinaryTransfer(job, switches ? kBaud : 0, kPauseBeforeEndMs);
    return rc;
}

// Reads the "$GPWPL" stream the pilot starts on the instrument: it ends when an ID arrives a
// second time. No time limit (the pilot takes his time), but abortable. 0 or -1 (reported).
int ReadWaypointStream(GpsAccessJob& job) {
    job.Status("Searching for sentences");
    SerialReceiver serial(job);
    NmeaLineCollector collector(kStreamLineChars);
    std::vector<Waypoint> waypoints;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByte(byte, kStreamPollMs);
        if (rc == kSilence) {
            continue;
        }
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("E301 COM port read error", kWaypointTitle);
            return -1;
        }
        if (!collector.Feed(byte) || !collector.Line().starts_with("$GPWPL")) {
            continue;
        }
        if (collector.Line().size() >= kStreamLineChars) {
            job.Error(FormatCount("E302 Format error %", 9), kWaypointTitle);
            return -1;
        }
        const GpwplResult parsed = ParseGpwpl(collector.Line(), CurrentTime());
        switch (parsed.error) {
            case GpwplError::kNone:
                break;
            case GpwplError::kFormat:
                job.Error(FormatCount("E302 Format error %", parsed.code), kWaypointTitle);
                return -1;
            case GpwplError::kIdCharacter:
                job.Error("E305 Bad waypoint ID character", kWaypointTitle);
                return -1;
            case GpwplError::kMissingId:
                job.Error("E306 Missing waypoint ID", kWaypointTitle);
                return -1;
        }
        for (const Waypoint& w : waypoints) {
            if (w.Id() == parsed.waypoint.Id()) {
                job.Status(
                    FormatCount("Waypoints read (%)", static_cast<long long>(waypoints.size())));
                job.waypoints = std::move(waypoints);
                return 0;
            }
        }
        waypoints.push_back(parsed.waypoint);
        job.Status(FormatCount("Waypoint % read", static_cast<long long>(waypoints.size())));
        job.Notify(WaypointCountText(static_cast<int>(waypoints.size())));
    }
}

}  // namespace

int MlrReadTrackLog(GpsAccessJob& job) {
    MlrProduct product;
    if (Connect(job, product) != 0) {
        return -1;
    }
    job.competitionId = -1;
    job.civlId = -1;
    if (job.competitionMode && !product.text.starts_with("DGIFLY") &&
        !product.text.starts_with("COMO")) {
        TransferResult ids;
        ids.identification = true;
        if (BinaryTransfer(job, false, product, ids) != 0) {
            return -1;
        }
        AdoptPilotIds(job, ids.ids);
    }
    TransferResult result;
    if (BinaryTransfer(job, true, product, result) != 0) {
        return -1;
    }
    if (result.points.empty()) {
        job.Error("No points detected", kTrackTitle);
        return -1;
    }
    DownloadedTrackLog& track = job.track;
    track.points = std::move(result.points);
    track.sourceKind = kSourceKind;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = true;
    track.hasPressureAltitude = false;
    track.gRecordEligible = true;
    track.productName = job.productName;
    track.instrumentDescription = job.instrumentDescription;
    track.productText = job.productText;
    return 0;
}

int MlrReadWaypoints(GpsAccessJob& job) {
    MlrProduct product;
    if (Connect(job, product) != 0) {
        return -1;
    }
    if (job.protocol != GpsProtocol::kMlrFast) {
        try {
            return ReadWaypointStream(job);
        } catch (const std::bad_alloc&) {
            job.Error("E303 Waypoint memory allocation", kWaypointTitle);
            return -1;
        }
    }
    TransferResult result;
    if (BinaryTransfer(job, false, product, result) != 0) {
        return -1;
    }
    if (result.waypoints.empty()) {
        job.Error("No waypoints received", kWaypointTitle);
        return -1;
    }
    job.waypoints = std::move(result.waypoints);
    return 0;
}

int MlrWriteWaypoints(GpsAccessJob& job) {
    MlrProduct product;
    if (Connect(job, product) != 0) {
        return -1;
    }
    const auto total = static_cast<long long>(job.waypoints.size());
    long long sent = 0;
    const auto stopped = [&job, &sent] {
        job.Status(std::string(kAborted));
        job.Status(FormatCount("% waypoints sent", sent));
        return -1;
    };
    for (const Waypoint& waypoint : job.waypoints) {
        if (job.AbortRequested() || !job.Pause(kUploadPauseMs)) {
            return stopped();
        }
        if (job.WriteText(GpwplSentence(waypoint)) != 0) {
            if (job.AbortRequested()) {
                return stopped();
            }
            job.Error(FormatCount("% waypoints sent", sent), kUploadTitle);
            return -1;
        }
        ++sent;
        job.Status(FormatCount("Waypoint % sent", sent));
        job.Progress(sent, total);
        job.Notify(FormatCount("Sent wpt %/%", sent, total));
    }
    if (!job.Pause(kUploadPauseMs)) {
        return stopped();
    }
    return 0;
}

}  // namespace tracora::protocols::mlr
