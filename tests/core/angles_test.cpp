#include "core/angles.hpp"

#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace tracora {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct RoundCase {
    double value;
    std::int32_t expected;
};

TEST(AnglesTest, RoundHalfAwayFromZero) {
    const RoundCase cases[] = {
        {0.0, 0},
        {0.4, 0},
        {0.5, 1},
        {-0.4, 0},
        {-0.5, -1},
        {1.4999, 1},
        {2.5, 3},
        {-2.5, -3},
        {2147483647.4, kMax},
        {-2147483648.4, kMin},
        {3e9, kMax},
        {-3e9, kMin},
        {std::numeric_limits<double>::infinity(), kMax},
        {-std::numeric_limits<double>::infinity(), kMin},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundHalfAwayFromZero(c.value), c.expected) << c.value;
    }
}

// Expected values: degrees x 2^31 / 180 and semicircles x 180 x 3600 x 100 / 2^31 with
// bc -l, then rounded by hand.
TEST(AnglesTest, DegreesToSemicircles) {
    const RoundCase cases[] = {
        {0, 0},
        {90, 1073741824},  // 2^30
        {-90, -1073741824},
        {45, 536870912},      // 2^29
        {46.5, 554766609},    // 554766609.067
        {7.25, 86495869},     // 86495869.156
        {-33.9, -404442754},  // -404442753.707
        {-180, kMin},         // exactly -2^31
        {180, kMax},          // 2^31 does not fit: saturates
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DegreesToSemicircles(c.value), c.expected) << c.value;
    }
}

TEST(AnglesTest, RadiansToSemicircles) {
    const double pi = 3.141592653589793;
    const RoundCase cases[] = {
        {pi / 2, 1073741824}, {-pi / 4, -536870912}, {1.0, 683565276},  // 683565275.576
        {0.123456, 84390235},                                           // 84390234.662
        {-pi, kMin},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RadiansToSemicircles(c.value), c.expected) << c.value;
    }
}

TEST(AnglesTest, SemicirclesToHundredthSeconds) {
    struct Case {
        std::int32_t semicircles;
        std::int32_t expected;
    };
    const Case cases[] = {
        {0, 0},
        {1073741824, 32400000},  // 90 degrees
        {-1073741824, -32400000},
        {554766609, 16740000},  // 16739999.998: 46.5 degrees
        {123456789, 3725290},   // 3725290.265
        {-123456789, -3725290},
        {17, 1},  // 0.513
        {-17, -1},
        {16, 0},            // 0.483
        {kMin, -64800000},  // -180 degrees
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SemicirclesToHundredthSeconds(c.semicircles), c.expected) << c.semicircles;
    }
}

TEST(AnglesTest, SemicirclesToRadiansAndDegrees) {
    EXPECT_DOUBLE_EQ(SemicirclesToRadians(1073741824), 1.5707963267948966);
    EXPECT_DOUBLE_EQ(SemicirclesToRadians(kMin), -3.141592653589793);
    EXPECT_NEAR(SemicirclesToDegrees(1073741824), 90.0, 1e-12);
    EXPECT_NEAR(SemicirclesToDegrees(554766609), 46.4999999944, 1e-10);
}

}  // namespace
}  // namespace tracora
