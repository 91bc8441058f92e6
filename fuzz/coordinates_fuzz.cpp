// Typed coordinates and numbers: the angle, decimal and UTM zone parsers, and the conversions
// of whatever they accept.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/geodesy.hpp"
#include "core/text_forms.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    double value = 0;
    tracora::ParseDecimal(text, value);
    int zone = 0;
    char band = 0;
    tracora::ParseUtmZone(text, zone, band);

    tracora::GeoPoint point;
    if (tracora::ParseAngle(text, tracora::AngleKind::kLatitude, point.latitude) == 0 &&
        tracora::ParseAngle(text, tracora::AngleKind::kLongitude, point.longitude) == 0) {
        int utmZone = 0;
        tracora::UtmPosition utm;
        tracora::ToUtm(point, utmZone, utm);
        tracora::GeoPoint back;
        tracora::FromUtm(utm, back);
        double metres = 0;
        tracora::GeoDistance(point, back, metres);
        tracora::FormatLatitude(
            tracora::SemicirclesToHundredthSeconds(tracora::RadiansToSemicircles(point.latitude)));
    }
    tracora::FormatCount(text, 1, 2, 3, 4);
    return 0;
}
