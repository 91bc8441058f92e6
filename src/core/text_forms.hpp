// Text forms of positions and the parsers of typed coordinates.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/geodesy.hpp"

namespace tracora {

// "N 46  30  15.50" from hundredths of an arc-second.
std::string FormatLatitude(std::int32_t hundredthSeconds);
// "E 007  05  00.00".
std::string FormatLongitude(std::int32_t hundredthSeconds);
// "32T", "0345678", "5123456".
std::string FormatUtmZone(int zone, char band);
std::string FormatUtmMetres(double metres);

// 0, or -2 (empty or 0 zone), -1 (zone above 60), -3 (bad band letter), -4 (trailing text).
int ParseUtmZone(std::string_view text, int& zone, char& band);
// 0, or -1 (no sign or digit first), -2 (integer part overflows), -4 (trailing text).
int ParseDecimal(std::string_view text, double& value);

// A typed whole number: blanks around it, an optional sign, digits. 0, or -1 (nothing but
// blanks), -2 (anything else). Values beyond a million saturate there.
int ParseIntegerField(std::string_view text, long long& value);
inline constexpr int kFieldEmpty = -1;
inline constexpr int kFieldNotInteger = -2;

enum class AngleKind { kLatitude, kLongitude };
// Decimal degrees, degrees and decimal minutes, or degrees minutes seconds, with an
// optional hemisphere sign. 0, or -1 on any error.
int ParseAngle(std::string_view text, AngleKind kind, double& radians);

// Fills each '%' of `pattern` with the next count: a, b, c, then d for every further one.
std::string FormatCount(std::string_view pattern, long long a = 0, long long b = 0, long long c = 0,
                        long long d = 0);

}  // namespace tracora
