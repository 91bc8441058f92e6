#include "protocols/mtk/mtk_emulator.hpp"

#include <algorithm>

#include "core/strings.hpp"
#include "emulate/emulator_kit.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/mtk/mtk_frames.hpp"

namespace tracora::protocols::mtk {

namespace {

constexpr int kRequestPollMs = 200;
// The largest chunk served at once.
constexpr std::uint32_t kMaxChunk = 0x10000;

bool Hex(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 8)
        return false;
    value = 0;
    for (const char c : text) {
        int digit = 0;
        if (!HexDigitValue(c, digit))
            return false;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

std::string Ack(const std::string& subcommand) {
    return BuildNmeaSentence("PMTK001,182," + subcommand + ",3");
}

}  // namespace

MtkEmulator::MtkEmulator(device::EmulatorLink& link, MtkEmulatorConfig config, std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud, config.stallMs), config_(std::move(config)) {
    memory_ = BuildLog(config_.track, config_.holux);
    used_ = config_.track.empty() ? 0 : memory_.size();
    if (used_ == 0)
        memory_.clear();
    // Flash beyond the log is erased: 0xFF up to the sector's end.
    memory_.resize((memory_.size() + kSectorSize - 1) / kSectorSize * kSectorSize, 0xFF);
}

int MtkEmulator::Serve() {
    for (;;) {
        std::string line;
        const int got = link_.ReadLine(line, kRequestPollMs, 200);
        if (got == 0)
            continue;
        if (got < 0)
            return 0;  // stopped or cut
        const std::size_t dollar = line.find('$');
        if (dollar == std::string::npos)
            continue;
        std::vector<std::string> fields;
        if (SplitNmeaSentence(std::string_view(line).substr(dollar), fields, kMaxFields) < 1)
            continue;  // a damaged command goes unanswered
        std::string body = fields[0].substr(1);
        for (std::size_t i = 1; i < fields.size(); ++i)
            body += "," + fields[i];
        Handle(body);
    }
}

void MtkEmulator::Handle(const std::string& body) {
    NoteRequest(body);
    std::vector<std::string> f;
    for (std::size_t start = 0;;) {
        const std::size_t comma = body.find(',', start);
        f.push_back(body.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (f[0] == "PMTK605") {
        Log("firmware request");
        Answer(MtkStep::kProduct, BuildNmeaSentence("PMTK705," + config_.firmware1 + "," +
                                                    config_.firmware2 + ",MTK LOGGER"));
        return;
    }
    if (f[0] != "PMTK182" || f.size() < 2)
        return;
    if (f[1] == "2" && f.size() == 3) {
        std::uint32_t value = 0;
        MtkStep step = MtkStep::kStatus;
        if (f[2] == "7") {
            value = Locked([this] { return config_.logStatus; });
        } else if (f[2] == "8") {
            step = MtkStep::kMemory;
            value = Locked([this] { return static_cast<std::uint32_t>(used_); });
        } else if (f[2] == "2") {
            value = kUtc | kValid | kLatitude | kLongitude | kHeight;
        } else {
            return;
        }
        std::optional<MtkFault> fault = TakeFault(step);
        if (fault == MtkFault::kZero) {
            Log("fault: zero memory");
            value = 0;
            fault.reset();
        }
        const std::string answer = f[2] == "7"
                                       ? StringPrintf("PMTK182,3,7,%u", value)
                                       : StringPrintf("PMTK182,3,%s,%08X", f[2].c_str(), value);
        if (SendFaulted(BuildNmeaSentence(answer), fault))
            Send(Ack("2"));
        return;
    }
    if (f[1] == "5" || f[1] == "4") {
        const bool on = f[1] == "4";
        Change(
            [&] { config_.logStatus = on ? (config_.logStatus | 2u) : (config_.logStatus & ~2u); });
        Log(on ? "logging on" : "logging off");
        Answer(on ? MtkStep::kStart : MtkStep::kStop, Ack(f[1]));
        return;
    }
    if (f[1] == "6") {
        Log("erase");
        Change([this] {
            std::fill(memory_.begin(), memory_.end(), 0xFF);
            used_ = 0;
        });
        Answer(MtkStep::kErase, Ack("6"));
        return;
    }
    if (f[1] == "7" && f.size() == 4) {
        std::uint32_t address = 0;
        std::uint32_t size = 0;
        if (!Hex(f[2], address) || !Hex(f[3], size) || size == 0)
            return;
        size = std::min(size, kMaxChunk);
        std::optional<MtkFault> fault = TakeFault(MtkStep::kChunk);
        std::string hex;
        Change([&] {
            if (fault == MtkFault::kBadHeader && memory_.size() > 0x1FA) {
                Log("fault: bad header");
                memory_[0x1FA] = 0xFF;
                fault.reset();
            } else if (fault == MtkFault::kBadRecord) {
                const std::size_t at =
                    FirstRecordOffset(config_.holux) + 3 * RecordSize(config_.holux) - 1;
                if (at < memory_.size()) {
                    Log("fault: bad record");
                    memory_[at] ^= 0x5A;
                }
                fault.reset();
            }
            hex.reserve(2 * size);
            for (std::uint32_t i = 0; i < size; ++i) {
                const std::uint64_t at = static_cast<std::uint64_t>(address) + i;
                const std::uint8_t byte = at < memory_.size() ? memory_[at] : 0xFF;
                hex += StringPrintf("%02X", byte);
            }
        });
        std::uint32_t answered = address;
        if (fault == MtkFault::kWrongAddress) {
            Log("fault: wrong address");
            answered = address + static_cast<std::uint32_t>(kChunkSize);
            fault.reset();
        }
        const std::string answer =
            BuildNmeaSentence(StringPrintf("PMTK182,8,%08X,", answered) + hex);
        if (SendFaulted(answer, fault))
            Send(Ack("7"));
    }
}

bool MtkEmulator::Answer(MtkStep step, std::string answer) {
    return SendFaulted(std::move(answer), TakeFault(step));
}

bool MtkEmulator::SendFaulted(std::string answer, std::optional<MtkFault> fault) {
    if (!fault)
        return Send(answer);
    const std::size_t half = answer.size() / 2;
    switch (*fault) {
        case MtkFault::kSilence:
            Log("fault: silence");
            return false;
        case MtkFault::kBadChecksum: {
            Log("fault: bad checksum");
            const std::size_t star = answer.rfind('*');
            answer[star + 2] = answer[star + 2] == '0' ? '1' : '0';
            Send(answer);
            return false;
        }
        case MtkFault::kGarbage:
            Log("fault: garbage");
            link_.InjectGarbageBeforeNextReply(std::string_view("#?\xFE\r\n", 5));
            return Send(answer);
        case MtkFault::kCut: {
            Log("fault: cut");
            Send(std::string_view(answer).substr(0, half));
            link_.DropLink();
            return false;
        }
        case MtkFault::kStall:
            Log("fault: stall");
            return SendWithStall(answer, half);
        default:
            return Send(answer);
    }
}

std::optional<MtkFault> MtkEmulator::TakeFault(MtkStep step) {
    MtkFault fault{};
    if (!FaultedEmulator::TakeFault(step, fault))
        return std::nullopt;
    return fault;
}

std::vector<std::uint8_t> MtkEmulator::Image() const {
    return Locked([this] {
        return std::vector<std::uint8_t>(memory_.begin(),
                                         memory_.begin() + static_cast<std::ptrdiff_t>(used_));
    });
}

bool MtkEmulator::LoggingOn() const {
    return Locked([this] { return (config_.logStatus & 2) != 0; });
}

}  // namespace tracora::protocols::mtk
