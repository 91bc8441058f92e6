#include "protocols/flymaster/flymaster_emulator.hpp"

#include <algorithm>
#include <chrono>

#include "device/io_status.hpp"
#include "emulate/emulator_kit.hpp"
#include "protocols/common/nmea.hpp"

namespace tracora::protocols::flymaster {

namespace {

constexpr int kRequestPollMs = 1000;
// How long the instrument waits for the acknowledgement of a packet before it gives up.
constexpr int kControlWaitMs = 10'000;

std::string BreakChecksum(std::string answer) {
    const std::size_t star = answer.find('*');
    if (star != std::string::npos && star + 2 < answer.size()) {
        char& digit = answer[star + 2];
        digit = digit == '0' ? '1' : '0';
    }
    return answer;
}

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
    : link_(link), config_(std::move(config)), log_(log) {}

FlymasterEmulator::~FlymasterEmulator() {
    Stop();
}

void FlymasterEmulator::Start() {
    thread_ = std::thread([this] { Run(); });
}

void FlymasterEmulator::Stop() {
    link_.Stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void FlymasterEmulator::Log(const std::string& text) {
    if (log_ != nullptr) {
        std::fprintf(log_, "%s\n", text.c_str());
        std::fflush(log_);
    }
}

int FlymasterEmulator::Run() {
    for (;;) {
        std::string line;
        const int rc = link_.ReadLine(line, kRequestPollMs);
        if (rc == 0) {
            continue;
        }
        if (rc < 0) {
            std::lock_guard lock(mutex_);
            ended_ = true;
            changed_.notify_all();
            return rc == device::kIoAborted || rc == device::kIoLinkLost ? 0 : rc;
        }
        // Control bytes of a transfer the instrument has already given up on.
        const std::size_t dollar = line.find('$');
        if (dollar != std::string::npos) {
            Handle(line.substr(dollar));
        }
        if (link_.IsDropped() || link_.IsStopped()) {
            std::lock_guard lock(mutex_);
            ended_ = true;
            changed_.notify_all();
            return 0;
        }
    }
}

void FlymasterEmulator::Handle(const std::string& request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        changed_.notify_all();
    }
    Log("request " + request);
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
        {
            std::lock_guard lock(mutex_);
            uploadedNames_.push_back(fields[6]);
            changed_.notify_all();
        }
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
    std::lock_guard lock(mutex_);
    controlBytes_.push_back(byte);
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
                    if (!link_.Hold(config_.stallMs)) {
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

bool FlymasterEmulator::TakeFault(FlymasterStep step, FlymasterFault& fault) {
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
            return Send(BreakChecksum(std::move(answer)));
        case FlymasterFault::kGarbage:
            Log("  fault: garbage before the answer");
            return Send("#?\xFE" + answer);
        case FlymasterFault::kCutConnection: {
            Log("  fault: cable cut halfway");
            const bool sent = Send(std::string_view(answer).substr(0, answer.size() / 2));
            link_.DropLink();
            return sent;
        }
        case FlymasterFault::kStall: {
            Log("  fault: the unit freezes in the middle of the answer");
            return emulate::SendWithStall(link_, answer, emulate::StallPoint(answer, false),
                                          config_.stallMs, config_.lineRateBaud);
        }
        case FlymasterFault::kStopHalfway:
            Log("  fault: the answer stops halfway");
            return Send(std::string_view(answer).substr(0, answer.size() / 2));
    }
    return Send(answer);
}

bool FlymasterEmulator::Send(std::string_view bytes) {
    return emulate::SendPaced(link_, bytes, config_.lineRateBaud, [this](std::size_t count) {
        std::lock_guard lock(mutex_);
        bytesSent_ += count;
    });
}

void FlymasterEmulator::ArmFault(FlymasterStep step, FlymasterFault fault, int skip) {
    std::lock_guard lock(mutex_);
    faults_.push_back({step, fault, skip});
}

std::vector<std::string> FlymasterEmulator::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> FlymasterEmulator::UploadedNames() const {
    std::lock_guard lock(mutex_);
    return uploadedNames_;
}

std::vector<std::uint8_t> FlymasterEmulator::ControlBytes() const {
    std::lock_guard lock(mutex_);
    return controlBytes_;
}

bool FlymasterEmulator::WaitForRequest(std::string_view prefix, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    const auto seen = [&] {
        return std::any_of(requests_.begin(), requests_.end(),
                           [&](const std::string& r) { return r.starts_with(prefix); });
    };
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return seen() || ended_;
    }) && seen();
}

std::uint64_t FlymasterEmulator::BytesSent() const {
    std::lock_guard lock(mutex_);
    return bytesSent_;
}

}  // namespace tracora::protocols::flymaster
