#include "core/position_tools.hpp"

#include <gtest/gtest.h>

namespace tracora {
namespace {

TEST(PositionTools, DescribesAPositionInEveryForm) {
    std::string text;
    ASSERT_EQ(DescribePosition("N 46 30 15", "E 7 49 30", text), 0);
    // UTM by GeoConvert: 32n 409847.2 5150737.0, MGRS 32TMS...
    EXPECT_EQ(text,
              "N 46  30  15.00  E 007  49  30.00\n46.504167, 7.825000\nUTM 32T 0409847 5150737");
}

TEST(PositionTools, DistanceOfOneDegreeOnTheEquator) {
    std::string text;
    // GeodSolve -i: 0 0 0 1 -> 111319.490793 m.
    ASSERT_EQ(DescribeDistance("0", "0", "0", "1", text), 0);
    EXPECT_EQ(text, "111319.491 m (111.319 km)");
}

TEST(PositionTools, BadInputsAreSaid) {
    struct Case {
        const char *lat1, *lon1, *lat2, *lon2, *message;
    } cases[] = {{"95", "0", "0", "0", "Bad latitude input"},
                 {"0", "x", "0", "0", "Bad longitude input"},
                 {"0", "0", "0", "180", "Bad longitude input"}};
    for (const Case& c : cases) {
        std::string text;
        EXPECT_EQ(DescribeDistance(c.lat1, c.lon1, c.lat2, c.lon2, text), -1) << c.message;
        EXPECT_EQ(text, c.message);
    }
    std::string text;
    EXPECT_EQ(DescribePosition("N 46", "W 400", text), -1);
    EXPECT_EQ(text, "Bad longitude input");
}

}  // namespace
}  // namespace tracora
