#include "protocols/dsx/dsx_session.hpp"

#include <array>
#include <new>
#include <string>
#include <vector>

#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "protocols/common/igc_download.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/dsx/dsx_frames.hpp"

namespace tracora::protocols::dsx {

namespace {

using device::GpsAccessJob;

constexpr std::string_view kAborted = "Transfer aborted";
constexpr const char* kConnectTitle = "Opening connection to DSX";
constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kListTitle = "Read GPS track list";
constexpr const char* kSetTitle = "Set DSX pilot data";
constexpr int kAttemptMs = 2000;
constexpr int kListSilenceMs = 2000;
constexpr int kFirstByteMs = 10'000;
constexpr int kTrackSilenceMs = 3000;
constexpr int kFieldAnswerMs = 1000;

int Aborted(GpsAccessJob& job) {
    job.Status(std::string(kAborted));
    return -1;
}

int Failed(GpsAccessJob& job, const char* message, const char* title) {
    if (job.AbortRequested()) {
        return Aborted(job);
    }
    job.Error(message, title);
    return -1;
}

int Connect(GpsAccessJob& job) {
    job.productName = job.instrumentDescription = job.productText = "DSX";
    job.track.productName = job.track.instrumentDescription = job.track.productText = "DSX";
    job.Status2("DSX");
    if (job.OpenComPort(kConnectBaud, false) != 0) {
        return -1;
    }
    const int totalSeconds = job.openAttempts >= 1 ? job.openAttempts : 30;
    SerialReceiver receiver(job, false);
    for (int used = 0; used < totalSeconds; used += kAttemptMs / 1000) {
        job.Status(FormatCount("Opening connection (%)", (totalSeconds - used + 1) / 2));
        if (job.WriteText(kConnectRequest) != 0) {
            return Failed(job, "E101 COM port write error", kConnectTitle);
        }
        const auto deadline = SerialReceiver::Clock::now() + std::chrono::milliseconds(kAttemptMs);
        std::size_t matched = 0;
        while (matched < kConnectAnswer.size()) {
            std::uint8_t byte = 0;
            const int rc = receiver.ReadByteUntil(byte, deadline);
            if (rc < 0) {
                if (IsAbort(rc)) {
                    return Aborted(job);
                }
                job.Error("E102 COM port read error", kConnectTitle);
                return -1;
            }
            if (rc == kSilence) {
                break;
            }
            if (byte == static_cast<std::uint8_t>(kConnectAnswer[matched])) {
                ++matched;
            } else {
                matched = byte == static_cast<std::uint8_t>(kConnectAnswer[0]) ? 1 : 0;
            }
        }
        if (matched < kConnectAnswer.size()) {
            continue;
        }
        if (job.WriteText(kSpeedRequest) != 0) {
            return Failed(job, "E103 COM port write error", kConnectTitle);
        }
        if (!job.Pause(200)) {
            return Aborted(job);
        }
        if (job.SetComBaud(kBaud) != 0) {
            job.Error("E104 COM port speed set error", kConnectTitle);
            return -1;
        }
        return 0;
    }
    job.Error("No valid response from GPS", kConnectTitle);
    return -1;
}

int ReadFlightList(GpsAccessJob& job, std::vector<DsxFlight>& flights) {
    job.Status("Requesting track list");
    if (job.WriteText(kFlightListRequest) != 0) {
        return Failed(job, "E500 COM port write error", kListTitle);
    }
    SerialReceiver receiver(job, false);
    FlightListParser parser;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByte(byte, kListSilenceMs);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("E503 COM port read error", kListTitle);
            return -1;
        }
        if (rc == kSilence) {
            break;
        }
        if (const int code = parser.Feed(byte); code != 0) {
            job.Error(FormatCount("E505 Format error %", code), kListTitle);
            return -1;
        }
    }
    flights = parser.Flights();
    job.Status(FormatCount("% tracks in track list found", static_cast<long long>(flights.size())));
    return flights.empty() ? -1 : 0;
}

// The flight to download: the first slot the TRACK list (or a remote desk) selected; else the
// user's choice in the track list, newest first; else, with nobody to ask (a command-line or
// remote run), the newest (the last listed), so that such a run never waits for a dialog.
int ChooseFlight(GpsAccessJob& job, const std::vector<DsxFlight>& flights) {
    for (std::size_t i = 0; i < flights.size(); ++i) {
        if (job.flights.selected.test(i)) {
            return static_cast<int>(i);
        }
    }
    if (job.flights.selected.any()) {
        job.Error("No selected track in the track list", kTrackTitle);
        return -1;
    }
    const auto newest = static_cast<int>(flights.size()) - 1;
    if (job.chooseEntry) {
        std::vector<std::string> entries;
        entries.reserve(flights.size());
        for (auto it = flights.rbegin(); it != flights.rend(); ++it) {
            entries.push_back(FlightListEntry(*it));
        }
        const int row = job.chooseEntry(job, TrackListTitle(job.portName), entries);
        if (row < 0 || row >= static_cast<int>(flights.size())) {
            if (job.AbortRequested()) {
                return Aborted(job);
            }
            job.Status("Track selection cancelled");
            return -1;
        }
        return newest - row;
    }
    job.Status(FormatCount("No track selected: the newest, track %, is downloaded",
                           flights[static_cast<std::size_t>(newest)].number));
    return newest;
}

// Feeds the flight's bytes to `receiver` until the "ZZZZ" line, which is not kept. 0 or -1.
int ReceiveFlight(GpsAccessJob& job, IgcReceiver& receiver) {
    SerialReceiver serial(job, false);
    std::string held;  // bytes of a line that may be the end line
    bool atLineStart = true;
    int silenceMs = kFirstByteMs;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByte(byte, silenceMs);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("E203 COM port read error", kTrackTitle);
            return -1;
        }
        if (rc == kSilence) {
            job.Error(
                "E208 Incomplete transfer: the recorder stopped sending before the end of "
                "the flight",
                kTrackTitle);
            return -1;
        }
        silenceMs = kTrackSilenceMs;
        std::string bytes;
        if (atLineStart || !held.empty()) {
            held += static_cast<char>(byte);
            const std::string end = std::string(kEndOfFlight);
            if (held == end + "\r\n" || held == end + "\n") {
                return 0;
            }
            if ((end + "\r\n").starts_with(held) || (end + "\n").starts_with(held)) {
                atLineStart = false;
                continue;
            }
            bytes.swap(held);
        } else {
            bytes = static_cast<char>(byte);
        }
        for (const char c : bytes) {
            switch (receiver.Feed(static_cast<std::uint8_t>(c))) {
                case IgcReceiver::Event::kNone:
                case IgcReceiver::Event::kLineParsed:
                    break;
                case IgcReceiver::Event::kBadRecordType:
                    job.Error(StringPrintf("E205 Bad record type (%02X)", receiver.BadByte()),
                              kTrackTitle);
                    return -1;
                case IgcReceiver::Event::kLineTooLong:
                    job.Error("E207 Too long sentence", kTrackTitle);
                    return -1;
                case IgcReceiver::Event::kFormatError:
                    job.Error(FormatCount("E206 Format error %", receiver.FormatCode()),
                              kTrackTitle);
                    return -1;
            }
        }
        atLineStart = bytes.back() == '\n';
        const auto count = static_cast<long long>(receiver.State().points.size());
        if (count > 0 && count % 100 == 1 && atLineStart) {
            job.Status(count == 1 ? std::string("Receiving track log")
                                  : FormatCount("Track position %", count));
            if (count > 1) {
                job.Notify(FormatCount("Progress %/?", count));
            }
        }
    }
}

template <typename Routine>
int Guarded(GpsAccessJob& job, const char* title, Routine routine) {
    try {
        return routine();
    } catch (const std::bad_alloc&) {
        job.Error("E204 Track log memory allocation", title);
        return -1;
    }
}

}  // namespace

int DsxReadTrackLog(GpsAccessJob& job) {
    return Guarded(job, kTrackTitle, [&job] {
        if (job.competitionMode) {
            job.competitionId = -1;
            job.civlId = -1;
        }
        std::vector<DsxFlight> flights;
        if (Connect(job) != 0 || ReadFlightList(job, flights) != 0) {
            return -1;
        }
        const int chosen = ChooseFlight(job, flights);
        if (chosen < 0) {
            return -1;
        }
        job.Status("Requesting track log");
        if (job.WriteText(FlightRequest(flights[static_cast<std::size_t>(chosen)].number)) != 0) {
            return Failed(job, "E202 COM port write error", kTrackTitle);
        }
        IgcReceiver receiver;
        receiver.RawText().reserve(20000);
        receiver.StartTrack();
        if (ReceiveFlight(job, receiver) != 0) {
            return -1;
        }
        IgcDownloadState& state = receiver.State();
        job.Status(FormatCount("% points received", static_cast<long long>(state.points.size())));
        if (state.manufacturer.empty()) {
            job.Error("Bad or missing A-record", kTrackTitle);
            return -1;
        }
        const bool hasG = state.gRecordCount > 0;
        DownloadedTrackLog& track = job.track;
        track.points = std::move(state.points);
        track.sourceKind = kSourceKind;
        track.protocol = ProtocolNumber(job.protocol);
        track.timeIsUtc = true;
        track.hasPressureAltitude = true;
        track.gRecordEligible = hasG;
        track.rawIgc.text = std::move(receiver.RawText());
        job.WriteText(kEndRequest);
        job.Pause(200);
        if (!hasG) {
            job.Error("No G-records found", kTrackTitle);
            return 0;
        }
        return 1;
    });
}

int DsxWritePilotData(GpsAccessJob& job) {
    return Guarded(job, kSetTitle, [&job] {
        if (Connect(job) != 0) {
            return -1;
        }
        std::array<std::string, 6> read;
        SerialReceiver receiver(job, false);
        for (int field = 1; field <= kFieldCount; ++field) {
            if (job.WriteText(ReadFieldRequest(field)) != 0) {
                return Failed(job, "COM port write error", kSetTitle);
            }
            std::string value;
            for (;;) {
                std::uint8_t byte = 0;
                const int rc = receiver.ReadByte(byte, kFieldAnswerMs);
                if (rc < 0) {
                    if (IsAbort(rc)) {
                        return Aborted(job);
                    }
                    job.Error("COM port read error", "Request user data");
                    return -1;
                }
                if (rc == kSilence) {
                    job.Error("Response timeout", "Request user data");
                    return -1;
                }
                if (byte == '\r') {
                    break;
                }
                if (value.size() < kFieldMax) {
                    value += static_cast<char>(byte);
                }
            }
            read[static_cast<std::size_t>(field - 1)] = value;
            if (!job.Pause(200)) {
                return Aborted(job);
            }
        }
        std::array<std::string, 6> wanted = job.pilotData.fields;
        if (job.pilotData.edit) {
            wanted = read;
            wanted[5].clear();
            if (!job.pilotData.edit(job, wanted)) {
                if (job.AbortRequested()) {
                    return Aborted(job);
                }
                job.Status("Cancelled");
                return -1;
            }
        }
        for (int field = 1; field <= 6; ++field) {
            const std::string& value = wanted[static_cast<std::size_t>(field - 1)];
            // Blank or unchanged fields are not sent.
            if (value.empty() ||
                (field <= kFieldCount && value == read[static_cast<std::size_t>(field - 1)])) {
                continue;
            }
            job.Status(field == 6 ? std::string("Sending C1") : StringPrintf("Sending H%d", field));
            if (job.WriteText(WriteFieldRequest(field, value)) != 0) {
                return Failed(job, "COM port write error", kSetTitle);
            }
        }
        if (!job.Pause(500) || job.WriteText(kEndRequest) != 0 || !job.Pause(200)) {
            return Failed(job, "COM port write error", kSetTitle);
        }
        job.Status("Data sent");
        return 0;
    });
}

}  // namespace tracora::protocols::dsx
