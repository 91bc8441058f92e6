#include "formats/gpx/gpx_format.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/version.hpp"
#include "formats/common/iso_time.hpp"
#include "formats/common/xml_escape.hpp"
#include "formats/common/xml_walker.hpp"
#include "formats/igc/igc_writer.hpp"

namespace tracora::gpx {
namespace {

constexpr std::string_view kHomePage = "https://tracora.example/";

// A decimal number of the whole text (blanks around it allowed), finite.
bool ParseDecimal(std::string_view text, double& value) {
    text = TrimBlanks(text, " \t\r\n");
    if (text.empty() || text.size() > 64) {
        return false;
    }
    // The common plain decimal without a copy; any other form (a sign '+', hexadecimal, out
    // of range) as strtod reads it. Both round to the nearest double.
    const std::from_chars_result fast =
        std::from_chars(text.data(), text.data() + text.size(), value);
    if (fast.ec == std::errc() && fast.ptr == text.data() + text.size()) {
        return std::isfinite(value);
    }
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && std::isfinite(value);
}

bool ReadDegrees(std::string_view attributes, std::string_view name, double limit,
                 std::int32_t& semicircles) {
    std::string text;
    double degrees = 0;
    if (!formats::XmlAttribute(attributes, name, text) || !ParseDecimal(text, degrees) ||
        !(degrees >= -limit && degrees <= limit)) {
        return false;
    }
    // +180 degrees is -180 in semicircles (the same meridian); the 32-bit word holds only one.
    if (degrees >= 180.0) {
        degrees -= 360.0;
    }
    semicircles = DegreesToSemicircles(degrees);
    return true;
}

// What is kept of one element directly inside a trkpt or wpt (a copy: the data of a CDATA
// section lives only as long as its event).
struct Child {
    bool present = false;
    std::string data;
    void Set(std::string_view d) {
        present = true;
        data.assign(d);
    }
};

class TrackHandler : public formats::XmlHandler {
public:
    explicit TrackHandler(GpxTrackRead& result) : result_(result) {}

    bool Open(const formats::XmlElement& element, std::size_t depth,
              const std::vector<std::string_view>& open, std::string&) override {
        if (depth == 4 && element.name == "trkpt" && InSegment(open)) {
            inPoint_ = true;
            attributes_ = element.attributes;
            time_.present = false;
            ele_.present = false;
            time_.data.clear();
            ele_.data.clear();
        }
        return true;
    }

    bool Close(const formats::XmlElement& element, std::size_t depth,
               const std::vector<std::string_view>& open, std::string& message) override {
        if (inPoint_ && depth == 5) {
            if (element.name == "time") {
                time_.Set(element.data);
            } else if (element.name == "ele") {
                ele_.Set(element.data);
            }
            return true;
        }
        if (inPoint_ && depth == 4 && element.name == "trkpt") {
            inPoint_ = false;
            return MakePoint(message);
        }
        if (depth == 3 && element.name == "trkseg" && InTrack(open)) {
            const bool any = !segment_.empty();
            std::vector<TrackPoint> points = std::move(segment_);
            segment_.clear();
            if (any) {
                if (result_.tracks.size() >= kMaxTracks) {
                    message = "Too many track segments";
                    return false;
                }
                result_.tracks.push_back(std::move(points));
            }
        }
        return true;
    }

private:
    static bool InTrack(const std::vector<std::string_view>& open) {
        return open.size() >= 3 && open[0] == "gpx" && open[1] == "trk" && open[2] == "trkseg";
    }
    static bool InSegment(const std::vector<std::string_view>& open) {
        return open.size() >= 4 && InTrack(open);
    }

    bool MakePoint(std::string& message) {
        const int number = static_cast<int>(segment_.size()) + 1;
        if (TrimBlanks(attributes_, " \t\r\n/").empty() || !time_.present) {
            message = StringPrintf("Missing tag(s) for position %d", number);
            return false;
        }
        if (time_.data.empty()) {
            message = StringPrintf("Missing data for position %d", number);
            return false;
        }
        TrackPoint point;
        // Entities are rare in a time: decoded only where there is one.
        std::string decodedTime;
        std::string_view timeText = time_.data;
        if (timeText.find('&') != std::string_view::npos) {
            decodedTime = formats::DecodeXmlText(timeText);
            timeText = decodedTime;
        }
        if (!formats::ParseIsoTime(TrimBlanks(timeText, " \t\r\n"), point.time)) {
            message = StringPrintf("Bad time data for position %d", number);
            return false;
        }
        if (ele_.present && !ele_.data.empty()) {
            double metres = 0;
            if (!ParseDecimal(ele_.data, metres) || std::fabs(metres) > 1e6) {
                message = StringPrintf("Bad height data for position %d", number);
                return false;
            }
            point.gpsAltitude = static_cast<std::int32_t>(std::trunc(metres * 10));
        }
        if (!ReadDegrees(attributes_, "lat", 90, point.latitude)) {
            message = StringPrintf("Missing/bad latitude data in position %d", number);
            return false;
        }
        if (!ReadDegrees(attributes_, "lon", 180, point.longitude)) {
            message = StringPrintf("Missing/bad longitude data in position %d", number);
            return false;
        }
        segment_.push_back(point);
        return true;
    }

    GpxTrackRead& result_;
    std::vector<TrackPoint> segment_;
    bool inPoint_ = false;
    std::string_view attributes_;
    Child time_, ele_;
};

class WaypointHandler : public formats::XmlHandler {
public:
    WaypointHandler(const waypoints::WaypointReadOptions& options,
                    waypoints::WaypointReadResult& result)
        : options_(options), namer_(options), result_(result) {}

    bool cancelled = false;

    bool Open(const formats::XmlElement& element, std::size_t depth,
              const std::vector<std::string_view>& open, std::string&) override {
        if (depth == 2 && element.name == "wpt" && open[0] == "gpx") {
            inWaypoint_ = true;
            attributes_ = element.attributes;
            for (Child* child : {&ele_, &time_, &name_, &cmt_, &desc_, &type_}) {
                child->present = false;
                child->data.clear();
            }
        }
        return true;
    }

    bool Close(const formats::XmlElement& element, std::size_t depth,
               const std::vector<std::string_view>&, std::string& message) override {
        if (inWaypoint_ && depth == 3) {
            static constexpr struct {
                std::string_view name;
                Child WaypointHandler::*child;
            } kChildren[] = {{"ele", &WaypointHandler::ele_},   {"time", &WaypointHandler::time_},
                             {"name", &WaypointHandler::name_}, {"cmt", &WaypointHandler::cmt_},
                             {"desc", &WaypointHandler::desc_}, {"type", &WaypointHandler::type_}};
            for (const auto& known : kChildren) {
                if (element.name == known.name) {
                    (this->*known.child).Set(element.data);
                }
            }
            return true;
        }
        if (inWaypoint_ && depth == 2 && element.name == "wpt") {
            inWaypoint_ = false;
            ++number_;
            return MakeWaypoint(message);
        }
        return true;
    }

private:
    bool MakeWaypoint(std::string& message) {
        if (TrimBlanks(attributes_, " \t\r\n/").empty()) {
            message = StringPrintf("Missing position data for waypoint %d", number_);
            return false;
        }
        const std::string name = formats::DecodeXmlText(name_.data);
        std::string probe;
        if (!name_.present || name_.data.empty() ||
            waypoints::ConvertWaypointName(name, probe, true) == waypoints::kNameEmpty) {
            message = StringPrintf("Missing name data for waypoint %d", number_);
            return false;
        }
        Waypoint waypoint;
        switch (namer_.Name(name, waypoint)) {
            case waypoints::WaypointNamer::Outcome::kNamed:
                break;
            case waypoints::WaypointNamer::Outcome::kSkip:
                return true;
            case waypoints::WaypointNamer::Outcome::kFail:
                if (options_.askModifyId) {
                    // The user cancelled the question: the caller shows nothing.
                    cancelled = true;
                    message = "Reading cancelled";
                } else {
                    message = StringPrintf("Bad ID for waypoint %d", number_);
                }
                return false;
        }
        const Child& comment = desc_.present ? desc_ : cmt_;
        if (comment.present) {
            waypoint.SetDescription(
                waypoints::ConvertWaypointComment(formats::DecodeXmlText(comment.data)));
        }
        waypoint.kind =
            type_.present &&
                    EqualsIgnoringCase(TrimBlanks(formats::DecodeXmlText(type_.data), " \t\r\n"),
                                       "AIRPORT")
                ? kWaypointKindAirfield
                : kWaypointKindPoint;
        if (time_.present && !time_.data.empty()) {
            if (!formats::ParseIsoTime(TrimBlanks(formats::DecodeXmlText(time_.data), " \t\r\n"),
                                       waypoint.time)) {
                message = StringPrintf("Bad time data for waypoint %d", number_);
                return false;
            }
        } else {
            waypoint.time = options_.readTime != 0 ? options_.readTime : CurrentTime();
        }
        waypoint.altitude = 0;
        if (ele_.present && !ele_.data.empty()) {
            double metres = 0;
            if (!ParseDecimal(ele_.data, metres) || std::fabs(metres) > 1e6) {
                message = StringPrintf("Bad height data for waypoint %d", number_);
                return false;
            }
            waypoint.altitude = static_cast<std::int32_t>(std::trunc(metres + 0.5));
        }
        if (!ReadDegrees(attributes_, "lat", 90, waypoint.latitude)) {
            message = StringPrintf("Missing/bad latitude data in waypoint %d", number_);
            return false;
        }
        if (!ReadDegrees(attributes_, "lon", 180, waypoint.longitude)) {
            message = StringPrintf("Missing/bad longitude data in waypoint %d", number_);
            return false;
        }
        result_.waypoints.push_back(waypoint);
        return true;
    }

    const waypoints::WaypointReadOptions& options_;
    waypoints::WaypointNamer namer_;
    waypoints::WaypointReadResult& result_;
    bool inWaypoint_ = false;
    int number_ = 0;
    std::string_view attributes_;
    Child ele_, time_, name_, cmt_, desc_, type_;
};

struct Bounds {
    bool any = false;
    double minLatitude = 0, minLongitude = 0, maxLatitude = 0, maxLongitude = 0;
    void Add(std::int32_t latitude, std::int32_t longitude) {
        const double lat = SemicirclesToDegrees(latitude);
        const double lon = SemicirclesToDegrees(longitude);
        if (!any) {
            minLatitude = maxLatitude = lat;
            minLongitude = maxLongitude = lon;
            any = true;
            return;
        }
        minLatitude = std::min(minLatitude, lat);
        maxLatitude = std::max(maxLatitude, lat);
        minLongitude = std::min(minLongitude, lon);
        maxLongitude = std::max(maxLongitude, lon);
    }
};

void AppendStart(std::string& out, const Bounds& bounds, const CalendarTime& now,
                 std::string_view version) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    out += "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"\r\n";
    out += "     creator=\"Tracora " + formats::EscapeXmlAttribute(version) + "\"\r\n";
    out += "     version=\"1.1\"\r\n";
    out += "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n";
    out +=
        "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
        "http://www.topografix.com/GPX/1/1/gpx.xsd\">\r\n";
    out += "  <metadata>\r\n";
    out += "    <link href=\"" + std::string(kHomePage) + "\">\r\n";
    out += "      <text>Tracora</text>\r\n";
    out += "    </link>\r\n";
    out += StringPrintf("    <time>%d-%02d-%02dT%02d:%02d:%02dZ</time>\r\n", now.year, now.month,
                        now.day, now.hour, now.minute, now.second);
    if (bounds.any) {
        out += StringPrintf(
            "    <bounds minlat=\"%.6f\" minlon=\"%.6f\" maxlat=\"%.6f\" maxlon=\"%.6f\"/>\r\n",
            bounds.minLatitude, bounds.minLongitude, bounds.maxLatitude, bounds.maxLongitude);
    }
    out += "  </metadata>\r\n";
}

// Text for an element: entities for '&', '<', '>' and quotes, control characters as '?'.
std::string Text(std::string_view text) {
    return formats::EscapeXmlTextForPage(text);
}

void AppendWaypoints(std::string& out, std::span<const Waypoint> waypoints) {
    for (const Waypoint& w : waypoints) {
        out += StringPrintf("  <wpt lat=\"%.6f\" lon=\"%.6f\">\r\n",
                            SemicirclesToDegrees(w.latitude), SemicirclesToDegrees(w.longitude));
        out += StringPrintf("    <ele>%.1f</ele>\r\n", static_cast<double>(w.altitude));
        const CalendarTime t = TimeToCalendar(w.time);
        out += StringPrintf("    <time>%d-%02d-%02dT%02d:%02d:%02d</time>\r\n", t.year, t.month,
                            t.day, t.hour, t.minute, t.second);
        // A waypoint without a name could not be read back: an empty ID is written "-".
        out += "    <name>" + (w.Id().empty() ? std::string("-") : Text(w.Id())) + "</name>\r\n";
        const std::string description = Text(w.Description());
        out += "    <cmt>" + description + "</cmt>\r\n";
        out += "    <desc>" + description + "</desc>\r\n";
        out += "    <sym>Dot</sym>\r\n";
        if (w.kind == kWaypointKindAirfield) {
            out += "    <type>Airport</type>\r\n";
        }
        out += "  </wpt>\r\n";
    }
}

// `value` as printf's "%.6f" writes it (std::to_chars with a precision rounds the same way).
void AppendFixed6(std::string& out, double value) {
    char number[64];
    const std::to_chars_result done =
        std::to_chars(number, number + sizeof number, value, std::chars_format::fixed, 6);
    out.append(number, done.ptr);
}

void AppendWhole(std::string& out, long long value) {
    char number[32];
    const std::to_chars_result done = std::to_chars(number, number + sizeof number, value);
    out.append(number, done.ptr);
}

// As "%02d" writes a non-negative number.
void AppendTwoDigits(std::string& out, int value) {
    if (value >= 0 && value < 100) {
        out.push_back(static_cast<char>('0' + value / 10));
        out.push_back(static_cast<char>('0' + value % 10));
    } else {
        AppendWhole(out, value);
    }
}

void AppendTrack(std::string& out, std::span<const TrackPoint> track) {
    out += "  <trk>\r\n";
    out += "    <name>Track 001</name>\r\n";
    out += "    <trkseg>\r\n";
    for (const TrackPoint& p : track) {
        // Put together piece by piece as printf would: files of tens of thousands of points
        // are common, and formatting is most of the writer's time.
        const CalendarTime t = TimeToCalendar(p.time);
        const long long decimetres = p.gpsAltitude;
        const long long magnitude = decimetres < 0 ? -decimetres : decimetres;
        out += "      <trkpt lat=\"";
        AppendFixed6(out, SemicirclesToDegrees(p.latitude));
        out += "\" lon=\"";
        AppendFixed6(out, SemicirclesToDegrees(p.longitude));
        out += "\">\r\n        <ele>";
        if (decimetres < 0) {
            out.push_back('-');
        }
        AppendWhole(out, magnitude / 10);
        out.push_back('.');
        out.push_back(static_cast<char>('0' + magnitude % 10));
        out += "</ele>\r\n        <time>";
        AppendWhole(out, t.year);
        out.push_back('-');
        AppendTwoDigits(out, t.month);
        out.push_back('-');
        AppendTwoDigits(out, t.day);
        out.push_back('T');
        AppendTwoDigits(out, t.hour);
        out.push_back(':');
        AppendTwoDigits(out, t.minute);
        out.push_back(':');
        AppendTwoDigits(out, t.second);
        out += "Z</time>\r\n      </trkpt>\r\n";
    }
    out += "    </trkseg>\r\n";
    out += "  </trk>\r\n";
}

// Waypoints and a track in one document (GPX puts waypoints first).
std::string Document(std::span<const TrackPoint> track, std::span<const Waypoint> waypoints,
                     const CalendarTime& now, std::string_view version) {
    Bounds bounds;
    for (const Waypoint& w : waypoints) {
        bounds.Add(w.latitude, w.longitude);
    }
    for (const TrackPoint& p : track) {
        bounds.Add(p.latitude, p.longitude);
    }
    std::string out;
    out.reserve(formats::TextBuffer::kFirstCapacity + track.size() * 140 + waypoints.size() * 200);
    AppendStart(out, bounds, now, version);
    AppendWaypoints(out, waypoints);
    if (!track.empty()) {
        AppendTrack(out, track);
    }
    out += "</gpx>\r\n";
    return out;
}

// The registry's reader: the tracks (joined, each starting a segment) and the waypoints of the
// document; waypoint names converted without asking.
formats::ReadResult ReadGpx(std::string_view text) {
    formats::ReadResult result;
    try {
        GpxTrackRead tracks = ReadGpxTracks(text);
        waypoints::WaypointReadResult wpts;
        // A document whose text nowhere names a waypoint element (tag names are matched
        // exactly) has none: its second walk is spared (tracks of tens of thousands of points
        // are common).
        if (tracks.status <= 0 || text.find("wpt") != std::string_view::npos) {
            waypoints::WaypointReadOptions options;
            options.lenientNames = true;
            options.readTime = CurrentTime();
            wpts = ReadGpxWaypoints(text, options);
        }
        if (tracks.status > 0) {
            for (std::vector<TrackPoint>& track : tracks.tracks) {
                track.front().flags |= TrackPoint::kSegmentStart;
            }
            if (tracks.tracks.size() == 1) {
                result.track = std::move(tracks.tracks.front());
            } else {
                for (const std::vector<TrackPoint>& track : tracks.tracks) {
                    result.track.insert(result.track.end(), track.begin(), track.end());
                }
            }
        }
        if (wpts.status > 0) {
            result.waypoints = std::move(wpts.waypoints);
        }
        if (result.track.empty() && result.waypoints.empty()) {
            result.status = -1;
            // A document of neither says why its tracks could not be read, unless only its
            // waypoints were wrong.
            result.message = tracks.message == "No tracks found" && wpts.status < 0
                                 ? wpts.message
                                 : tracks.message;
            return result;
        }
        result.status = static_cast<int>(result.track.size() + result.waypoints.size());
        result.timesAreUtc = true;
    } catch (const std::bad_alloc&) {
        result = formats::ReadResult();
        result.status = -1;
        result.message = "Memory allocation error";
    }
    return result;
}

int WriteGpx(const formats::WriteInput& input, formats::TextBuffer& out, std::string& message) {
    try {
        out.AppendDocument(Document(input.track, input.waypoints, CurrentCalendarTime(),
                                    igc::IgcVersionText(kVersion)));
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
    return 0;
}

constexpr std::string_view kExtensions[] = {"gpx"};

}  // namespace

GpxTrackRead ReadGpxTracks(std::string_view text) {
    GpxTrackRead result;
    TrackHandler handler(result);
    std::string message;
    if (!formats::WalkXml(text, handler, message)) {
        result.tracks.clear();
        result.status = -1;
        result.message = message;
        return result;
    }
    if (result.tracks.empty()) {
        result.status = -1;
        result.message = "No tracks found";
        return result;
    }
    result.status = static_cast<int>(result.tracks.size());
    return result;
}

std::string GpxTrackLabel(std::span<const TrackPoint> track) {
    if (track.empty()) {
        return {};
    }
    const CalendarTime t = TimeToCalendar(track.front().time);
    return StringPrintf("%d-%02d-%02d   %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                        t.second);
}

waypoints::WaypointReadResult ReadGpxWaypoints(std::string_view text,
                                               const waypoints::WaypointReadOptions& options) {
    waypoints::WaypointReadResult result;
    result.title = kWaypointReadTitle;
    WaypointHandler handler(options, result);
    std::string message;
    if (!formats::WalkXml(text, handler, message)) {
        result.waypoints.clear();
        result.status = handler.cancelled ? waypoints::kReadCancelled : -1;
        result.message = message;
        return result;
    }
    result.status = static_cast<int>(result.waypoints.size());
    return result;
}

std::string GpxTrackDocument(std::span<const TrackPoint> track, const CalendarTime& now,
                             std::string_view version) {
    return Document(track, {}, now, version);
}

std::string GpxWaypointDocument(std::span<const Waypoint> waypoints, const CalendarTime& now,
                                std::string_view version) {
    return Document({}, waypoints, now, version);
}

const formats::FormatRecord kGpxFormat{
    .id = "gpx",
    .name = "GPX files",
    .extensions = kExtensions,
    .holds = {.track = true, .waypoints = true},
    .directions = {.read = true, .write = true},
    .read = &ReadGpx,
    .write = &WriteGpx,
};

}  // namespace tracora::gpx
