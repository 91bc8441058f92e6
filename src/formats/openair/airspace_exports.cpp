#include "formats/openair/airspace_exports.hpp"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "formats/common/text_encoding.hpp"
#include "formats/common/xml_escape.hpp"
#include "formats/openair/ctr_polygon.hpp"

namespace tracora::openair {

namespace {

// Whether a character ends a line (and so a string or a comment) in a script.
bool EndsScriptLine(char32_t code) {
    return code < 0x20 || code == 0x2028 || code == 0x2029;
}

// UTF-8 `text` character by character: `replace(code, out)` appends what stands for a character
// and returns true, or returns false to keep the character as it is.
template <class Replace>
std::string MapCharacters(std::string_view text, Replace replace) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 1;
        const char32_t code = formats::DecodeUtf8At(text, i, length);
        if (!replace(code, out)) {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

// Text inside a single-quoted script string: backslash, quotes and every character that ends
// a line or a string in a script escaped.
std::string ScriptString(std::string_view text) {
    return MapCharacters(text, [](char32_t code, std::string& out) {
        if (code == U'\\' || code == U'\'' || code == U'"') {
            out += '\\';
            out += static_cast<char>(code);
            return true;
        }
        if (EndsScriptLine(code)) {
            out += StringPrintf("\\u%04X", static_cast<unsigned>(code));
            return true;
        }
        return false;
    });
}

// Text on a script comment line: nothing that ends the line.
std::string CommentText(std::string_view text) {
    return MapCharacters(text, [](char32_t code, std::string& out) {
        if (EndsScriptLine(code)) {
            out += ' ';
            return true;
        }
        return false;
    });
}

DegreePosition Degrees(const Waypoint& point) {
    return {SemicirclesToDegrees(point.latitude), SemicirclesToDegrees(point.longitude)};
}

struct Bounds {
    bool any = false;
    double minLatitude = 0, maxLatitude = 0, minLongitude = 0, maxLongitude = 0;
    void Add(const DegreePosition& p) {
        if (!any) {
            minLatitude = maxLatitude = p.latitude;
            minLongitude = maxLongitude = p.longitude;
            any = true;
            return;
        }
        minLatitude = std::min(minLatitude, p.latitude);
        maxLatitude = std::max(maxLatitude, p.latitude);
        minLongitude = std::min(minLongitude, p.longitude);
        maxLongitude = std::max(maxLongitude, p.longitude);
    }
};

void AppendEncoded(std::string& out, long long value) {
    unsigned long long folded = value < 0 ? ~(static_cast<unsigned long long>(value) << 1)
                                          : static_cast<unsigned long long>(value) << 1;
    while (folded >= 0x20) {
        out += static_cast<char>((0x20 | (folded & 0x1F)) + 63);
        folded >>= 5;
    }
    out += static_cast<char>(folded + 63);
}

long long E5(double degrees) {
    return static_cast<long long>(degrees >= 0 ? degrees * 1e5 + 0.5 : degrees * 1e5 - 0.5);
}

}  // namespace

int MakeOutlines(std::span<const CtrArea* const> areas, int maxSegmentError, std::uint32_t time,
                 std::vector<AirspaceOutline>& outlines) {
    outlines.clear();
    try {
        outlines.reserve(areas.size());
        int number = 0;
        for (const CtrArea* area : areas) {
            AirspaceOutline outline;
            outline.area = area;
            if (CtrToPolygon(*area, number++, maxSegmentError, time, outline.points) != 0) {
                outlines.clear();
                return -1;
            }
            outlines.push_back(std::move(outline));
        }
        return 0;
    } catch (const std::bad_alloc&) {
        outlines.clear();
        return -1;
    }
}

std::string AirspaceGpx(std::span<const AirspaceOutline> outlines, const CalendarTime& now,
                        std::string_view version) {
    Bounds bounds;
    for (const AirspaceOutline& outline : outlines) {
        for (const Waypoint& point : outline.points) {
            bounds.Add(Degrees(point));
        }
    }
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    out += "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"\r\n";
    out += "     xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\"\r\n";
    out += "     creator=\"Tracora " + formats::EscapeXmlTextForPage(version) + "\"\r\n";
    out += "     version=\"1.1\"\r\n";
    out += "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n";
    out +=
        "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
        "http://www.topografix.com/GPX/1/1/gpx.xsd\">\r\n";
    out += "\r\n  <metadata>\r\n";
    out += "    <link href=\"" + std::string(kHomePage) + "\">\r\n";
    out += "      <text>Tracora</text>\r\n";
    out += "    </link>\r\n";
    out += StringPrintf("    <time>%d-%02d-%02dT%02d:%02d:%02dZ</time>\r\n", now.year, now.month,
                        now.day, now.hour, now.minute, now.second);
    if (bounds.any) {
        out += StringPrintf(
            "    <bounds maxlat=\"%.6f\" maxlon=\"%.6f\" minlat=\"%.6f\" minlon=\"%.6f\"/>\r\n",
            bounds.maxLatitude, bounds.maxLongitude, bounds.minLatitude, bounds.minLongitude);
    }
    out += "  </metadata>\r\n";
    for (const AirspaceOutline& outline : outlines) {
        out += "\r\n  <trk>\r\n";
        out += "    <name>" + formats::EscapeXmlTextForPage(outline.area->name) + "</name>\r\n";
        out += "    <extensions>\r\n";
        out += "      <gpxx:TrackExtension>\r\n";
        out += "        <gpxx:DisplayColor>Transparent</gpxx:DisplayColor>\r\n";
        out += "      </gpxx:TrackExtension>\r\n";
        out += "    </extensions>\r\n";
        out += "    <trkseg>\r\n";
        for (const Waypoint& point : outline.points) {
            const DegreePosition p = Degrees(point);
            out += StringPrintf("<trkpt lat=\"%.6f\" lon=\"%.6f\">\r\n</trkpt>\r\n", p.latitude,
                                p.longitude);
        }
        out += "    </trkseg>\r\n";
        out += "  </trk>\r\n";
    }
    out += "\r\n</gpx>\r\n";
    return out;
}

std::string EncodePolyline(std::span<const DegreePosition> points) {
    std::string out;
    long long latitude = 0;
    long long longitude = 0;
    for (const DegreePosition& point : points) {
        const long long nextLatitude = E5(point.latitude);
        const long long nextLongitude = E5(point.longitude);
        AppendEncoded(out, nextLatitude - latitude);
        AppendEncoded(out, nextLongitude - longitude);
        latitude = nextLatitude;
        longitude = nextLongitude;
    }
    return out;
}

std::string AirspaceMapScript(std::span<const AirspaceOutline> outlines) {
    std::vector<const AirspaceOutline*> order;
    order.reserve(outlines.size());
    for (const AirspaceOutline& outline : outlines) {
        order.push_back(&outline);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const AirspaceOutline* a, const AirspaceOutline* b) {
                         if (a->area->floorValue != b->area->floorValue) {
                             return a->area->floorValue > b->area->floorValue;
                         }
                         return a->area->ceilingValue > b->area->ceilingValue;
                     });
    std::string out = "function addAirspace(map) {\r\n\r\n";
    for (int code = 0; code < kCtrClassCount; ++code) {
        const std::string_view name = CtrClassName(code);
        out += StringPrintf(
            "// Airspace %.*s:   Fillcolor #%06X, strokeColor #%06X, fillOpacity: 0.%02d\r\n",
            static_cast<int>(name.size()), name.data(), 0x00FF00 + code, 0xFF0000 + code,
            10 + code);
    }
    out += "\r\n";
    for (const AirspaceOutline* outline : order) {
        const CtrArea& area = *outline->area;
        const int code = std::clamp(area.classCode, 0, kCtrClassCount - 1);
        std::vector<DegreePosition> points;
        points.reserve(outline->points.size());
        Bounds bounds;
        for (const Waypoint& point : outline->points) {
            points.push_back(Degrees(point));
            bounds.Add(points.back());
        }
        std::string path;
        for (const char c : EncodePolyline(points)) {
            path += c;
            if (c == '\\') {
                path += '\\';
            }
        }
        const std::string name = formats::EscapeXmlTextForPage(area.name);
        out += "// " + CommentText(name) + " " + CommentText(area.ceiling) + " - " +
               CommentText(area.floor) + "\r\n";
        out += "// CLASS " + CommentText(area.classText) + "\r\n";
        out += "var polygon = new google.maps.Polygon({\r\n";
        out += "path: google.maps.geometry.encoding.decodePath('" + path + "'),\r\n";
        out += StringPrintf(
            "map: map, strokeColor: \"#%06X\", strokeOpacity: 0.5, strokeWeight: 1, fillColor: "
            "\"#%06X\", fillOpacity: 0.%02d});\r\n",
            0xFF0000 + code, 0x00FF00 + code, 10 + code);
        out += StringPrintf(
            "polygon.bounds  = new google.maps.LatLngBounds(new google.maps.LatLng(%.6f, %.6f), "
            "new google.maps.LatLng(%.6f, %.6f));\r\n",
            bounds.minLatitude, bounds.minLongitude, bounds.maxLatitude, bounds.maxLongitude);
        out += StringPrintf("polygon.altLow  = %d;\r\npolygon.altHigh = %d;\r\n", area.floorValue,
                            area.ceilingValue);
        out += "attachPolygonInfoBox(polygon, infoBox, '" + ScriptString(name) + "<br />" +
               ScriptString(formats::EscapeXmlTextForPage(area.ceiling)) + " - " +
               ScriptString(formats::EscapeXmlTextForPage(area.floor)) + "');\r\n";
        out += "polygons.push(polygon);\r\n\r\n";
    }
    out += "}\r\n";
    return out;
}

}  // namespace tracora::openair
