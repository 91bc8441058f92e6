#include "protocols/iqbasic/iqbasic_emulator.hpp"

#include <algorithm>

#include "device/io_status.hpp"
#include "emulate/emulator_kit.hpp"

namespace tracora::protocols::iqbasic {

namespace {

constexpr int kRequestPollMs = 1000;

bool ParseHex(std::string_view text, unsigned& value) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    unsigned v = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        v = v * 16 + static_cast<unsigned>(digit);
    }
    value = v;
    return true;
}

}  // namespace

std::vector<std::string> BuiltInWaypointLines() {
    return {
        "MY WPT;N  46'30.000;E 007'30.500;  1234",
        "Fiesch Kuehboden;N  46'24.563;E 008'07.580;  2212",
        "NIESEN KULM;n 46 ' 41.650;e 7' 51.43;2362",
        "LAGUNILLAS;S  33'57.120;W 070'21.900;  2100",
    };
}

IqEmulator::IqEmulator(device::EmulatorLink& link, IqEmulatorConfig config, std::FILE* log)
    : link_(link), config_(std::move(config)), log_(log) {}

IqEmulator::~IqEmulator() {
    Stop();
}

void IqEmulator::Start() {
    thread_ = std::thread([this] { Run(); });
}

void IqEmulator::Stop() {
    link_.Stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void IqEmulator::Log(const std::string& text) {
    if (log_ != nullptr) {
        std::fprintf(log_, "%s\n", text.c_str());
        std::fflush(log_);
    }
}

int IqEmulator::Run() {
    for (;;) {
        std::string line;
        const int rc = link_.ReadLine(line, kRequestPollMs);
        if (rc == 0) {
            continue;
        }
        if (rc < 0) {
            return rc == device::kIoAborted || rc == device::kIoLinkLost ? 0 : rc;
        }
        Handle(line);
        if (link_.IsDropped() || link_.IsStopped()) {
            return 0;
        }
    }
}

void IqEmulator::Handle(const std::string& request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    Log("request " + request);
    if (expectUpload_) {
        expectUpload_ = false;
        {
            std::lock_guard lock(mutex_);
            uploads_.push_back(request);
        }
        Answer(IqStep::kUpload, std::string(kUploadDone) + "\r\n");
        return;
    }
    if (request == "RPA_00") {
        Answer(IqStep::kProductData,
               "RPA_00_" + EncodeAnswerValue(config_.product.serial) + "\r\n");
    } else if (request == "RPA_01") {
        Send("RPA_01_" + EncodeAnswerValue(config_.product.type) + "\r\n");
    } else if (request == "RPA_02") {
        Send("RPA_02_" + EncodeAnswerValue(config_.product.version) + "\r\n");
    } else if (request == "ACT_20_  ") {
        std::string answer;
        for (std::size_t i = 0; i < config_.flights.size(); ++i) {
            CalendarTime start;
            std::uint32_t duration = 0;
            if (emulate::IgcFlightSpan(config_.flights[i], start, duration)) {
                answer += TrackListAnswer(config_.firstNumber + static_cast<unsigned>(i), start,
                                          duration);
            }
        }
        Answer(IqStep::kTrackList, answer);
    } else if (request.starts_with("ACT_21_")) {
        unsigned number = 0;
        if (!ParseHex(std::string_view(request).substr(7), number) ||
            number < config_.firstNumber ||
            number - config_.firstNumber >= config_.flights.size()) {
            Log("  no such track: not answered");
            return;
        }
        Answer(IqStep::kTrack, config_.flights[number - config_.firstNumber]);
    } else if (request == "ACT_31_00") {
        std::string answer;
        for (const std::string& line : config_.waypointLines) {
            answer += line + "\r\n";
        }
        Answer(IqStep::kWaypoints, answer + "Done\r\n");
    } else if (request == "ACT_32_00") {
        expectUpload_ = true;
    } else {
        Log("  unknown command: ignored");
    }
}

bool IqEmulator::TakeFault(IqStep step, IqFault& fault) {
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

bool IqEmulator::Answer(IqStep step, std::string answer) {
    IqFault fault{};
    if (!TakeFault(step, fault)) {
        return Send(answer);
    }
    switch (fault) {
        case IqFault::kSilence:
            Log("  fault: no answer");
            return true;
        case IqFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("#?\r\n" + answer);
        case IqFault::kCutConnection: {
            Log("  fault: cable cut halfway");
            const bool sent = Send(std::string_view(answer).substr(0, answer.size() / 2));
            link_.DropLink();
            return sent;
        }
        case IqFault::kStall:
            Log("  fault: the unit freezes in the middle of the answer");
            return emulate::SendWithStall(link_, answer, emulate::StallPoint(answer, false),
                                          config_.stallMs, config_.lineRateBaud);
        case IqFault::kStopHalfway:
            Log("  fault: the answer stops halfway");
            return Send(std::string_view(answer).substr(0, answer.size() / 2));
        case IqFault::kMissingDone: {
            Log("  fault: no \"Done\"");
            const std::size_t done = answer.rfind("Done");
            if (done == std::string::npos) {
                return Send(answer);
            }
            // An upload answered with an empty line; a list that just stops.
            return Send(step == IqStep::kUpload ? std::string("\r\n") : answer.substr(0, done));
        }
    }
    return Send(answer);
}

bool IqEmulator::Send(std::string_view bytes) {
    return emulate::SendPaced(link_, bytes, config_.lineRateBaud);
}

void IqEmulator::ArmFault(IqStep step, IqFault fault, int skip) {
    std::lock_guard lock(mutex_);
    faults_.push_back({step, fault, skip});
}

std::vector<std::string> IqEmulator::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> IqEmulator::Uploads() const {
    std::lock_guard lock(mutex_);
    return uploads_;
}

}  // namespace tracora::protocols::iqbasic
