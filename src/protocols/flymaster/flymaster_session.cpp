#include "protocols/flymaster/flymaster_session.hpp"

#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/notify_texts.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "protocols/common/flight_list.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/pilot_ids.hpp"
#include "protocols/common/product_data.hpp"
#include "protocols/common/remaining_time.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/common/track_joiner.hpp"
#include "protocols/common/upload_names.hpp"
#include "protocols/flymaster/flymaster_frames.hpp"

namespace tracora::protocols::flymaster {

namespace {

using device::GpsAccessJob;
using device::PilotDataUpload;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kAborted = "Transfer aborted";
constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kTrackListTitle = "Read GPS track data";
constexpr const char* kWaypointTitle = "Read GPS waypoints";
constexpr const char* kUploadTitle = "Write GPS waypoints";
constexpr const char* kSetTitle = "Set Flymaster data";

constexpr int kPauseAfterProductMs = 200;
constexpr int kTrackListSilenceMs = 2000;
constexpr std::size_t kTrackListLineChars = 78;
constexpr int kTrackSilenceMs = 3000;
constexpr int kWaypointSilenceMs = 1000;
constexpr std::size_t kWaypointLineChars = 198;
constexpr int kUploadAnswerMs = 2000;
constexpr std::size_t kUploadAnswerChars = 48;
constexpr int kPauseAfterUploadMs = 100;
constexpr int kPauseAfterSetMs = 500;

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

int ReadFailed(GpsAccessJob& job, int status, const char* message, const char* title) {
    if (IsAbort(status)) {
        return Aborted(job);
    }
    job.Error(message, title);
    return -1;
}

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Port, product data and the instrument's names in the job. 0 or -1 (reported).
int Connect(GpsAccessJob& job, FlymasterProduct& product) {
    if (job.OpenComPort(kBaud, false) != 0) {
        return -1;
    }
    std::vector<std::string> fields;
    const ProductDataRequest request{kProductRequest, kProductIdentifier, 5, 60};
    if (ExchangeProductData(job, request, fields) != 0) {
        return -1;
    }
    product = DecodeProductData(fields);
    job.Status("Product data read");
    job.Status2(DeviceDescription(product));
    job.productName = "Flymaster";
    job.instrumentDescription = DeviceDescription(product);
    job.productText = DeviceIdentifier(product);
    job.track.productName = job.productName;
    job.track.instrumentDescription = job.instrumentDescription;
    job.track.productText = job.productText;
    if (!job.Pause(kPauseAfterProductMs)) {
        return Aborted(job);
    }
    job.DiscardInput();
    return 0;
}

int ReadFlightList(GpsAccessJob& job) {
    const FlightListExchange exchange{kFlightListRequest, kFlightListIdentifier,
                                      kTrackListSilenceMs, kTrackListLineChars, kTrackListTitle};
    return ReceiveFlightList(job, exchange);
}

// Collects the sentences that start with `prefix` (matched byte by byte, a mismatch restarts
// the match) up to CR, at most `maxChars` after the prefix; a line is complete at the LF.
class PrefixLineCollector {
public:
    PrefixLineCollector(std::string_view prefix, std::size_t maxChars)
        : prefix_(prefix), maxChars_(maxChars) {}
    // True when `byte` completed a line; Line() holds it from the '$' without CR LF.
    bool Feed(std::uint8_t byte) {
        const char c = static_cast<char>(byte);
        if (matched_ < prefix_.size()) {
            if (c == prefix_[matched_]) {
                ++matched_;
            } else {
                matched_ = c == prefix_[0] ? 1 : 0;
            }
            if (matched_ == prefix_.size()) {
                line_.assign(prefix_);
                afterCr_ = false;
            }
            return false;
        }
        if (afterCr_) {
            matched_ = 0;
            afterCr_ = false;
            if (c == '\n') {
                return true;
            }
            return Feed(byte);
        }
        if (c == '\r') {
            afterCr_ = true;
        } else if (line_.size() < prefix_.size() + maxChars_) {
            line_ += c;
        }
        return false;
    }
    const std::string& Line() const { return line_; }
    bool InsideLine() const { return matched_ > 0; }

private:
    std::string_view prefix_;
    std::size_t maxChars_;
    std::size_t matched_ = 0;
    bool afterCr_ = false;
    std::string line_;
};

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
    PrefixLineCollector collector(kWaypointPrefix, kWaypointLineChars);
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
        if (!collector.Feed(byte)) {
            continue;
        }
        FlymasterWaypointFields fields;
        if (const int code = ParseWaypointAnswer(collector.Line(), fields); code != 0) {
            job.Error(FormatCount("E302 Format error %", code), kWaypointTitle);
            return -1;
        }
        ++delivered;
        const Waypoint waypoint = ToWaypoint(fields, readTime);
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

// Cancels the transfer on the instrument, then reports `message`. -1.
int Cancel(GpsAccessJob& job, const std::string& message, const char* title) {
    const std::uint8_t cancel = kCancel;
    job.WriteBytes({&cancel, 1});
    if (!message.empty()) {
        job.Error(message, title);
    }
    return -1;
}

// Downloads the track of flight-list slot `index` into `decoder`. 0 or -1 (reported).
int ReceiveTrack(GpsAccessJob& job, int index, TrackDecoder& decoder) {
    const auto slot = static_cast<std::size_t>(index);
    job.Status(FormatCount("Requesting track log %", index + 1));
    if (job.WriteText(TrackRequest(job.flights.start[slot])) != 0) {
        return WriteFailed(job, "E202 COM port write error", kTrackTitle);
    }
    SerialReceiver serial(job, false);
    PacketReceiver packets;
    PositionPacer positions(job.sendLogSeconds);
    Clock::time_point firstPointAt = Clock::now();
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByte(byte, kTrackSilenceMs);
        if (rc == kSilence) {
            job.Status("Timeout receiving data");
            return Cancel(job, "E203 Timeout receiving data", kTrackTitle);
        }
        if (rc < 0) {
            if (IsAbort(rc)) {
                Cancel(job, "", kTrackTitle);
                return Aborted(job);
            }
            return Cancel(job, "E204 COM port read error", kTrackTitle);
        }
        const PacketReceiver::Event event = packets.Feed(byte);
        if (event == PacketReceiver::Event::kNone) {
            continue;
        }
        if (event == PacketReceiver::Event::kBadChecksum) {
            const std::uint8_t bad = kRefuse;
            job.WriteBytes({&bad, 1});
            return Cancel(job, "E205 Bad checksum in data block", kTrackTitle);
        }
        const std::size_t before = decoder.Points().size();
        const std::uint8_t type =
            event == PacketReceiver::Event::kEnd ? kEndPacket : packets.Type();
        if (const int code = decoder.Packet(type, packets.Data()); code != 0) {
            return Cancel(job, TrackErrorText(code), kTrackTitle);
        }
        if (decoder.Ended()) {
            DownloadProgress whole;
            whole.listedDurationSeconds = job.flights.duration[slot];
            CompleteTrackProgress(job, whole);
            return 0;
        }
        const std::uint8_t accept = kAccept;
        if (job.WriteBytes({&accept, 1}) != 0) {
            return WriteFailed(job, "E202 COM port write error", kTrackTitle);
        }
        const std::vector<TrackPoint>& points = decoder.Points();
        if (before == 0 && !points.empty()) {
            firstPointAt = Clock::now();
        }
        for (std::size_t i = before; i < points.size(); ++i) {
            if (positions.Enabled()) {
                if (std::optional<std::string> text = positions.Offer(points[i])) {
                    job.Notify(*text);
                }
            }
            const auto count = static_cast<long long>(i + 1);
            if (count % 200 != 0) {
                continue;
            }
            DownloadProgress progress;
            progress.elapsedMs = MsSince(firstPointAt);
            progress.receivedPoints = count;
            progress.firstPointTime = points.front().time;
            progress.lastPointTime = points[i].time;
            progress.listedDurationSeconds = job.flights.duration[slot];
            const int seconds = ReportTrackProgress(job, progress);
            job.Status(FormatCount("Track position % (%m %s)", count, seconds / 60, seconds % 60));
            job.Notify(FormatCount("Progress %/?", count));
        }
    }
}

// Whether the job should switch the instrument off after a download.
int PowerOff(GpsAccessJob& job) {
    if (job.powerOff && job.WriteText(kPowerOffRequest) != 0) {
        return WriteFailed(job, "COM port write error", kTrackTitle);
    }
    return 0;
}

int DownloadTracks(GpsAccessJob& job, const FlymasterProduct& product,
                   const std::vector<int>& indexes) {
    std::vector<TrackPoint> joined;
    FlightInfo info;
    for (const int index : indexes) {
        TrackDecoder decoder;
        decoder.SetB1Nav(IsB1Nav(product));
        decoder.Points().reserve(1000);
        if (ReceiveTrack(job, index, decoder) != 0) {
            return -1;
        }
        info = decoder.Info();
        job.instrumentDescription = StringPrintf("Flymaster F1, V%d.%d, S/N %u", info.firmwareMajor,
                                                 info.firmwareMinor, info.serial);
        job.productText = StringPrintf("Flymaster: %u", info.serial).substr(0, 50);
        std::vector<TrackPoint>& points = decoder.Points();
        job.Status(FormatCount("% points received", static_cast<long long>(points.size())));
        // A flight the instrument ended without a position adds nothing to the join.
        if (points.empty()) {
            continue;
        }
        const std::uint32_t newFirst = points.front().time;
        const std::uint32_t newLast = points.back().time;
        const std::uint32_t oldFirst = joined.empty() ? 0 : joined.front().time;
        const std::uint32_t oldLast = joined.empty() ? 0 : joined.back().time;
        if (JoinTrack(joined, std::move(points)) != 0) {
            job.Error(StringPrintf("Overlapping tracks (%08X,%08X)(%08X,%08X)", oldFirst, oldLast,
                                   newFirst, newLast),
                      kTrackTitle);
            return -1;
        }
    }
    job.Status(FormatCount("% points received", static_cast<long long>(joined.size())));
    if (joined.empty()) {
        job.Error("No points detected", kTrackTitle);
        return -1;
    }
    DownloadedTrackLog& track = job.track;
    track.points = std::move(joined);
    track.sourceKind = kSourceKind;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = true;
    track.hasPressureAltitude = true;
    track.gRecordEligible = true;
    track.productName = job.productName;
    track.instrumentDescription = job.instrumentDescription;
    track.productText = job.productText;
    return PowerOff(job);
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

// Waits for the instrument's answer to one upload. 0, a format code, -1 on a read error, -2
// when the time ran out.
int ReceiveUploadAnswer(SerialReceiver& receiver, const FlymasterProduct& product,
                        const std::string& sentName) {
    PrefixLineCollector collector(kUploadAnswerPrefix, kUploadAnswerChars);
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByte(byte, kUploadAnswerMs);
        if (rc < 0) {
            return -1;
        }
        if (rc == kSilence) {
            return -2;
        }
        if (collector.Feed(byte)) {
            return CheckUploadAnswer(collector.Line(), product.software, sentName);
        }
    }
}

}  // namespace

int FlymasterReadTrackLog(GpsAccessJob& job) {
    return Guarded(job, "E201 Track log memory allocation", kTrackTitle, [&job] {
        FlymasterProduct product;
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
        if (ReadFlightList(job) != 0) {
            return -1;
        }
        const std::vector<int> indexes = SelectFlights(job, kTrackTitle);
        if (indexes.empty()) {
            return -1;
        }
        return DownloadTracks(job, product, indexes);
    });
}

int FlymasterReadFlightList(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kTrackListTitle, [&job] {
        FlymasterProduct product;
        if (Connect(job, product) != 0 || ReadFlightList(job) != 0) {
            return -1;
        }
        job.Notify(FlightListText(FlightListSlots(job.flights)));
        return 0;
    });
}

int FlymasterReadWaypoints(GpsAccessJob& job) {
    return Guarded(job, "E300 Waypoint memory allocation", kWaypointTitle, [&job] {
        FlymasterProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        competition::PilotIds unused;
        return ReadWaypointList(job, false, unused);
    });
}

int FlymasterWriteWaypoints(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kUploadTitle, [&job] {
        FlymasterProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        const auto total = static_cast<long long>(job.waypoints.size());
        long long sent = 0;
        long long errors = 0;
        int firstError = 0;
        SerialReceiver receiver(job);
        for (const Waypoint& waypoint : job.waypoints) {
            if (job.AbortRequested()) {
                job.Status(std::string(kAborted));
                job.Status(FormatCount("% waypoints sent", sent));
                return -1;
            }
            const std::string name = UploadName(waypoint, job.parameter);
            if (job.WriteText(WaypointUploadSentence(waypoint, name)) != 0) {
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
            const int answer = ReceiveUploadAnswer(receiver, product, UploadNameField(name));
            if (answer == -1 && job.AbortRequested()) {
                return Aborted(job);
            }
            if (answer == -1 || answer == -2) {
                job.Error(
                    FormatCount(answer == -1 ? "% waypoints sent, % errors, COM port read error"
                                             : "% waypoints sent, % errors, response timeout",
                                sent, errors),
                    "Waypoint upload error");
                return -1;
            }
            if (answer != 0 && errors++ == 0) {
                firstError = answer;
            }
            if (!job.Pause(kPauseAfterUploadMs)) {
                return Aborted(job);
            }
        }
        if (errors > 0) {
            job.Error(StringPrintf("%lld waypoints sent, %lld errors, first error was type %d",
                                   sent, errors, firstError),
                      "Waypoint upload response error");
            return -1;
        }
        job.Status(FormatCount("% waypoints sent", sent));
        return 0;
    });
}

int FlymasterWritePilotData(GpsAccessJob& job) {
    return Guarded(job, "Memory allocation error", kSetTitle, [&job] {
        const PilotDataUpload& data = job.pilotData;
        FlymasterProduct product;
        if (Connect(job, product) != 0) {
            return -1;
        }
        const bool b1nav = IsB1Nav(product);
        std::string sentence;
        switch (data.mode) {
            case PilotDataUpload::Mode::kPilotData:
                if (b1nav) {
                    job.Error("Command not available for B1 NAV", "Set pilot data");
                    return -1;
                }
                sentence = PilotDataSentence(data.pilotName, data.competitionNumber,
                                             data.gliderBrand, data.gliderModel);
                break;
            case PilotDataUpload::Mode::kAltitudeAlarm:
                if (b1nav) {
                    job.Error("Command not available for B1 NAV", "Set altitude alarm");
                    return -1;
                }
                sentence = AltitudeAlarmSentence(data.altitudeMetres);
                break;
            case PilotDataUpload::Mode::kIds:
                if (!b1nav) {
                    job.Error("Command available for B1 NAV only", "Set pilot data");
                    return -1;
                }
                sentence = PilotIdsSentence(data.competitionId, data.civlId, data.pilotName);
                break;
        }
        if (job.WriteText(sentence) != 0) {
            return WriteFailed(job, "E401 COM port write error", kSetTitle);
        }
        if (!job.Pause(kPauseAfterSetMs)) {
            return Aborted(job);
        }
        job.Status("Data sent");
        return 0;
    });
}

}  // namespace tracora::protocols::flymaster
