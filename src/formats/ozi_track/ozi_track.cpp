#include "formats/ozi_track/ozi_track.hpp"

#include <cmath>
#include <cstdlib>
#include <new>

#include "core/angles.hpp"
#include "core/strings.hpp"

namespace tracora::ozi {
namespace {

constexpr double kDaysTo1990 = 32873.0;
constexpr std::string_view kFormatLine = "OziExplorer Track Point File";
constexpr int kFirstPointLine = 7;

// The lines of the text: a line ends at LF, a CR ends its content, leading blanks are passed
// over.
class OziLines {
public:
    explicit OziLines(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (position_ >= text_.size()) {
            return false;
        }
        std::size_t end = text_.find('\n', position_);
        if (end == std::string_view::npos) {
            end = text_.size();
        }
        line = text_.substr(position_, end - position_);
        position_ = end + 1;
        ++number_;
        const std::size_t cr = line.find('\r');
        if (cr != std::string_view::npos) {
            line = line.substr(0, cr);
        }
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        return true;
    }
    int Number() const { return number_; }
    // The lines not read yet, an upper bound for the points to come.
    std::size_t LinesLeft() const {
        std::size_t count = 0;
        for (std::size_t i = position_; i < text_.size(); ++i) {
            count += text_[i] == '\n' ? 1u : 0u;
        }
        return count + 1;
    }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    int number_ = 0;
};

// The next field: leading blanks passed over, up to the next comma (`comma` tells whether one
// followed).
std::string_view NextField(std::string_view& rest, bool& comma) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    const std::size_t end = rest.find(',');
    comma = end != std::string_view::npos;
    const std::string_view field = rest.substr(0, comma ? end : rest.size());
    rest.remove_prefix(comma ? end + 1 : rest.size());
    return field;
}

bool Number(std::string_view field, double& value) {
    field = TrimBlanks(field);
    if (field.empty() || field.size() > 40) {
        return false;
    }
    const std::string copy(field);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && std::isfinite(value);
}

bool ReadPoint(std::string_view line, TrackPoint& point) {
    bool comma = false;
    double latitude = 0, longitude = 0, feet = 0, days = 0;
    if (!Number(NextField(line, comma), latitude) || !comma || !(latitude > -90 && latitude < 90)) {
        return false;
    }
    if (!Number(NextField(line, comma), longitude) || !comma ||
        !(longitude > -180 && longitude < 180)) {
        return false;
    }
    NextField(line, comma);  // the segment flag: segments are not kept
    if (!comma) {
        return false;
    }
    if (!Number(NextField(line, comma), feet) || !comma || !(feet >= -2000 && feet <= 30000)) {
        return false;
    }
    // The latest date whose seconds still fit the 32-bit time.
    constexpr double kLastDay = kDaysTo1990 + 4294967295.0 / 86400.0;
    if (!Number(NextField(line, comma), days) || !(days >= kDaysTo1990 && days < kLastDay)) {
        return false;
    }
    point.time = static_cast<std::uint32_t>(std::trunc((days - kDaysTo1990) * 86400 + 0.5));
    point.latitude = DegreesToSemicircles(latitude);
    point.longitude = DegreesToSemicircles(longitude);
    // -777 feet is OziExplorer's mark of a point without altitude.
    point.gpsAltitude =
        feet == -777 ? 0 : static_cast<std::int32_t>(std::trunc(feet * 3.048 + 0.5));
    point.pressureAltitude = 0;
    point.flags = 0;
    return true;
}

OziTrackRead Fail(std::string message) {
    OziTrackRead result;
    result.status = -1;
    result.message = std::move(message);
    return result;
}

formats::ReadResult ReadOzi(std::string_view text) {
    formats::ReadResult result;
    OziTrackRead read;
    try {
        read = ReadOziTrack(text);
    } catch (const std::bad_alloc&) {
        read = Fail("Track log memory allocation");
    }
    if (read.status <= 0) {
        result.status = -1;
        result.message = std::move(read.message);
        return result;
    }
    result.status = read.status;
    result.track = std::move(read.points);
    result.timesAreUtc = true;
    return result;
}

int WriteOzi(const formats::WriteInput& input, formats::TextBuffer& out, std::string& message) {
    if (input.track.empty()) {
        message = "No positions";
        return -1;
    }
    try {
        out.Append(OziTrackDocument(input.track, CurrentCalendarTime()));
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
    return 0;
}

constexpr std::string_view kExtensions[] = {"plt"};

}  // namespace

OziTrackRead ReadOziTrack(std::string_view text) {
    OziLines lines(text);
    std::string_view line;
    if (!lines.Next(line) || line.empty()) {
        return Fail("Missing format line (1)");
    }
    if (!line.starts_with(kFormatLine)) {
        return Fail("Bad format line (1)");
    }
    if (!lines.Next(line)) {
        return Fail("Missing map datum line (2)");
    }
    if (line != "WGS 84") {
        return Fail("Bad map datum line (2)");
    }
    for (int number = 3; number <= 6; ++number) {
        if (!lines.Next(line) || line.empty()) {
            return Fail(StringPrintf("Bad line %d", number));
        }
    }
    // Line 6: the count, which has to be a number but is not relied on.
    bool comma = false;
    std::string_view countLine = line;
    double announced = 0;
    if (!Number(NextField(countLine, comma), announced) || announced != std::trunc(announced)) {
        return Fail("Bad line 6");
    }
    OziTrackRead result;
    // Room for the lines that are there, whatever the count says.
    result.points.reserve(lines.LinesLeft());
    while (lines.Next(line)) {
        if (line.empty()) {
            continue;
        }
        TrackPoint point;
        if (!ReadPoint(line, point)) {
            return Fail(StringPrintf("Bad line %d", lines.Number()));
        }
        result.points.push_back(point);
    }
    if (result.points.empty()) {
        return Fail("Missing line(s)");
    }
    result.points.front().flags = TrackPoint::kSegmentStart;
    result.status = static_cast<int>(result.points.size());
    return result;
}

std::string OziTrackDocument(std::span<const TrackPoint> points, const CalendarTime& now) {
    if (points.empty()) {
        return {};
    }
    static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
    std::string out;
    out.reserve(200 + points.size() * 80);
    out +=
        "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\n"
        "Reserved 3\r\n";
    out += StringPrintf("0,2,255,%02d.%02d.%02d %02d:%02d:%02d                  ,0,0,2,8421376\r\n",
                        now.day, now.month, now.year % 100, now.hour, now.minute, now.second);
    out += StringPrintf("%d\r\n", static_cast<int>(points.size()));
    for (const TrackPoint& p : points) {
        const int feet = static_cast<int>(std::trunc(p.gpsAltitude * 0.328084 + 0.5));
        const double days = p.time / 86400.0 + kDaysTo1990;
        const CalendarTime t = TimeToCalendar(p.time);
        out +=
            StringPrintf("  %.6f,  %.6f,%d,%7d,%.7f, %02d-%s-%02d, %02d:%02d:%02d\r\n",
                         SemicirclesToDegrees(p.latitude), SemicirclesToDegrees(p.longitude),
                         static_cast<int>(p.flags & TrackPoint::kSegmentStart), feet, days, t.day,
                         kMonths[(t.month - 1) % 12], t.year % 100, t.hour, t.minute, t.second);
    }
    return out;
}

const formats::FormatRecord kOziTrackFormat{
    .id = "ozi-track",
    .name = "OziExplorer track files",
    .extensions = kExtensions,
    .holds = {.track = true},
    .directions = {.read = true, .write = true},
    .read = &ReadOzi,
    .write = &WriteOzi,
};

}  // namespace tracora::ozi
