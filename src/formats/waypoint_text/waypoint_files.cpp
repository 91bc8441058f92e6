#include "formats/waypoint_text/waypoint_files.hpp"

#include <new>

#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/compegps/compegps_waypoints.hpp"
#include "formats/geo_waypoints/geo_waypoints.hpp"
#include "formats/gpx/gpx_format.hpp"
#include "formats/kml/kml_reader.hpp"
#include "formats/mapsource/mapsource.hpp"
#include "formats/ozi_waypoints/ozi_waypoints.hpp"
#include "formats/seeyou/seeyou_waypoints.hpp"
#include "formats/utm_waypoints/utm_waypoints.hpp"
#include "formats/winpilot/winpilot_waypoints.hpp"

namespace tracora::waypoints {

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The name of the XML tag that starts at text[i] ('<'), with `i` moved past the tag. Comments
// and declarations other than "?xml" are passed over. Empty when no tag can be read.
std::string_view NextTag(std::string_view text, std::size_t& i) {
    for (;;) {
        while (i < text.size() && IsSpace(text[i])) {
            ++i;
        }
        if (i >= text.size() || text[i] != '<') {
            return {};
        }
        if (text.substr(i).starts_with("<!--")) {
            const std::size_t end = text.find("-->", i + 4);
            if (end == std::string_view::npos) {
                return {};
            }
            i = end + 3;
            continue;
        }
        if (text.substr(i).starts_with("<!")) {
            const std::size_t end = text.find('>', i);
            if (end == std::string_view::npos) {
                return {};
            }
            i = end + 1;
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && !IsSpace(text[end]) && text[end] != '>' && text[end] != '/') {
            ++end;
        }
        const std::string_view name = text.substr(i + 1, end - i - 1);
        const std::size_t close = text.find('>', end);
        if (close == std::string_view::npos || name.empty()) {
            return {};
        }
        i = close + 1;
        return name;
    }
}

WaypointReadResult Dispatch(std::string_view text, const WaypointReadOptions& options) {
    if (text.starts_with("MsRcd")) {
        return mapsource::ReadMapSourceWaypointFile(text);
    }
    const std::string utf8 = WaypointTextAsUtf8(text);
    const std::string_view all = utf8;
    if (all.starts_with(kOziHeader)) {
        return ReadOziWaypoints(all, options);
    }
    if (all.starts_with(kGeoHeader)) {
        return ReadGeoWaypoints(all, options);
    }
    if (all.starts_with(kUtmHeader)) {
        return ReadUtmWaypoints(all, options);
    }
    if (StartsWithIgnoringCase(all, "title") || StartsWithIgnoringCase(all, "name")) {
        return ReadSeeYouWaypoints(all, options);
    }
    std::size_t position = 0;
    while (position < all.size() && IsSpace(all[position])) {
        ++position;
    }
    if (position < all.size() && all[position] == '<') {
        const std::string_view first = NextTag(all, position);
        WaypointReadResult result;
        result.title = kDecodingTitle;
        if (first != "?xml") {
            result.status = kXmlOtherFirstTag;
            result.message = "Unknown XML file";
            return result;
        }
        const std::string_view second = NextTag(all, position);
        if (second == "gpx") {
            return gpx::ReadGpxWaypoints(all, options);
        }
        if (second == "kml") {
            return kml::ReadKmlWaypoints(all, options);
        }
        result.status = kXmlNoSecondTag;
        result.message = "Unknown XML file";
        return result;
    }
    WaypointReadResult compe = ReadCompeGpsWaypoints(all, options);
    if (compe.status != 0) {
        return compe;
    }
    return ReadWinPilotWaypoints(all, options);
}

}  // namespace

WaypointReadResult ReadWaypointText(std::string_view text, const WaypointReadOptions& options) {
    WaypointReadResult result;
    try {
        result = Dispatch(text, options);
    } catch (const std::bad_alloc&) {
        result = WaypointReadResult();
        result.status = -1;
        result.title = kDecodingTitle;
        result.message = "Waypoint memory allocation";
        return result;
    }
    if (result.status == 0) {
        result.title = kDecodingTitle;
        result.message = kNoWaypointsFound;
    }
    return result;
}

formats::ReadResult ReadWaypointFileOfRegistry(std::string_view text) {
    WaypointReadOptions options;
    options.lenientNames = true;
    options.readTime = CurrentTime();
    WaypointReadResult read = ReadWaypointText(text, options);
    formats::ReadResult result;
    if (read.status <= 0) {
        result.status = -1;
        result.message = read.message;
        return result;
    }
    result.status = read.status;
    result.waypoints = std::move(read.waypoints);
    return result;
}

int AppendWaypointDocument(formats::TextBuffer& out, std::string& message,
                           const std::function<std::string()>& write) {
    try {
        out.Append(write());
        return 0;
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
}

}  // namespace tracora::waypoints
