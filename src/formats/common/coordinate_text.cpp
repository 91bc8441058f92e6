#include "formats/common/coordinate_text.hpp"

#include <cstdlib>

#include "core/angles.hpp"

namespace tracora::formats {

std::int32_t SemicirclesToMilliMinutes(std::int32_t semicircles) {
    return RoundHalfAwayFromZero(static_cast<double>(semicircles) * kSemicirclesToMilliMinutes);
}

std::int32_t MilliMinutesToSemicircles(std::int32_t milliMinutes) {
    return RoundHalfAwayFromZero(static_cast<double>(milliMinutes) * kMilliMinutesToSemicircles);
}

DegreeMinutes SplitMilliMinutes(std::int32_t milliMinutes) {
    DegreeMinutes out;
    out.negative = milliMinutes < 0;
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(milliMinutes));
    out.degrees = static_cast<int>(magnitude / 60000);
    out.minutes = static_cast<int>((magnitude % 60000) / 1000);
    out.thousandths = static_cast<int>(magnitude % 1000);
    return out;
}

}  // namespace tracora::formats
