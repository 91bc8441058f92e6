#include "formats/kml/kml_reader.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/common/sha1.hpp"
#include "formats/common/xml_walker.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::kml {
namespace {

constexpr std::size_t kMaxTimeText = 79;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// ---- The tracks of a document ----

class TrackHandler : public formats::XmlHandler {
public:
    explicit TrackHandler(KmlTracks& result) : result_(result) {}

    bool Open(const formats::XmlElement& element, std::size_t depth,
              const std::vector<std::string_view>&, std::string& message) override {
        const std::string_view name = element.name;
        if (name == "Folder" && folderDepth_ == 0) {
            folderDepth_ = depth;
            folderHasTrack_ = false;
            folderTrack_ = {};
        } else if (name == "Placemark" && folderDepth_ != 0 && depth == folderDepth_ + 1) {
            placemarkDepth_ = depth;
            placemarkIsTrack_ = false;
            current_ = {};
        } else if (name == "Metadata" && placemarkDepth_ != 0 && depth == placemarkDepth_ + 1) {
            std::string type;
            if (formats::XmlAttribute(element.attributes, "type", type) && type == "track") {
                if (placemarkIsTrack_) {
                    message = "Multiple tracks in one <Placemark> element";
                    return false;
                }
                placemarkIsTrack_ = true;
                metadataDepth_ = depth;
            }
        } else if (name == "FsInfo" && metadataDepth_ != 0 && depth == metadataDepth_ + 1) {
            fsInfoDepth_ = depth;
            current_.hasFsInfo = true;
            current_.fsInfo = element.attributes;
        } else if (name == "LineString" && placemarkDepth_ != 0 && depth == placemarkDepth_ + 1) {
            lineStringDepth_ = depth;
        }
        return true;
    }

    bool Close(const formats::XmlElement& element, std::size_t depth,
               const std::vector<std::string_view>&, std::string& message) override {
        const std::string_view name = element.name;
        if (fsInfoDepth_ != 0 && depth == fsInfoDepth_ + 1) {
            if (name == "SecondsFromTimeOfFirstPoint") {
                current_.hasOffsets = true;
                current_.offsets = element.data;
            } else if (name == "PressureAltitude") {
                current_.hasPressure = true;
                current_.pressure = element.data;
            }
        } else if (lineStringDepth_ != 0 && depth == lineStringDepth_ + 1 &&
                   name == "coordinates") {
            current_.hasCoordinates = true;
            current_.coordinates = element.data;
        } else if (depth == fsInfoDepth_) {
            fsInfoDepth_ = 0;
        } else if (depth == metadataDepth_) {
            metadataDepth_ = 0;
        } else if (depth == lineStringDepth_) {
            lineStringDepth_ = 0;
        } else if (depth == placemarkDepth_) {
            placemarkDepth_ = 0;
            if (placemarkIsTrack_) {
                if (folderHasTrack_) {
                    message = "Multiple tracks in one <Folder> element";
                    return false;
                }
                folderHasTrack_ = true;
                folderTrack_ = std::move(current_);
            }
            current_ = {};
        } else if (depth == folderDepth_) {
            folderDepth_ = 0;
            if (folderHasTrack_) {
                result_.tracks.push_back(std::move(folderTrack_));
            }
            folderTrack_ = {};
        }
        return true;
    }

private:
    KmlTracks& result_;
    std::size_t folderDepth_ = 0;
    std::size_t placemarkDepth_ = 0;
    std::size_t metadataDepth_ = 0;
    std::size_t fsInfoDepth_ = 0;
    std::size_t lineStringDepth_ = 0;
    bool folderHasTrack_ = false;
    bool placemarkIsTrack_ = false;
    KmlTrackText folderTrack_;
    KmlTrackText current_;
};

// ---- Values ----

// Number of digits read after an optional sign; `text` advanced past them.
std::size_t SkipDigits(std::string_view text, std::size_t& i) {
    const std::size_t from = i;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i - from;
}

// A list of integers: each an optional '-' and digits, separated by blanks or by one other
// character (blanks around it are passed over); blanks after the last value are passed over.
// False for a place where a number should start and does not, or a value beyond 32 bits.
bool ParseIntegerList(std::string_view text, std::vector<std::int32_t>& values) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    while (i < text.size()) {
        const std::size_t start = i;
        if (text[i] == '-') {
            ++i;
        }
        const std::size_t digits = SkipDigits(text, i);
        if (digits == 0 || digits > 10) {
            return false;
        }
        const long long value =
            std::strtoll(std::string(text.substr(start, i - start)).c_str(), nullptr, 10);
        if (value < INT32_MIN || value > INT32_MAX) {
            return false;
        }
        values.push_back(static_cast<std::int32_t>(value));
        bool blank = false;
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
            blank = true;
        }
        if (i >= text.size()) {
            break;
        }
        if (!blank) {
            ++i;  // the separator (never a digit: the number ended before it)
            while (i < text.size() && IsBlank(text[i])) {
                ++i;
            }
            if (i >= text.size()) {
                return false;  // a separator with no number behind it
            }
        }
    }
    return true;
}

// A decimal number: an optional sign, digits, an optional fraction.
bool ParseNumber(std::string_view text, std::size_t& i, double& value) {
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    const std::size_t whole = SkipDigits(text, i);
    std::size_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        fraction = SkipDigits(text, i);
    }
    if (whole == 0 && fraction == 0) {
        return false;
    }
    if (whole > 12 || fraction > 20) {
        return false;
    }
    value = std::strtod(std::string(text.substr(start, i - start)).c_str(), nullptr);
    return std::isfinite(value);
}

struct Coordinate {
    double longitude = 0;
    double latitude = 0;
    double altitude = 0;
};

// Coordinate triples "lon,lat[,alt]" separated as the integer lists; a triple whose altitude is
// left out (the text or the triple ending after the latitude) has altitude 0.
bool ParseCoordinates(std::string_view text, std::vector<Coordinate>& values) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    while (i < text.size()) {
        Coordinate c;
        if (!ParseNumber(text, i, c.longitude) || i >= text.size() || text[i] != ',') {
            return false;
        }
        ++i;
        if (!ParseNumber(text, i, c.latitude)) {
            return false;
        }
        if (i < text.size() && text[i] == ',') {
            ++i;
            if (!ParseNumber(text, i, c.altitude)) {
                return false;
            }
        }
        if (std::fabs(c.longitude) >= 180 || std::fabs(c.latitude) >= 90 ||
            std::fabs(c.altitude) > 1e6) {
            return false;
        }
        values.push_back(c);
        bool blank = false;
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
            blank = true;
        }
        if (i >= text.size()) {
            break;
        }
        if (!blank) {
            ++i;
            while (i < text.size() && IsBlank(text[i])) {
                ++i;
            }
            if (i >= text.size()) {
                return false;
            }
        }
    }
    return true;
}

// Two digits at text[i]; advances.
bool TwoDigits(std::string_view text, std::size_t& i, int& value) {
    if (i + 2 > text.size() || !IsDigit(text[i]) || !IsDigit(text[i + 1])) {
        return false;
    }
    value = (text[i] - '0') * 10 + (text[i + 1] - '0');
    i += 2;
    return true;
}

bool Expect(std::string_view text, std::size_t& i, char c) {
    if (i < text.size() && text[i] == c) {
        ++i;
        return true;
    }
    return false;
}

// "YYYY-MM-DDThh:mm:ss[.fff][Z|(+|-)hh[[:]mm[[:]ss]]]": the time in the receiver time base
// (moved to UTC when a zone is given); `utc` tells whether it is UTC.
bool ParseTimeOfFirstPoint(std::string_view text, std::uint32_t& time, bool& utc) {
    std::size_t i = 0;
    CalendarTime c;
    if (text.size() < 19 || !IsDigit(text[0]) || !IsDigit(text[1]) || !IsDigit(text[2]) ||
        !IsDigit(text[3])) {
        return false;
    }
    c.year =
        (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
    i = 4;
    if (!Expect(text, i, '-') || !TwoDigits(text, i, c.month) || !Expect(text, i, '-') ||
        !TwoDigits(text, i, c.day) || !Expect(text, i, 'T') || !TwoDigits(text, i, c.hour) ||
        !Expect(text, i, ':') || !TwoDigits(text, i, c.minute) || !Expect(text, i, ':') ||
        !TwoDigits(text, i, c.second)) {
        return false;
    }
    long long extra = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        const std::size_t from = i;
        if (SkipDigits(text, i) == 0) {
            return false;
        }
        extra = text[from] >= '5' ? 1 : 0;  // rounded to the nearest second
    }
    utc = false;
    long long zone = 0;
    if (i < text.size()) {
        if (text[i] == 'Z' && i + 1 == text.size()) {
            utc = true;
            ++i;
        } else if (text[i] == '+' || text[i] == '-') {
            const int sign = text[i] == '-' ? -1 : 1;
            ++i;
            int hours = 0;
            int minutes = 0;
            int seconds = 0;
            if (!TwoDigits(text, i, hours)) {
                return false;
            }
            if (i < text.size()) {
                Expect(text, i, ':');
                if (!TwoDigits(text, i, minutes)) {
                    return false;
                }
                if (i < text.size()) {
                    Expect(text, i, ':');
                    if (!TwoDigits(text, i, seconds)) {
                        return false;
                    }
                }
            }
            if (hours > 23 || minutes > 59 || seconds > 59) {
                return false;
            }
            zone = sign * (hours * 3600LL + minutes * 60LL + seconds);
            utc = true;
        } else {
            return false;
        }
    }
    if (i != text.size()) {
        return false;
    }
    if (c.year < 1990 || c.year > 2099 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 ||
        c.hour > 23 || c.minute > 59 || c.second > 59) {
        return false;
    }
    const long long seconds = static_cast<long long>(CalendarToTime(c)) + extra - zone;
    if (seconds <= 0 || seconds >= 0x7FFFFFFFLL) {
        return false;
    }
    time = static_cast<std::uint32_t>(seconds);
    return true;
}

KmlTrackRead Failure(std::string message) {
    KmlTrackRead read;
    read.status = -1;
    read.message = std::move(message);
    return read;
}

// The canonical text of a value list as the writer hashes it: "%d " per value, "%d" for the
// last.
void HashIntegers(formats::Sha1& sha, const std::vector<std::int32_t>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        char text[24];
        std::snprintf(text, sizeof text, i + 1 < values.size() ? "%d " : "%d",
                      static_cast<int>(values[i]));
        sha.Update(text);
    }
}

int RoundMetres(double metres) {
    return static_cast<int>(std::lround(metres));
}

// ---- Waypoints ----

class WaypointHandler : public formats::XmlHandler {
public:
    WaypointHandler(const waypoints::WaypointReadOptions& options,
                    waypoints::WaypointReadResult& result)
        : options_(options), namer_(options), result_(result) {}

    bool cancelled = false;

    bool Open(const formats::XmlElement& element, std::size_t depth,
              const std::vector<std::string_view>&, std::string&) override {
        if (element.name == "Folder") {
            folders_.push_back({depth, false});
        } else if (element.name == "Placemark" && placemarkDepth_ == 0 && !folders_.empty() &&
                   folders_.back().depth + 1 == depth && folders_.back().waypoints) {
            placemarkDepth_ = depth;
            pointDepth_ = 0;
            name_ = description_ = coordinates_ = Child{};
        } else if (element.name == "Point" && placemarkDepth_ != 0 &&
                   depth == placemarkDepth_ + 1) {
            pointDepth_ = depth;
        }
        return true;
    }

    bool Close(const formats::XmlElement& element, std::size_t depth,
               const std::vector<std::string_view>&, std::string& message) override {
        if (element.name == "name" && !folders_.empty() && depth == folders_.back().depth + 1) {
            folders_.back().waypoints =
                formats::DecodeXmlText(TrimBlanks(element.data, " \t\r\n")) == "Waypoints";
        } else if (placemarkDepth_ != 0 && depth == placemarkDepth_ + 1 && element.name == "name") {
            name_.Set(element.data);
        } else if (placemarkDepth_ != 0 && depth == placemarkDepth_ + 1 &&
                   element.name == "description") {
            description_.Set(element.data);
        } else if (pointDepth_ != 0 && depth == pointDepth_ + 1 && element.name == "coordinates") {
            coordinates_.Set(element.data);
        } else if (depth == pointDepth_) {
            pointDepth_ = 0;
        } else if (depth == placemarkDepth_) {
            placemarkDepth_ = 0;
            ++number_;
            return MakeWaypoint(message);
        } else if (element.name == "Folder" && !folders_.empty() &&
                   folders_.back().depth == depth) {
            folders_.pop_back();
        }
        return true;
    }

private:
    struct Folder {
        std::size_t depth = 0;
        bool waypoints = false;
    };
    struct Child {
        bool present = false;
        std::string data;
        void Set(std::string_view text) {
            present = true;
            data = text;
        }
    };

    bool MakeWaypoint(std::string& message) {
        if (!name_.present || !coordinates_.present) {
            message = StringPrintf("Missing tag(s) for waypoint %d", number_);
            return false;
        }
        if (name_.data.empty() || coordinates_.data.empty()) {
            message = StringPrintf("Missing data for waypoint %d", number_);
            return false;
        }
        const std::string name = formats::DecodeXmlText(name_.data);
        Waypoint waypoint;
        switch (namer_.Name(name, waypoint)) {
            case waypoints::WaypointNamer::Outcome::kNamed:
                break;
            case waypoints::WaypointNamer::Outcome::kSkip:
                return true;
            case waypoints::WaypointNamer::Outcome::kFail:
                if (options_.askModifyId) {
                    cancelled = true;
                    message = "Reading cancelled";
                } else {
                    message = StringPrintf("Bad ID for waypoint %d", number_);
                }
                return false;
        }
        if (description_.present) {
            waypoint.SetDescription(
                waypoints::ConvertWaypointComment(formats::DecodeXmlText(description_.data)));
        }
        std::vector<Coordinate> coordinates;
        if (!ParseCoordinates(coordinates_.data, coordinates) || coordinates.size() != 1) {
            message = StringPrintf("Bad <coordinates> in waypoint %s", name.c_str());
            return false;
        }
        waypoint.longitude = DegreesToSemicircles(coordinates[0].longitude);
        waypoint.latitude = DegreesToSemicircles(coordinates[0].latitude);
        waypoint.altitude = RoundMetres(coordinates[0].altitude);
        waypoint.kind = kWaypointKindPoint;
        waypoint.time = options_.readTime != 0 ? options_.readTime : CurrentTime();
        result_.waypoints.push_back(waypoint);
        return true;
    }

    const waypoints::WaypointReadOptions& options_;
    waypoints::WaypointNamer namer_;
    waypoints::WaypointReadResult& result_;
    std::vector<Folder> folders_;
    std::size_t placemarkDepth_ = 0;
    std::size_t pointDepth_ = 0;
    int number_ = 0;
    Child name_, description_, coordinates_;
};

}  // namespace

KmlTracks FindKmlTracks(std::string_view text) {
    KmlTracks result;
    try {
        TrackHandler handler(result);
        std::string message;
        if (!formats::WalkXml(text, handler, message, formats::XmlStart::kAnyTag)) {
            result.tracks.clear();
            result.status = -1;
            result.message = message;
            return result;
        }
    } catch (const std::bad_alloc&) {
        result.tracks.clear();
        result.status = -1;
        result.message = "Track log memory allocation";
        return result;
    }
    if (result.tracks.empty()) {
        result.status = -1;
        result.message = "No track log found";
        return result;
    }
    result.status = static_cast<int>(result.tracks.size());
    return result;
}

std::string KmlTrackLabel(const KmlTrackText& track) {
    std::string first;
    if (!track.hasFsInfo || !formats::XmlAttribute(track.fsInfo, "time_of_first_point", first)) {
        return "Missing track time";
    }
    std::uint32_t time = 0;
    bool utc = false;
    if (first.size() > kMaxTimeText || !ParseTimeOfFirstPoint(first, time, utc)) {
        return "Bad track time";
    }
    const CalendarTime c = TimeToCalendar(time);
    return StringPrintf("%d-%02d-%02d   %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                        c.second);
}

KmlTrackRead DecodeKmlTrack(const KmlTrackText& track) {
    if (!track.hasFsInfo) {
        return Failure("No track log information found");
    }
    if (!track.hasOffsets) {
        return Failure("No track log time offsets found");
    }
    if (!track.hasCoordinates) {
        return Failure("No track log positions found");
    }
    try {
        KmlTrackRead read;
        formats::Sha1 sha;
        const std::array<char, 18> key = FsInfoHashKey();
        sha.Update(std::string_view(key.data(), 17));

        std::string first;
        std::uint32_t base = 0;
        if (!formats::XmlAttribute(track.fsInfo, "time_of_first_point", first) ||
            first.size() > kMaxTimeText || !ParseTimeOfFirstPoint(first, base, read.timesAreUtc)) {
            return Failure("Bad time_of_first_point");
        }
        sha.Update(first);
        // The writer's texts are as long as it allows (the instrument up to 80 characters):
        // no shorter limit here, or its own files would fail their check.
        if (formats::XmlAttribute(track.fsInfo, "instrument", read.instrument)) {
            sha.Update(read.instrument);
        }
        std::string downloaded;
        if (formats::XmlAttribute(track.fsInfo, "downloaded", downloaded)) {
            sha.Update(downloaded);
        }

        std::vector<std::int32_t> offsets;
        if (!ParseIntegerList(track.offsets, offsets)) {
            return Failure("Bad <SecondsFromTimeOfFirstPoint> data");
        }
        if (offsets.empty()) {
            return Failure("No track log positions found");
        }
        HashIntegers(sha, offsets);
        read.points.resize(offsets.size());
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            const long long t = static_cast<long long>(base) + offsets[i];
            if (t <= 0 || t >= 0xFFFFFFFFLL) {
                return Failure("Bad <SecondsFromTimeOfFirstPoint> data");
            }
            read.points[i].time = static_cast<std::uint32_t>(t);
            read.points[i].flags = i == 0 ? TrackPoint::kSegmentStart : 0;
        }

        if (track.hasPressure) {
            std::vector<std::int32_t> pressure;
            if (!ParseIntegerList(track.pressure, pressure)) {
                return Failure("Bad <PressureAltitude> data");
            }
            if (pressure.size() != offsets.size()) {
                return Failure("Bad number of positions in <PressureAltitude>");
            }
            HashIntegers(sha, pressure);
            for (std::size_t i = 0; i < pressure.size(); ++i) {
                read.points[i].pressureAltitude = pressure[i];
            }
            read.pressureAltitudePresent = true;
        }

        std::vector<Coordinate> coordinates;
        if (!ParseCoordinates(track.coordinates, coordinates)) {
            return Failure("Bad <coordinates> data");
        }
        if (coordinates.size() != offsets.size()) {
            return Failure("Bad number of positions in <coordinates>");
        }
        for (std::size_t i = 0; i < coordinates.size(); ++i) {
            const Coordinate& c = coordinates[i];
            const int metres = static_cast<int>(c.altitude);
            char text[96];
            std::snprintf(text, sizeof text,
                          i + 1 < coordinates.size() ? "%.6f,%.6f,%d " : "%.6f,%.6f,%d",
                          c.longitude, c.latitude, metres);
            sha.Update(text);
            read.points[i].longitude = DegreesToSemicircles(c.longitude);
            read.points[i].latitude = DegreesToSemicircles(c.latitude);
            read.points[i].gpsAltitude = static_cast<std::int32_t>(std::lround(c.altitude * 10));
        }

        // The writer prints the digest in upper case, and the comparison is exact.
        std::string digest = formats::Sha1Hex(sha.Finish());
        for (char& c : digest) {
            if (c >= 'a' && c <= 'f') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        std::string hash;
        read.signature = formats::XmlAttribute(track.fsInfo, "hash", hash) && hash == digest
                             ? kKmlSignatureOk
                             : kKmlSignatureNone;
        read.status = static_cast<int>(read.points.size());
        return read;
    } catch (const std::bad_alloc&) {
        return Failure("Track log memory allocation");
    }
}

KmlTrackRead ReadKmlTrack(std::string_view text, std::size_t index) {
    KmlTracks tracks = FindKmlTracks(text);
    if (tracks.status <= 0) {
        return Failure(tracks.message);
    }
    if (index >= tracks.tracks.size()) {
        return Failure("No track log found");
    }
    return DecodeKmlTrack(tracks.tracks[index]);
}

int LocateKmlDocument(std::string_view text, std::size_t& start, std::size_t& end) {
    std::size_t offset = 0;
    if (text.starts_with("\xEF\xBB\xBF")) {
        offset = 3;
    }
    formats::XmlTagReader reader(text.substr(offset));
    formats::XmlTag tag = reader.Next();
    if (tag.result < formats::XmlTagResult::kTag || !tag.data.empty() ||
        (tag.name != "?xml" && tag.name != "?xml?")) {
        return -1;
    }
    std::size_t depth = 0;
    std::size_t documentDepth = 0;
    for (tag = reader.Next(); tag.result >= formats::XmlTagResult::kTag; tag = reader.Next()) {
        if (tag.name.starts_with('!') || tag.name.starts_with('?')) {
            continue;
        }
        if (tag.name.starts_with('/')) {
            if (depth == 0) {
                return -2;
            }
            if (documentDepth != 0 && depth == documentDepth) {
                if (tag.name != "/Document") {
                    return -2;
                }
                end = offset + tag.start;
                return 0;
            }
            --depth;
            continue;
        }
        if (tag.result == formats::XmlTagResult::kEmptyTag) {
            continue;
        }
        ++depth;
        if (documentDepth == 0 && tag.name == "Document") {
            documentDepth = depth;
            start = offset + tag.end;
        }
    }
    return -2;
}

waypoints::WaypointReadResult ReadKmlWaypoints(std::string_view text,
                                               const waypoints::WaypointReadOptions& options) {
    waypoints::WaypointReadResult result;
    result.title = kKmlWaypointReadTitle;
    try {
        WaypointHandler handler(options, result);
        std::string message;
        if (!formats::WalkXml(text, handler, message, formats::XmlStart::kAnyTag)) {
            result.waypoints.clear();
            result.status = handler.cancelled ? waypoints::kReadCancelled : -1;
            result.message = message;
            return result;
        }
    } catch (const std::bad_alloc&) {
        result.waypoints.clear();
        result.status = -1;
        result.message = "Memory allocation error";
        return result;
    }
    result.status = static_cast<int>(result.waypoints.size());
    return result;
}

KmlCheck CheckKmlText(std::string_view text) {
    KmlCheck check;
    const KmlTracks tracks = FindKmlTracks(text);
    if (tracks.status <= 0) {
        check.lines.push_back(tracks.message);
        return check;
    }
    check.good = true;
    for (std::size_t i = 0; i < tracks.tracks.size(); ++i) {
        const KmlTrackRead read = DecodeKmlTrack(tracks.tracks[i]);
        std::string line =
            tracks.tracks.size() > 1 ? StringPrintf("Track %zu: ", i + 1) : std::string();
        if (read.status <= 0) {
            line += read.message;
        } else if (read.signature == kKmlSignatureOk) {
            line += StringPrintf("%d positions read (Signature ok)", read.status);
        } else {
            line += StringPrintf("%d positions read (NO valid signature)", read.status);
        }
        check.good = check.good && read.status > 0 && read.signature == kKmlSignatureOk;
        check.lines.push_back(std::move(line));
    }
    return check;
}

formats::ReadResult ReadKmlFile(std::string_view text) {
    formats::ReadResult result;
    KmlTrackRead track = ReadKmlTrack(text);
    waypoints::WaypointReadOptions options;
    options.lenientNames = true;
    options.readTime = CurrentTime();
    waypoints::WaypointReadResult points = ReadKmlWaypoints(text, options);
    if (points.status > 0) {
        result.waypoints = std::move(points.waypoints);
    }
    if (track.status > 0) {
        result.track = std::move(track.points);
        result.timesAreUtc = track.timesAreUtc;
        result.pressureAltitudePresent = track.pressureAltitudePresent;
        result.status = static_cast<int>(result.track.size());
        return result;
    }
    if (!result.waypoints.empty()) {
        result.status = static_cast<int>(result.waypoints.size());
        return result;
    }
    result.status = -1;
    result.message =
        track.message == "No track log found" && points.status < 0 ? points.message : track.message;
    return result;
}

}  // namespace tracora::kml
