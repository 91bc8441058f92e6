#include "core/position_tools.hpp"

#include "core/geodesy.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"

namespace tracora {

namespace {

int ParsePosition(std::string_view latitude, std::string_view longitude, GeoPoint& point,
                  std::string& error) {
    if (ParseAngle(latitude, AngleKind::kLatitude, point.latitude) != 0) {
        error = "Bad latitude input";
        return -1;
    }
    if (ParseAngle(longitude, AngleKind::kLongitude, point.longitude) != 0) {
        error = "Bad longitude input";
        return -1;
    }
    return 0;
}

}  // namespace

int DescribePosition(std::string_view latitude, std::string_view longitude, std::string& text) {
    GeoPoint point;
    if (ParsePosition(latitude, longitude, point, text) != 0) {
        return -1;
    }
    const std::int32_t lat = RadiansToSemicircles(point.latitude);
    const std::int32_t lon = RadiansToSemicircles(point.longitude);
    int zone = 0;
    UtmPosition utm;
    ToUtm(point, zone, utm);
    text = FormatLatitude(SemicirclesToHundredthSeconds(lat)) + "  " +
           FormatLongitude(SemicirclesToHundredthSeconds(lon)) + "\n" +
           StringPrintf("%.6f, %.6f", SemicirclesToDegrees(lat), SemicirclesToDegrees(lon)) +
           "\nUTM " + FormatUtmZone(utm.zone, utm.band) + " " + FormatUtmMetres(utm.easting) + " " +
           FormatUtmMetres(utm.northing);
    return 0;
}

int DescribeDistance(std::string_view latitude1, std::string_view longitude1,
                     std::string_view latitude2, std::string_view longitude2, std::string& text) {
    GeoPoint a;
    GeoPoint b;
    if (ParsePosition(latitude1, longitude1, a, text) != 0 ||
        ParsePosition(latitude2, longitude2, b, text) != 0) {
        return -1;
    }
    double metres = 0;
    if (GeoDistance(a, b, metres) != 0) {
        text = "The distance does not converge (nearly antipodal points)";
        return -1;
    }
    text = StringPrintf("%.3f m (%.3f km)", metres, metres / 1000.0);
    return 0;
}

}  // namespace tracora
