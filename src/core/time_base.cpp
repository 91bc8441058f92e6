#include "core/time_base.hpp"

#include <chrono>

namespace tracora {

namespace {

// Days before each month (index 1-12; index 0 unused).
constexpr std::uint32_t kDaysBeforeMonth[2][13] = {
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

constexpr std::uint32_t kSecondsPerDay = 86400;
// 1461 days: one four-year cycle with its leap day.
constexpr std::uint32_t kSecondsPerFourYears = 126230400;
// 364 days: the arithmetic counts from 1989-01-01, the epoch is 1989-12-31.
constexpr std::uint32_t kEpochOffset = 31449600;
// Unix time of 1989-12-31 00:00:00 UTC.
constexpr std::int64_t kUnixTimeOfEpoch = 631065600;

bool IsLeapYear(int year) {
    return year % 4 == 0;  // no century rule: the time base ends long before 2100
}

std::uint32_t U32(int value) {
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::uint32_t CalendarToTime(const CalendarTime& calendar) {
    // A month outside 1-12 (a corrupt record) would index past the table; it gets the
    // "no valid time" mark instead.
    if (calendar.month < 1 || calendar.month > 12) {
        return 0;
    }
    const int year = calendar.year;
    // Everything below wraps modulo 2^32 on purpose: the large intermediate products and
    // the constant 28321984 cancel out to the seconds since the epoch.
    const std::uint32_t days = U32(year) * 365u + U32((year - 1989) / 4) + U32(calendar.day);
    const std::uint32_t table = kDaysBeforeMonth[IsLeapYear(year) ? 1 : 0][calendar.month];
    return ((days * 24u + U32(calendar.hour)) * 60u + U32(calendar.minute) + 28321984u) * 60u +
           U32(calendar.second) + table * kSecondsPerDay - kEpochOffset;
}

CalendarTime TimeToCalendar(std::uint32_t seconds) {
    const std::uint32_t s = seconds + kEpochOffset;
    CalendarTime calendar;
    const std::uint32_t timeOfDay = s % kSecondsPerDay;
    calendar.hour = static_cast<int>(timeOfDay / 3600);
    calendar.minute = static_cast<int>(timeOfDay % 3600 / 60);
    calendar.second = static_cast<int>(timeOfDay % 60);
    calendar.millisecond = 0;

    int year = static_cast<int>(s / kSecondsPerFourYears) * 4 + 1989;
    std::uint32_t day = s / kSecondsPerDay % 1461;  // day within the four-year cycle
    if (day >= 365) {
        if (day < 730) {
            year += 1;
            day -= 365;
        } else if (day >= 1095) {
            year += 3;
            day -= 1095;
        } else {
            year += 2;
            day -= 730;
        }
    }
    calendar.year = year;

    const auto& before = kDaysBeforeMonth[IsLeapYear(year) ? 1 : 0];
    int month = 12;
    while (month > 1 && day < before[month]) {
        --month;
    }
    calendar.month = month;
    calendar.day = static_cast<int>(day - before[month]) + 1;
    return calendar;
}

std::uint32_t CurrentTime() {
    const auto now = std::chrono::system_clock::now();
    const std::int64_t unixSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    const std::int64_t seconds = unixSeconds - kUnixTimeOfEpoch;
    if (seconds <= 0) {
        return 0;  // a clock set before the epoch
    }
    if (seconds > 0xFFFFFFFFll) {
        return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(seconds);
}

CalendarTime CurrentCalendarTime() {
    return TimeToCalendar(CurrentTime());
}

}  // namespace tracora
