#include "formats/csv_track/csv_track.hpp"

#include <cmath>
#include <cstdlib>
#include <new>

#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/common/iso_time.hpp"

namespace tracora::csv {
namespace {

constexpr std::size_t kMaxHeaderLength = 200;
constexpr std::size_t kMaxFields = 20;

// The fields of a line: each may be in double quotes; blanks around a field are dropped. False
// when a quote is not closed.
bool SplitLine(std::string_view line, char separator, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t i = 0;
    while (fields.size() < kMaxFields) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        std::string_view field;
        if (i < line.size() && line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            field = line.substr(i + 1, close - i - 1);
            i = close + 1;
            while (i < line.size() && line[i] != separator) {
                if (line[i] != ' ' && line[i] != '\t') {
                    return false;
                }
                ++i;
            }
        } else {
            const std::size_t end = std::min(line.find(separator, i), line.size());
            field = TrimBlanks(line.substr(i, end - i));
            i = end;
        }
        fields.push_back(field);
        if (i >= line.size()) {
            break;
        }
        ++i;  // the separator
    }
    return true;
}

std::string_view Field(const std::vector<std::string_view>& fields, int column) {
    return column >= 0 && static_cast<std::size_t>(column) < fields.size()
               ? fields[static_cast<std::size_t>(column)]
               : std::string_view();
}

bool Decimal(std::string_view text, double& value) {
    if (text.empty() || text.size() > 40) {
        return false;
    }
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && std::isfinite(value);
}

struct Columns {
    int time = -1, latitude = -1, longitude = -1, gpsHeight = -1, pressureHeight = -1;
};

bool Contains(const std::string& upper, std::string_view what) {
    return upper.find(what) != std::string::npos;
}

bool Recognise(std::string_view header, char separator, Columns& columns) {
    std::vector<std::string_view> names;
    if (!SplitLine(header, separator, names)) {
        return false;
    }
    columns = Columns();
    for (std::size_t k = 0; k < names.size(); ++k) {
        std::string upper(names[k]);
        for (char& c : upper) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        const int column = static_cast<int>(k);
        auto take = [&](int& slot, bool matches) {
            if (slot < 0 && matches) {
                slot = column;
            }
        };
        take(columns.time, Contains(upper, "TIME") || Contains(upper, "DATE"));
        take(columns.latitude, Contains(upper, "LATITUDE"));
        take(columns.longitude, Contains(upper, "LONGITUDE"));
        take(columns.gpsHeight,
             Contains(upper, "H-GPS") || Contains(upper, "ALTITUDE") || Contains(upper, "HEIGHT"));
        take(columns.pressureHeight, Contains(upper, "H-BARO"));
    }
    if (columns.time < 0 || columns.latitude < 0 || columns.longitude < 0) {
        return false;
    }
    const int distinct[] = {columns.time, columns.latitude, columns.longitude, columns.gpsHeight};
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
            if (distinct[a] >= 0 && distinct[a] == distinct[b]) {
                return false;
            }
        }
    }
    return true;
}

CsvTrackRead Fail(const char* format, std::size_t line) {
    CsvTrackRead result;
    result.status = -1;
    result.message = StringPrintf(format, static_cast<int>(line));
    return result;
}

// A bearing from a to b in degrees, 0 to 360 (the sphere is close enough for a column).
double Bearing(const GeoPoint& a, const GeoPoint& b) {
    const double dLon = b.longitude - a.longitude;
    const double y = std::sin(dLon) * std::cos(b.latitude);
    const double x = std::cos(a.latitude) * std::sin(b.latitude) -
                     std::sin(a.latitude) * std::cos(b.latitude) * std::cos(dLon);
    double degrees = std::atan2(y, x) * 180.0 / 3.14159265358979323846;
    if (degrees < 0) {
        degrees += 360.0;
    }
    return degrees;
}

GeoPoint Radians(const TrackPoint& p) {
    return {SemicirclesToRadians(p.latitude), SemicirclesToRadians(p.longitude)};
}

formats::ReadResult ReadCsv(std::string_view text) {
    formats::ReadResult result;
    CsvTrackRead read;
    try {
        read = ReadCsvTrack(text);
    } catch (const std::bad_alloc&) {
        read.status = -1;
        read.message = "Memory allocation error";
    }
    if (read.status <= 0) {
        result.status = -1;
        result.message = read.status == 0 ? "No positions found" : std::move(read.message);
        return result;
    }
    result.status = read.status;
    result.track = std::move(read.points);
    result.timesAreUtc = true;
    result.pressureAltitudePresent = read.hasPressureAltitude;
    return result;
}

int WriteCsv(const formats::WriteInput& input, formats::TextBuffer& out, std::string& message) {
    try {
        out.Append(CsvTrackDocument(input.track, input.csvColumns));
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
    return 0;
}

constexpr std::string_view kExtensions[] = {"csv"};

}  // namespace

CsvTrackRead ReadCsvTrack(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::size_t position = 0;
    std::size_t number = 0;
    // The next line without its line end (a last line needs none); false at the end.
    auto nextLine = [&](std::string_view& line) {
        if (position >= text.size()) {
            return false;
        }
        std::size_t end = text.find('\n', position);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        line = text.substr(position, end - position);
        position = end + 1;
        ++number;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        return true;
    };
    std::string_view header;
    Columns columns;
    if (!nextLine(header) || header.size() > kMaxHeaderLength ||
        (!Recognise(header, ',', columns) && !Recognise(header, ';', columns))) {
        CsvTrackRead result;
        result.status = -1;
        result.message = "Could not determine items from header";
        return result;
    }
    // The separator the header was recognised with.
    Columns probe;
    const char separator = Recognise(header, ',', probe) ? ',' : ';';
    CsvTrackRead result;
    result.hasPressureAltitude = columns.pressureHeight >= 0;
    std::vector<std::string_view> fields;
    std::string_view line;
    while (nextLine(line)) {
        if (TrimBlanks(line).empty()) {
            continue;
        }
        if (result.points.empty()) {
            result.points.reserve(1000);
        }
        if (!SplitLine(line, separator, fields)) {
            return Fail("Error parsing line %d", number);
        }
        TrackPoint point;
        if (!formats::ParseIsoTime(Field(fields, columns.time), point.time)) {
            return Fail("Error decoding time on line %d", number);
        }
        double latitude = 0, longitude = 0;
        if (!Decimal(Field(fields, columns.latitude), latitude)) {
            return Fail("Error decoding latitude on line %d", number);
        }
        if (!(latitude > -90 && latitude < 90)) {
            return Fail("Latitude out of range on line %d", number);
        }
        if (!Decimal(Field(fields, columns.longitude), longitude)) {
            return Fail("Error decoding longitude on line %d", number);
        }
        if (!(longitude > -180 && longitude < 180)) {
            return Fail("Longitude out of range on line %d", number);
        }
        point.latitude = DegreesToSemicircles(latitude);
        point.longitude = DegreesToSemicircles(longitude);
        const std::string_view gps = Field(fields, columns.gpsHeight);
        if (!gps.empty()) {
            double metres = 0;
            if (!Decimal(gps, metres) || std::fabs(metres) > 1e6) {
                return Fail("Bad GPS height data on line %d", number);
            }
            point.gpsAltitude = static_cast<std::int32_t>(std::trunc(metres * 10));
        }
        const std::string_view pressure = Field(fields, columns.pressureHeight);
        if (!pressure.empty()) {
            double metres = 0;
            if (!Decimal(pressure, metres) || std::fabs(metres) > 1e6) {
                return Fail("Bad pressure height data on line %d", number);
            }
            point.pressureAltitude = static_cast<std::int32_t>(std::trunc(metres));
        }
        result.points.push_back(point);
    }
    result.status = static_cast<int>(result.points.size());
    return result;
}

namespace {

// The position `span` steps before position `i` (the first one when there are fewer).
const TrackPoint& LookBack(std::span<const TrackPoint> points, std::size_t i, int span) {
    const std::size_t back = span < 1 ? 1 : static_cast<std::size_t>(span);
    return points[i < back ? 0 : i - back];
}

// The distance in metres from `from` to `p`: the step already measured when `from` is the
// position before, 0 when the distance cannot be computed.
double StepDistance(const TrackPoint& from, const TrackPoint& p, const TrackPoint& before,
                    double step) {
    if (&from == &before) {
        return step;
    }
    double metres = 0;
    return GeoDistance(Radians(from), Radians(p), metres) == 0 ? metres : 0.0;
}

}  // namespace

std::string CsvTrackDocument(std::span<const TrackPoint> points,
                             const formats::CsvColumns& columns) {
    std::string out;
    out.reserve(20000 + points.size() * 60);
    out += "Date/time,Latitude,Longitude,H-GPS,H-Baro";
    if (columns.absTime) {
        out += ",AbsTime";
    }
    if (columns.relTime) {
        out += ",RelTime";
    }
    if (columns.relDist) {
        out += ",RelDist";
    }
    if (columns.accDist) {
        out += ",AccDist";
    }
    if (columns.bearing) {
        out += ",Bearing";
    }
    if (columns.speed) {
        out += ",Speed";
    }
    if (columns.vario) {
        out += ",Vario";
    }
    out += "\r\n";
    double accumulated = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TrackPoint& p = points[i];
        const CalendarTime t = TimeToCalendar(p.time);
        out += StringPrintf("%d-%02d-%02dT%02d:%02d:%02dZ,%.6f,%.6f,%d,%d", t.year, t.month, t.day,
                            t.hour, t.minute, t.second, SemicirclesToDegrees(p.latitude),
                            SemicirclesToDegrees(p.longitude),
                            RoundHalfAwayFromZero(p.gpsAltitude / 10.0), p.pressureAltitude);
        if (columns.absTime) {
            out += StringPrintf(",%d/%d/%d  %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                                t.minute, t.second);
        }
        const TrackPoint& first = points.front();
        const TrackPoint& before = points[i == 0 ? 0 : i - 1];
        if (columns.relTime) {
            const long long since = static_cast<long long>(p.time) - first.time;
            const long long magnitude = since < 0 ? -since : since;
            out += StringPrintf(",%s%lld:%02lld:%02lld", since < 0 ? "-" : "", magnitude / 3600,
                                magnitude / 60 % 60, magnitude % 60);
        }
        double step = 0;
        if (i > 0 && GeoDistance(Radians(before), Radians(p), step) != 0) {
            step = 0;
        }
        accumulated += step;
        if (columns.relDist) {
            double fromFirst = 0;
            if (GeoDistance(Radians(first), Radians(p), fromFirst) != 0) {
                fromFirst = 0;
            }
            out += StringPrintf(",%.3f", fromFirst / 1000.0);
        }
        if (columns.accDist) {
            out += StringPrintf(",%.3f", accumulated / 1000.0);
        }
        if (columns.bearing) {
            const TrackPoint& from = LookBack(points, i, columns.bearingSpan);
            int bearing = 0;
            if (i > 0 && StepDistance(from, p, before, step) > 0) {
                const double degrees = Bearing(Radians(from), Radians(p));
                const double units = columns.bearing400 ? 400.0 : 360.0;
                bearing = RoundHalfAwayFromZero(degrees * units / 360.0);
                if (bearing >= static_cast<int>(units)) {
                    bearing -= static_cast<int>(units);
                }
            }
            out += StringPrintf(",%d", bearing);
        }
        if (columns.speed) {
            const TrackPoint& from = LookBack(points, i, columns.speedSpan);
            const long long seconds = static_cast<long long>(p.time) - from.time;
            const double speed = i > 0 && seconds > 0 ? StepDistance(from, p, before, step) /
                                                            static_cast<double>(seconds) * 3.6
                                                      : 0.0;
            out += StringPrintf(",%.1f", speed);
        }
        if (columns.vario) {
            const TrackPoint& from = LookBack(points, i, columns.varioSpan);
            const long long seconds = static_cast<long long>(p.time) - from.time;
            const double vario = i > 0 && seconds > 0 ? (p.gpsAltitude - from.gpsAltitude) / 10.0 /
                                                            static_cast<double>(seconds)
                                                      : 0.0;
            out += StringPrintf(",%.1f", vario);
        }
        out += "\r\n";
    }
    return out;
}

const formats::FormatRecord kCsvFormat{
    .id = "csv",
    .name = "CSV files",
    .extensions = kExtensions,
    .holds = {.track = true},
    .directions = {.read = true, .write = true},
    .read = &ReadCsv,
    .write = &WriteCsv,
};

}  // namespace tracora::csv
