// Angle units: semicircles in storage, radians in computation, hundredths of an
// arc-second for display.
#pragma once

#include <cstdint>

namespace tracora {

inline constexpr double kSemicirclesToRadians = 1.4629180792671596e-9;  // pi / 2^31
inline constexpr double kRadiansToSemicircles = 683565275.5764316;      // 2^31 / pi
inline constexpr double kSemicirclesToHundredthSeconds = 0.030174851417541504;
inline constexpr double kRadiansToDegrees = 57.29577951308232;  // 180 / pi
inline constexpr double kPi = 3.14159265358979323846;

// Adds 0.5 to a non-negative value and subtracts 0.5 from a negative one, then truncates.
// Values beyond the 32-bit range saturate.
std::int32_t RoundHalfAwayFromZero(double value);

inline double SemicirclesToRadians(std::int32_t semicircles) {
    return semicircles * kSemicirclesToRadians;
}
std::int32_t RadiansToSemicircles(double radians);
inline double SemicirclesToDegrees(std::int32_t semicircles) {
    return semicircles * kSemicirclesToRadians * kRadiansToDegrees;
}
std::int32_t DegreesToSemicircles(double degrees);
std::int32_t SemicirclesToHundredthSeconds(std::int32_t semicircles);

// A position in radians.
struct GeoPoint {
    double latitude = 0;
    double longitude = 0;
};

}  // namespace tracora
