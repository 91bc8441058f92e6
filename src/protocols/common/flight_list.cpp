#include "protocols/common/flight_list.hpp"

#include <algorithm>

#include "core/text_forms.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/serial_receiver.hpp"

namespace tracora::protocols {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

bool TwoDigits(std::string_view text, int& value) {
    if (text.size() != 2 || !IsDigit(text[0]) || !IsDigit(text[1])) {
        return false;
    }
    value = (text[0] - '0') * 10 + (text[1] - '0');
    return true;
}

}  // namespace

bool ParseSmallDecimal(std::string_view text, int& value) {
    const std::string_view digits = TrimBlanks(text);
    if (digits.empty() || digits.size() > 9) {
        return false;
    }
    int v = 0;
    for (const char c : digits) {
        if (!IsDigit(c)) {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

bool ParseFlightDate(std::string_view text, CalendarTime& date) {
    int day = 0;
    int month = 0;
    int year = 0;
    if (text.size() != 8 || text[2] != '.' || text[5] != '.' ||
        !TwoDigits(text.substr(0, 2), day) || !TwoDigits(text.substr(3, 2), month) ||
        !TwoDigits(text.substr(6, 2), year)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return false;
    }
    if (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) {
        return false;
    }
    if (month == 2 && (day > 29 || (day == 29 && year % 4 != 0))) {
        return false;
    }
    date.year = 2000 + year;
    date.month = month;
    date.day = day;
    return true;
}

bool ParseClockTime(std::string_view text, int& hour, int& minute, int& second) {
    const std::size_t first = text.find(':');
    if (first == std::string_view::npos) {
        return false;
    }
    const std::size_t secondColon = text.find(':', first + 1);
    if (secondColon == std::string_view::npos) {
        return false;
    }
    int h = 0;
    int m = 0;
    int s = 0;
    if (!ParseSmallDecimal(text.substr(0, first), h) ||
        !ParseSmallDecimal(text.substr(first + 1, secondColon - first - 1), m) ||
        !ParseSmallDecimal(text.substr(secondColon + 1), s)) {
        return false;
    }
    if (h > 23 || m > 59 || s > 59) {
        return false;
    }
    hour = h;
    minute = m;
    second = s;
    return true;
}

int ParseFlightListFields(int splitResult, const std::vector<std::string>& fields,
                          std::string_view identifier, FlightListEntry& entry) {
    if (splitResult < 6 || fields.size() < 6) {
        return kFlightListTooFewFields;
    }
    if (fields[0] != identifier) {
        return kFlightListBadIdentifier;
    }
    FlightListEntry parsed;
    if (!ParseSmallDecimal(fields[1], parsed.count)) {
        return kFlightListBadCount;
    }
    if (!ParseSmallDecimal(fields[2], parsed.index)) {
        return kFlightListBadIndex;
    }
    if (!ParseFlightDate(fields[3], parsed.start)) {
        return kFlightListBadDate;
    }
    if (!ParseClockTime(fields[4], parsed.start.hour, parsed.start.minute, parsed.start.second)) {
        return kFlightListBadTime;
    }
    int h = 0;
    int m = 0;
    int s = 0;
    if (!ParseClockTime(fields[5], h, m, s)) {
        return kFlightListBadDuration;
    }
    parsed.durationSeconds = static_cast<std::uint32_t>(h * 3600 + m * 60 + s);
    entry = parsed;
    return 0;
}

const char* FlightListErrorText(int code) {
    switch (code) {
        case kFlightListTooFewFields:
            return "NMEA line parse error";
        case kFlightListBadIdentifier:
            return "Bad NMEA identifier";
        case kFlightListBadCount:
            return "Bad track count parameter";
        case kFlightListBadIndex:
            return "Bad track index parameter";
        case kFlightListBadDate:
            return "Bad track date parameter";
        case kFlightListBadTime:
            return "Bad track time parameter";
        case kFlightListBadDuration:
            return "Bad track duration parameter";
        default:
            return "NMEA line parse error";
    }
}

void StoreFlightListEntry(device::FlightList& list, const FlightListEntry& entry) {
    if (entry.index < 0 || entry.index >= device::FlightList::kSlots) {
        return;
    }
    const auto slot = static_cast<std::size_t>(entry.index);
    list.start[slot] = CalendarToTime(entry.start);
    list.duration[slot] = entry.durationSeconds;
}

int CountFlights(const device::FlightList& list) {
    int count = 0;
    for (const std::uint32_t start : list.start) {
        if (start != 0) {
            ++count;
        }
    }
    return count;
}

std::vector<FlightListSlot> FlightListSlots(const device::FlightList& list) {
    std::vector<FlightListSlot> slots(device::FlightList::kSlots);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots[i].used = list.start[i] != 0;
        if (slots[i].used) {
            slots[i].start = TimeToCalendar(list.start[i]);
            slots[i].durationSeconds = list.duration[i];
        }
    }
    return slots;
}

std::vector<int> SelectFlights(device::GpsAccessJob& job, const std::string& errorTitle) {
    std::vector<int> chosen;
    const device::FlightList& list = job.flights;
    const auto holdsFlight = [&list](std::size_t slot) {
        return slot < static_cast<std::size_t>(device::FlightList::kSlots) && list.start[slot] != 0;
    };
    std::bitset<256> selected;
    if (job.flights.selected.any()) {
        selected = job.flights.selected;
        for (std::size_t slot = 0; slot < selected.size(); ++slot) {
            if (selected.test(slot) && holdsFlight(slot)) {
                chosen.push_back(static_cast<int>(slot));
            }
        }
        if (chosen.empty()) {
            // Downloading nothing must not end as a success.
            job.Error("None of the selected tracks is in the track list", errorTitle);
        }
        return chosen;
    }
    if (job.chooseFlights) {
        if (!job.chooseFlights(list, selected)) {
            job.Status("Track selection cancelled");
            return chosen;
        }
        for (std::size_t slot = 0; slot < selected.size(); ++slot) {
            if (selected.test(slot) && holdsFlight(slot)) {
                chosen.push_back(static_cast<int>(slot));
            }
        }
        if (chosen.empty()) {
            job.Status("No track selected");
        }
        return chosen;
    }
    // Nobody to ask: the newest flight.
    int newest = -1;
    for (std::size_t slot = 0; slot < list.start.size(); ++slot) {
        if (list.start[slot] != 0 &&
            (newest < 0 || list.start[slot] > list.start[static_cast<std::size_t>(newest)])) {
            newest = static_cast<int>(slot);
        }
    }
    if (newest >= 0) {
        job.Status(
            FormatCount("No track selected: the newest, track %, is downloaded", newest + 1));
        chosen.push_back(newest);
    }
    return chosen;
}

int ReceiveFlightList(device::GpsAccessJob& job, const FlightListExchange& exchange) {
    job.flights.start.fill(0);
    job.flights.duration.fill(0);
    job.Status("Requesting track list");
    if (job.WriteText(exchange.request) != 0) {
        if (job.AbortRequested()) {
            job.Status("Transfer aborted");
        } else {
            job.Error("E500 COM port write error", exchange.title);
        }
        return -1;
    }
    SerialReceiver receiver(job);
    NmeaLineCollector collector(exchange.maxLineChars);
    std::vector<std::string> fields;
    bool answered = false;
    int entries = 0;
    int listed = 0;  // the count the entries give
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = receiver.ReadByte(byte, exchange.silenceMs);
        if (rc < 0) {
            if (IsAbort(rc)) {
                job.Status("Transfer aborted");
            } else {
                job.Error("E503 COM port read error", exchange.title);
            }
            return -1;
        }
        if (rc == kSilence) {
            break;
        }
        answered = true;
        if (!collector.Feed(byte)) {
            continue;
        }
        const int split = SplitNmeaSentence(collector.Line(), fields, 6);
        FlightListEntry entry;
        const int parsed = ParseFlightListFields(split, fields, exchange.identifier, entry);
        if (parsed != 0) {
            job.Error(FlightListErrorText(parsed), exchange.title);
            return -1;
        }
        StoreFlightListEntry(job.flights, entry);
        ++entries;
        listed = std::max(listed, entry.count);
    }
    const int found = CountFlights(job.flights);
    job.Status(FormatCount("% tracks in track list found", found));
    // The list ends on silence, which is also how a frozen unit or a loose cable ends it.
    if (collector.InsideLine() || entries < listed) {
        std::string text = "The instrument stopped answering in the middle of its flight list";
        if (listed > entries) {
            text += FormatCount(" (% of % flights received)", entries, listed);
        }
        job.Error(text, exchange.title);
        return -1;
    }
    if (!answered) {
        job.Error(
            "No answer to the flight list request: the instrument stopped answering, or "
            "it holds no flight",
            exchange.title);
        return -1;
    }
    return found > 0 ? 0 : -1;
}

}  // namespace tracora::protocols
