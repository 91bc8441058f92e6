// The KML writer's text conversion: any bytes as the trip description and the instrument text.
// Either the conversion is refused with nothing written, or the folder holds neither a raw '<'
// from the description nor an end of its CDATA section before the statistics.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "formats/kml/kml_writer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string converted;
    const int status = tracora::kml::AppendDescriptionText(converted, text);
    if (status != 0 && (status != -2 || !converted.empty())) {
        std::abort();
    }
    if (status == 0 &&
        (converted.find('<') != std::string::npos || converted.find("]]>") != std::string::npos)) {
        std::abort();
    }

    tracora::kml::TripAnalysis trip;
    for (std::size_t i = 0; i < 5; ++i) {
        tracora::TrackPoint p;
        p.time = 1000000000u + static_cast<std::uint32_t>(i);
        p.latitude = 554766609;
        p.longitude = 89478485;
        p.gpsAltitude = 10000;
        trip.points.push_back(p);
    }
    trip.hashWanted = true;
    tracora::kml::KmlOutput out;
    const std::optional<std::string_view> instrument = text;
    const int folder = tracora::kml::WriteTripFolder(out, trip, text, instrument);
    if (folder != status || (folder != 0 && out.Size() != 0)) {
        std::abort();
    }
    return 0;
}
