#include "formats/format_registry.hpp"

#include <array>
#include <string>

#include "core/strings.hpp"
#include "formats/compegps/compegps_waypoints.hpp"
#include "formats/csv_track/csv_track.hpp"
#include "formats/dat_log/dat_log.hpp"
#include "formats/geo_waypoints/geo_waypoints.hpp"
#include "formats/gpx/gpx_format.hpp"
#include "formats/igc/igc_format.hpp"
#include "formats/kml/kml_format.hpp"
#include "formats/magellan_track/magellan_track.hpp"
#include "formats/mapsource/mapsource.hpp"
#include "formats/openair/openair_format.hpp"
#include "formats/ozi_track/ozi_track.hpp"
#include "formats/ozi_waypoints/ozi_waypoints.hpp"
#include "formats/seeyou/seeyou_waypoints.hpp"
#include "formats/tnlog/tnlog_format.hpp"
#include "formats/utm_waypoints/utm_waypoints.hpp"
#include "formats/winpilot/winpilot_waypoints.hpp"

namespace tracora::formats {
namespace {

// One line per format. Formats that share an extension read by content (one reader for all
// of them); the first of them is the one an extension names.
constexpr std::array<const FormatRecord*, 16> kFormats = {
    &igc::kIgcFormat,
    &kml::kKmlFormat,
    &gpx::kGpxFormat,
    &ozi::kOziTrackFormat,
    &csv::kCsvFormat,
    &mapsource::kMapSourceFormat,
    &magellan::kMagellanTrackFormat,
    &openair::kOpenAirFormat,
    &waypoints::kOziWaypointFormat,
    &waypoints::kUtmWaypointFormat,
    &waypoints::kGeoWaypointFormat,
    &waypoints::kSeeYouFormat,
    &waypoints::kWinPilotFormat,
    &waypoints::kCompeGpsFormat,
    // After the WinPilot files, whose extension it shares: name it with --from dat.
    &dat::kDatFormat,
    &tnlog::kTnLogFormat,
};

}  // namespace

std::span<const FormatRecord* const> AllFormats() {
    return kFormats;
}

const FormatRecord* FindFormat(std::string_view id) {
    for (const FormatRecord* format : kFormats) {
        if (EqualsIgnoringCase(format->id, id)) {
            return format;
        }
    }
    return nullptr;
}

const FormatRecord* FormatForPath(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    if (extension.size() < 2) {
        return nullptr;
    }
    const std::string_view bare = std::string_view(extension).substr(1);
    for (const FormatRecord* format : kFormats) {
        for (const std::string_view known : format->extensions) {
            if (EqualsIgnoringCase(known, bare)) {
                return format;
            }
        }
    }
    return nullptr;
}

}  // namespace tracora::formats
