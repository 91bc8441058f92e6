#include "protocols/dsx/dsx_emulator.hpp"

#include <algorithm>

#include "device/io_status.hpp"
#include "emulate/emulator_kit.hpp"

namespace tracora::protocols::dsx {

DsxEmulator::DsxEmulator(device::EmulatorLink& link, DsxEmulatorConfig config, std::FILE* log)
    : link_(link), config_(std::move(config)), log_(log) {}

DsxEmulator::~DsxEmulator() {
    Stop();
}

void DsxEmulator::Start() {
    thread_ = std::thread([this] { Run(); });
}

void DsxEmulator::Stop() {
    link_.Stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DsxEmulator::Log(const std::string& text) {
    if (log_ != nullptr) {
        std::fprintf(log_, "%s\n", text.c_str());
        std::fflush(log_);
    }
}

int DsxEmulator::Run() {
    std::string line;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = link_.ReadByte(byte, 1000);
        if (rc == 0) {
            continue;
        }
        if (rc < 0) {
            return rc == device::kIoAborted || rc == device::kIoLinkLost ? 0 : rc;
        }
        if (byte == '\n') {
            continue;
        }
        if (byte != '\r') {
            line += static_cast<char>(byte);
            continue;
        }
        Handle(line);
        line.clear();
        if (link_.IsDropped() || link_.IsStopped()) {
            return 0;
        }
    }
}

void DsxEmulator::Handle(const std::string& request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    Log("request " + request);
    if (request == "V1") {
        Answer(DsxStep::kConnect, std::string(kConnectAnswer));
    } else if (request == "FL") {
        std::string answer = "#";
        for (std::size_t i = 0; i < config_.flights.size(); ++i) {
            answer += FlightListLine(config_.firstNumber + static_cast<int>(i),
                                     static_cast<long>(config_.flights[i].size() / 36));
        }
        Answer(DsxStep::kFlightList, answer);
    } else if (request.size() == 4 && request[0] == 'F') {
        const int number = std::atoi(request.c_str() + 1);
        const int index = number - config_.firstNumber;
        if (index < 0 || static_cast<std::size_t>(index) >= config_.flights.size()) {
            Log("  no such flight: not answered");
            return;
        }
        Answer(DsxStep::kFlight, config_.flights[static_cast<std::size_t>(index)] +
                                     std::string(kEndOfFlight) + "\r\n");
    } else if (request.size() == 2 && request[0] == 'E' && request[1] >= '1' && request[1] <= '5') {
        std::string value;
        {
            std::lock_guard lock(mutex_);
            value = config_.fields[static_cast<std::size_t>(request[1] - '1')];
        }
        Answer(DsxStep::kField, value + "\r");
    } else if (request.size() >= 2 && request[0] == 'H' && request[1] >= '1' && request[1] <= '5') {
        std::lock_guard lock(mutex_);
        config_.fields[static_cast<std::size_t>(request[1] - '1')] = request.substr(2);
    } else if (request.starts_with("C1")) {
        std::lock_guard lock(mutex_);
        telephone_ = request.substr(2);
    } else if (request == "V4" || request == "V0") {
        Log("  taken");
    } else {
        Log("  unknown request: ignored");
    }
}

bool DsxEmulator::Answer(DsxStep step, std::string answer) {
    DsxFault fault{};
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(faults_.begin(), faults_.end(),
                                     [step](const auto& f) { return f.first == step; });
        if (it == faults_.end()) {
            return Send(answer);
        }
        fault = it->second;
        faults_.erase(it);
    }
    switch (fault) {
        case DsxFault::kSilence:
            Log("  fault: no answer");
            return true;
        case DsxFault::kGarbled:
            Log("  fault: a garbled answer");
            if (step == DsxStep::kConnect) {
                return Send("Conn\r\n\r\n#");
            }
            return Send("#12 recs n.000345\r\n");
        case DsxFault::kCutConnection: {
            Log("  fault: cable cut halfway");
            const bool sent = Send(std::string_view(answer).substr(0, answer.size() / 2));
            link_.DropLink();
            return sent;
        }
        case DsxFault::kStopHalfway:
            Log("  fault: the answer stops halfway");
            return Send(std::string_view(answer).substr(0, answer.size() / 2));
        case DsxFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("?\xFE" + answer);
    }
    return Send(answer);
}

bool DsxEmulator::Send(std::string_view bytes) {
    return emulate::SendPaced(link_, bytes, config_.lineRateBaud);
}

void DsxEmulator::ArmFault(DsxStep step, DsxFault fault) {
    std::lock_guard lock(mutex_);
    faults_.emplace_back(step, fault);
}

std::vector<std::string> DsxEmulator::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::array<std::string, 5> DsxEmulator::Fields() const {
    std::lock_guard lock(mutex_);
    return config_.fields;
}

std::string DsxEmulator::Telephone() const {
    std::lock_guard lock(mutex_);
    return telephone_;
}

}  // namespace tracora::protocols::dsx
