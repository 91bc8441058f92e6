#include "protocols/graviter/graviter_emulator.hpp"

#include <algorithm>

#include "device/io_status.hpp"
#include "emulate/emulator_kit.hpp"
#include "formats/igc/igc_reader.hpp"

namespace tracora::protocols::graviter {

namespace {

constexpr int kRequestPollMs = 200;
constexpr int kArgumentMs = 2000;

}  // namespace

bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points) {
    igc::IgcParseResult parsed;
    if (igc::ParseIgc(igc, parsed) <= 0)
        return false;
    points = std::move(parsed.points);
    for (TrackPoint& point : points)
        point.flags = 0;
    return !points.empty();
}

GraviterEmulator::GraviterEmulator(device::EmulatorLink& link, GraviterEmulatorConfig config,
                                   std::FILE* log)
    : link_(link), config_(std::move(config)), log_(log) {
    image_ = EncodeImage(config_.flights, config_.hasPressureAltitude);
}

GraviterEmulator::~GraviterEmulator() {
    Stop();
}

void GraviterEmulator::Start() {
    thread_ = std::thread([this] { Run(); });
}

void GraviterEmulator::Stop() {
    link_.Stop();
    if (thread_.joinable())
        thread_.join();
}

int GraviterEmulator::Run() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (ended_)
                return 0;
        }
        std::uint8_t command = 0;
        const int got = link_.ReadByte(command, kRequestPollMs);
        if (got == 0)
            continue;
        if (got < 0)
            return 0;  // stopped or cut
        Handle(command);
    }
}

void GraviterEmulator::Handle(std::uint8_t command) {
    if (command == 'V') {
        {
            std::lock_guard lock(mutex_);
            requests_.emplace_back("V");
        }
        Log("product request");
        Answer(GraviterStep::kProduct, EncodeProduct(config_.product));
        return;
    }
    if (command == 'R') {
        std::uint8_t digits[4] = {};
        if (link_.ReadExact(digits, kArgumentMs) <= 0)
            return;
        const std::string request = "R" + std::string(digits, digits + 4);
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        const std::optional<std::uint16_t> page = ParsePageRequest(request);
        if (!page)
            return;  // a damaged request goes unanswered, as on the real line
        const std::size_t at = static_cast<std::size_t>(*page) * kPageSize;
        if (at + kPageSize > image_.size()) {
            Answer(GraviterStep::kPage, std::string(kNoSuchPage));
            return;
        }
        Page bytes{};
        std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(at), kPageSize, bytes.begin());
        Answer(GraviterStep::kPage, EncodePageAnswer(*page, bytes));
        return;
    }
    if (command == 'N') {
        std::string name;
        for (;;) {
            std::uint8_t byte = 0;
            if (link_.ReadByte(byte, kArgumentMs) <= 0)
                return;
            if (byte == '\r')
                break;
            name += static_cast<char>(byte);
            if (name.size() > 64)
                return;
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back("N" + name);
        }
        Log("pilot name '" + name + "'");
        const bool fits = !NameCommand(name).empty();
        if (fits) {
            std::lock_guard lock(mutex_);
            config_.product.pilot = name;
        }
        Answer(GraviterStep::kName, std::string(fits ? kNameStored : kNameRefused));
    }
    // Anything else (CR, LF, noise) is ignored.
}

bool GraviterEmulator::Answer(GraviterStep step, std::string answer) {
    GraviterFault fault{};
    if (TakeFault(step, fault)) {
        switch (fault) {
            case GraviterFault::kSilence:
                Log("fault: silence");
                return true;
            case GraviterFault::kBadChecksum:
                Log("fault: bad checksum");
                // The last character: the checksum of a page, a letter of the other answers.
                answer.back() = answer.back() == '0' ? '1' : '0';
                break;
            case GraviterFault::kGarbage:
                Log("fault: garbage");
                link_.InjectGarbageBeforeNextReply(std::string_view("#?\xFE\r\n", 5));
                break;
            case GraviterFault::kCutConnection: {
                Log("fault: cut");
                emulate::SendPaced(link_, std::string_view(answer).substr(0, answer.size() / 2),
                                   config_.lineRateBaud);
                link_.DropLink();
                std::lock_guard lock(mutex_);
                ended_ = true;
                return false;
            }
        }
    }
    answer += "\r\n";
    return emulate::SendPaced(link_, answer, config_.lineRateBaud);
}

void GraviterEmulator::ArmFault(GraviterStep step, GraviterFault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back({step, fault});
}

bool GraviterEmulator::TakeFault(GraviterStep step, GraviterFault& fault) {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(faults_.begin(), faults_.end(),
                                 [step](const ArmedFault& armed) { return armed.step == step; });
    if (it == faults_.end())
        return false;
    fault = it->fault;
    faults_.erase(it);
    return true;
}

std::vector<std::string> GraviterEmulator::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string GraviterEmulator::PilotName() const {
    std::lock_guard lock(mutex_);
    return config_.product.pilot;
}

void GraviterEmulator::Log(const std::string& text) {
    if (log_ != nullptr) {
        std::fprintf(log_, "graviter: %s\n", text.c_str());
        std::fflush(log_);
    }
}

}  // namespace tracora::protocols::graviter
