// An airspace boundary as a closed polygon of points: arcs and circles become chords whose
// distance from the true curve stays within the segment error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/airspace.hpp"
#include "core/track_log.hpp"

namespace tracora::openair {

// The default and smallest segment error, metres.
inline constexpr int kDefaultMaxSegmentError = 10;
inline constexpr int kMinMaxSegmentError = 1;

// The points of `area`'s outline, airspace number `number` (for the point IDs: "C", two letters
// for the number and three for the point), each with `time`, empty description, altitude 0.
// A first segment that is a circle (or an arc from bearing 0 to 360) gives that circle alone;
// otherwise the segments in order, points closer than 100 m to the last kept one dropped, and
// the first position appended when the outline does not end there. Only `points` is written;
// nothing else of the program changes. 0, or -1 when memory ran out.
int CtrToPolygon(const CtrArea& area, int number, int maxSegmentError, std::uint32_t time,
                 std::vector<Waypoint>& points);

// The start and end points of an arc given by its bearings (`kArcByAngles`): `radiusMetres`
// from the centre at the start and end bearing, on the UTM plane of the centre.
void ArcByAnglesEndpoints(const CtrSegment& segment, DegreePosition& start, DegreePosition& end);

// The number of chords of a whole circle of `radiusMetres` (at least 8).
int CircleChordCount(double radiusMetres, int maxSegmentError);

}  // namespace tracora::openair
