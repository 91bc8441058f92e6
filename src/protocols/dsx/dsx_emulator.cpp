#include "protocols/dsx/dsx_emulator.hpp"

#include "device/io_status.hpp"
#include "emulate/emulator_kit.hpp"

namespace tracora::protocols::dsx {

DsxEmulator::DsxEmulator(device::EmulatorLink& link, DsxEmulatorConfig config, std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud), config_(std::move(config)) {}

int DsxEmulator::Serve() {
    std::string line;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = link_.ReadByte(byte, emulate::kRequestPollMs);
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
        Received(line.size() + 1);
        Handle(line);
        line.clear();
        if (link_.IsDropped() || link_.IsStopped()) {
            return 0;
        }
    }
}

void DsxEmulator::Handle(const std::string& request) {
    NoteRequest(request);
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
        const std::string value =
            Locked([&] { return config_.fields[static_cast<std::size_t>(request[1] - '1')]; });
        Answer(DsxStep::kField, value + "\r");
    } else if (request.size() >= 2 && request[0] == 'H' && request[1] >= '1' && request[1] <= '5') {
        Change([&] {
            config_.fields[static_cast<std::size_t>(request[1] - '1')] = request.substr(2);
        });
    } else if (request.starts_with("C1")) {
        Change([&] { telephone_ = request.substr(2); });
    } else if (request == "V4" || request == "V0") {
        Log("  taken");
    } else {
        Log("  unknown request: ignored");
    }
}

bool DsxEmulator::Answer(DsxStep step, std::string answer) {
    DsxFault fault{};
    if (!TakeFault(step, fault)) {
        return Send(answer);
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
        case DsxFault::kCutConnection:
            return SendCut(answer);
        case DsxFault::kStopHalfway:
            return SendHalf(answer);
        case DsxFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("?\xFE" + answer);
    }
    return Send(answer);
}

std::array<std::string, 5> DsxEmulator::Fields() const {
    return Locked([this] { return config_.fields; });
}

std::string DsxEmulator::Telephone() const {
    return Locked([this] { return telephone_; });
}

}  // namespace tracora::protocols::dsx
