#include "protocols/flytec/flytec_emulator.hpp"

#include <algorithm>

#include "device/serial_port.hpp"
#include "emulate/emulator_kit.hpp"
#include "protocols/common/nmea.hpp"

namespace tracora::protocols::flytec {

namespace {

bool Digits(std::string_view text, std::size_t offset, std::size_t count, int& value) {
    if (offset + count > text.size()) {
        return false;
    }
    int v = 0;
    for (std::size_t i = offset; i < offset + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + (text[i] - '0');
    }
    value = v;
    return true;
}

// The lines of an IGC text, each with its line end.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

std::string LineEnd(std::string_view line) {
    return line.ends_with("\r\n") ? "\r\n" : "\n";
}

std::string Join(const std::vector<std::string_view>& lines) {
    std::string text;
    for (const std::string_view line : lines) {
        text += line;
    }
    return text;
}

// The IGC text with a fault built in. Unchanged when the fault does not apply to IGC text.
std::string BreakIgc(const std::string& igc, FlytecFault fault) {
    std::vector<std::string_view> lines = Lines(igc);
    if (lines.empty()) {
        return igc;
    }
    const std::string end = LineEnd(lines.front());
    std::string extra;
    switch (fault) {
        case FlytecFault::kLineTooLong:
            extra = "L" + std::string(91, 'X') + end;
            break;
        case FlytecFault::kBadRecordType:
            extra = "1BAD RECORD" + end;
            break;
        case FlytecFault::kBRecordBeforeDate: {
            const auto b = std::find_if(lines.begin(), lines.end(),
                                        [](std::string_view l) { return l.starts_with("B"); });
            if (b == lines.end()) {
                return igc;
            }
            const std::string_view record = *b;
            lines.erase(b);
            lines.insert(lines.begin() + 1, record);
            return Join(lines);
        }
        default:
            return igc;
    }
    std::string text(lines.front());
    text += extra;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        text += lines[i];
    }
    return text;
}

}  // namespace

bool FlightInfoFromIgc(std::string_view igc, EmulatedFlightInfo& info) {
    return emulate::IgcFlightSpan(igc, info.start, info.durationSeconds);
}

std::vector<EmulatedWaypoint> BuiltInWaypoints() {
    return {
        {46 * 60000 + 30000, 7 * 60000 + 30500, "", "MY WPT", 1234},
        {46 * 60000 + 24563, 8 * 60000 + 7580, "FIESCH", "FIESCH KUEHBODEN", 2212},
        {46 * 60000 + 41650, 7 * 60000 + 51430, "NIESEN", "NIESEN KULM", 2362},
        {-(33 * 60000 + 57120), -(70 * 60000 + 21900), "LAGUNI", "LAGUNILLAS", 2100},
    };
}

FlytecEmulator::FlytecEmulator(device::EmulatorLink& link, FlytecEmulatorConfig config,
                               std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud, config.stallMs), config_(std::move(config)) {}

int FlytecEmulator::Serve() {
    return ServeSentences([this](std::string request) {
        // Flow-control bytes: the session's XON before each request, and whatever the line
        // discipline sends on its own.
        std::erase_if(request, [](char c) {
            return static_cast<std::uint8_t>(c) == device::kXon ||
                   static_cast<std::uint8_t>(c) == device::kXoff;
        });
        Handle(request);
    });
}

void FlytecEmulator::Handle(const std::string& request) {
    NoteRequest(request);
    std::vector<std::string> fields;
    if (SplitNmeaSentence(request, fields, 8) < 1) {
        Log("  not a valid sentence: ignored");
        return;
    }
    const std::string& id = fields[0];
    if (id == "$PBRSNP") {
        Answer(FlytecStep::kProductData, ProductAnswer(config_.product));
    } else if (id == "$PBRTL") {
        if (!config_.hasTrackList) {
            Log("  no track list in this model: not answered");
            return;
        }
        std::string answer;
        const auto count = static_cast<int>(config_.flights.size());
        for (std::size_t i = 0; i < config_.flights.size(); ++i) {
            EmulatedFlightInfo info;
            if (FlightInfoFromIgc(config_.flights[i], info)) {
                answer +=
                    TrackListAnswer(count, static_cast<int>(i), info.start, info.durationSeconds);
            }
        }
        Answer(FlytecStep::kTrackList, answer);
    } else if (id == "$PBRTR" || id == "$PBRIGC") {
        std::size_t index = 0;
        if (id == "$PBRTR") {
            int value = 0;
            if (fields.size() < 2 || !Digits(fields[1], 0, fields[1].size(), value) ||
                fields[1].empty()) {
                Log("  bad track index: ignored");
                return;
            }
            index = static_cast<std::size_t>(value);
        }
        if (index >= config_.flights.size()) {
            Log("  no such flight: not answered");
            return;
        }
        Answer(FlytecStep::kTrack, TrackText(index));
    } else if (id == "$PBRWPS") {
        std::string answer;
        for (const EmulatedWaypoint& w : config_.waypoints) {
            answer += WaypointAnswer(w.latitudeMilliMinutes, w.longitudeMilliMinutes, w.shortName,
                                     w.longName, w.altitude);
        }
        Answer(FlytecStep::kWaypoints, answer);
    } else if (id == "$PBRWPR") {
        UploadedWaypoint upload;
        if (DecodeWaypointUpload(request, upload) != 0) {
            Log("  bad waypoint upload: ignored");
            return;
        }
        Change([&] {
            uploadSentences_.push_back(request);
            uploads_.push_back(upload);
        });
    } else if (id == "$PBRCTRW") {
        HandleCtrSentence(request);
    } else if (id == "$PBRCTR") {
        const std::vector<CtrArea> stored = Locked([this] { return config_.airspaces; });
        std::string answer;
        for (const CtrArea& area : stored) {
            std::vector<CtrSentence> sentences;
            if (CtrSentences(area, kCtrListIdentifier, false, sentences)) {
                for (const CtrSentence& sentence : sentences) {
                    answer += sentence.text;
                }
            }
        }
        answer += CtrAckSentence('1');
        Answer(FlytecStep::kCtrList, answer);
    } else {
        Log("  unknown request: ignored");
    }
}

void FlytecEmulator::HandleCtrSentence(const std::string& sentence) {
    Change([&] { ctrSentences_.push_back(sentence); });
    const int event = ctrUpload_.Sentence(std::string_view(sentence).substr(0, sentence.find('*')));
    char status = '1';
    if (event > 0) {
        Log("  bad airspace sentence (code " + std::to_string(event) + "): plausibility error");
        ctrUpload_.Reset();
        status = '2';
    } else if (event != kCtrAreaDone) {
        return;
    }
    FlytecFault fault{};
    const bool faulted = TakeFault(FlytecStep::kCtrAck, fault, [](FlytecFault f) {
        return f >= FlytecFault::kAckPlausibility;
    });
    if (faulted) {
        constexpr char kStatus[] = {'2', '3', '4', '5', '9'};
        status = kStatus[static_cast<int>(fault) - static_cast<int>(FlytecFault::kAckPlausibility)];
    }
    std::vector<CtrArea>& received = ctrUpload_.Areas();
    if (status == '1' && !received.empty()) {
        Change([&] { config_.airspaces.push_back(std::move(received.back())); });
    }
    received.clear();
    Log(std::string("  airspace acknowledged with status ") + status);
    // A status fault is this answer's fault; other faults of the step apply to it otherwise.
    if (faulted) {
        Send(CtrAckSentence(status));
    } else {
        Answer(FlytecStep::kCtrAck, CtrAckSentence(status));
    }
    Change([this] { ++ctrAcks_; });
}

std::string FlytecEmulator::TrackText(std::size_t index) const {
    const std::string& igc = config_.flights[index];
    if (!config_.stripGRecords) {
        return igc;
    }
    std::string text;
    for (const std::string_view line : Lines(igc)) {
        if (!line.starts_with("G")) {
            text += line;
        }
    }
    return text;
}

bool FlytecEmulator::Answer(FlytecStep step, std::string answer) {
    FlytecFault fault{};
    if (!TakeFault(step, fault)) {
        return Send(answer);
    }
    switch (fault) {
        case FlytecFault::kSilence:
            Log("  fault: no answer");
            return true;
        case FlytecFault::kBadChecksum:
            Log("  fault: bad checksum");
            return Send(emulate::BreakChecksum(std::move(answer)));
        case FlytecFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("#?\xFE" + answer);
        case FlytecFault::kCutConnection:
            return SendCut(answer);
        case FlytecFault::kStall:
        case FlytecFault::kStallAtLineEnd:
            return SendStalled(answer, fault == FlytecFault::kStallAtLineEnd);
        case FlytecFault::kStopHalfway:
            return SendHalf(answer);
        case FlytecFault::kAckPlausibility:
        case FlytecFault::kAckNoMemory:
        case FlytecFault::kAckNoWriting:
        case FlytecFault::kAckSyntax:
        case FlytecFault::kAckUnknown:
            break;
        case FlytecFault::kLineTooLong:
        case FlytecFault::kBadRecordType:
        case FlytecFault::kBRecordBeforeDate:
            Log("  fault: broken IGC text");
            return Send(BreakIgc(answer, fault));
    }
    return Send(answer);
}

std::vector<UploadedWaypoint> FlytecEmulator::Uploads() const {
    return Locked([this] { return uploads_; });
}

std::vector<std::string> FlytecEmulator::UploadSentences() const {
    return Locked([this] { return uploadSentences_; });
}

bool FlytecEmulator::WaitForUploads(std::size_t count, int timeoutMs) const {
    return WaitUntil([&] { return uploads_.size() >= count; }, timeoutMs);
}

std::vector<std::string> FlytecEmulator::CtrSentencesReceived() const {
    return Locked([this] { return ctrSentences_; });
}

std::vector<CtrArea> FlytecEmulator::Airspaces() const {
    return Locked([this] { return config_.airspaces; });
}

bool FlytecEmulator::WaitForCtrAcks(std::size_t count, int timeoutMs) const {
    return WaitUntil([&] { return ctrAcks_ >= count; }, timeoutMs);
}

}  // namespace tracora::protocols::flytec
