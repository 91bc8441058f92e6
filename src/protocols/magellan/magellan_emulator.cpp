#include "protocols/magellan/magellan_emulator.hpp"

#include <algorithm>

#include "core/strings.hpp"
#include "emulate/emulator_kit.hpp"
#include "formats/common/coordinate_text.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/magellan/magellan_frames.hpp"

namespace tracora::protocols::magellan {

namespace {

constexpr int kRequestPollMs = 200;

Waypoint MakeWaypoint(std::int32_t latMilliMinutes, std::int32_t lonMilliMinutes, const char* id,
                      const char* description, int altitude) {
    Waypoint waypoint;
    waypoint.latitude = formats::MilliMinutesToSemicircles(latMilliMinutes);
    waypoint.longitude = formats::MilliMinutesToSemicircles(lonMilliMinutes);
    waypoint.altitude = altitude;
    waypoint.SetId(id);
    waypoint.SetDescription(description);
    return waypoint;
}

// The body of a sentence (without '$', checksum and CR LF).
std::string BodyOf(const std::string& sentence) {
    const std::size_t star = sentence.rfind('*');
    return sentence.substr(1, star == std::string::npos ? std::string::npos : star - 1);
}

// Field `index` (1 = the first after the name) of a body replaced by `value`.
std::string ReplaceField(const std::string& body, std::size_t index, std::string_view value) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        start = body.find(',', start);
        if (start == std::string::npos)
            return body;
        ++start;
    }
    const std::size_t end = body.find(',', start);
    return body.substr(0, start) + std::string(value) +
           (end == std::string::npos ? "" : body.substr(end));
}

}  // namespace

std::vector<Waypoint> BuiltInWaypoints() {
    return {MakeWaypoint(2791250, 460500, "FIESCH", "Fiesch landing", 1050),
            MakeWaypoint(2791883, 457050, "KUEBOD", "Kuehboden", 2212),
            MakeWaypoint(2790000, 435500, "BRIG", "Brig", 678),
            MakeWaypoint(2759800, 381200, "LAUSAN", "Lausanne", 495)};
}

MagellanEmulator::MagellanEmulator(device::EmulatorLink& link, MagellanEmulatorConfig config,
                                   std::FILE* log)
    : FaultedEmulator(link, log, config.lineRateBaud, config.stallMs), config_(std::move(config)) {}

int MagellanEmulator::Serve() {
    SentenceReceiver sentences;
    for (;;) {
        std::uint8_t byte = 0;
        const int got = link_.ReadByte(byte, kRequestPollMs);
        if (got == 0)
            continue;
        if (got < 0)
            return 0;  // stopped or cut
        if (sentences.Feed(byte) == 0)
            Handle(sentences.Body());
        // A damaged sentence goes unanswered, as on the real line.
    }
}

void MagellanEmulator::Handle(const std::string& body) {
    NoteRequest(body);
    const bool handshake = handshake_;
    if (SentenceName(body) == "PMGNCSM")
        return;  // the host's acknowledgement of one of ours
    const std::string command = body.substr(0, body.find('*'));
    if (command == "PMGNCMD,HANDON") {
        handshake_ = true;
    } else if (command == "PMGNCMD,HANDOFF") {
        handshake_ = false;
    }
    // With the handshake on, every sentence is acknowledged with its checksum first; the
    // command that switches it on is not, the one that switches it off is.
    if (handshake) {
        const std::string ack = Sentence(StringPrintf("PMGNCSM,%02X", NmeaChecksum(body)));
        if (!Send(ack))
            return;
    }
    if (command == "PMGNCMD,VERSION") {
        Log("version request");
        Answer(MagellanStep::kVersion,
               {VersionSentence(config_.productId, config_.version, config_.description)}, false);
    } else if (command == "PMGNCMD,TRACK,2") {
        Log("track log request");
        std::vector<std::string> list;
        list.reserve(config_.track.size());
        for (const TrackPoint& point : config_.track)
            list.push_back(TrackPointSentence(point));
        Answer(MagellanStep::kTrack, std::move(list), true);
    } else if (command == "PMGNCMD,WAYPOINT") {
        Log("waypoint request");
        std::vector<std::string> list;
        const std::vector<Waypoint> waypoints = Locked([this] { return config_.waypoints; });
        for (const Waypoint& waypoint : waypoints)
            list.push_back(WaypointSentence(waypoint));
        Answer(MagellanStep::kWaypoints, std::move(list), true);
    } else if (command == "PMGNCMD,DELETE,WAYPOINT") {
        Change([this] { config_.waypoints.clear(); });
        Send(kEndCommand);
    } else if (SentenceName(body) == "PMGNWPL") {
        Log("uploaded " + body);
        Change([&] {
            uploads_.push_back(body);
            Waypoint waypoint;
            if (ParseWaypoint(body, waypoint) == 0)
                config_.waypoints.push_back(waypoint);
        });
    } else if (command == "PMGNCMD,END") {
        Log("upload ended");
        Change([this] { uploadEnded_ = true; });
    }
    // STOP, NMEAOFF and anything else need no answer.
}

bool MagellanEmulator::Answer(MagellanStep step, std::vector<std::string> sentences,
                              bool endCommand) {
    MagellanFault fault{};
    const bool faulty = TakeFault(step, fault);
    const std::size_t middle = sentences.size() / 2;
    if (faulty && !sentences.empty()) {
        std::string body = BodyOf(sentences[middle]);
        switch (fault) {
            case MagellanFault::kBadChecksum: {
                Log("fault: bad checksum");
                std::string& damaged = sentences[middle];
                const std::size_t star = damaged.rfind('*');
                damaged[star + 2] = damaged[star + 2] == '0' ? '1' : '0';
                break;
            }
            case MagellanFault::kBadField:
                Log("fault: bad field");
                sentences[middle] =
                    Sentence(step == MagellanStep::kWaypoints ? ReplaceField(body, 7, "TOOLONGID")
                                                              : ReplaceField(body, 1, "9100.000"));
                break;
            case MagellanFault::kNoFix:
                Log("fault: no fix");
                sentences[middle] = Sentence(ReplaceField(body, 8, "V"));
                break;
            case MagellanFault::kBelowSea:
                Log("fault: below sea level");
                sentences[middle] = Sentence(ReplaceField(body, 5, "-0012"));
                break;
            default:
                break;
        }
    }
    std::string answer;
    for (const std::string& sentence : sentences)
        answer += sentence;
    if (endCommand)
        answer += kEndCommand;
    if (!faulty)
        return Send(answer);
    // Halfway into a sentence: past the '$' of the middle one.
    std::size_t half = answer.size() / 2;
    if (answer[half] == '$' || answer[half] == '\r' || answer[half] == '\n')
        half = std::min(answer.size() - 1, half + 3);
    switch (fault) {
        case MagellanFault::kSilence:
            Log("fault: silence");
            return true;
        case MagellanFault::kGarbage:
            Log("fault: garbage");
            link_.InjectGarbageBeforeNextReply(std::string_view("#?\xFE\r\n", 5));
            return Send(answer);
        case MagellanFault::kCut:
            Log("fault: cut");
            Send(std::string_view(answer).substr(0, half));
            link_.DropLink();
            return false;
        case MagellanFault::kStall:
            Log("fault: stall");
            return SendWithStall(answer, half);
        case MagellanFault::kStop:
            Log("fault: stop");
            return Send(std::string_view(answer).substr(0, half));
        default:
            return Send(answer);
    }
}

std::vector<std::string> MagellanEmulator::Uploads() const {
    return Locked([this] { return uploads_; });
}

bool MagellanEmulator::UploadEnded() const {
    return Locked([this] { return uploadEnded_; });
}

}  // namespace tracora::protocols::magellan
