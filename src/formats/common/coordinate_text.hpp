// Conversions between stored semicircles and the units coordinate texts of files are written
// in. Every rounding is half away from zero (core/angles.hpp), the one rule of all writers.
#pragma once

#include <cstdint>

namespace tracora::formats {

// Thousandths of an arc-minute per semicircle (IGC, and other degree-minute formats).
inline constexpr double kSemicirclesToMilliMinutes = 0.005029141902924;
// Semicircles per thousandth of an arc-minute.
inline constexpr double kMilliMinutesToSemicircles = 198.8410785185;

std::int32_t SemicirclesToMilliMinutes(std::int32_t semicircles);
std::int32_t MilliMinutesToSemicircles(std::int32_t milliMinutes);

// A degree-minute field split for printing: the sign and the absolute value's parts.
struct DegreeMinutes {
    bool negative = false;
    int degrees = 0;
    int minutes = 0;
    int thousandths = 0;
};
DegreeMinutes SplitMilliMinutes(std::int32_t milliMinutes);

}  // namespace tracora::formats
