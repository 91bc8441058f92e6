// Seconds since the receiver epoch (1989-12-31 00:00:00 UTC) and calendar times.
#pragma once

#include <cstdint>

namespace tracora {

// A calendar time in UTC. `millisecond` is always written as 0.
struct CalendarTime {
    int year = 1989;
    int month = 12;  // 1-12
    int day = 31;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Seconds since 1989-12-31 00:00:00 UTC; valid for 1989 to 2099 (no century rule).
std::uint32_t CalendarToTime(const CalendarTime& calendar);
CalendarTime TimeToCalendar(std::uint32_t seconds);

// The current time of the system clock in the time base above.
std::uint32_t CurrentTime();
CalendarTime CurrentCalendarTime();

// Times 0, 0x7FFFFFFF and 0xFFFFFFFF mark a point without a valid time.
constexpr bool IsValidTime(std::uint32_t time) {
    return time != 0 && time != 0x7FFFFFFFu && time != 0xFFFFFFFFu;
}

}  // namespace tracora
