#include "core/angles.hpp"

#include <cmath>
#include <limits>

namespace tracora {

namespace {

// 2^31 / 180: semicircles per degree.
constexpr double kDegreesToSemicircles = 11930464.711111111;

}  // namespace

std::int32_t RoundHalfAwayFromZero(double value) {
    if (std::isnan(value)) {
        return 0;  // a cast of NaN to an integer is undefined; 0 is the harmless choice
    }
    const double shifted = value >= 0 ? value + 0.5 : value - 0.5;
    if (shifted >= 2147483648.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (shifted <= -2147483649.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(shifted);  // truncates towards zero
}

std::int32_t RadiansToSemicircles(double radians) {
    return RoundHalfAwayFromZero(radians * kRadiansToSemicircles);
}

std::int32_t DegreesToSemicircles(double degrees) {
    return RoundHalfAwayFromZero(degrees * kDegreesToSemicircles);
}

std::int32_t SemicirclesToHundredthSeconds(std::int32_t semicircles) {
    return RoundHalfAwayFromZero(semicircles * kSemicirclesToHundredthSeconds);
}

}  // namespace tracora
