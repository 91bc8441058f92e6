#include "formats/openair/ctr_polygon.hpp"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/angles.hpp"
#include "core/geodesy.hpp"

namespace tracora::openair {

namespace {

constexpr double kDegreesToRadians = kPi / 180.0;
// Points closer than this to the last kept one are left out.
constexpr double kMinPointDistanceMetres = 100.0;

GeoPoint ToRadians(const DegreePosition& position) {
    return {position.latitude * kDegreesToRadians, position.longitude * kDegreesToRadians};
}

DegreePosition ToDegrees(const GeoPoint& point) {
    return {point.latitude * kRadiansToDegrees, point.longitude * kRadiansToDegrees};
}

// The plane of one segment: the UTM zone chosen for its centre, every point of the segment
// projected into that same zone.
class SegmentPlane {
public:
    explicit SegmentPlane(const DegreePosition& centre) {
        int zone = 0;
        ToUtm(ToRadians(centre), zone, centre_);
    }
    const UtmPosition& Centre() const { return centre_; }
    UtmPosition Project(const DegreePosition& position) const {
        int zone = centre_.zone;
        UtmPosition utm;
        ToUtm(ToRadians(position), zone, utm);
        return utm;
    }
    // The position `radius` metres from the centre at the mathematical angle `angle` (radians,
    // counter-clockwise from east).
    DegreePosition AtAngle(double radius, double angle) const {
        UtmPosition utm = centre_;
        utm.easting += radius * std::cos(angle);
        utm.northing += radius * std::sin(angle);
        GeoPoint point;
        FromUtm(utm, point);
        return ToDegrees(point);
    }

private:
    UtmPosition centre_;
};

// The mathematical angle of a bearing in degrees, as radians.
double BearingToAngle(double bearing) {
    double degrees = 90.0 - bearing;
    if (bearing >= 270.0) {
        degrees += 360.0;
    }
    return degrees * kDegreesToRadians;
}

// The angle of `point` seen from the plane's centre on the full circle, and its distance.
void AngleAndRadius(const SegmentPlane& plane, const DegreePosition& point, double& angle,
                    double& radius) {
    const UtmPosition utm = plane.Project(point);
    const double dx = utm.easting - plane.Centre().easting;
    const double dy = utm.northing - plane.Centre().northing;
    radius = std::sqrt(dx * dx + dy * dy);
    if (radius < 1e-9) {
        angle = 0;
        return;
    }
    double a = std::asin(std::clamp(dy / radius, -1.0, 1.0));
    if (dx < 0) {
        a = a >= 0 ? kPi - a : -(a + kPi);
    }
    angle = a;
}

class PolygonBuilder {
public:
    PolygonBuilder(int number, std::uint32_t time, std::vector<Waypoint>& points)
        : number_(number), time_(time), points_(points) {}

    // Keeps the point when it is the first or at least 100 m from the last kept one.
    void Candidate(const DegreePosition& position) {
        if (!points_.empty()) {
            double metres = 0;
            if (GeoDistance(ToRadians(last_), ToRadians(position), metres) != 0 ||
                metres < kMinPointDistanceMetres) {
                return;
            }
        }
        Add(position);
    }
    void Add(const DegreePosition& position) {
        if (points_.empty()) {
            points_.reserve(100);
        }
        Waypoint point;
        point.latitude = DegreesToSemicircles(position.latitude);
        point.longitude = DegreesToSemicircles(position.longitude);
        point.time = time_;
        const auto k = static_cast<unsigned>(points_.size());
        const auto n = static_cast<unsigned>(number_ < 0 ? 0 : number_);
        const char id[] = {'C',
                           static_cast<char>('A' + n / 26 % 26),
                           static_cast<char>('A' + n % 26),
                           static_cast<char>('A' + k / 676 % 26),
                           static_cast<char>('A' + k / 26 % 26),
                           static_cast<char>('A' + k % 26),
                           '\0'};
        point.SetId(id);
        points_.push_back(point);
        last_ = position;
    }
    // Appends `first` when the outline does not end within 100 m of it.
    void Close(const DegreePosition& first) {
        if (points_.size() <= 1) {
            return;
        }
        double metres = 0;
        if (GeoDistance(ToRadians(last_), ToRadians(first), metres) == 0 &&
            metres > kMinPointDistanceMetres) {
            Add(first);
        }
    }

private:
    int number_;
    std::uint32_t time_;
    std::vector<Waypoint>& points_;
    DegreePosition last_;
};

// The chords of an arc: exact start and end, the points between on the spiral from r1 to r2.
// `step` is the signed angle step direction (+1 counter-clockwise, -1 clockwise).
void ArcPoints(const SegmentPlane& plane, const DegreePosition& start, const DegreePosition& end,
               double startAngle, double span, double r1, double r2, int step, int maxSegmentError,
               PolygonBuilder& builder) {
    const double r = std::max(r1, r2);
    int count = 2;
    if (r > 0) {
        const double chord = std::sqrt(8.0 * maxSegmentError / r);
        const double steps = std::floor(span / chord) + 1;
        count = steps > 2 ? static_cast<int>(std::min(steps, 1e6)) : 2;
    }
    for (int i = 0; i <= count; ++i) {
        if (i == 0) {
            builder.Candidate(start);
        } else if (i == count) {
            builder.Candidate(end);
        } else {
            const double radius = r1 + (r2 - r1) * i / count;
            builder.Candidate(plane.AtAngle(radius, startAngle + step * i * span / count));
        }
    }
}

bool IsWholeCircle(const CtrSegment& segment) {
    return segment.kind == CtrSegmentKind::kCircle ||
           (segment.kind == CtrSegmentKind::kArcByAngles &&
            std::fabs(segment.startBearing) < 1e-6 && std::fabs(segment.endBearing - 360) < 1e-6);
}

void CirclePoints(const CtrSegment& segment, int maxSegmentError, PolygonBuilder& builder) {
    const SegmentPlane plane(segment.centre);
    const double radius = std::max(0, segment.radiusMetres);
    const int count = CircleChordCount(radius, maxSegmentError);
    DegreePosition first;
    for (int i = 0; i <= count; ++i) {
        // The last point is the first again, exactly.
        const DegreePosition position =
            i == count ? first : plane.AtAngle(radius, 2 * kPi * i / count);
        if (i == 0) {
            first = position;
        }
        builder.Add(position);
    }
}

}  // namespace

void ArcByAnglesEndpoints(const CtrSegment& segment, DegreePosition& start, DegreePosition& end) {
    const SegmentPlane plane(segment.centre);
    const double radius = std::max(0, segment.radiusMetres);
    start = plane.AtAngle(radius, BearingToAngle(segment.startBearing));
    end = plane.AtAngle(radius, BearingToAngle(segment.endBearing));
}

int CircleChordCount(double radiusMetres, int maxSegmentError) {
    const double error = std::max(maxSegmentError, kMinMaxSegmentError);
    const double count = std::floor(2.22 * std::sqrt(std::max(radiusMetres, 0.0) / error) + 0.5);
    return static_cast<int>(std::clamp(count, 8.0, 1e6));
}

int CtrToPolygon(const CtrArea& area, int number, int maxSegmentError, std::uint32_t time,
                 std::vector<Waypoint>& points) {
    points.clear();
    maxSegmentError = std::max(maxSegmentError, kMinMaxSegmentError);
    try {
        PolygonBuilder builder(number, time, points);
        if (area.segments.empty()) {
            return 0;
        }
        if (IsWholeCircle(area.segments.front())) {
            CirclePoints(area.segments.front(), maxSegmentError, builder);
            return 0;
        }
        DegreePosition first;
        bool haveFirst = false;
        for (const CtrSegment& segment : area.segments) {
            switch (segment.kind) {
                case CtrSegmentKind::kPoint:
                    if (!haveFirst) {
                        first = segment.position;
                        haveFirst = true;
                    }
                    builder.Candidate(segment.position);
                    break;
                case CtrSegmentKind::kArcByEndpoints: {
                    const SegmentPlane plane(segment.centre);
                    double startAngle = 0, endAngle = 0, r1 = 0, r2 = 0;
                    AngleAndRadius(plane, segment.start, startAngle, r1);
                    AngleAndRadius(plane, segment.end, endAngle, r2);
                    double span = endAngle - startAngle;
                    if (span < 0) {
                        span += 2 * kPi;
                    }
                    int step = 1;
                    if (segment.direction == kClockwise) {
                        span = 2 * kPi - span;
                        step = -1;
                    }
                    if (!haveFirst) {
                        first = segment.start;
                        haveFirst = true;
                    }
                    ArcPoints(plane, segment.start, segment.end, startAngle, span, r1, r2, step,
                              maxSegmentError, builder);
                    break;
                }
                case CtrSegmentKind::kArcByAngles: {
                    const SegmentPlane plane(segment.centre);
                    const double radius = std::max(0, segment.radiusMetres);
                    const double startAngle = BearingToAngle(segment.startBearing);
                    const DegreePosition start = plane.AtAngle(radius, startAngle);
                    const DegreePosition end =
                        plane.AtAngle(radius, BearingToAngle(segment.endBearing));
                    double span = segment.endBearing - segment.startBearing;
                    if (span < 0) {
                        span += 360;
                    }
                    int step = -1;
                    if (segment.direction == kCounterClockwise) {
                        span = 360 - span;
                        step = 1;
                    }
                    if (!haveFirst) {
                        first = start;
                        haveFirst = true;
                    }
                    ArcPoints(plane, start, end, startAngle, span * kDegreesToRadians, radius,
                              radius, step, maxSegmentError, builder);
                    break;
                }
                case CtrSegmentKind::kCircle:
                    // A circle after the first segment has no place in an outline.
                    break;
            }
        }
        if (haveFirst) {
            builder.Close(first);
        }
        return 0;
    } catch (const std::bad_alloc&) {
        points.clear();
        return -1;
    }
}

}  // namespace tracora::openair
