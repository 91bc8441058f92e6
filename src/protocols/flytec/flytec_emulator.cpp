#include "protocols/flytec/flytec_emulator.hpp"

#include <algorithm>
#include <chrono>

#include "device/io_status.hpp"
#include "device/serial_port.hpp"
#include "emulate/emulator_kit.hpp"
#include "protocols/common/nmea.hpp"

namespace tracora::protocols::flytec {

namespace {

constexpr int kRequestPollMs = 1000;

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

// The first sentence's checksum made wrong (another valid hex digit).
std::string BreakChecksum(std::string answer) {
    const std::size_t star = answer.find('*');
    if (star != std::string::npos && star + 2 < answer.size()) {
        char& digit = answer[star + 2];
        digit = digit == '0' ? '1' : '0';
    }
    return answer;
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
    : link_(link), config_(std::move(config)), log_(log) {}

FlytecEmulator::~FlytecEmulator() {
    Stop();
}

void FlytecEmulator::Start() {
    thread_ = std::thread([this] { Run(); });
}

void FlytecEmulator::Stop() {
    link_.Stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void FlytecEmulator::Log(const std::string& text) {
    if (log_ != nullptr) {
        std::fprintf(log_, "%s\n", text.c_str());
        std::fflush(log_);
    }
}

int FlytecEmulator::Run() {
    for (;;) {
        std::string line;
        const int rc = link_.ReadLine(line, kRequestPollMs);
        if (rc == 0) {
            continue;
        }
        if (rc < 0) {
            std::lock_guard lock(mutex_);
            ended_ = true;
            changed_.notify_all();
            return rc == device::kIoAborted || rc == device::kIoLinkLost ? 0 : rc;
        }
        // Flow-control bytes: the session's XON before each request, and whatever the line
        // discipline sends on its own.
        std::erase_if(line, [](char c) {
            return static_cast<std::uint8_t>(c) == device::kXon ||
                   static_cast<std::uint8_t>(c) == device::kXoff;
        });
        if (!line.empty()) {
            Handle(line);
        }
        if (link_.IsDropped() || link_.IsStopped()) {
            std::lock_guard lock(mutex_);
            ended_ = true;
            changed_.notify_all();
            return 0;
        }
    }
}

void FlytecEmulator::Handle(const std::string& request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    Log("request " + request);
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
        std::lock_guard lock(mutex_);
        uploadSentences_.push_back(request);
        uploads_.push_back(upload);
        changed_.notify_all();
    } else if (id == "$PBRCTRW") {
        HandleCtrSentence(request);
    } else if (id == "$PBRCTR") {
        std::vector<CtrArea> stored;
        {
            std::lock_guard lock(mutex_);
            stored = config_.airspaces;
        }
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
    {
        std::lock_guard lock(mutex_);
        ctrSentences_.push_back(sentence);
    }
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
    bool faulted = false;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(faults_.begin(), faults_.end(), [](const ArmedFault& f) {
            return f.step == FlytecStep::kCtrAck && f.fault >= FlytecFault::kAckPlausibility;
        });
        if (it != faults_.end() && it->skip > 0) {
            --it->skip;
        } else if (it != faults_.end()) {
            fault = it->fault;
            faulted = true;
            faults_.erase(it);
        }
    }
    if (faulted) {
        constexpr char kStatus[] = {'2', '3', '4', '5', '9'};
        status = kStatus[static_cast<int>(fault) - static_cast<int>(FlytecFault::kAckPlausibility)];
    }
    std::vector<CtrArea>& received = ctrUpload_.Areas();
    if (status == '1' && !received.empty()) {
        std::lock_guard lock(mutex_);
        config_.airspaces.push_back(std::move(received.back()));
    }
    received.clear();
    Log(std::string("  airspace acknowledged with status ") + status);
    // A status fault is this answer's fault; other faults of the step apply to it otherwise.
    if (faulted) {
        Send(CtrAckSentence(status));
    } else {
        Answer(FlytecStep::kCtrAck, CtrAckSentence(status));
    }
    std::lock_guard lock(mutex_);
    ++ctrAcks_;
    changed_.notify_all();
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

bool FlytecEmulator::TakeFault(FlytecStep step, FlytecFault& fault) {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(faults_.begin(), faults_.end(),
                                 [step](const ArmedFault& f) { return f.step == step; });
    if (it == faults_.end()) {
        return false;
    }
    if (it->skip > 0) {
        --it->skip;
        return false;
    }
    fault = it->fault;
    faults_.erase(it);
    return true;
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
            return Send(BreakChecksum(std::move(answer)));
        case FlytecFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("#?\xFE" + answer);
        case FlytecFault::kCutConnection: {
            Log("  fault: cable cut halfway");
            const bool sent = Send(std::string_view(answer).substr(0, answer.size() / 2));
            link_.DropLink();
            return sent;
        }
        case FlytecFault::kStall:
        case FlytecFault::kStallAtLineEnd: {
            Log("  fault: the unit freezes in the middle of the answer");
            const std::size_t at =
                emulate::StallPoint(answer, fault == FlytecFault::kStallAtLineEnd);
            const bool sent = emulate::SendWithStall(link_, answer, at, config_.stallMs,
                                                     config_.lineRateBaud, Counter());
            Log("  fault: the unit goes on");
            return sent;
        }
        case FlytecFault::kStopHalfway:
            Log("  fault: the answer stops halfway");
            return Send(std::string_view(answer).substr(0, answer.size() / 2));
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

bool FlytecEmulator::Send(std::string_view bytes) {
    return emulate::SendPaced(link_, bytes, config_.lineRateBaud, Counter());
}

std::function<void(std::size_t)> FlytecEmulator::Counter() {
    return [this](std::size_t count) {
        std::lock_guard lock(mutex_);
        bytesSent_ += count;
    };
}

void FlytecEmulator::ArmFault(FlytecStep step, FlytecFault fault, int skip) {
    std::lock_guard lock(mutex_);
    faults_.push_back({step, fault, skip});
}

std::vector<std::string> FlytecEmulator::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<UploadedWaypoint> FlytecEmulator::Uploads() const {
    std::lock_guard lock(mutex_);
    return uploads_;
}

std::vector<std::string> FlytecEmulator::UploadSentences() const {
    std::lock_guard lock(mutex_);
    return uploadSentences_;
}

bool FlytecEmulator::WaitForUploads(std::size_t count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return uploads_.size() >= count || ended_;
    }) && uploads_.size() >= count;
}

std::vector<std::string> FlytecEmulator::CtrSentencesReceived() const {
    std::lock_guard lock(mutex_);
    return ctrSentences_;
}

std::vector<CtrArea> FlytecEmulator::Airspaces() const {
    std::lock_guard lock(mutex_);
    return config_.airspaces;
}

bool FlytecEmulator::WaitForCtrAcks(std::size_t count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return ctrAcks_ >= count || ended_;
    }) && ctrAcks_ >= count;
}

std::uint64_t FlytecEmulator::BytesSent() const {
    std::lock_guard lock(mutex_);
    return bytesSent_;
}

}  // namespace tracora::protocols::flytec
