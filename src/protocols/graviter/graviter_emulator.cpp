#include "protocols/graviter/graviter_emulator.hpp"

#include <algorithm>

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
    : FaultedEmulator(link, log, config.lineRateBaud), config_(std::move(config)) {
    image_ = EncodeImage(config_.flights, config_.hasPressureAltitude);
}

int GraviterEmulator::Serve() {
    for (;;) {
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
        NoteRequest("V");
        Answer(GraviterStep::kProduct, EncodeProduct(config_.product));
        return;
    }
    if (command == 'R') {
        std::uint8_t digits[4] = {};
        if (link_.ReadExact(digits, kArgumentMs) <= 0)
            return;
        const std::string request = "R" + std::string(digits, digits + 4);
        NoteRequest(request);
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
        NoteRequest("N" + name);
        const bool fits = !NameCommand(name).empty();
        if (fits) {
            Change([&] { config_.product.pilot = name; });
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
                Log("  fault: no answer");
                return true;
            case GraviterFault::kBadChecksum:
                Log("  fault: bad checksum");
                // The last character: the checksum of a page, a letter of the other answers.
                answer.back() = answer.back() == '0' ? '1' : '0';
                break;
            case GraviterFault::kGarbage:
                Log("  fault: garbage before the answer");
                link_.InjectGarbageBeforeNextReply(std::string_view("#?\xFE\r\n", 5));
                break;
            case GraviterFault::kCutConnection:
                return SendCut(answer);
        }
    }
    answer += "\r\n";
    return Send(answer);
}

std::string GraviterEmulator::PilotName() const {
    return Locked([this] { return config_.product.pilot; });
}

}  // namespace tracora::protocols::graviter
