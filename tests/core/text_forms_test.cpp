#include "core/text_forms.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

namespace tracora {
namespace {

constexpr double kDegreesPerRadian = 180 / std::numbers::pi;

// ---- Display forms ----------------------------------------------------------------------------

TEST(TextFormsTest, FormatLatitudeAndLongitude) {
    struct Case {
        std::int32_t hundredthSeconds;
        const char* latitude;
        const char* longitude;
    };
    // 46 30 15.50 = (46 x 3600 + 30 x 60 + 15.5) x 100 = 16741550
    const Case cases[] = {
        {16741550, "N 46  30  15.50", "E 046  30  15.50"},
        {-16741550, "S 46  30  15.50", "W 046  30  15.50"},
        {0, "N 00  00  00.00", "E 000  00  00.00"},
        {-1, "S 00  00  00.01", "W 000  00  00.01"},
        {2550000, "N 07  05  00.00", "E 007  05  00.00"},
        {32400000, "N 90  00  00.00", "E 090  00  00.00"},
        {-64799999, "S 179  59  59.99", "W 179  59  59.99"},
        // The most negative count has no positive 32-bit counterpart; it must not overflow.
        {std::numeric_limits<std::int32_t>::min(), "S 5965  13  56.48", "W 5965  13  56.48"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatLatitude(c.hundredthSeconds), c.latitude);
        EXPECT_EQ(FormatLongitude(c.hundredthSeconds), c.longitude);
    }
}

TEST(TextFormsTest, FormatUtm) {
    EXPECT_EQ(FormatUtmZone(32, 'T'), "32T");
    EXPECT_EQ(FormatUtmZone(5, 'C'), "05C");
    struct Case {
        double metres;
        const char* text;
    };
    const Case cases[] = {
        {345678.4, "0345678"}, {345678.5, "0345679"},    {5123456.49, "5123456"},
        {0, "0000000"},        {12345678.9, "12345679"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatUtmMetres(c.metres), c.text) << c.metres;
    }
}

// ---- Parsers -----------------------------------------------------------------------------------

struct UtmZoneCase {
    const char* text;
    int status;
    int zone;
    char band;
};

constexpr UtmZoneCase kUtmZoneCases[] = {
    {"32T", 0, 32, 'T'},      {"32t", 0, 32, 'T'},
    {"  32 T  ", 0, 32, 'T'}, {"1C", 0, 1, 'C'},
    {"60X", 0, 60, 'X'},      {"032b", 0, 32, 'B'},
    {"32I", -3, 0, 0},        {"32O", -3, 0, 0},
    {"32o", -3, 0, 0},        {"32A", -3, 0, 0},
    {"32Y", -3, 0, 0},        {"32", -3, 0, 0},
    {"32 ", -3, 0, 0},        {"32-", -3, 0, 0},
    {"61U", -1, 0, 0},        {"99999999999999U", -1, 0, 0},
    {"0U", -2, 0, 0},         {"00T", -2, 0, 0},
    {"", -2, 0, 0},           {"   ", -2, 0, 0},
    {"U", -2, 0, 0},          {"-5T", -2, 0, 0},
    {"32TX", -4, 0, 0},       {"32T 5", -4, 0, 0},
    {"32 T.", -4, 0, 0},
};

TEST(TextFormsTest, ParseUtmZone) {
    for (const auto& c : kUtmZoneCases) {
        int zone = -7;
        char band = '?';
        EXPECT_EQ(ParseUtmZone(c.text, zone, band), c.status) << '"' << c.text << '"';
        if (c.status == 0) {
            EXPECT_EQ(zone, c.zone) << c.text;
            EXPECT_EQ(band, c.band) << c.text;
        } else {
            EXPECT_EQ(zone, -7) << c.text << ": nothing is written on error";
            EXPECT_EQ(band, '?') << c.text;
        }
    }
}

struct DecimalCase {
    const char* text;
    int status;
    double value;
};

constexpr DecimalCase kDecimalCases[] = {
    {"12.5", 0, 12.5},
    {"  -3,25  ", 0, -3.25},
    {"+7", 0, 7},
    {"5.", 0, 5},
    {"0.001", 0, 0.001},
    {"-0.5", 0, -0.5},
    {"2147483647", 0, 2147483647.0},
    {"2147483649", 0, 2147483649.0},  // the last digit arrives at 214748364: still allowed
    {"21474836480", -2, 0},           // one more digit after 2147483648
    {"999999999999", -2, 0},
    {"abc", -1, 0},
    {".5", -1, 0},
    {"-.5", 0, -0.5},
    {"", -1, 0},
    {"   ", -1, 0},
    {"-", -1, 0},  // a lone sign is not a number
    {"+,", -1, 0},
    {"12a", -4, 0},
    {"1 2", -4, 0},
    {"12.5.3", -4, 0},
    {"12.5 x", -4, 0},
};

TEST(TextFormsTest, ParseDecimal) {
    for (const auto& c : kDecimalCases) {
        double value = -99;
        EXPECT_EQ(ParseDecimal(c.text, value), c.status) << '"' << c.text << '"';
        if (c.status == 0) {
            EXPECT_DOUBLE_EQ(value, c.value) << c.text;
        } else {
            EXPECT_EQ(value, -99) << c.text << ": nothing is written on error";
        }
    }
}

TEST(TextFormsTest, ParseIntegerField) {
    struct Case {
        const char* text;
        int status;
        long long value;
    };
    const Case cases[] = {
        {"800", 0, 800},
        {"  800 ", 0, 800},
        {"+5", 0, 5},
        {"-12", 0, -12},
        {"0", 0, 0},
        {"99999999999", 0, 1000000},
        {"", kFieldEmpty, 0},
        {"   ", kFieldEmpty, 0},
        {"-", kFieldNotInteger, 0},
        {"8 00", kFieldNotInteger, 0},
        {"1.5", kFieldNotInteger, 0},
        {"x", kFieldNotInteger, 0},
        {"12m", kFieldNotInteger, 0},
    };
    for (const Case& c : cases) {
        long long value = -99;
        EXPECT_EQ(ParseIntegerField(c.text, value), c.status) << '"' << c.text << '"';
        EXPECT_EQ(value, c.status == 0 ? c.value : -99) << '"' << c.text << '"';
    }
}

struct AngleCase {
    const char* text;
    AngleKind kind;
    int status;
    double degrees;
};

constexpr AngleKind kLat = AngleKind::kLatitude;
constexpr AngleKind kLon = AngleKind::kLongitude;

constexpr AngleCase kAngleCases[] = {
    {"N 46 30 15,5", kLat, 0, 46.504305555555556},  // 46 + 30/60 + 15.5/3600
    {"46 30 15.5", kLat, 0, 46.504305555555556},
    {"46.5", kLat, 0, 46.5},
    {"46 30.25", kLat, 0, 46.504166666666667},  // 46 + 30.25/60
    {"S 12 30", kLat, 0, -12.5},
    {"s12", kLat, 0, -12},
    {"-46,5", kLat, 0, -46.5},
    {"+46.5", kLat, 0, 46.5},
    {"  n  0  ", kLat, 0, 0},
    {"89 59 59.99", kLat, 0, 89.999997222222222},
    {"E 7 15", kLon, 0, 7.25},
    {"w 12,5", kLon, 0, -12.5},
    {"W 179 59 59", kLon, 0, -179.99972222222222},
    {"179.999", kLon, 0, 179.999},
    {"90", kLat, -1, 0},
    {"90.0", kLat, -1, 0},
    {"180", kLon, -1, 0},
    {"89 60", kLat, -1, 0},
    {"89 59 60", kLat, -1, 0},
    {"E 46", kLat, -1, 0},
    {"N 7", kLon, -1, 0},
    {"46.5 30", kLat, -1, 0},
    {"46 30.5 10", kLat, -1, 0},
    {"46 30 15 5", kLat, -1, 0},
    {"46N", kLat, -1, 0},
    {"4 6x", kLat, -1, 0},
    {"", kLat, -1, 0},
    {"N", kLat, -1, 0},
    {"N -46", kLat, -1, 0},
    {"46 30 15;5", kLat, -1, 0},
    {"99999999999999999999999999", kLon, -1, 0},
};

TEST(TextFormsTest, ParseAngle) {
    for (const auto& c : kAngleCases) {
        double radians = -99;
        EXPECT_EQ(ParseAngle(c.text, c.kind, radians), c.status) << '"' << c.text << '"';
        if (c.status == 0) {
            EXPECT_NEAR(radians * kDegreesPerRadian, c.degrees, 1e-12) << c.text;
        } else {
            EXPECT_EQ(radians, -99) << c.text << ": nothing is written on error";
        }
    }
}

// ---- Counter texts -----------------------------------------------------------------------------

TEST(TextFormsTest, FormatCount) {
    EXPECT_EQ(FormatCount("Track position % (%m %s)", 12, 3, 45), "Track position 12 (3m 45s)");
    EXPECT_EQ(FormatCount("% waypoints sent, % errors, response timeout", 17, 2),
              "17 waypoints sent, 2 errors, response timeout");
    // The fourth argument serves the fourth and every further mark.
    EXPECT_EQ(FormatCount("a%b%c%d%e%f", 1, 2, 3, 4), "a1b2c3d4e4f");
    EXPECT_EQ(FormatCount("%%%%%", 1, 2, 3, 4), "12344");
    EXPECT_EQ(FormatCount("no marks", 1, 2, 3, 4), "no marks");
    EXPECT_EQ(FormatCount("", 1), "");
    EXPECT_EQ(FormatCount("%"), "0");
    EXPECT_EQ(FormatCount("% bytes", 1234567890123LL), "1234567890123 bytes");
}

}  // namespace
}  // namespace tracora
