#include "protocols/mlr/mlr_emulator.hpp"

#include "core/angles.hpp"
#include "core/time_base.hpp"
#include "emulate/emulator_kit.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/pmlr.hpp"

namespace tracora::protocols::mlr {

namespace {

// How long the instrument gives the session to switch its line after a binary request.
constexpr int kSwitchWaitMs = 5000;
// After it has seen the switch, before the first frame: the session's switch purges its input.
constexpr int kAfterSwitchMs = 300;
// Before the "$GPWPL" stream: the pilot pressing the instrument's keys.
constexpr int kStreamStartMs = 500;

std::string Request(std::string_view sentence) {
    return std::string(sentence.substr(0, sentence.size() - 2));
}

}  // namespace

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
    : FaultedEmulator(link, log, config.lineRateBaud, config.stallMs), config_(std::move(config)) {}

void MlrEmulator::NoteLine(const std::string& what) {
    Note(what, "  line: ");
}

int MlrEmulator::Serve() {
    return ServeSentences([this](const std::string& request) { Handle(request); });
}

void MlrEmulator::Handle(const std::string& request) {
    NoteRequest(request);
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
        Change([&] { uploads_.push_back(request); });
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
                    SendCut(frame);
                    return;
                case MlrFault::kStopHalfway:
                    SendHalf(frame);
                    return;
                case MlrFault::kStall:
                    Log("  fault: the unit freezes in the middle of the answer");
                    if (!SendWithStall(frame, frame.size() / 2)) {
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
            return Send(emulate::BreakChecksum(std::move(answer)));
        case MlrFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("#?\xFE" + answer);
        case MlrFault::kCutConnection:
            return SendCut(answer);
        case MlrFault::kStall:
            return SendStalled(answer);
        case MlrFault::kStopHalfway:
            return SendHalf(answer);
    }
    return Send(answer);
}

std::vector<std::string> MlrEmulator::Uploads() const {
    return Locked([this] { return uploads_; });
}

}  // namespace tracora::protocols::mlr
