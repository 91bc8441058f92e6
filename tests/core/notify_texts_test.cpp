#include "core/notify_texts.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tracora {
namespace {

TEST(NotifyPacingTest, WaypointCountGoesOutOnceTheTickHasPassedThePacePlusOneSecond) {
    struct Step {
        std::uint32_t nowMs;
        bool due;
        std::uint32_t paceAfterMs;
    };
    const Step steps[] = {
        {0, false, 0},
        {999, false, 0},
        {1000, false, 0},
        {1001, true, 1000},
        {1500, false, 1000},
        {2000, false, 1000},
        {2999, true, 2000},
        {3000, false, 2000},
        {3001, true, 3000},
        // A late call: the pace moves by one second per text until it has caught up.
        {6500, true, 4000},
        {6500, true, 5000},
        {6500, true, 6000},
        {6500, false, 6000},
    };
    WaypointCountPacer pacer(0);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.nowMs);
        EXPECT_EQ(pacer.Due(step.nowMs), step.due);
        EXPECT_EQ(pacer.PaceTickMs(), step.paceAfterMs);
    }
}

TEST(NotifyPacingTest, WaypointCountPacingSurvivesTheTickCounterWrapping) {
    WaypointCountPacer pacer(0xFFFFFF00u);
    EXPECT_FALSE(pacer.Due(0x000002E8u));  // 1000 ms after the start
    EXPECT_TRUE(pacer.Due(0x000002E9u));
    EXPECT_EQ(pacer.PaceTickMs(), 0x000002E8u);
    EXPECT_FALSE(pacer.Due(0x000002F0u));
}

TEST(NotifyPacingTest, PositionsFollowSendLogSecondsOfTrackTime) {
    struct Step {
        std::uint32_t time;
        bool due;
    };
    const Step everyTen[] = {
        {1000, true},  {1005, false}, {1009, false},        {1010, true}, {1019, false},
        {1025, true},  {0, false},    {0xFFFFFFFFu, false},  // no valid time: skipped
        {1030, false}, {1035, true},  {1020, false},         // earlier than the last sent
    };
    PositionPacer pacer(10);
    EXPECT_TRUE(pacer.Enabled());
    for (const Step& step : everyTen) {
        SCOPED_TRACE(step.time);
        EXPECT_EQ(pacer.Due(step.time), step.due);
    }
    PositionPacer off(0);
    EXPECT_FALSE(off.Enabled());
    EXPECT_FALSE(off.Due(1000));
    EXPECT_FALSE(off.Due(5000));
}

TEST(NotifyPacingTest, PositionTextInDegreesAndWholeMetres) {
    TrackPoint point;
    point.time = 2000;
    point.latitude = 0x20000000;    // 2^29 semicircles: 45 degrees
    point.longitude = -0x10000000;  // -22.5 degrees
    point.gpsAltitude = 12345;      // decimetres: 1234.5 m
    EXPECT_EQ(PositionText(point), "Pos=45.000000,-22.500000,1235");
    point.gpsAltitude = -15;
    EXPECT_EQ(PositionText(point), "Pos=45.000000,-22.500000,-2");

    PositionPacer pacer(30);
    EXPECT_EQ(pacer.Offer(point), std::optional<std::string>("Pos=45.000000,-22.500000,-2"));
    point.time = 2029;
    EXPECT_EQ(pacer.Offer(point), std::nullopt);
}

TEST(NotifyTextTest, CountTexts) {
    EXPECT_EQ(WaypointCountText(0), "Waypoint count 0");
    EXPECT_EQ(WaypointCountText(1234), "Waypoint count 1234");
    EXPECT_EQ(ByteCountText(65536), "Byte count 65536");
}

TEST(NotifyTextTest, FlightListHasOneLinePerUsedSlot) {
    std::vector<FlightListSlot> slots(255);
    slots[0] = {true, CalendarTime{2024, 6, 1, 10, 5, 3, 0}, 5025};
    slots[3] = {true, CalendarTime{2023, 12, 31, 23, 59, 59, 0}, 360000};
    slots[254] = {true, CalendarTime{2001, 1, 2, 0, 0, 0, 0}, 59};
    EXPECT_EQ(FlightListText(slots),
              "Flightlist:\n"
              "2024.06.01,10:05:03,1:23:45\n"
              "2023.12.31,23:59:59,100:00:00\n"
              "2001.01.02,00:00:00,0:00:59\n");

    // Nothing used, nothing sent.
    EXPECT_EQ(FlightListText(std::vector<FlightListSlot>(255)), "");
    EXPECT_EQ(FlightListText({}), "");
}

}  // namespace
}  // namespace tracora
