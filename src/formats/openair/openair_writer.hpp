// The OpenAir writer: airspaces back into OpenAir text, with their arcs or with every arc and
// circle replaced by the points of its outline, and the single-record form of the edit dialog.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/airspace.hpp"

namespace tracora::openair {

// Metres to nautical miles as the written radii use them.
inline constexpr double kMetresToNauticalMiles = 0.000539903;

// The airspaces, in order, each with its AC, AN, AL and AH lines and its segments; a blank line
// between airspaces. With `withArcs` false every airspace is written as DP lines of its outline
// (CtrToPolygon with `maxSegmentError`). An empty name has no AN line (the airspace is still
// delimited by its AC line). Lines end in CR LF. Throws std::bad_alloc when memory runs out.
std::string WriteOpenAir(std::span<const CtrArea* const> areas, bool withArcs, int maxSegmentError);

// The text the edit dialog shows for one airspace: each header line after a comment naming
// it, the two comment lines on the records, then the segments.
std::string SingleRecordText(const CtrArea& area);

// The template of a new airspace in the edit dialog.
inline constexpr const char* kNewAirspaceTemplate =
    "*Airspace name\r\nAN Put airspace name here\r\n*Airspace floor (Remark)\r\nAL Put floor "
    "remark here\r\n*Airspace ceiling\r\nAH Put ceiling remark here\r\n*Use records V, DP, DA, "
    "DB or DC\r\n*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS.s\r\n";

// One position as the D and V records write it: "46:30:00 N  007:15:30 E" (whole seconds).
std::string OpenAirPositionText(const DegreePosition& position);

}  // namespace tracora::openair
