#include "protocols/flytec/flytec_session.hpp"

#include <algorithm>
#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/notify_texts.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "device/io_status.hpp"
#include "protocols/common/flight_list.hpp"
#include "protocols/common/igc_download.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/pilot_ids.hpp"
#include "protocols/common/product_data.hpp"
#include "protocols/common/remaining_time.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/common/track_joiner.hpp"
#include "protocols/common/upload_names.hpp"
#include "protocols/flytec/flytec_ctr.hpp"
#include "protocols/flytec/flytec_frames.hpp"

namespace tracora::protocols::flytec {

namespace {

using device::GpsAccessJob;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kAborted = "Transfer aborted";
constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kAllTracksTitle = "Read GPS track logs";
constexpr const char* kTrackListTitle = "Read GPS track list";
constexpr const char* kWaypointTitle = "Read GPS waypoints";
constexpr const char* kUploadTitle = "Write GPS waypoints";
constexpr const char* kCtrUploadTitle = "Upload CTR";
constexpr const char* kCtrAckTitle = "CTR upload acknowledge status";
constexpr const char* kCtrListTitle = "Read CTR list";

constexpr int kPauseAfterProductMs = 1000;
constexpr int kTrackListSilenceMs = 1000;
constexpr int kWaypointSilenceMs = 1000;
constexpr int kPauseBeforeTrackMs = 500;
constexpr int kTrackSilenceMs = 2000;
constexpr int kAllTracksSilenceMs = 3000;
constexpr int kPauseAfterUploadMs = 300;
constexpr std::size_t kTrackListLineChars = 78;
constexpr int kCtrAckSilenceMs = 20000;
constexpr int kPauseAfterCtrMs = 300;
// The instrument sends its airspace list without a pause; this much silence means it has
// stopped (or the cable is gone) and the list will not be completed.
constexpr int kCtrListSilenceMs = 10000;

std::uint32_t TickMs() {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int Aborted(GpsAccessJob& job) {
    job.Status(std::string(kAborted));
    return -1;
}

// The read failure of a receive loop: an abort, or the operation's read error.
int ReadFailed(GpsAccessJob& job, int status, const char* message, const char* title) {
    if (IsAbort(status)) {
        return Aborted(job);
    }
    job.Error(message, title);
    return -1;
}

int WriteFailed(GpsAccessJob& job, const char* message, const char* title) {
    if (job.AbortRequested()) {
        return Aborted(job);
    }
    job.Error(message, title);
    return -1;
}

// Port, product data and the instrument's names in the job. 0 or -1 (reported).
int Connect(GpsAccessJob& job, FlytecProduct& product) {
    if (job.OpenComPort(kBaud, true) != 0) {
        return -1;
    }
    std::vector<std::string> fields;
    const ProductDataRequest request{kProductRequest, kProductIdentifier, 5, 79};
    if (ExchangeProductData(job, request, fields) != 0) {
        return -1;
    }
    if (DecodeProductData(fields, product) != 0) {
        job.Error("Bad/missing user name", "Reading product data");
        return -1;
    }
    job.Status("Product data read");
    job.Status2(product.product + ", SN" + product.serial + ", SW" + product.software);
    job.productName = std::string(FlytecModelName(product.product));
    job.instrumentDescription = DeviceDescription(product);
    job.productText = DeviceIdentifier(product);
    job.track.productName = job.productName;
    job.track.instrumentDescription = job.instrumentDescription;
    job.track.productText = job.productText;
    // Answers to the requests of earlier attempts may still arrive in this pause; they would
    // be taken for the next request's answer.
    if (!job.Pause(kPauseAfterProductMs)) {
        return Aborted(job);
    }
    job.DiscardInput();
    return 0;
}

// The flight list into job.flights. 0 when a flight is listed, else -1.
int ReadTrackList(GpsAccessJob& job) {
    const FlightListExchange exchange{kTrackListRequest, kTrackListIdentifier, kTrackListSilenceMs,
                                      kTrackListLineChars, kTrackListTitle};
    return ReceiveFlightList(job, exchange);
}

// The waypoint list: into job.waypoints, or in identification mode into `ids`. 0 or -1.
int ReadWaypointList(GpsAccessJob& job, bool identification, competition::PilotIds& ids) {
    const std::uint32_t readTime = CurrentTime();
    std::vector<Waypoint> waypoints;
    if (!identification) {
        waypoints.reserve(20);
    }
    job.Status("Requesting waypoints");
    if (job.WriteText(kWaypointRequest) != 0) {
        return WriteFailed(job, "E304 COM port write error", kWaypointTitle);
    }
    SerialReceiver receiver(job);
    FlytecWaypointParser parser;
    WaypointCountPacer pacer(TickMs());
    int delivered = 0;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByte(byte, kWaypointSilenceMs);
        if (rc < 0) {
            return ReadFailed(job, rc, "E301 COM port read error", kWaypointTitle);
        }
        if (rc == kSilence) {
            break;
        }
        const int parsed = parser.Feed(byte);
        if (parsed < 0) {
            job.Error(FormatCount("E302 Format error %", -parsed), kWaypointTitle);
            return -1;
        }
        if (parsed != 0) {
            continue;
        }
        if (++delivered == 1) {
            job.Status("Receiving waypoints");
        }
        if (pacer.Due(TickMs())) {
            job.Notify(WaypointCountText(delivered));
        }
        const Waypoint waypoint = ToWaypoint(parser.Fields(), readTime);
        if (identification) {
            competition::DecodeIdWaypoint(waypoint, job.compSpecial, ids);
        } else {
            waypoints.push_back(waypoint);
        }
    }
    job.Status(FormatCount("% waypoints received", delivered));
    // The list ends on silence, which is also how a frozen unit or a loose cable ends it.
    if (parser.InsideSentence()) {
        job.Error(FormatCount("The instrument stopped answering in the middle of its waypoint "
                              "list, after % waypoints; nothing was kept",
                              delivered),
                  kWaypointTitle);
        return -1;
    }
    if (identification) {
        return 0;
    }
    job.waypoints = std::move(waypoints);
    return delivered > 0 ? 0 : -1;
}

// How a track download behaves: the single-log download of a read-track-log job, or the
// collection of every flight.
struct DownloadStyle {
    const char* title;
    int silenceMs;
    bool pauseBeforeRequest;
    bool keepSegmentStarts;  // each flight stays a segment of its own
    bool allTracks;          // "Reading track log %" texts
};

constexpr DownloadStyle kSingleDownload{kTrackTitle, kTrackSilenceMs, true, false, false};
constexpr DownloadStyle kAllTracksDownload{kAllTracksTitle, kAllTracksSilenceMs, false, true, true};

// Progress of the point just parsed.
void ReportProgress(GpsAccessJob& job, const DownloadStyle& style, int index, bool wholeLog,
                    const IgcDownloadState& state, Clock::time_point firstPointAt,
                    PositionPacer& positions) {
    const auto count = static_cast<long long>(state.points.size());
    if (positions.Enabled()) {
        if (std::optional<std::string> text = positions.Offer(state.points.back())) {
            job.Notify(*text);
        }
    }
    if (count == 1) {
        job.Status(style.allTracks ? FormatCount("Reading track log %", index + 1)
                                   : std::string("Receiving track log"));
        return;
    }
    if (count % 100 != 1) {
        return;
    }
    if (style.allTracks) {
        job.Status(FormatCount("Reading track log %   (%)", index + 1, count));
    } else if (wholeLog) {
        job.Status(FormatCount("Track position %", count));
    } else {
        DownloadProgress progress;
        progress.elapsedMs = MsSince(firstPointAt);
        progress.receivedPoints = count;
        progress.firstPointTime = state.points.front().time;
        progress.lastPointTime = state.points.back().time;
        progress.listedDurationSeconds = job.flights.duration[static_cast<std::size_t>(index)];
        const int seconds = ReportTrackProgress(job, progress);
        job.Status(FormatCount("Track position % (%m %s)", count, seconds / 60, seconds % 60));
    }
    job.Notify(FormatCount("Progress %/?", count));
}

// Receives one track into `receiver`. 0, or -1 after the job has reported why.
int ReceiveTrack(GpsAccessJob& job, const DownloadStyle& style, int index, bool wholeLog,
                 IgcReceiver& receiver) {
    if (wholeLog) {
        job.Status("Requesting track log");
        if (job.WriteText(kWholeLogRequest) != 0) {
            return WriteFailed(job, "E202 COM port write error", style.title);
        }
    } else {
        job.Status(FormatCount(style.allTracks ? "Reading track log %" : "Requesting track log %",
                               index + 1));
        if (style.pauseBeforeRequest && !job.Pause(kPauseBeforeTrackMs)) {
            return Aborted(job);
        }
        if (job.WriteText(TrackRequest(index)) != 0) {
            return WriteFailed(job, "E202 COM port write error", style.title);
        }
    }
    receiver.StartTrack();
    SerialReceiver serial(job);
    PositionPacer positions(job.sendLogSeconds);
    Clock::time_point firstPointAt = Clock::now();
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByte(byte, style.silenceMs);
        if (rc < 0) {
            return ReadFailed(job, rc, "E203 COM port read error", style.title);
        }
        if (rc == kSilence) {
            // Silence ends a track, whole or not: a cut-off one is an error, never a flight.
            const std::uint32_t listed =
                wholeLog ? 0 : job.flights.duration[static_cast<std::size_t>(index)];
            if (const std::string why = IncompleteTrackText(receiver, listed); !why.empty()) {
                job.Error("E208 " + why, style.title);
                return -1;
            }
            if (!style.allTracks) {
                DownloadProgress whole;
                whole.listedDurationSeconds = listed;
                CompleteTrackProgress(job, whole);
            }
            return 0;
        }
        const std::size_t before = receiver.State().points.size();
        switch (receiver.Feed(byte)) {
            case IgcReceiver::Event::kNone:
                continue;
            case IgcReceiver::Event::kBadRecordType:
                job.Error(StringPrintf("E205 Bad record type (%02X)", receiver.BadByte()),
                          style.title);
                return -1;
            case IgcReceiver::Event::kLineTooLong:
                job.Error("E207 Too long sentence", style.title);
                return -1;
            case IgcReceiver::Event::kFormatError:
                job.Error(FormatCount("E206 Format error %", receiver.FormatCode()), style.title);
                return -1;
            case IgcReceiver::Event::kLineParsed:
                break;
        }
        const IgcDownloadState& state = receiver.State();
        if (state.points.size() == before) {
            continue;
        }
        if (state.points.size() == 1) {
            firstPointAt = Clock::now();
        }
        ReportProgress(job, style, index, wholeLog, state, firstPointAt, positions);
    }
}

// Downloads the tracks at `indexes` (ascending; `wholeLog` for a model without a list: one
// whole-log request) and hands the result to job.track. 1 / 0 by the G records, or -1.
int DownloadTracks(GpsAccessJob& job, const DownloadStyle& style, const std::vector<int>& indexes,
                   bool wholeLog) {
    IgcReceiver receiver;
    receiver.RawText().reserve(20000);
    std::vector<TrackPoint> joined;
    bool everyTrackHasG = true;
    long long tracksIn = 0;
    for (const int index : indexes) {
        if (ReceiveTrack(job, style, index, wholeLog, receiver) != 0) {
            return -1;
        }
        // Reading every flight: the bar counts the flights.
        if (style.allTracks) {
            job.Progress(++tracksIn, static_cast<long long>(indexes.size()));
        }
        IgcDownloadState& state = receiver.State();
        job.Status(FormatCount("% points received", static_cast<long long>(state.points.size())));
        if (state.points.empty()) {
            job.Error("No points detected", style.title);
            return -1;
        }
        if (state.manufacturer.empty()) {
            job.Error("Bad or missing A-record", style.title);
            return -1;
        }
        if (state.gRecordCount == 0) {
            everyTrackHasG = false;
        }
        if (JoinTrack(joined, std::move(state.points), style.keepSegmentStarts) != 0) {
            job.Error(kOverlappingTracks, style.title);
            return -1;
        }
    }
    job.Status(FormatCount("% points received", static_cast<long long>(joined.size())));
    DownloadedTrackLog& track = job.track;
    track.points = std::move(joined);
    track.sourceKind = kSourceKindFlytec;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = true;
    track.hasPressureAltitude = true;
    track.gRecordEligible = everyTrackHasG;
    track.rawIgc.text = std::move(receiver.RawText());
    if (!everyTrackHasG) {
        job.Error("No G-records found", style.title);
        return 0;
    }
    return 1;
}

// Runs `routine`, turning memory exhaustion into the operation's allocation message.
template <typename Routine>
int Guarded(GpsAccessJob& job, const char* message, const char* title, Routine routine) {
    try {
        return routine();
    } catch (const std::bad_alloc&) {
        job.Error(message, title);
        return -1;
    }
}

// Waits for the acknowledgement of one airspace. 0 when the instrument stored it; otherwise
// -1, with the outcome shown.
int WaitForCtrAck(GpsAccessJob& job, SerialReceiver& receiver) {
    job.Status("Waiting for CTR transfer ack.");
    CtrAckParser parser;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByte(byte, kCtrAckSilenceMs);
        if (rc == kSilence) {
            job.Error("Missing CTR upload ack.", kCtrAckTitle);
            return -1;
        }
        if (rc < 0) {
            return ReadFailed(job, rc, "E601 COM port read error", kCtrAckTitle);
        }
        const int result = parser.Feed(byte);
        if (result == 1) {
            continue;
        }
        if (result < 0) {
            job.Error(FormatCount("E600 Format error %", -result), kCtrAckTitle);
            return -1;
        }
        if (parser.Status() != '1') {
            job.Error(std::string(CtrAckText(parser.Status())), kCtrAckTitle);
            return -1;
        }
        job.Status(std::string(CtrAckText('1')));
        return 0;
    }
}

// The sentences of one airspace, each with its pause, then the acknowledgement. 0 or -1.
int SendCtr(GpsAccessJob& job, SerialReceiver& receiver,
            const std::vector<CtrSentence>& sentences) {
    long long segments = 0;
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        const CtrSentence& sentence = sentences[i];
        // Before each segment (the first sentence of a segment follows the remark or the
        // end of the segment before).
        if (i >= 2 && (i == 2 || sentences[i - 1].endsSegment) && job.AbortRequested()) {
            job.Status(std::string(kAborted));
            job.Status(FormatCount("% CTR segments sent", segments));
            return -1;
        }
        if (job.WriteText(sentence.text) != 0) {
            const char* what = i == 0 ? "CTR name sent" : i == 1 ? "CTR remark sent" : nullptr;
            const std::string message =
                what != nullptr ? what : FormatCount("% CTR segments sent", segments);
            if (job.AbortRequested()) {
                job.Status(std::string(kAborted));
                job.Status(message);
            } else {
                job.Error(message, kCtrUploadTitle);
            }
            return -1;
        }
        if (!job.Pause(sentence.pauseMs)) {
            job.Status(std::string(kAborted));
            job.Status(FormatCount("% CTR segments sent", segments));
            return -1;
        }
        if (sentence.endsSegment) {
            ++segments;
            job.Status(FormatCount("% CTR segments sent", segments));
        }
    }
    return WaitForCtrAck(job, receiver);
}

// Feeds the airspace list arriving after the request to `parser` until "$PBRANS,1". 0, or -1
// with the failure shown.
int ReceiveCtrList(GpsAccessJob& job, CtrListParser& parser) {
    SerialReceiver receiver(job);
    CtrSentenceAssembler assembler;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByte(byte, kCtrListSilenceMs);
        if (rc == kSilence) {
            job.Error("E704 CTR list incomplete: no answer from GPS", kCtrListTitle);
            return -1;
        }
        if (rc < 0) {
            return ReadFailed(job, rc, "E701 COM port read error", kCtrListTitle);
        }
        const int assembled = assembler.Feed(byte);
        if (assembled == 1) {
            continue;
        }
        if (assembled < 0) {
            job.Error(FormatCount("E703 Format error %", -assembled), kCtrListTitle);
            return -1;
        }
        const int event = parser.Sentence(assembler.Sentence());
        if (event > 0) {
            job.Error(FormatCount("E702 Format error %", event), kCtrListTitle);
            return -1;
        }
        const auto received = static_cast<long long>(parser.Areas().size());
        if (event == kCtrAreaStarted && received == 0) {
            job.Status("Receiving CTR list");
        } else if (event == kCtrAreaDone) {
            job.Status(FormatCount("% CTRs received", received));
        } else if (event == kCtrListDone) {
            job.Status(FormatCount("% CTR(s) received", received));
            return 0;
        }
    }
}

}  // namespace

int FlytecWriteAirspace(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kCtrUploadTitle, [&job] {
        // Every airspace is checked before anything is sent: one the instrument cannot take
        // is refused with a message, the others go.
        std::vector<std::vector<CtrSentence>> airspaces;
        bool refused = false;
        for (const CtrArea& area : job.airspaces) {
            if (!area.selected) {
                continue;
            }
            std::vector<CtrSentence> sentences;
            if (!CtrSentences(area, kCtrUploadIdentifier, true, sentences)) {
                job.Error(area.segments.empty()
                              ? "CTR " + area.name + ": no segments, not sent"
                              : "CTR " + area.name +
                                    ": more than 997 points do not fit the GPS, not sent",
                          kCtrUploadTitle);
                refused = true;
                continue;
            }
            airspaces.push_back(std::move(sentences));
        }
        if (airspaces.empty()) {
            return -1;
        }
        FlytecProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        SerialReceiver receiver(job);
        for (const std::vector<CtrSentence>& sentences : airspaces) {
            if (SendCtr(job, receiver, sentences) != 0) {
                return -1;
            }
            if (!job.Pause(kPauseAfterCtrMs)) {
                return Aborted(job);
            }
        }
        return refused ? -1 : 0;
    });
}

int FlytecReadAirspace(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kCtrListTitle, [&job] {
        job.Trace().Clear();
        job.airspaces.clear();
        FlytecProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        job.Status("Requesting CTR list");
        if (job.WriteText(kCtrListRequest) != 0) {
            return WriteFailed(job, "E700 COM port write error", kCtrListTitle);
        }
        CtrListParser parser;
        if (ReceiveCtrList(job, parser) != 0) {
            return -1;
        }
        job.airspaces = std::move(parser.Areas());
        return 0;
    });
}

int FlytecReadTrackLog(GpsAccessJob& job) {
    return Guarded(job, "E201 Track log memory allocation", kTrackTitle, [&job] {
        FlytecProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        if (job.competitionMode) {
            competition::PilotIds ids;
            if (ReadWaypointList(job, true, ids) != 0) {
                return -1;
            }
            AdoptPilotIds(job, ids);
        }
        if (!HasTrackList(product.product, product.software)) {
            return DownloadTracks(job, kSingleDownload, {0}, true);
        }
        if (ReadTrackList(job) != 0) {
            return -1;
        }
        const std::vector<int> indexes = SelectFlights(job, kTrackTitle);
        if (indexes.empty()) {
            return -1;
        }
        return DownloadTracks(job, kSingleDownload, indexes, false);
    });
}

// Product data, then the flight list, which the instrument must keep. 0 or -1 (reported).
static int ConnectAndReadTrackList(GpsAccessJob& job) {
    FlytecProduct product;
    if (Connect(job, product) != 0) {
        return -1;
    }
    if (!HasTrackList(product.product, product.software)) {
        job.Error("This instrument keeps no track list", kTrackListTitle);
        return -1;
    }
    return ReadTrackList(job) != 0 ? -1 : 0;
}

int FlytecReadFlightList(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kTrackListTitle, [&job] {
        if (ConnectAndReadTrackList(job) != 0) {
            return -1;
        }
        const std::vector<FlightListSlot> slots = FlightListSlots(job.flights);
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (!slots[i].used) {
                continue;
            }
            const CalendarTime& s = slots[i].start;
            const std::uint32_t d = slots[i].durationSeconds;
            job.Status(StringPrintf("Track %zu: %02d.%02d.%04d %02d:%02d:%02d, %u:%02u:%02u", i + 1,
                                    s.day, s.month, s.year, s.hour, s.minute, s.second, d / 3600,
                                    d / 60 % 60, d % 60));
        }
        job.Notify(FlightListText(slots));
        return 0;
    });
}

int FlytecReadWaypoints(GpsAccessJob& job) {
    return Guarded(job, "E303 Waypoint memory allocation", kWaypointTitle, [&job] {
        job.Trace().Clear();
        FlytecProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        competition::PilotIds unused;
        return ReadWaypointList(job, false, unused);
    });
}

int FlytecWriteWaypoints(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kUploadTitle, [&job] {
        FlytecProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        const auto total = static_cast<long long>(job.waypoints.size());
        long long sent = 0;
        for (const Waypoint& waypoint : job.waypoints) {
            if (job.AbortRequested()) {
                job.Status(std::string(kAborted));
                job.Status(FormatCount("% waypoints sent", sent));
                return -1;
            }
            const std::string sentence =
                WaypointUploadSentence(waypoint, UploadName(waypoint, job.parameter));
            if (job.WriteText(sentence) != 0) {
                if (job.AbortRequested()) {
                    job.Status(std::string(kAborted));
                    job.Status(FormatCount("% waypoints sent", sent));
                } else {
                    job.Error(FormatCount("% waypoints sent", sent), kUploadTitle);
                }
                return -1;
            }
            ++sent;
            job.Status(FormatCount("Waypoint % sent", sent));
            job.Progress(sent, total);
            job.Notify(FormatCount("Sent wpt %/%", sent, total));
            if (!job.Pause(kPauseAfterUploadMs)) {
                job.Status(std::string(kAborted));
                job.Status(FormatCount("% waypoints sent", sent));
                return -1;
            }
        }
        return 0;
    });
}

int FlytecReadAllTracks(GpsAccessJob& job) {
    return Guarded(job, "E201 Track log memory allocation", kAllTracksTitle, [&job] {
        if (ConnectAndReadTrackList(job) != 0) {
            return -1;
        }
        std::vector<int> indexes;
        if (job.flights.selected.any()) {
            indexes = SelectFlights(job, kAllTracksTitle);
        } else {
            for (int slot = 0; slot < device::FlightList::kSlots; ++slot) {
                if (job.flights.start[static_cast<std::size_t>(slot)] != 0) {
                    indexes.push_back(slot);
                }
            }
        }
        if (indexes.empty()) {
            return -1;
        }
        const int result = DownloadTracks(job, kAllTracksDownload, indexes, false);
        if (result >= 0) {
            job.Status("Downloading completed");
        }
        return result;
    });
}

}  // namespace tracora::protocols::flytec
