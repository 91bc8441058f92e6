#include "protocols/topnav/topnav_emulator.hpp"

#include <termios.h>

#include <algorithm>
#include <cmath>

#include "core/angles.hpp"
#include "core/time_base.hpp"
#include "device/io_status.hpp"
#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/tnlog/tn_log.hpp"
#include "protocols/topnav/topnav_frames.hpp"

namespace tracora::protocols::topnav {

namespace {

// The stop fault cuts a transfer short whatever its step; every other fault hits its step.
bool NotStop(TopnavFault fault) {
    return fault != TopnavFault::kStop;
}

constexpr int kPollMs = 20;
constexpr int kReadPollMs = 200;
// After the session has set the line: the time a pilot takes to start the transfer, long
// enough for the session to have purged the port.
constexpr int kStartDelayMs = 300;
constexpr int kAckWaitMs = 10'000;
constexpr std::string_view kNoise = "\xFE#?*\r\n";

std::int32_t ToUnits(std::int32_t semicircles, double perDegree) {
    return RoundAway(SemicirclesToDegrees(semicircles) * perDegree);
}

int BaudOf(const std::string& settings) {
    return std::atoi(settings.c_str());
}

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

std::vector<std::string> TransferLines(const TopnavEmulatorConfig& config) {
    std::vector<std::string> lines;
    const std::vector<TrackPoint>& flight = config.flight;
    if (config.mode == TopnavMode::kWaypoints) {
        for (const Waypoint& waypoint : config.waypoints) {
            if (config.model == TopnavModel::kXcTrainer) {
                const WaypointRecord record = EncodeWaypointRecord(waypoint);
                lines.emplace_back(record.begin(), record.end());
            } else {
                lines.push_back(FormatTnWaypointLine(waypoint) + "\r\n");
            }
        }
        if (config.model == TopnavModel::kTopNavigator)
            lines.emplace_back("@EOF\r\n");
        return lines;
    }
    if (flight.empty())
        return lines;
    if (config.mode == TopnavMode::kMxp) {
        const bool topNav = config.model == TopnavModel::kTopNavigator;
        const MxpModel model = topNav ? MxpModel::kTopNavigator : MxpModel::kXcTrainer;
        const std::int64_t shift = topNav ? config.utcOffsetSeconds : 0;
        MxpHeader header;
        header.firmware = config.firmware;
        header.serial = config.serial;
        header.start = TimeToCalendar(static_cast<std::uint32_t>(flight.front().time + shift));
        header.positions = static_cast<int>(std::min<std::size_t>(flight.size(), 0xFFFF));
        header.interval = 1;
        header.altitudeFormat = config.altitudeFormat;
        lines.push_back(EncodeMxpHeader(model, header) + "\r\n");
        for (int i = 0; i < header.positions; ++i) {
            const TrackPoint& point = flight[static_cast<std::size_t>(i)];
            MxpPosition position;
            position.record = i + 1;
            position.timeOffset = static_cast<std::uint16_t>(point.time - flight.front().time);
            position.latitude = ToUnits(point.latitude, 24000);
            position.longitude = ToUnits(point.longitude, 24000);
            const int gps = point.gpsAltitude / 10;
            position.altitudeA = static_cast<std::int16_t>(
                config.altitudeFormat == 1 ? gps : point.pressureAltitude);
            position.altitudeB = static_cast<std::int16_t>(gps);
            lines.push_back(EncodeMxpPosition(position, config.altitudeFormat) + "\r\n");
        }
        return lines;
    }
    // The block-structured log, in the unit's local time.
    const int format = config.model == TopnavModel::kTopNavigator ? 1 : config.altitudeFormat;
    const std::int64_t shift = config.utcOffsetSeconds;
    const auto local = [&](std::uint32_t time) { return static_cast<std::uint32_t>(time + shift); };
    const CalendarTime first = TimeToCalendar(local(flight.front().time));
    const std::uint32_t startDate =
        CalendarToTime(CalendarTime{first.year, first.month, first.day, 0, 0, 0});
    lines.push_back(
        tnlog::EncodeTnStart(format, config.serial, first.year, first.month, first.day) + "\r\n");
    std::size_t i = 0;
    std::uint32_t blockStart = 0;
    bool anyBlock = false;
    while (i < flight.size()) {
        const std::uint32_t t = local(flight[i].time);
        if (anyBlock && t < blockStart + 30) {
            ++i;  // a second the unit cannot place (sampled faster than once a second)
            continue;
        }
        blockStart = t;
        anyBlock = true;
        lines.push_back(tnlog::EncodeTnBlockLine((t - startDate) % 86400) + "\r\n");
        for (std::uint32_t k = 0; k < 30 && i < flight.size() && local(flight[i].time) == t + k;
             ++k, ++i) {
            const TrackPoint& point = flight[i];
            const int gps = point.gpsAltitude / 10;
            lines.push_back(tnlog::EncodeTnPosition(
                                ToUnits(point.latitude, 6000), ToUnits(point.longitude, 6000),
                                format == 1 ? gps : point.pressureAltitude, gps, format) +
                            "\r\n");
        }
    }
    lines.emplace_back("@EOF\r\n");
    return lines;
}

TopnavEmulator::TopnavEmulator(device::EmulatorLink& link, TopnavEmulatorConfig config,
                               std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud), config_(std::move(config)) {
    ArmLine();
}

int TopnavEmulator::TransferBaud() const {
    if (config_.mode == TopnavMode::kMxp)
        return kMxpBaud;
    if (config_.mode == TopnavMode::kTncm)
        return config_.model == TopnavModel::kTopNavigator ? kTncmBaud : kMxpBaud;
    return kWaypointBaud;
}

void TopnavEmulator::ArmLine() {
    // A speed no session uses: its change shows that a session has set the line.
    if (config_.slaveFd < 0)
        return;
    termios line{};
    if (::tcgetattr(config_.slaveFd, &line) != 0)
        return;
    ::cfsetispeed(&line, B50);
    ::cfsetospeed(&line, B50);
    ::tcsetattr(config_.slaveFd, TCSANOW, &line);
}

bool TopnavEmulator::WaitForSession() {
    const int baud = TransferBaud();
    while (config_.slaveFd >= 0 && BaudOf(emulate::LineSettingsText(config_.slaveFd)) != baud) {
        if (!link_.Hold(kPollMs))
            return false;
    }
    Log("session open at " + std::to_string(baud) + " baud");
    return link_.Hold(kStartDelayMs);
}

int TopnavEmulator::Serve() {
    if (config_.mode == TopnavMode::kReceive) {
        ReceiveWaypoints();
        return 0;
    }
    for (;;) {
        if (!WaitForSession())
            return 0;
        const bool linkUp = config_.mode == TopnavMode::kWaypoints ? SendWaypoints() : SendLog();
        int done = 0;
        Change([&] { done = ++transfers_; });
        if (!linkUp || (config_.transfers > 0 && done >= config_.transfers))
            return 0;
        ArmLine();
    }
}

bool TopnavEmulator::SendLog() {
    const std::vector<std::string> lines = TransferLines(config_);
    const std::size_t n = lines.size();
    std::string stream;
    std::size_t last = n;
    if (TakeStop() && n > 0) {
        Log("fault: stop before the end");
        last = n - 1;
    }
    for (std::size_t i = 0; i < last; ++i) {
        std::string line = lines[i];
        TopnavFault fault{};
        const bool hit = (i == 0 && TakeFault(TopnavStep::kStart, fault, NotStop)) ||
                         (i == n / 2 && TakeFault(TopnavStep::kLine, fault, NotStop)) ||
                         (i + 1 == n && TakeFault(TopnavStep::kEnd, fault, NotStop));
        if (hit) {
            switch (fault) {
                case TopnavFault::kSilence:
                case TopnavFault::kStop:
                    Log("fault: silence from line " + std::to_string(i));
                    return Send(stream);
                case TopnavFault::kGarbage:
                    Log("fault: garbage");
                    stream += kNoise;
                    break;
                case TopnavFault::kCut:
                    Log("fault: cut");
                    stream += line.substr(0, line.size() / 2);
                    Send(stream);
                    link_.DropLink();
                    return false;
                case TopnavFault::kShort:
                    Log("fault: short line");
                    line = line.substr(0, (line.size() - 2) / 2) + "\r\n";
                    break;
                case TopnavFault::kChecksum: {
                    Log("fault: checksum");
                    // The last character before CR LF: an MXP checksum digit, a digit of a log
                    // line; a log line gets a character that is no digit at all.
                    char& c = line[line.size() - 3];
                    if (config_.mode == TopnavMode::kMxp)
                        c = c == '0' ? '1' : '0';
                    else
                        line[0] = 'G';
                    break;
                }
            }
        }
        stream += line;
    }
    const bool sent = Send(stream);
    Log("sent " + std::to_string(stream.size()) + " bytes");
    return sent;
}

bool TopnavEmulator::SendWaypoints() {
    const std::vector<std::string> lines = TransferLines(config_);
    const std::size_t n = lines.size();
    std::size_t last = n;
    if (TakeStop() && n > 0)
        last = n - 1;
    for (std::size_t i = 0; i < last; ++i) {
        std::string line = lines[i];
        TopnavFault fault{};
        const bool hit = (i == 0 && TakeFault(TopnavStep::kStart, fault, NotStop)) ||
                         (i == n / 2 && TakeFault(TopnavStep::kLine, fault, NotStop)) ||
                         (i + 1 == n && TakeFault(TopnavStep::kEnd, fault, NotStop));
        if (hit) {
            switch (fault) {
                case TopnavFault::kSilence:
                case TopnavFault::kStop:
                    Log("fault: silence");
                    return true;
                case TopnavFault::kGarbage:
                    link_.InjectGarbageBeforeNextReply(kNoise);
                    break;
                case TopnavFault::kCut:
                    Send(line.substr(0, line.size() / 2));
                    link_.DropLink();
                    return false;
                case TopnavFault::kShort:
                    line = line.substr(0, line.size() / 2);
                    break;
                case TopnavFault::kChecksum:
                    if (config_.model == TopnavModel::kXcTrainer)
                        line[28] = static_cast<char>(line[28] ^ 0x5A);
                    else
                        line[0] = ';';  // a line the session skips, still answered
                    break;
            }
        }
        if (!Send(line))
            return false;
        if (line.starts_with("@EOF"))
            break;
        std::uint8_t ack[4] = {};
        const int got = link_.ReadExact(ack, kAckWaitMs);
        if (got <= 0)
            return got != device::kIoLinkLost && got != device::kIoAborted;
        Change([&] { acks_.emplace_back(ack, ack + 4); });
    }
    return true;
}

void TopnavEmulator::ReceiveWaypoints() {
    for (;;) {
        WaypointRecord record{};
        const int got = link_.ReadExact(record, kReadPollMs);
        if (got == 0)
            continue;
        if (got < 0)
            return;
        Waypoint waypoint;
        if (DecodeWaypointRecord(record, 0, waypoint) != 0) {
            Log("a damaged waypoint record");
            continue;
        }
        Log("waypoint " + std::string(waypoint.Id()));
        Change([&] { received_.push_back(waypoint); });
    }
}

bool TopnavEmulator::TakeStop() {
    TopnavFault fault{};
    for (const TopnavStep step : {TopnavStep::kStart, TopnavStep::kLine, TopnavStep::kEnd}) {
        if (TakeFault(step, fault, [](TopnavFault f) { return !NotStop(f); }))
            return true;
    }
    return false;
}

int TopnavEmulator::Transfers() const {
    return Locked([this] { return transfers_; });
}

std::vector<Waypoint> TopnavEmulator::Received() const {
    return Locked([this] { return received_; });
}

std::vector<std::string> TopnavEmulator::Acks() const {
    return Locked([this] { return acks_; });
}

}  // namespace tracora::protocols::topnav
