#include "protocols/iqbasic/iqbasic_session.hpp"

#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/notify_texts.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "protocols/common/flight_list.hpp"
#include "protocols/common/igc_download.hpp"
#include "protocols/common/pilot_ids.hpp"
#include "protocols/common/remaining_time.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/common/track_joiner.hpp"
#include "protocols/common/upload_names.hpp"
#include "protocols/iqbasic/iqbasic_frames.hpp"

namespace tracora::protocols::iqbasic {

namespace {

using device::GpsAccessJob;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kAborted = "Transfer aborted";
constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kTrackListTitle = "Read track list";
constexpr const char* kWaypointTitle = "Read GPS waypoints";
constexpr const char* kUploadTitle = "Write GPS waypoints";
constexpr const char* kProductTitle = "Request product data";

constexpr int kAnswerMs = 2000;
constexpr int kPauseAfterLineMs = 200;
constexpr int kTrackListSilenceMs = 1000;
constexpr int kWaypointSilenceMs = 1000;
constexpr int kUploadAnswerMs = 1000;
constexpr int kPauseBeforeTrackMs = 500;
constexpr int kTrackSilenceMs = 2000;
constexpr int kPauseAfterUploadMs = 100;
constexpr std::size_t kMaxLine = 1000;
constexpr int kProductAttemptMs = 2000;

int Aborted(GpsAccessJob& job) {
    job.Status(std::string(kAborted));
    return -1;
}

int WriteFailed(GpsAccessJob& job, const char* message, const char* title) {
    if (job.AbortRequested()) {
        return Aborted(job);
    }
    job.Error(message, title);
    return -1;
}

// Reads one answer line (without CR LF) with at most `silenceMs` between bytes. 1 with a line,
// 0 on silence (`partial` tells whether a line had begun), or a negative I/O status.
int ReadLine(SerialReceiver& receiver, int silenceMs, std::string& line, bool* partial = nullptr) {
    line.clear();
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByte(byte, silenceMs);
        if (rc <= 0) {
            if (partial != nullptr) {
                *partial = !line.empty();
            }
            return rc;
        }
        if (byte == '\n') {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return 1;
        }
        if (line.size() < kMaxLine) {
            line += static_cast<char>(byte);
        }
    }
}

// One RPA_ exchange with a required answer starting with `prefix`. 0 with `value`, or -1
// (reported).
int RequiredValue(GpsAccessJob& job, SerialReceiver& receiver, std::string_view command,
                  std::string_view prefix, const char* responseError, const char* formatError,
                  std::uint32_t& value) {
    if (job.WriteText(command) != 0) {
        return WriteFailed(job, "COM port write error", "Request PA data");
    }
    std::string line;
    const int rc = ReadLine(receiver, kAnswerMs, line);
    if (rc < 0) {
        if (IsAbort(rc)) {
            return Aborted(job);
        }
        job.Error("COM port read error", "Request PA data");
        return -1;
    }
    if (rc == 0) {
        job.Error("Response timeout", "Request PA data");
        return -1;
    }
    if (!job.Pause(kPauseAfterLineMs)) {
        return Aborted(job);
    }
    if (!line.starts_with(prefix)) {
        job.Error(responseError, kProductTitle);
        return -1;
    }
    if (!DecodeAnswerValue(line, prefix, value)) {
        job.Error(formatError, kProductTitle);
        return -1;
    }
    return 0;
}

int Connect(GpsAccessJob& job, IqProduct& product) {
    if (job.OpenComPort(kBaud, false) != 0) {
        return -1;
    }
    const int totalSeconds = job.openAttempts >= 1 ? job.openAttempts : 30;
    if (job.DiscardStaleInput(500, totalSeconds * 1000) != 0) {
        return -1;
    }
    SerialReceiver receiver(job);
    bool found = false;
    for (int used = 0; used < totalSeconds && !found; used += kProductAttemptMs / 1000) {
        job.Status(FormatCount("Requesting product info (%)", (totalSeconds - used + 1) / 2));
        if (job.AbortRequested()) {
            return Aborted(job);
        }
        if (job.WriteText(kSerialRequest) != 0) {
            return WriteFailed(job, "COM port write error", "Request PA data");
        }
        std::string line;
        const int rc = ReadLine(receiver, kProductAttemptMs, line);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("COM port read error", "Request PA data");
            return -1;
        }
        found = rc == 1 && DecodeAnswerValue(line, "RPA_00_", product.serial);
        if (rc == 1 && !job.Pause(kPauseAfterLineMs)) {
            return Aborted(job);
        }
    }
    if (!found) {
        job.Error("No valid response from GPS", "Get GPS product data");
        return -1;
    }
    if (RequiredValue(job, receiver, kTypeRequest, "RPA_01_", "Device type response error",
                      "Device type format error", product.type) != 0 ||
        RequiredValue(job, receiver, kVersionRequest, "RPA_02_", "Software version response error",
                      "Software version format error", product.version) != 0) {
        return -1;
    }
    job.Status("Product data read");
    job.productName = ModelName(product);
    job.instrumentDescription = ModelName(product);
    job.productText = DeviceIdentifier(product);
    job.Status2(job.productText);
    job.track.productName = job.productName;
    job.track.instrumentDescription = job.instrumentDescription;
    job.track.productText = job.productText;
    return 0;
}

// The track list into job.flights and the device's track numbers by slot. 0 or -1.
int ReadTrackList(GpsAccessJob& job, std::vector<unsigned>& numbers) {
    job.flights.start.fill(0);
    job.flights.duration.fill(0);
    numbers.clear();
    job.Status("Requesting track list");
    if (job.WriteText(kTrackListRequest) != 0) {
        return WriteFailed(job, "COM port write error", kTrackListTitle);
    }
    SerialReceiver receiver(job);
    for (;;) {
        std::string line;
        const int rc = ReadLine(receiver, kTrackListSilenceMs, line);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("COM port read error", kTrackListTitle);
            return -1;
        }
        if (rc == 0) {
            break;
        }
        TrackListLine entry;
        if (numbers.size() >= device::FlightList::kSlots || !ParseTrackListLine(line, entry)) {
            continue;
        }
        FlightListEntry stored;
        stored.index = static_cast<int>(numbers.size());
        stored.start = entry.start;
        stored.durationSeconds = entry.durationSeconds;
        StoreFlightListEntry(job.flights, stored);
        numbers.push_back(entry.number);
    }
    const int found = CountFlights(job.flights);
    if (found == 0) {
        job.Error("No tracks found", kTrackListTitle);
        return -1;
    }
    job.Status(FormatCount("% tracks in track list found", found));
    return 0;
}

int ReadWaypointList(GpsAccessJob& job, bool identification, competition::PilotIds& ids) {
    const std::uint32_t readTime = CurrentTime();
    std::vector<Waypoint> waypoints;
    waypoints.reserve(20);
    job.Status("Requesting waypoints");
    if (job.WriteText(kWaypointRequest) != 0) {
        return WriteFailed(job, "E304 COM port write error", kWaypointTitle);
    }
    SerialReceiver receiver(job);
    int delivered = 0;
    for (;;) {
        std::string line;
        const int rc = ReadLine(receiver, kWaypointSilenceMs, line);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("E301 COM port read error", kWaypointTitle);
            return -1;
        }
        if (rc == 0 || EndsWaypointList(line)) {
            break;
        }
        Waypoint waypoint;
        if (const int code = ParseWaypointLine(line, readTime, waypoint); code != 0) {
            job.Error(StringPrintf("Waypoint string parse error %d", code), kWaypointTitle);
            return -1;
        }
        ++delivered;
        if (identification) {
            competition::DecodeIdWaypoint(waypoint, job.compSpecial, ids);
        } else {
            waypoints.push_back(waypoint);
        }
    }
    job.Status(FormatCount("% waypoints received", delivered));
    if (identification) {
        return 0;
    }
    job.waypoints = std::move(waypoints);
    return delivered > 0 ? 0 : -1;
}

int ReceiveTrack(GpsAccessJob& job, int index, unsigned number, IgcReceiver& receiver) {
    job.Status(FormatCount("Requesting track log %", index + 1));
    if (!job.Pause(kPauseBeforeTrackMs)) {
        return Aborted(job);
    }
    if (job.WriteText(TrackRequest(number)) != 0) {
        return WriteFailed(job, "COM port write error", kTrackTitle);
    }
    receiver.StartTrack();
    SerialReceiver serial(job);
    PositionPacer positions(job.sendLogSeconds);
    Clock::time_point firstPointAt = Clock::now();
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByte(byte, kTrackSilenceMs);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("COM port read error", kTrackTitle);
            return -1;
        }
        if (rc == kSilence) {
            const std::uint32_t listed = job.flights.duration[static_cast<std::size_t>(index)];
            if (const std::string why = IncompleteTrackText(receiver, listed); !why.empty()) {
                job.Error(why, kTrackTitle);
                return -1;
            }
            DownloadProgress whole;
            whole.listedDurationSeconds = listed;
            CompleteTrackProgress(job, whole);
            return 0;
        }
        const std::size_t before = receiver.State().points.size();
        const std::string pending = receiver.PendingLine() + static_cast<char>(byte);
        switch (receiver.Feed(byte)) {
            case IgcReceiver::Event::kNone:
                continue;
            case IgcReceiver::Event::kBadRecordType:
                job.Error(StringPrintf("Bad record type (%02X)", receiver.BadByte()), kTrackTitle);
                return -1;
            case IgcReceiver::Event::kLineTooLong:
                job.Error("Too long sentence", kTrackTitle);
                return -1;
            case IgcReceiver::Event::kFormatError:
                if (pending.starts_with("HFDTE")) {
                    std::string rest = pending.substr(5);
                    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) {
                        rest.pop_back();
                    }
                    job.Error("HFDTE sentence error: " + rest, kTrackTitle);
                } else {
                    job.Error(FormatCount("Format error % in IGC sentence", receiver.FormatCode()),
                              kTrackTitle);
                }
                return -1;
            case IgcReceiver::Event::kLineParsed:
                break;
        }
        const IgcDownloadState& state = receiver.State();
        const auto count = static_cast<long long>(state.points.size());
        if (state.points.size() == before) {
            continue;
        }
        if (count == 1) {
            firstPointAt = Clock::now();
            job.Status("Receiving track log");
        }
        if (positions.Enabled()) {
            if (std::optional<std::string> text = positions.Offer(state.points.back())) {
                job.Notify(*text);
            }
        }
        if (count % 100 == 1 && count > 1) {
            DownloadProgress progress;
            progress.elapsedMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - firstPointAt)
                    .count();
            progress.receivedPoints = count;
            progress.firstPointTime = state.points.front().time;
            progress.lastPointTime = state.points.back().time;
            progress.listedDurationSeconds = job.flights.duration[static_cast<std::size_t>(index)];
            const int seconds = ReportTrackProgress(job, progress);
            job.Status(FormatCount("Track position % (%m %s)", count, seconds / 60, seconds % 60));
            job.Notify(FormatCount("Progress %/?", count));
        }
    }
}

int DownloadTracks(GpsAccessJob& job, const std::vector<int>& indexes,
                   const std::vector<unsigned>& numbers) {
    IgcReceiver receiver;
    receiver.RawText().reserve(20000);
    std::vector<TrackPoint> joined;
    bool everyTrackHasG = true;
    for (const int index : indexes) {
        if (ReceiveTrack(job, index, numbers[static_cast<std::size_t>(index)], receiver) != 0) {
            return -1;
        }
        IgcDownloadState& state = receiver.State();
        job.Status(FormatCount("% points received", static_cast<long long>(state.points.size())));
        if (state.points.empty()) {
            job.Error("No points detected", kTrackTitle);
            return -1;
        }
        if (state.manufacturer.empty()) {
            job.Error("Bad or missing A-record", kTrackTitle);
            return -1;
        }
        everyTrackHasG = everyTrackHasG && state.gRecordCount > 0;
        const std::uint32_t newFirst = state.points.front().time;
        const std::uint32_t newLast = state.points.back().time;
        const std::uint32_t oldFirst = joined.empty() ? 0 : joined.front().time;
        const std::uint32_t oldLast = joined.empty() ? 0 : joined.back().time;
        if (JoinTrack(joined, std::move(state.points)) != 0) {
            job.Error(StringPrintf("Overlapping tracks (%08X,%08X)(%08X,%08X)", oldFirst, oldLast,
                                   newFirst, newLast),
                      kTrackTitle);
            return -1;
        }
    }
    job.Status(FormatCount("% points received", static_cast<long long>(joined.size())));
    DownloadedTrackLog& track = job.track;
    track.points = std::move(joined);
    track.sourceKind = kSourceKindIqBasic;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = true;
    track.hasPressureAltitude = true;
    track.gRecordEligible = everyTrackHasG;
    track.rawIgc.text = std::move(receiver.RawText());
    if (!everyTrackHasG) {
        job.Error("No G-records found", kTrackTitle);
        return 0;
    }
    return 1;
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

}  // namespace

int IqBasicReadTrackLog(GpsAccessJob& job) {
    return Guarded(job, "Track log memory allocation", kTrackTitle, [&job] {
        IqProduct product;
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
        std::vector<unsigned> numbers;
        if (ReadTrackList(job, numbers) != 0) {
            return -1;
        }
        const std::vector<int> indexes = SelectFlights(job, kTrackTitle);
        if (indexes.empty()) {
            return -1;
        }
        return DownloadTracks(job, indexes, numbers);
    });
}

int IqBasicReadFlightList(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kTrackListTitle, [&job] {
        IqProduct product;
        std::vector<unsigned> numbers;
        if (Connect(job, product) != 0 || ReadTrackList(job, numbers) != 0) {
            return -1;
        }
        job.track.sourceKind = kSourceKindIqBasic;
        job.Notify(FlightListText(FlightListSlots(job.flights)));
        return 0;
    });
}

int IqBasicReadWaypoints(GpsAccessJob& job) {
    return Guarded(job, "Waypoint memory allocation", kWaypointTitle, [&job] {
        job.Trace().Clear();
        IqProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        competition::PilotIds unused;
        return ReadWaypointList(job, false, unused);
    });
}

int IqBasicWriteWaypoints(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kUploadTitle, [&job] {
        IqProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        const auto total = static_cast<long long>(job.waypoints.size());
        long long sent = 0;
        long long good = 0;
        std::string firstWrong;
        bool anyWrong = false;
        SerialReceiver receiver(job);
        for (const Waypoint& waypoint : job.waypoints) {
            if (job.AbortRequested()) {
                job.Status(std::string(kAborted));
                job.Status(FormatCount("% waypoints sent", sent));
                return -1;
            }
            const std::string command =
                std::string(kUploadCommand) +
                WaypointUploadLine(waypoint, UploadName(waypoint, job.parameter));
            if (job.WriteText(command) != 0) {
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
            std::string answer;
            const int rc = ReadLine(receiver, kUploadAnswerMs, answer);
            if (rc <= 0) {
                if (IsAbort(rc)) {
                    return Aborted(job);
                }
                job.Error(rc == 0 ? "Missing response" : "COM port read error",
                          "Read waypoint upload response");
                return -1;
            }
            if (answer == kUploadDone) {
                ++good;
            } else if (!anyWrong) {
                anyWrong = true;
                firstWrong = answer.substr(0, 39);
            }
            if (!job.Pause(kPauseAfterUploadMs)) {
                return Aborted(job);
            }
        }
        if (anyWrong) {
            job.Error(StringPrintf("%lld of %lld waypoints ok. First error was \"%s\"", good, sent,
                                   firstWrong.c_str()),
                      "Waypoint upload response error");
            return -1;
        }
        job.Status(FormatCount("% waypoints sent", sent));
        return 0;
    });
}

}  // namespace tracora::protocols::iqbasic
