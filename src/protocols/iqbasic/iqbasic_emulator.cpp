#include "protocols/iqbasic/iqbasic_emulator.hpp"

#include "emulate/emulator_kit.hpp"

namespace tracora::protocols::iqbasic {

namespace {

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
    : FaultedEmulator(link, log, config.lineRateBaud, config.stallMs), config_(std::move(config)) {}

int IqEmulator::Serve() {
    return ServeLines([this](const std::string& request) { Handle(request); });
}

void IqEmulator::Handle(const std::string& request) {
    NoteRequest(request);
    if (expectUpload_) {
        expectUpload_ = false;
        Change([&] { uploads_.push_back(request); });
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
        case IqFault::kCutConnection:
            return SendCut(answer);
        case IqFault::kStall:
            return SendStalled(answer);
        case IqFault::kStopHalfway:
            return SendHalf(answer);
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

std::vector<std::string> IqEmulator::Uploads() const {
    return Locked([this] { return uploads_; });
}

}  // namespace tracora::protocols::iqbasic
