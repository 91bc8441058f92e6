// Trip records for the KML tests: points one second apart from 2024-06-01 10:00:00.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/time_base.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::kml::test_trips {

inline std::uint32_t At(int year, int month, int day, int hour, int minute, int second) {
    CalendarTime c;
    c.year = year;
    c.month = month;
    c.day = day;
    c.hour = hour;
    c.minute = minute;
    c.second = second;
    return CalendarToTime(c);
}

inline TrackPoint Point(std::uint32_t time, std::int32_t altitudeDm) {
    TrackPoint p;
    p.time = time;
    p.latitude = 554766609;
    p.longitude = 89478485;
    p.gpsAltitude = altitudeDm;
    return p;
}

inline TripAnalysis TripOf(std::size_t count, std::int32_t altitudeDm,
                           std::uint32_t badTimeAt = 0) {
    TripAnalysis a;
    const std::uint32_t start = At(2024, 6, 1, 10, 0, 0);
    for (std::size_t i = 0; i < count; ++i) {
        a.points.push_back(Point(start + static_cast<std::uint32_t>(i), altitudeDm));
    }
    if (badTimeAt > 0) {
        a.points[badTimeAt].time = 0xFFFFFFFFu;
    }
    a.firstTime = a.points.front().time;
    a.lastTime = a.points.back().time;
    a.timesAreUtc = true;
    return a;
}

}  // namespace tracora::kml::test_trips
