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
    : link_(link), config_(std::move(config)), log_(log) {
    memory_ = BuildLog(config_.track, config_.holux);
    used_ = config_.track.empty() ? 0 : memory_.size();
    if (used_ == 0)
        memory_.clear();
    // Flash beyond the log is erased: 0xFF up to the sector's end.
    memory_.resize((memory_.size() + kSectorSize - 1) / kSectorSize * kSectorSize, 0xFF);
}

MtkEmulator::~MtkEmulator() {
    Stop();
}

void MtkEmulator::Start() {
    thread_ = std::thread([this] { Run(); });
}

void MtkEmulator::Stop() {
    link_.Stop();
    if (thread_.joinable())
        thread_.join();
}

int MtkEmulator::Run() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (ended_)
                return 0;
        }
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
    {
        std::lock_guard lock(mutex_);
        received_.push_back(body);
    }
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
            std::lock_guard lock(mutex_);
            value = config_.logStatus;
        } else if (f[2] == "8") {
            step = MtkStep::kMemory;
            std::lock_guard lock(mutex_);
            value = static_cast<std::uint32_t>(used_);
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
        if (Send(BuildNmeaSentence(answer), fault))
            emulate::SendPaced(link_, Ack("2"), config_.lineRateBaud);
        return;
    }
    if (f[1] == "5" || f[1] == "4") {
        const bool on = f[1] == "4";
        {
            std::lock_guard lock(mutex_);
            config_.logStatus = on ? (config_.logStatus | 2u) : (config_.logStatus & ~2u);
        }
        Log(on ? "logging on" : "logging off");
        Answer(on ? MtkStep::kStart : MtkStep::kStop, Ack(f[1]));
        return;
    }
    if (f[1] == "6") {
        Log("erase");
        {
            std::lock_guard lock(mutex_);
            std::fill(memory_.begin(), memory_.end(), 0xFF);
            used_ = 0;
        }
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
        {
            std::lock_guard lock(mutex_);
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
        }
        std::uint32_t answered = address;
        if (fault == MtkFault::kWrongAddress) {
            Log("fault: wrong address");
            answered = address + static_cast<std::uint32_t>(kChunkSize);
            fault.reset();
        }
        const std::string answer =
            BuildNmeaSentence(StringPrintf("PMTK182,8,%08X,", answered) + hex);
        if (Send(answer, fault))
            emulate::SendPaced(link_, Ack("7"), config_.lineRateBaud);
    }
}

bool MtkEmulator::Answer(MtkStep step, std::string answer) {
    return Send(std::move(answer), TakeFault(step));
}

bool MtkEmulator::Send(std::string answer, std::optional<MtkFault> fault) {
    if (!fault)
        return emulate::SendPaced(link_, answer, config_.lineRateBaud);
    const std::size_t half = answer.size() / 2;
    switch (*fault) {
        case MtkFault::kSilence:
            Log("fault: silence");
            return false;
        case MtkFault::kBadChecksum: {
            Log("fault: bad checksum");
            const std::size_t star = answer.rfind('*');
            answer[star + 2] = answer[star + 2] == '0' ? '1' : '0';
            emulate::SendPaced(link_, answer, config_.lineRateBaud);
            return false;
        }
        case MtkFault::kGarbage:
            Log("fault: garbage");
            link_.InjectGarbageBeforeNextReply(std::string_view("#?\xFE\r\n", 5));
            return emulate::SendPaced(link_, answer, config_.lineRateBaud);
        case MtkFault::kCut: {
            Log("fault: cut");
            emulate::SendPaced(link_, std::string_view(answer).substr(0, half),
                               config_.lineRateBaud);
            link_.DropLink();
            std::lock_guard lock(mutex_);
            ended_ = true;
            return false;
        }
        case MtkFault::kStall:
            Log("fault: stall");
            return emulate::SendWithStall(link_, answer, half, config_.stallMs,
                                          config_.lineRateBaud);
        default:
            return emulate::SendPaced(link_, answer, config_.lineRateBaud);
    }
}

void MtkEmulator::ArmFault(MtkStep step, MtkFault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back({step, fault});
}

std::optional<MtkFault> MtkEmulator::TakeFault(MtkStep step) {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(faults_.begin(), faults_.end(),
                                 [step](const ArmedFault& armed) { return armed.step == step; });
    if (it == faults_.end())
        return std::nullopt;
    const MtkFault fault = it->fault;
    faults_.erase(it);
    return fault;
}

std::vector<std::uint8_t> MtkEmulator::Image() const {
    std::lock_guard lock(mutex_);
    return {memory_.begin(), memory_.begin() + static_cast<std::ptrdiff_t>(used_)};
}

std::vector<std::string> MtkEmulator::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool MtkEmulator::LoggingOn() const {
    std::lock_guard lock(mutex_);
    return (config_.logStatus & 2) != 0;
}

void MtkEmulator::Log(const std::string& text) {
    if (log_ != nullptr) {
        std::fprintf(log_, "mtk: %s\n", text.c_str());
        std::fflush(log_);
    }
}

}  // namespace tracora::protocols::mtk
