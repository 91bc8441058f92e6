#include "competition/id_waypoint.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace tracora::competition {
namespace {

// Semicircles of an angle given in degrees, minutes and seconds (2^31 / 180 per degree).
std::int32_t Semicircles(int degrees, int minutes, int seconds, int sign = 1) {
    const double value = (degrees + minutes / 60.0 + seconds / 3600.0) * 2147483648.0 / 180.0;
    return static_cast<std::int32_t>(sign * std::lround(value));
}

Waypoint IdWaypoint(const char* id, std::int32_t latitude, std::int32_t longitude) {
    Waypoint waypoint;
    waypoint.SetId(id);
    waypoint.latitude = latitude;
    waypoint.longitude = longitude;
    return waypoint;
}

TEST(IdWaypoint, EncodesTheDigitsInThePosition) {
    Waypoint waypoint;
    ASSERT_EQ(EncodeIdWaypoint(IdKind::kCompId, 12345, 777, waypoint), 0);
    EXPECT_EQ(waypoint.Id(), "COMPID");
    EXPECT_EQ(waypoint.Description(), "COMPID 12345");
    EXPECT_NEAR(waypoint.latitude, Semicircles(3, 4, 5), 1);
    EXPECT_NEAR(waypoint.longitude, Semicircles(0, 1, 2), 1);
    EXPECT_EQ(waypoint.altitude, 0);
    EXPECT_EQ(waypoint.time, 777u);
    EXPECT_EQ(waypoint.kind, 0);

    ASSERT_EQ(EncodeIdWaypoint(IdKind::kCivlId, 17'999'999, 0, waypoint), 0);
    EXPECT_EQ(waypoint.Id(), "CIVLID");
    EXPECT_EQ(waypoint.Description(), "CIVLID 17999999");
    EXPECT_NEAR(waypoint.latitude, Semicircles(9, 9, 9), 1);
    EXPECT_NEAR(waypoint.longitude, Semicircles(179, 9, 9), 1);

    EXPECT_EQ(EncodeIdWaypoint(IdKind::kCivlId, 18'000'000, 0, waypoint), -1);
    EXPECT_EQ(EncodeIdWaypoint(IdKind::kCivlId, -1, 0, waypoint), -1);
}

TEST(IdWaypoint, DecodesWhatWasEncoded) {
    for (const int number : {0, 7, 12345, 4321, 100000, 17'999'999}) {
        for (const IdKind kind : {IdKind::kCompId, IdKind::kCivlId}) {
            Waypoint waypoint;
            ASSERT_EQ(EncodeIdWaypoint(kind, number, 0, waypoint), 0);
            PilotIds ids;
            ASSERT_TRUE(DecodeIdWaypoint(waypoint, false, ids)) << number;
            EXPECT_EQ(kind == IdKind::kCompId ? ids.competitionId : ids.civlId, number);
            EXPECT_EQ(kind == IdKind::kCompId ? ids.civlId : ids.competitionId, -1);
        }
    }
}

TEST(IdWaypoint, DecodingRefusesPositionsThatSpellNoNumber) {
    struct Case {
        const char* what;
        Waypoint waypoint;
        bool compSpecial;
    } cases[] = {
        {"south of the equator",
         IdWaypoint("COMPID", Semicircles(3, 4, 5, -1), Semicircles(0, 1, 2)), false},
        {"west", IdWaypoint("COMPID", Semicircles(3, 4, 5), Semicircles(0, 1, 2, -1)), false},
        {"latitude minutes 10", IdWaypoint("COMPID", Semicircles(3, 10, 5), Semicircles(0, 1, 2)),
         false},
        {"latitude degrees 10", IdWaypoint("CIVLID", Semicircles(10, 0, 0), 0), false},
        {"longitude seconds 10", IdWaypoint("CIVLID", 0, Semicircles(0, 0, 10)), false},
        {"longitude degrees 180", IdWaypoint("CIVLID", 0, Semicircles(180, 0, 0)), false},
        {"another name", IdWaypoint("COMP", Semicircles(3, 4, 5), Semicircles(0, 1, 2)), false},
        {"special variant ignores COMPID",
         IdWaypoint("COMPID", Semicircles(3, 4, 5), Semicircles(0, 1, 2)), true},
        {"special variant needs digits", IdWaypoint("-12A", 0, 0), true},
        {"special variant needs one digit", IdWaypoint("-", 0, 0), true},
    };
    for (const Case& c : cases) {
        PilotIds ids;
        EXPECT_FALSE(DecodeIdWaypoint(c.waypoint, c.compSpecial, ids)) << c.what;
        EXPECT_EQ(ids.competitionId, -1) << c.what;
        EXPECT_EQ(ids.civlId, -1) << c.what;
    }
}

TEST(IdWaypoint, SpecialVariantTakesTheDigitsOfTheName) {
    PilotIds ids;
    EXPECT_TRUE(DecodeIdWaypoint(IdWaypoint("-123", 0, 0), true, ids));
    EXPECT_EQ(ids.competitionId, 123);
    EXPECT_EQ(ids.civlId, -1);
}

TEST(IdWaypoint, IdentifiersBeginningWithTheKeywordCount) {
    PilotIds ids;
    EXPECT_TRUE(DecodeIdWaypoint(IdWaypoint("CIVLID", Semicircles(3, 2, 1), Semicircles(0, 0, 4)),
                                 false, ids));
    EXPECT_EQ(ids.civlId, 4321);
}

TEST(IdWaypoint, StatusText) {
    EXPECT_EQ(PilotIdStatusText({12, 34}), "Comp ID = 12, CIVL ID = 34");
    EXPECT_EQ(PilotIdStatusText({12, -1}), "Comp ID = 12");
    EXPECT_EQ(PilotIdStatusText({-1, 34}), "CIVL ID = 34");
    EXPECT_EQ(PilotIdStatusText({-1, -1}), "");
}

}  // namespace
}  // namespace tracora::competition
