// The instrument's list of stored flights: the fields of one list entry, the list held in the
// job, its text for the caller, and the choice of the flights to download.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/notify_texts.hpp"
#include "core/time_base.hpp"
#include "device/gps_job.hpp"

namespace tracora::protocols {

// One entry: "count,index,DD.MM.YY,HH:MM:SS,HH:MM:SS" after the identifier.
struct FlightListEntry {
    int count = 0;  // parsed, not used
    int index = 0;
    CalendarTime start;
    std::uint32_t durationSeconds = 0;
};

// Codes of ParseFlightListFields; FlightListErrorText gives their messages.
inline constexpr int kFlightListTooFewFields = -1;
inline constexpr int kFlightListBadIdentifier = -2;
inline constexpr int kFlightListBadCount = -3;
inline constexpr int kFlightListBadIndex = -4;
inline constexpr int kFlightListBadDate = -5;
inline constexpr int kFlightListBadTime = -6;
inline constexpr int kFlightListBadDuration = -7;

// `fields` as SplitNmeaSentence gave them (`splitResult` its result, a negative one for a bad
// sentence). 0 with `entry` filled, or a code above.
int ParseFlightListFields(int splitResult, const std::vector<std::string>& fields,
                          std::string_view identifier, FlightListEntry& entry);
// "NMEA line parse error", "Bad NMEA identifier", "Bad track count parameter", ...
const char* FlightListErrorText(int code);

// A decimal number with optional blanks around it; at most 9 digits.
bool ParseSmallDecimal(std::string_view text, int& value);
// "DD.MM.YY" exactly, the year in 2000-2099, the day valid in its month (29 February only
// in years divisible by 4).
bool ParseFlightDate(std::string_view text, CalendarTime& date);
// "H:M:S" with blanks allowed around each number; hour below 24, minute and second below 60.
bool ParseClockTime(std::string_view text, int& hour, int& minute, int& second);

// Stores an entry whose index is below 255: start time and duration in seconds.
void StoreFlightListEntry(device::FlightList& list, const FlightListEntry& entry);
// Slots with a non-zero start time.
int CountFlights(const device::FlightList& list);
// The list in the form of the caller's flight-list text.
std::vector<FlightListSlot> FlightListSlots(const device::FlightList& list);

// The slots to download, ascending: the slots selected beforehand (the command line's TRACK
// list) that hold a flight; otherwise the job's chooser's answer; without a chooser the newest
// flight, which the status line names. Empty after the job has reported why (a cancel, or no
// selected slot that holds a flight).
std::vector<int> SelectFlights(device::GpsAccessJob& job, const std::string& errorTitle);

// One flight-list request of an NMEA-style family.
struct FlightListExchange {
    std::string_view request;     // the bytes to send
    std::string_view identifier;  // field 0 of every answer ("$PBRTL")
    int silenceMs = 1000;         // the list ends after this long without a byte
    std::size_t maxLineChars = 78;
    const char* title = "Read GPS track list";
};

// Sends the request and reads the answers into job.flights ("Requesting track list", "% tracks
// in track list found"). A list cut off (a sentence not ended, fewer entries than the count
// they give) or not answered at all is an error. 0 when a flight is listed, else -1 (reported).
int ReceiveFlightList(device::GpsAccessJob& job, const FlightListExchange& exchange);

}  // namespace tracora::protocols
