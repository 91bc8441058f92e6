// Constructed tracks for the analysis tests.
#pragma once

#include <cstdint>
#include <vector>

#include "core/angles.hpp"
#include "core/track_log.hpp"

namespace tracora::analysis::test {

struct Degrees {
    double latitude;
    double longitude;
};

inline TrackPoint MakePoint(Degrees at, std::uint32_t time, std::int32_t altitudeDm = 10000) {
    TrackPoint p;
    p.time = time;
    p.latitude = DegreesToSemicircles(at.latitude);
    p.longitude = DegreesToSemicircles(at.longitude);
    p.gpsAltitude = altitudeDm;
    return p;
}

// A track through `corners` with `stepsPerLeg` evenly spaced points per leg (the corners
// themselves are points), `secondsPerStep` apart.
inline std::vector<TrackPoint> Polyline(const std::vector<Degrees>& corners, int stepsPerLeg,
                                        std::uint32_t secondsPerStep = 10) {
    std::vector<TrackPoint> points;
    std::uint32_t time = 1000000;
    for (std::size_t c = 0; c + 1 < corners.size(); ++c) {
        for (int s = 0; s < stepsPerLeg; ++s) {
            const double f = static_cast<double>(s) / stepsPerLeg;
            const Degrees a = corners[c];
            const Degrees b = corners[c + 1];
            points.push_back(MakePoint({a.latitude + f * (b.latitude - a.latitude),
                                        a.longitude + f * (b.longitude - a.longitude)},
                                       time));
            time += secondsPerStep;
        }
    }
    points.push_back(MakePoint(corners.back(), time));
    return points;
}

// `count` copies of a position, `secondsPerStep` apart, appended.
inline void Wait(std::vector<TrackPoint>& points, Degrees at, int count,
                 std::uint32_t secondsPerStep = 10) {
    for (int i = 0; i < count; ++i) {
        const std::uint32_t time = points.empty() ? 1000000 : points.back().time + secondsPerStep;
        points.push_back(MakePoint(at, time));
    }
}

}  // namespace tracora::analysis::test
