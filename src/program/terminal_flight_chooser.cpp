#include "program/terminal_flight_chooser.hpp"

#include <cctype>
#include <string>
#include <vector>

#include "core/time_base.hpp"

namespace tracora {

namespace {

// The numbers of `answer` (1-based as listed), or nothing when it holds anything else.
bool ParseChoice(const std::string& answer, std::vector<int>& numbers) {
    numbers.clear();
    int value = -1;
    for (const char c : answer + ",") {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (value > 1000) {
                return false;
            }
        } else if (c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (value >= 0) {
                numbers.push_back(value);
            }
            value = -1;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

device::FlightChooser TerminalFlightChooser(std::FILE* in, std::FILE* out) {
    return [in, out](const device::FlightList& list, std::bitset<256>& chosen) {
        std::vector<int> slots;  // listed number - 1 -> slot
        std::fputs("\nFlights on the instrument:\n", out);
        for (int slot = 0; slot < device::FlightList::kSlots; ++slot) {
            const std::uint32_t start = list.start[static_cast<std::size_t>(slot)];
            if (start == 0) {
                continue;
            }
            const std::uint32_t duration = list.duration[static_cast<std::size_t>(slot)];
            const CalendarTime c = TimeToCalendar(start);
            slots.push_back(slot);
            std::fprintf(out, "  %3zu  %d-%02d-%02d %02d:%02d:%02d  %u:%02u:%02u\n", slots.size(),
                         c.year, c.month, c.day, c.hour, c.minute, c.second, duration / 3600,
                         duration / 60 % 60, duration % 60);
        }
        if (slots.empty()) {
            return false;
        }
        for (;;) {
            std::fputs("Flights to download (numbers; Enter = the newest; q = cancel): ", out);
            std::fflush(out);
            char buffer[256];
            if (std::fgets(buffer, sizeof buffer, in) == nullptr) {
                return false;
            }
            const std::string answer = buffer;
            if (answer.find_first_of("qQ") != std::string::npos) {
                return false;
            }
            std::vector<int> numbers;
            if (!ParseChoice(answer, numbers)) {
                continue;
            }
            if (numbers.empty()) {
                // The newest flight: the latest start time.
                int newest = slots.front();
                for (int slot : slots) {
                    if (list.start[static_cast<std::size_t>(slot)] >
                        list.start[static_cast<std::size_t>(newest)]) {
                        newest = slot;
                    }
                }
                chosen.set(static_cast<std::size_t>(newest));
                return true;
            }
            bool usable = true;
            for (int n : numbers) {
                usable = usable && n >= 1 && n <= static_cast<int>(slots.size());
            }
            if (!usable) {
                continue;
            }
            for (int n : numbers) {
                chosen.set(static_cast<std::size_t>(slots[static_cast<std::size_t>(n - 1)]));
            }
            return true;
        }
    };
}

}  // namespace tracora
