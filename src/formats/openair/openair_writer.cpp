#include "formats/openair/openair_writer.hpp"

#include <cmath>
#include <new>
#include <vector>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "formats/openair/ctr_polygon.hpp"

namespace tracora::openair {

namespace {

// One angle as "%d:%02d:%02d %c" from tenths of arc-seconds (the tenths are dropped).
std::string AngleText(double degrees, char positive, char negative) {
    const auto tenths = static_cast<long long>(std::fabs(degrees) * 36000.0 + 0.5);
    return StringPrintf("%lld:%02lld:%02lld %c", tenths / 36000, tenths % 36000 / 600,
                        tenths % 600 / 10, degrees < 0 ? negative : positive);
}

void Header(std::string& out, const CtrArea& area) {
    out += "AC " + area.classText + "\r\n";
    if (!area.name.empty()) {
        out += "AN " + area.name + "\r\n";
    }
    out += "AL " + area.floor + "\r\n";
    out += "AH " + area.ceiling + "\r\n";
}

void Segments(std::string& out, const CtrArea& area) {
    for (const CtrSegment& segment : area.segments) {
        switch (segment.kind) {
            case CtrSegmentKind::kPoint:
                out += "DP " + OpenAirPositionText(segment.position) + "\r\n";
                break;
            case CtrSegmentKind::kCircle:
                out += "V X=" + OpenAirPositionText(segment.centre) + "\r\n";
                out += StringPrintf("DC %.4f\r\n", segment.radiusMetres * kMetresToNauticalMiles);
                break;
            case CtrSegmentKind::kArcByEndpoints:
                out += StringPrintf("V D=%c\r\n", segment.direction);
                out += "V X=" + OpenAirPositionText(segment.centre) + "\r\n";
                out += "DB " + OpenAirPositionText(segment.start) + ",  " +
                       OpenAirPositionText(segment.end) + "\r\n";
                break;
            case CtrSegmentKind::kArcByAngles:
                out += StringPrintf("V D=%c\r\n", segment.direction);
                out += "V X=" + OpenAirPositionText(segment.centre) + "\r\n";
                out += StringPrintf("DA %.4f, %.2f, %.2f\r\n",
                                    segment.radiusMetres * kMetresToNauticalMiles,
                                    segment.startBearing, segment.endBearing);
                break;
        }
    }
}

}  // namespace

std::string OpenAirPositionText(const DegreePosition& position) {
    return AngleText(position.latitude, 'N', 'S') + "  " + AngleText(position.longitude, 'E', 'W');
}

std::string WriteOpenAir(std::span<const CtrArea* const> areas, bool withArcs,
                         int maxSegmentError) {
    std::string out;
    std::vector<Waypoint> outline;
    int number = 0;
    for (const CtrArea* area : areas) {
        if (number > 0) {
            out += "\r\n";
        }
        Header(out, *area);
        if (withArcs) {
            Segments(out, *area);
        } else {
            if (CtrToPolygon(*area, number, maxSegmentError, 0, outline) != 0) {
                throw std::bad_alloc();
            }
            for (const Waypoint& point : outline) {
                out += "DP " +
                       OpenAirPositionText({SemicirclesToDegrees(point.latitude),
                                            SemicirclesToDegrees(point.longitude)}) +
                       "\r\n";
            }
        }
        ++number;
    }
    return out;
}

std::string SingleRecordText(const CtrArea& area) {
    std::string out;
    out += "*Airspace category\r\nAC " + area.classText + "\r\n";
    out += "*Airspace name\r\nAN " + area.name + "\r\n";
    out += "*Airspace floor (Remark)\r\nAL " + area.floor + "\r\n";
    out += "*Airspace ceiling\r\nAH " + area.ceiling + "\r\n";
    out += "*Use records V, DP, DA, DB or DC\r\n";
    out += "*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS\r\n";
    Segments(out, area);
    return out;
}

}  // namespace tracora::openair
