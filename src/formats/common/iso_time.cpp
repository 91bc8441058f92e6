#include "formats/common/iso_time.hpp"

#include <cstddef>

#include "core/time_base.hpp"

namespace tracora::formats {
namespace {

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return position_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[position_]; }
    bool Take(char c) {
        if (Peek() != c) {
            return false;
        }
        ++position_;
        return true;
    }
    // A run of at least one digit (at most 9, so the value fits).
    bool Number(long long& value, int& digits) {
        value = 0;
        digits = 0;
        while (!AtEnd() && text_[position_] >= '0' && text_[position_] <= '9') {
            if (digits == 9) {
                return false;
            }
            value = value * 10 + (text_[position_] - '0');
            ++digits;
            ++position_;
        }
        return digits > 0;
    }
    bool Number(long long& value) {
        int digits = 0;
        return Number(value, digits);
    }
    // Exactly two digits.
    bool Pair(long long& value) {
        if (position_ + 2 > text_.size()) {
            return false;
        }
        const char a = text_[position_];
        const char b = text_[position_ + 1];
        if (a < '0' || a > '9' || b < '0' || b > '9') {
            return false;
        }
        value = (a - '0') * 10 + (b - '0');
        position_ += 2;
        return true;
    }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

bool IsLeap(long long year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(long long year, long long month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool ParseIsoTime(std::string_view text, std::uint32_t& time) {
    Cursor in(text);
    long long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!in.Number(year) || !in.Take('-') || !in.Number(month) || !in.Take('-') ||
        !in.Number(day) || !in.Take('T') || !in.Number(hour) || !in.Take(':') ||
        !in.Number(minute) || !in.Take(':') || !in.Number(second)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 60) {
        return false;
    }
    // The epoch's calendar arithmetic holds from its first day to the end of 2099.
    if (year > 2099 || year < 1989 || (year == 1989 && (month != 12 || day != 31))) {
        return false;
    }
    long long seconds = 0;
    if (in.Take('.')) {
        long long fraction = 0;
        int digits = 0;
        if (!in.Number(fraction, digits)) {
            return false;
        }
        long long scale = 1;
        for (int i = 0; i < digits; ++i) {
            scale *= 10;
        }
        if (fraction * 2 >= scale) {
            seconds = 1;
        }
    }
    long long offset = 0;
    if (!in.AtEnd() && !in.Take('Z')) {
        const char sign = in.Peek();
        if (sign != '+' && sign != '-') {
            return false;
        }
        in.Take(sign);
        long long hours = 0, minutes = 0, extra = 0;
        if (!in.Pair(hours)) {
            return false;
        }
        if (!in.AtEnd()) {
            in.Take(':');
            if (!in.Pair(minutes)) {
                return false;
            }
            if (!in.AtEnd()) {
                in.Take(':');
                if (!in.Pair(extra)) {
                    return false;
                }
            }
        }
        offset = (hours * 60 + minutes) * 60 + extra;
        if (sign == '-') {
            offset = -offset;
        }
    }
    if (!in.AtEnd()) {
        return false;
    }
    CalendarTime calendar;
    calendar.year = static_cast<int>(year);
    calendar.month = static_cast<int>(month);
    calendar.day = static_cast<int>(day);
    calendar.hour = static_cast<int>(hour);
    calendar.minute = static_cast<int>(minute);
    calendar.second = static_cast<int>(second);
    const long long result = static_cast<long long>(CalendarToTime(calendar)) + seconds - offset;
    if (result < 0 || result > 0xFFFFFFFFLL) {
        return false;
    }
    time = static_cast<std::uint32_t>(result);
    return true;
}

}  // namespace tracora::formats
