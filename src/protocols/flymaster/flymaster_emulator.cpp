#include "protocols/flymaster/flymaster_emulator.hpp"

#include "emulate/emulator_kit.hpp"
#include "protocols/common/nmea.hpp"

namespace tracora::protocols::flymaster {

namespace {

// How long the instrument waits for the acknowledgement of a packet before it gives up.
constexpr int kControlWaitMs = 10'000;

}  // namespace

std::vector<EmulatedWaypoint> BuiltInWaypoints() {
    return {
        {46.5, 7.508333, 1234, "MY WPT", false},
        {46.409383, 8.126333, 2212, "FIESCH Kuehboden", false},
        {46.694167, 7.857167, 2362, "NIESEN Kulm", false},
        {46.678, 7.873, 568, "LZ Reichenbach", true},
        {-33.952, -70.365, 2100, "LAGUNILLAS", false},
    };
}

FlymasterEmulator::FlymasterEmulator(device::EmulatorLink& link, FlymasterEmulatorConfig config,
                                     std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud, config.stallMs), config_(std::move(config)) {}

// Lines without a '$' are control bytes of a transfer the instrument has already given up on.
int FlymasterEmulator::Serve() {
    return ServeSentences([this](const std::string& request) { Handle(request); });
}

void FlymasterEmulator::Handle(const std::string& request) {
    NoteRequest(request);
    std::vector<std::string> fields;
    // The flight-list request is a fixed text whose checksum is not the XOR of its
    // characters; the instrument knows it as it is.
    if (request + "\r\n" == kFlightListRequest) {
        fields = {"$PFMDNL", "LST"};
    } else if (SplitNmeaSentence(request, fields, 10) < 1) {
        Log("  not a valid sentence: ignored");
        return;
    }
    const std::string& id = fields[0];
    if (id == "$PBRSNP") {
        Answer(FlymasterStep::kProductData, ProductAnswer(config_.product));
    } else if (id == "$PFMDNL" && fields.size() >= 2 && fields[1] == "LST") {
        std::string answer;
        const auto count = static_cast<int>(config_.flights.size());
        for (std::size_t i = 0; i < config_.flights.size(); ++i) {
            const StoredFlight& flight = config_.flights[i];
            const CalendarTime start = TimeToCalendar(flight.Start() + kInstrumentEpoch);
            answer += FlightListAnswer(count, static_cast<int>(i), start, flight.Duration());
        }
        Answer(FlymasterStep::kFlightList, answer);
    } else if (id == "$PFMDNL" && fields.size() >= 2) {
        for (const StoredFlight& flight : config_.flights) {
            if (TrackRequest(flight.Start() + kInstrumentEpoch) == request + "\r\n") {
                SendTrack(flight);
                return;
            }
        }
        Log("  no such flight: not answered");
    } else if (id == "$PFMWPL") {
        std::string answer;
        for (const EmulatedWaypoint& w : config_.waypoints) {
            answer += WaypointAnswer(w.latitude, w.longitude, w.altitude, w.name, w.airfield);
        }
        Answer(FlymasterStep::kWaypoints, answer);
    } else if (id == "$PFMWPR" && fields.size() >= 8) {
        Change([&] { uploadedNames_.push_back(fields[6]); });
        Answer(FlymasterStep::kUpload, UploadAnswer(config_.product.software, fields[6]));
    } else if (id == "$PFMPLT" || id == "$PFMALT" || id == "$PFMIDS" || id == "$PFMOFF") {
        Log("  stored");
    } else {
        Log("  unknown request: ignored");
    }
}

std::uint8_t FlymasterEmulator::WaitForControl() {
    std::uint8_t byte = 0;
    if (link_.ReadByte(byte, kControlWaitMs) <= 0) {
        return 0;
    }
    Received(1);
    Change([&] { controlBytes_.push_back(byte); });
    return byte;
}

void FlymasterEmulator::SendTrack(const StoredFlight& flight) {
    const std::vector<std::string> packets = TrackPackets(flight);
    FlymasterFault fault{};
    const bool faulted = TakeFault(FlymasterStep::kTrack, fault);
    const std::size_t half = packets.size() / 2;
    if (faulted && fault == FlymasterFault::kSilence) {
        Log("  fault: no answer");
        return;
    }
    if (faulted && fault == FlymasterFault::kGarbage) {
        Log("  fault: garbage before the answer");
        if (!Send("#?\xFE")) {
            return;
        }
    }
    for (std::size_t i = 0; i < packets.size(); ++i) {
        std::string packet = packets[i];
        if (faulted && i == half) {
            switch (fault) {
                case FlymasterFault::kCutConnection:
                    Log("  fault: cable cut halfway");
                    link_.DropLink();
                    return;
                case FlymasterFault::kStopHalfway:
                    Log("  fault: the answer stops halfway");
                    return;
                case FlymasterFault::kStall:
                    Log("  fault: the unit freezes in the middle of the answer");
                    if (!link_.Hold(stallMs_)) {
                        return;
                    }
                    Log("  fault: the unit goes on");
                    break;
                case FlymasterFault::kBadChecksum:
                case FlymasterFault::kResend:
                    Log("  fault: a packet with a bad checksum");
                    packet.back() = static_cast<char>(packet.back() ^ 0x5A);
                    break;
                default:
                    break;
            }
        }
        if (!Send(packet)) {
            return;
        }
        std::uint8_t control = WaitForControl();
        if (control == kRefuse) {
            if (faulted && fault == FlymasterFault::kResend) {
                Log("  refused: sent again");
                if (!Send(packets[i])) {
                    return;
                }
            }
            // The receiver decides what follows a refused packet.
            control = WaitForControl();
        }
        if (control != kAccept) {
            Log(control == kCancel ? "  transfer cancelled by the receiver"
                                   : "  transfer ended without acknowledgement");
            return;
        }
    }
    Send(EncodePacket(kEndPacket, {}));
}

bool FlymasterEmulator::Answer(FlymasterStep step, std::string answer) {
    FlymasterFault fault{};
    if (!TakeFault(step, fault)) {
        return Send(answer);
    }
    switch (fault) {
        case FlymasterFault::kSilence:
            Log("  fault: no answer");
            return true;
        case FlymasterFault::kBadChecksum:
        case FlymasterFault::kResend:
            Log("  fault: bad checksum");
            return Send(emulate::BreakChecksum(std::move(answer)));
        case FlymasterFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("#?\xFE" + answer);
        case FlymasterFault::kCutConnection:
            return SendCut(answer);
        case FlymasterFault::kStall:
            return SendStalled(answer);
        case FlymasterFault::kStopHalfway:
            return SendHalf(answer);
    }
    return Send(answer);
}

std::vector<std::string> FlymasterEmulator::UploadedNames() const {
    return Locked([this] { return uploadedNames_; });
}

std::vector<std::uint8_t> FlymasterEmulator::ControlBytes() const {
    return Locked([this] { return controlBytes_; });
}

}  // namespace tracora::protocols::flymaster
