#include "core/notify_texts.hpp"

#include <cstdint>

#include "core/angles.hpp"
#include "core/strings.hpp"

namespace tracora {

bool WaypointCountPacer::Due(std::uint32_t nowMs) {
    // The signed difference keeps the comparison right across a wrap of the tick counter.
    const auto ahead = static_cast<std::int32_t>(nowMs - paceTickMs_);
    if (ahead <= static_cast<std::int32_t>(kIntervalMs)) {
        return false;
    }
    paceTickMs_ += kIntervalMs;
    return true;
}

bool PositionPacer::Due(std::uint32_t pointTime) {
    if (!Enabled() || !IsValidTime(pointTime)) {
        return false;
    }
    if (lastSentTime_.has_value() &&
        static_cast<std::int64_t>(pointTime) - static_cast<std::int64_t>(*lastSentTime_) <
            sendLogSeconds_) {
        return false;
    }
    lastSentTime_ = pointTime;
    return true;
}

std::optional<std::string> PositionPacer::Offer(const TrackPoint& point) {
    if (!Due(point.time)) {
        return std::nullopt;
    }
    return PositionText(point);
}

std::string WaypointCountText(int count) {
    return StringPrintf("Waypoint count %d", count);
}

std::string ByteCountText(int count) {
    return StringPrintf("Byte count %d", count);
}

std::string PositionText(const TrackPoint& point) {
    return StringPrintf("Pos=%.6f,%.6f,%d", SemicirclesToDegrees(point.latitude),
                        SemicirclesToDegrees(point.longitude),
                        RoundHalfAwayFromZero(point.gpsAltitude / 10.0));
}

std::string FlightListText(std::span<const FlightListSlot> slots) {
    std::string text;
    for (const FlightListSlot& slot : slots) {
        if (!slot.used) {
            continue;
        }
        if (text.empty()) {
            text = "Flightlist:\n";
        }
        const std::uint32_t d = slot.durationSeconds;
        text += StringPrintf("%02d.%02d.%02d,%02d:%02d:%02d,%d:%02d:%02d\n", slot.start.year,
                             slot.start.month, slot.start.day, slot.start.hour, slot.start.minute,
                             slot.start.second, static_cast<int>(d / 3600),
                             static_cast<int>(d / 60 % 60), static_cast<int>(d % 60));
    }
    return text;
}

}  // namespace tracora
