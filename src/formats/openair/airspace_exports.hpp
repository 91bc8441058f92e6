// The airspace exports: the outlines as GPX tracks and as a script that draws them on a web
// map (Google Maps API). Both are built whole in memory from outlines made beforehand, so that
// nothing else of the program is touched.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/airspace.hpp"
#include "core/time_base.hpp"
#include "core/track_log.hpp"

namespace tracora::openair {

struct AirspaceOutline {
    const CtrArea* area = nullptr;
    std::vector<Waypoint> points;  // from CtrToPolygon
};

// The outline of each airspace (numbered from 0 in the order given). 0, or -1 when memory ran
// out (`outlines` is then empty).
int MakeOutlines(std::span<const CtrArea* const> areas, int maxSegmentError, std::uint32_t time,
                 std::vector<AirspaceOutline>& outlines);

// The web page the GPX metadata links to.
inline constexpr std::string_view kHomePage = "https://tracora.example/";

// A GPX 1.1 document: one track per airspace (named after it, the Garmin display colour
// Transparent), the bounds of all points in the metadata (left out when there is none), the
// time `now`. `version` is the program's version text ("0.01"). Valid against the GPX 1.1
// schema: names are escaped and the extension namespace is declared.
std::string AirspaceGpx(std::span<const AirspaceOutline> outlines, const CalendarTime& now,
                        std::string_view version);

// The web-map script: a function addAirspace(map) that adds one polygon per airspace, the
// highest floors first (then the highest ceilings), so that lower airspaces are drawn on top.
// Names and limit texts are escaped for the page (&, <, >) and for the script's single-quoted
// strings.
std::string AirspaceMapScript(std::span<const AirspaceOutline> outlines);

// The Encoded Polyline Algorithm Format of points in degrees (latitude, longitude): values x
// 1e5 rounded, the first point absolute and the others as differences.
std::string EncodePolyline(std::span<const DegreePosition> points);

}  // namespace tracora::openair
