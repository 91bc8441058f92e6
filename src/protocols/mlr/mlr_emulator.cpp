#include "protocols/mlr/mlr_emulator.hpp"

#include <algorithm>
#include <chrono>

#include "core/angles.hpp"
#include "core/time_base.hpp"
#include "device/io_status.hpp"
#include "emulate/emulator_kit.hpp"
#include "formats/igc/igc_reader.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/pmlr.hpp"

namespace tracora::protocols::mlr {

namespace {

constexpr int kRequestPollMs = 1000;
// How long the instrument gives the session to switch its line after a binary request.
constexpr int kSwitchWaitMs = 5000;
// After it has seen the switch, before the first frame: the session's switch purges its input.
constexpr int kAfterSwitchMs = 300;
// Before the "$GPWPL" stream: the pilot pressing the instrument's keys.
constexpr int kStreamStartMs = 500;

std::string BreakChecksum(std::string answer) {
    const std::size_t star = answer.find('*');
    if (star != std::string::npos && star + 2 < answer.size()) {
        char& digit = answer[star + 2];
        digit = digit == '0' ? '1' : '0';
    }
    return answer;
}

std::string Request(std::string_view sentence) {
    return std::string(sentence.substr(0, sentence.size() - 2));
}

}  // namespace

bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points) {
    igc::IgcParseResult parsed;
    if (igc::ParseIgc(igc, parsed) <= 0) {
        return false;
    }
    points = std::move(parsed.points);
    return !points.empty();
}

std::vector<Waypoint> BuiltInWaypoints() {
    struct Entry {
        const char* id;
        double latitude, longitude;
        int altitude;
    };
    constexpr Entry kEntries[] = {
        {"FIESCH", 46.409383, 8.126333, 2212}, {"NIESEN", 46.694167, 7.857167, 2362},
        {"LZ1", 46.678, 7.873, 568},           {"A-12", -33.952, -70.365, 2100},
        {"DEAD", 31.5, 35.45, -400},
    };
    std::vector<Waypoint> list;
    for (const Entry& e : kEntries) {
        Waypoint w;
        w.SetId(e.id);
        w.latitude = DegreesToSemicircles(e.latitude);
        w.longitude = DegreesToSemicircles(e.longitude);
        w.altitude = e.altitude;
        list.push_back(w);
    }
    return list;
}

MlrEmulator::MlrEmulator(device::EmulatorLink& link, MlrEmulatorConfig config, std::FILE* log)
    : link_(link), config_(std::move(config)), log_(log) {}

MlrEmulator::~MlrEmulator() {
    Stop();
}

void MlrEmulator::Start() {
    thread_ = std::thread([this] { Run(); });
}

void MlrEmulator::Stop() {
    link_.Stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void MlrEmulator::Log(const std::string& text) {
    if (log_ != nullptr) {
        std::fprintf(log_, "%s\n", text.c_str());
        std::fflush(log_);
    }
}

void MlrEmulator::NoteLine(const std::string& what) {
    Log("  line: " + what);
    std::lock_guard lock(mutex_);
    lineEvents_.push_back(what);
    changed_.notify_all();
}

int MlrEmulator::Run() {
    const int rc = emulate::ServeSentences(link_, kRequestPollMs,
                                           [this](const std::string& request) { Handle(request); });
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
    return rc;
}

void MlrEmulator::Handle(const std::string& request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        changed_.notify_all();
    }
    Log("request " + request);
    const std::string baud = std::to_string(emulate::LineBaud(config_.slaveFd));
    // The fixed requests are known byte for byte, their own checksum fields included.
    if (request == Request(kPmlrProductRequest)) {
        std::string body = "PMLR,IDGPS,01";
        for (std::size_t i = 0; i < 5; ++i) {
            body += ',';
            body += i < config_.product.size() ? config_.product[i] : std::string();
        }
        const std::string answer =
            "$" + body + "*" + std::string(1, "0123456789ABCDEF"[NmeaChecksum(body) >> 4]) +
            std::string(1, "0123456789ABCDEF"[NmeaChecksum(body) & 15]) + "\r\n";
        if (Answer(MlrStep::kProductData, answer)) {
            productAnswered_ = true;
        }
    } else if (request == Request(kPmlrEndSentence)) {
        NoteLine("end at " + baud);
        if (config_.streamWaypoints && productAnswered_ && !streamed_) {
            streamed_ = true;
            SendStream();
        }
    } else if (request == Request(kTrackRequest)) {
        NoteLine("track request at " + baud);
        SendFrames(MlrStep::kTrack);
    } else if (request == Request(kWaypointRequest)) {
        NoteLine("waypoint request at " + baud);
        SendFrames(MlrStep::kWaypoints);
    } else if (request.starts_with("$GPWPL,")) {
        std::lock_guard lock(mutex_);
        uploads_.push_back(request);
        changed_.notify_all();
    } else {
        Log("  unknown request: ignored");
    }
}

void MlrEmulator::SendStream() {
    if (!link_.Hold(kStreamStartMs)) {
        return;
    }
    std::string answer;
    for (int round = 0; round < 2; ++round) {
        for (const Waypoint& w : config_.waypoints) {
            answer += GpwplSentence(w);
        }
    }
    Answer(MlrStep::kStream, answer);
}

void MlrEmulator::SendFrames(MlrStep step) {
    const bool track = step == MlrStep::kTrack;
    const char* what = track ? "track frames" : "waypoint frames";
    if (!config_.binarySpeed) {
        if (!emulate::WaitForLineBaud(link_, config_.slaveFd, kBinaryBaud, kSwitchWaitMs)) {
            NoteLine(std::string(what) + " not at 38400");
            return;
        }
        NoteLine(std::string(what) + " at " + std::to_string(emulate::LineBaud(config_.slaveFd)));
        if (!link_.Hold(kAfterSwitchMs)) {
            return;
        }
    }
    const MlrProduct product = DecodeProduct(config_.product);
    const std::uint32_t offset = TimeOffset(product);
    const FrameShape& shape = track ? kTrackShape : kWaypointShape;
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::uint8_t> block;
    int inBlock = 0;
    const std::size_t total = track ? config_.points.size() : config_.waypoints.size();
    for (std::size_t i = 0; i < total; ++i) {
        if (track) {
            const TrackPoint& p = config_.points[i];
            TrackRecord record;
            record.number = static_cast<std::uint16_t>(i + 1);
            record.time = p.time + offset;
            record.latitude = p.latitude;
            record.longitude = p.longitude;
            record.altitude = p.gpsAltitude;
            record.flag = static_cast<std::uint8_t>(p.StartsSegment() ? 1 : 0);
            AppendTrackRecord(block, record);
        } else {
            AppendWaypointRecord(block, config_.waypoints[i], CurrentTime() + offset);
        }
        if (++inBlock == shape.maxRecords) {
            blocks.push_back(std::move(block));
            block.clear();
            inBlock = 0;
        }
    }
    if (inBlock > 0) {
        blocks.push_back(std::move(block));
    }
    MlrFault fault{};
    const bool faulted = TakeFault(step, fault);
    if (faulted && fault == MlrFault::kSilence) {
        Log("  fault: no answer");
        return;
    }
    if (faulted && fault == MlrFault::kGarbage) {
        Log("  fault: garbage before the answer");
        if (!Send("#?\xFE\x8B")) {
            return;
        }
    }
    std::uint8_t number = config_.firstSentence;
    if (!Send(EncodeFrame(shape, number, BlockType::kBegin))) {
        return;
    }
    const std::size_t half = blocks.size() / 2;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        ++number;
        std::string frame = EncodeFrame(shape, number, BlockType::kData, blocks[i]);
        if (faulted && i == half) {
            switch (fault) {
                case MlrFault::kBadChecksum:
                    Log("  fault: a frame with a bad sum");
                    frame[frame.size() - 3] = static_cast<char>(frame[frame.size() - 3] ^ 0x5A);
                    break;
                case MlrFault::kSequence:
                    Log("  fault: a sentence number skipped");
                    ++number;
                    frame = EncodeFrame(shape, number, BlockType::kData, blocks[i]);
                    break;
                case MlrFault::kBadCount:
                    Log("  fault: a frame with a bad record count");
                    frame[5] = static_cast<char>(shape.maxRecords + 1);
                    break;
                case MlrFault::kCutConnection:
                    Log("  fault: cable cut halfway");
                    Send(std::string_view(frame).substr(0, frame.size() / 2));
                    link_.DropLink();
                    return;
                case MlrFault::kStopHalfway:
                    Log("  fault: the answer stops halfway");
                    Send(std::string_view(frame).substr(0, frame.size() / 2));
                    return;
                case MlrFault::kStall:
                    Log("  fault: the unit freezes in the middle of the answer");
                    if (!emulate::SendWithStall(link_, frame, frame.size() / 2, config_.stallMs,
                                                config_.lineRateBaud)) {
                        return;
                    }
                    continue;
                default:
                    break;
            }
        }
        if (!Send(frame)) {
            return;
        }
    }
    ++number;
    Send(EncodeFrame(shape, number, BlockType::kEnd));
}

bool MlrEmulator::TakeFault(MlrStep step, MlrFault& fault) {
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

bool MlrEmulator::Answer(MlrStep step, std::string answer) {
    MlrFault fault{};
    if (!TakeFault(step, fault)) {
        return Send(answer);
    }
    switch (fault) {
        case MlrFault::kSilence:
            Log("  fault: no answer");
            return false;
        case MlrFault::kBadChecksum:
        case MlrFault::kSequence:
        case MlrFault::kBadCount:
            Log("  fault: bad checksum");
            return Send(BreakChecksum(std::move(answer)));
        case MlrFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("#?\xFE" + answer);
        case MlrFault::kCutConnection: {
            Log("  fault: cable cut halfway");
            Send(std::string_view(answer).substr(0, answer.size() / 2));
            link_.DropLink();
            return false;
        }
        case MlrFault::kStall:
            Log("  fault: the unit freezes in the middle of the answer");
            return emulate::SendWithStall(link_, answer, emulate::StallPoint(answer, false),
                                          config_.stallMs, config_.lineRateBaud);
        case MlrFault::kStopHalfway:
            Log("  fault: the answer stops halfway");
            Send(std::string_view(answer).substr(0, answer.size() / 2));
            return false;
    }
    return Send(answer);
}

bool MlrEmulator::Send(std::string_view bytes) {
    return emulate::SendPaced(link_, bytes, config_.lineRateBaud, [this](std::size_t count) {
        std::lock_guard lock(mutex_);
        bytesSent_ += count;
    });
}

void MlrEmulator::ArmFault(MlrStep step, MlrFault fault, int skip) {
    std::lock_guard lock(mutex_);
    faults_.push_back({step, fault, skip});
}

std::vector<std::string> MlrEmulator::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> MlrEmulator::Uploads() const {
    std::lock_guard lock(mutex_);
    return uploads_;
}

std::vector<std::string> MlrEmulator::LineEvents() const {
    std::lock_guard lock(mutex_);
    return lineEvents_;
}

bool MlrEmulator::WaitForRequest(std::string_view prefix, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    const auto seen = [&] {
        return std::any_of(requests_.begin(), requests_.end(),
                           [&](const std::string& r) { return r.starts_with(prefix); });
    };
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return seen() || ended_;
    }) && seen();
}

std::uint64_t MlrEmulator::BytesSent() const {
    std::lock_guard lock(mutex_);
    return bytesSent_;
}

}  // namespace tracora::protocols::mlr
