#include "protocols/logit/logit_emulator.hpp"

#include <cstdlib>

#include "core/strings.hpp"
#include "emulate/emulator_kit.hpp"
#include "protocols/common/block_frame.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/pmlr.hpp"
#include "protocols/logit/logit_frames.hpp"

namespace tracora::protocols::logit {

namespace {

constexpr int kSwitchWaitMs = 5000;
constexpr int kAfterSwitchMs = 300;
constexpr std::uint32_t kEpochOffset = 315'100'800;
constexpr int kSpeeds[] = {19200, 38400, 57600, 115200, 4800};

std::string Request(std::string_view sentence) {
    return std::string(sentence.substr(0, sentence.size() - 2));
}

std::string WithXor(const std::string& body) {
    return "$" + body + StringPrintf("*%02X\r\n", NmeaChecksum(body));
}

}  // namespace

LogItEmulator::LogItEmulator(device::EmulatorLink& link, LogItEmulatorConfig config, std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud, config.stallMs), config_(std::move(config)) {}

int LogItEmulator::Serve() {
    return ServeSentences([this](const std::string& request) { Handle(request); });
}

void LogItEmulator::Handle(const std::string& request) {
    NoteRequest(request);
    const std::string baud = std::to_string(emulate::LineBaud(config_.slaveFd));
    if (request == Request(kPmlrProductRequest)) {
        Answer(LogItStep::kProductData,
               WithXor("PMLR,IDGPS,01," + config_.model + "," + config_.user + "," +
                       config_.serial + "," + config_.version));
        return;
    }
    if (request == Request(kPmlrEndSentence)) {
        Note("end at " + baud);
        return;
    }
    if (request == Request(kPointCountRequest)) {
        Answer(LogItStep::kPointCount,
               WithXor("PMLR,NUMTRACKPOINTS," + std::to_string(config_.points.size())));
        return;
    }
    if (request == Request(kEraseRequest)) {
        Note("erase");
        Change([this] {
            config_.points.clear();
            erased_ = true;
        });
        return;
    }
    if (request.starts_with("$PMLR,59,")) {
        // "$PMLR,59,<point>,<sum>": the next transfer starts at that point.
        const long long point = std::strtoll(request.c_str() + 9, nullptr, 10);
        Note("restart " + std::to_string(point));
        if (PmlrSentence(request.substr(0, request.rfind(',') + 1)) != request + "\r\n") {
            Log("  bad sum: ignored");
            return;
        }
        restartFrom_ = point >= 1 ? point - 1 : 0;
        return;
    }
    if (request.starts_with(kPmlrProductPrefix)) {
        Change([&] { names_.push_back(request.substr(kPmlrProductPrefix.size(), 9)); });
        return;
    }
    for (const int speed : kSpeeds) {
        if (request == Request(TrackRequest(speed))) {
            Note("track request at " + baud);
            SendTrack(speed);
            return;
        }
    }
    Log("  unknown request: ignored");
}

void LogItEmulator::SendTrack(int baud) {
    if (!emulate::WaitForLineBaud(link_, config_.slaveFd, baud, kSwitchWaitMs)) {
        Note("track blocks not at " + std::to_string(baud));
        return;
    }
    Note("track blocks at " + std::to_string(emulate::LineBaud(config_.slaveFd)));
    if (!link_.Hold(kAfterSwitchMs)) {
        return;
    }
    const bool restart = restartFrom_ >= 0;
    const auto first = static_cast<std::size_t>(restart ? restartFrom_ : 0);
    restartFrom_ = -1;
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::uint8_t> block;
    int inBlock = 0;
    std::uint16_t number = 0;
    for (std::size_t i = first; i < config_.points.size(); ++i) {
        const TrackPoint& p = config_.points[i];
        TrackRecord record;
        record.number = ++number;
        record.time = p.time + kEpochOffset;
        record.latitude = p.latitude;
        record.longitude = p.longitude;
        record.altitude = p.gpsAltitude;
        record.flag = static_cast<std::uint8_t>(p.StartsSegment() ? 0x21 : 0x20);
        AppendTrackRecord(block, record);
        if (++inBlock == kTrackShape.maxRecords) {
            blocks.push_back(std::move(block));
            block.clear();
            inBlock = 0;
        }
    }
    if (inBlock > 0) {
        blocks.push_back(std::move(block));
    }
    LogItFault fault{};
    const bool faulted = TakeFault(LogItStep::kTrack, fault);
    if (faulted && fault == LogItFault::kSilence) {
        Log("  fault: no answer");
        return;
    }
    if (faulted && fault == LogItFault::kGarbage && !Send("#?\xFE")) {
        return;
    }
    std::uint8_t sentence = config_.firstSentence;
    if (!Send(EncodeFrame(kTrackShape, sentence,
                          restart ? BlockType::kRestart : BlockType::kBegin))) {
        return;
    }
    const std::size_t half = blocks.size() / 2;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        ++sentence;
        std::string frame = EncodeFrame(kTrackShape, sentence, BlockType::kData, blocks[i]);
        if (faulted && i == half) {
            switch (fault) {
                case LogItFault::kBadChecksum:
                    Log("  fault: a block with a bad sum");
                    frame[frame.size() - 3] = static_cast<char>(frame[frame.size() - 3] ^ 0x5A);
                    break;
                case LogItFault::kSequence:
                    Log("  fault: a sentence number skipped");
                    ++sentence;
                    frame = EncodeFrame(kTrackShape, sentence, BlockType::kData, blocks[i]);
                    break;
                case LogItFault::kBadCount:
                    Log("  fault: a block with 17 records");
                    frame[5] = static_cast<char>(kTrackShape.maxRecords + 1);
                    break;
                case LogItFault::kCutConnection:
                    SendCut(frame);
                    return;
                case LogItFault::kStopHalfway:
                    SendHalf(frame);
                    return;
                case LogItFault::kStall:
                    Log("  fault: the logger freezes in the middle of the answer");
                    if (!SendWithStall(frame, frame.size() / 2)) {
                        return;
                    }
                    continue;
                default:
                    break;
            }
            if (fault == LogItFault::kBadChecksum || fault == LogItFault::kSequence ||
                fault == LogItFault::kBadCount) {
                // A broken block ends what this transfer sends: the receiver restarts or gives
                // up.
                Send(frame);
                return;
            }
        }
        if (!Send(frame)) {
            return;
        }
    }
    ++sentence;
    Send(EncodeFrame(kTrackShape, sentence, BlockType::kEnd));
}

bool LogItEmulator::Answer(LogItStep step, std::string answer) {
    LogItFault fault{};
    if (!TakeFault(step, fault)) {
        return Send(answer);
    }
    switch (fault) {
        case LogItFault::kSilence:
            Log("  fault: no answer");
            return false;
        case LogItFault::kBadChecksum:
        case LogItFault::kSequence:
        case LogItFault::kBadCount:
            Log("  fault: bad checksum");
            return Send(emulate::BreakChecksum(std::move(answer)));
        case LogItFault::kGarbage:
            return Send("#?\xFE" + answer);
        case LogItFault::kCutConnection:
            return SendCut(answer);
        case LogItFault::kStall:
            return SendStalled(answer);
        case LogItFault::kStopHalfway:
            return SendHalf(answer);
    }
    return Send(answer);
}

std::vector<std::string> LogItEmulator::Names() const {
    return Locked([this] { return names_; });
}

bool LogItEmulator::Erased() const {
    return Locked([this] { return erased_; });
}

}  // namespace tracora::protocols::logit
