// The texts of the notifications a transfer sends its caller, and the pacing of the repeated
// ones. Pure text and arithmetic: the device jobs build these without knowing how (or whether)
// they reach anyone.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/time_base.hpp"
#include "core/track_log.hpp"

namespace tracora {

// The texts of a transfer.
inline constexpr std::string_view kNotifyTransferStarted = "Transfer started";
inline constexpr std::string_view kNotifyTransferCompleted = "Transfer completed";
inline constexpr std::string_view kNotifyTransferFailed = "Transfer completed (error)";

// "Waypoint count %d" at most once a second: a text is due only once the tick has passed the
// pace tick plus 1000 ms, and the pace tick then moves on by 1000 ms (not to the current tick,
// so a late call is followed by others until the pace has caught up). Tick arithmetic is
// modulo 2^32, so a tick counter that wraps around keeps the same pacing.
class WaypointCountPacer {
public:
    // The pace starts at the tick at which the waypoint job starts.
    explicit WaypointCountPacer(std::uint32_t startTickMs) : paceTickMs_(startTickMs) {}
    // Whether a notification goes out at `nowMs`; advances the pace when it does.
    bool Due(std::uint32_t nowMs);
    std::uint32_t PaceTickMs() const { return paceTickMs_; }

    static constexpr std::uint32_t kIntervalMs = 1000;

private:
    std::uint32_t paceTickMs_;
};

// Position notifications of a track download with SENDLOG: a point goes out when its time is
// at least `sendLogSeconds` after the last point sent (the first point with a time always
// does). Points without a valid time are never sent and do not move the pace.
class PositionPacer {
public:
    explicit PositionPacer(int sendLogSeconds) : sendLogSeconds_(sendLogSeconds) {}
    bool Enabled() const { return sendLogSeconds_ > 0; }
    // Whether a point of time `pointTime` is sent; remembers it when it is.
    bool Due(std::uint32_t pointTime);
    // The text for `point` when it is due (see Due()), nothing otherwise.
    std::optional<std::string> Offer(const TrackPoint& point);

private:
    int sendLogSeconds_;
    std::optional<std::uint32_t> lastSentTime_;
};

std::string WaypointCountText(int count);  // "Waypoint count %d"
std::string ByteCountText(int count);      // "Byte count %d"
// "Pos=%.6f,%.6f,%d": latitude and longitude in degrees, GPS altitude in whole metres.
std::string PositionText(const TrackPoint& point);

// One slot of an instrument's flight list.
struct FlightListSlot {
    bool used = false;
    CalendarTime start;  // date and start time of the flight; the year with its century
    std::uint32_t durationSeconds = 0;
};

// "Flightlist:\n" and one "%02d.%02d.%02d,%02d:%02d:%02d,%d:%02d:%02d\n" line per used slot
// (year, month, day, start time, duration). The year field prints the full year ("2024"),
// which is what callers read. Empty when no slot is used: nothing is sent then.
std::string FlightListText(std::span<const FlightListSlot> slots);

}  // namespace tracora
