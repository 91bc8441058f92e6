// Pilot IDs carried as waypoints: a competition ID and a CIVL ID spelt by a waypoint's position
// (or, in the special competition variant, a waypoint named '-' and the ID's digits). Written
// to instruments by the uploads and recognised in the waypoints read in competition mode.
#pragma once

#include <cstdint>
#include <string>

#include "core/track_log.hpp"

namespace tracora::competition {

enum class IdKind { kCompId, kCivlId };

// The IDs a download found; -1 = none.
struct PilotIds {
    int competitionId = -1;
    int civlId = -1;
};

inline constexpr int kMaxPilotId = 17'999'999;

// The identifier waypoint of `number` (0 to kMaxPilotId): ID "COMPID" or "CIVLID", description
// "COMPID n" or "CIVLID n", the digits spelt by latitude (hundreds degrees, tens minutes, units
// seconds) and longitude (number / 100000 degrees, ten-thousands minutes, thousands seconds),
// both north and east; altitude 0, kind 0. 0, or -1 for a number out of range.
int EncodeIdWaypoint(IdKind kind, int number, std::uint32_t time, Waypoint& out);

// Recognises an identifier waypoint and stores its ID in `ids`. With `compSpecial` only a
// waypoint named '-' and digits counts, as the competition ID. True when `waypoint` gave an ID.
bool DecodeIdWaypoint(const Waypoint& waypoint, bool compSpecial, PilotIds& ids);

// "Comp ID = %, CIVL ID = %", "Comp ID = %" or "CIVL ID = %"; empty when neither was found.
std::string PilotIdStatusText(const PilotIds& ids);

}  // namespace tracora::competition
