#include "core/time_base.hpp"

#include <chrono>
#include <cstdint>

#include <gtest/gtest.h>

namespace tracora {
namespace {

struct CalendarCase {
    CalendarTime calendar;
    std::uint32_t seconds;
};

// Expected seconds: `date -u -d "<date>" +%s` minus 631065600 (Unix time of 1989-12-31).
constexpr CalendarCase kCalendarCases[] = {
    {{1989, 12, 31, 0, 0, 0, 0}, 0},
    {{1989, 12, 31, 23, 59, 59, 0}, 86399},
    {{1990, 1, 1, 0, 0, 0, 0}, 86400},
    {{1990, 2, 28, 23, 59, 59, 0}, 5183999},
    {{1990, 3, 1, 0, 0, 0, 0}, 5184000},
    {{1991, 12, 31, 23, 59, 59, 0}, 63158399},
    {{1992, 2, 29, 0, 0, 0, 0}, 68256000},
    {{1992, 3, 1, 0, 0, 0, 0}, 68342400},
    {{1992, 12, 31, 23, 59, 59, 0}, 94780799},
    {{1993, 1, 1, 0, 0, 0, 0}, 94780800},
    {{1996, 2, 29, 18, 30, 15, 0}, 194553015},
    {{1999, 12, 31, 23, 59, 59, 0}, 315619199},
    {{2000, 1, 1, 0, 0, 0, 0}, 315619200},
    {{2000, 2, 29, 12, 0, 0, 0}, 320760000},
    {{2000, 3, 1, 0, 0, 0, 0}, 320803200},
    {{2001, 2, 28, 23, 59, 59, 0}, 352339199},
    {{2001, 3, 1, 0, 0, 0, 0}, 352339200},
    {{2004, 2, 29, 23, 59, 59, 0}, 447033599},
    {{2015, 6, 30, 23, 59, 59, 0}, 804643199},
    {{2020, 12, 31, 12, 34, 56, 0}, 978352496},
    {{2024, 6, 1, 10, 0, 0, 0}, 1086170400},
    {{2038, 1, 19, 3, 14, 7, 0}, 1516418047},
    {{2038, 1, 19, 3, 14, 8, 0}, 1516418048},
    {{2056, 7, 4, 8, 9, 10, 0}, 2098858150},
    {{2095, 12, 31, 23, 59, 59, 0}, 3345148799},
    {{2096, 2, 29, 0, 0, 0, 0}, 3350246400},
    {{2096, 12, 31, 23, 59, 59, 0}, 3376771199},
    {{2097, 1, 1, 0, 0, 0, 0}, 3376771200},
    {{2099, 12, 31, 23, 59, 59, 0}, 3471379199},
};

void ExpectSameCalendar(const CalendarTime& actual, const CalendarTime& expected) {
    EXPECT_EQ(actual.year, expected.year);
    EXPECT_EQ(actual.month, expected.month);
    EXPECT_EQ(actual.day, expected.day);
    EXPECT_EQ(actual.hour, expected.hour);
    EXPECT_EQ(actual.minute, expected.minute);
    EXPECT_EQ(actual.second, expected.second);
    EXPECT_EQ(actual.millisecond, 0);
}

class TimeBaseCalendarTest : public ::testing::TestWithParam<CalendarCase> {};

TEST_P(TimeBaseCalendarTest, CalendarToSeconds) {
    EXPECT_EQ(CalendarToTime(GetParam().calendar), GetParam().seconds);
}

TEST_P(TimeBaseCalendarTest, SecondsToCalendar) {
    ExpectSameCalendar(TimeToCalendar(GetParam().seconds), GetParam().calendar);
}

INSTANTIATE_TEST_SUITE_P(Dates, TimeBaseCalendarTest, ::testing::ValuesIn(kCalendarCases));

// Every day from the epoch to the end of 2099, at a time of day that walks through the
// clock, against the calendar of the C++ standard library.
TEST(TimeBaseTest, EveryDayAgreesWithStandardCalendar) {
    using namespace std::chrono;
    const sys_days epoch = year{1989} / December / 31;
    const sys_days last = year{2099} / December / 31;
    int failures = 0;
    for (sys_days day = epoch; day <= last && failures < 5; day += days{1}) {
        const auto dayIndex = static_cast<std::uint32_t>((day - epoch).count());
        const std::uint32_t timeOfDay = (dayIndex * 7919u) % 86400u;
        const std::uint32_t seconds = dayIndex * 86400u + timeOfDay;
        const year_month_day date{day};
        const CalendarTime expected{static_cast<int>(date.year()),
                                    static_cast<int>(static_cast<unsigned>(date.month())),
                                    static_cast<int>(static_cast<unsigned>(date.day())),
                                    static_cast<int>(timeOfDay / 3600),
                                    static_cast<int>(timeOfDay / 60 % 60),
                                    static_cast<int>(timeOfDay % 60),
                                    0};
        const CalendarTime actual = TimeToCalendar(seconds);
        const bool same = actual.year == expected.year && actual.month == expected.month &&
                          actual.day == expected.day && actual.hour == expected.hour &&
                          actual.minute == expected.minute && actual.second == expected.second;
        const std::uint32_t back = CalendarToTime(expected);
        if (!same || back != seconds) {
            ++failures;
            ADD_FAILURE() << "seconds " << seconds << ": got " << actual.year << "-" << actual.month
                          << "-" << actual.day << " " << actual.hour << ":" << actual.minute << ":"
                          << actual.second << ", expected " << expected.year << "-"
                          << expected.month << "-" << expected.day << "; back to seconds " << back;
        }
    }
}

// A corrupt record with a month outside 1-12 must not read past the month table; it gets
// the "no valid time" mark.
TEST(TimeBaseTest, MonthOutsideRangeGivesNoValidTime) {
    for (const int month : {0, 13, -1, 1000}) {
        const std::uint32_t seconds = CalendarToTime({2024, month, 1, 12, 0, 0, 0});
        EXPECT_EQ(seconds, 0u) << "month " << month;
        EXPECT_FALSE(IsValidTime(seconds));
    }
}

TEST(TimeBaseTest, CurrentTimeFollowsTheSystemClock) {
    using namespace std::chrono;
    const auto before = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    const std::uint32_t now = CurrentTime();
    const auto after = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    EXPECT_GE(static_cast<long long>(now), before - 631065600);
    EXPECT_LE(static_cast<long long>(now), after - 631065600);

    const CalendarTime calendar = CurrentCalendarTime();
    const year_month_day today{floor<days>(system_clock::now())};
    // Allows for midnight passing between the two readings.
    const year_month_day yesterday{floor<days>(system_clock::now()) - days{1}};
    const auto matches = [&](const year_month_day& date) {
        return calendar.year == static_cast<int>(date.year()) &&
               calendar.month == static_cast<int>(static_cast<unsigned>(date.month())) &&
               calendar.day == static_cast<int>(static_cast<unsigned>(date.day()));
    };
    EXPECT_TRUE(matches(today) || matches(yesterday));
    EXPECT_EQ(calendar.millisecond, 0);
}

TEST(TimeBaseTest, InvalidTimeMarks) {
    EXPECT_FALSE(IsValidTime(0));
    EXPECT_FALSE(IsValidTime(0x7FFFFFFFu));
    EXPECT_FALSE(IsValidTime(0xFFFFFFFFu));
    EXPECT_TRUE(IsValidTime(1));
    EXPECT_TRUE(IsValidTime(1086170400));
}

}  // namespace
}  // namespace tracora
