#include "competition/id_waypoint.hpp"

#include "core/angles.hpp"
#include "core/text_forms.hpp"

namespace tracora::competition {

namespace {

// Arc-seconds per radian.
constexpr double kRadiansToArcSeconds = 206264.8062471;

std::int32_t ArcSecondsToSemicircles(int arcSeconds) {
    return RadiansToSemicircles(arcSeconds / kRadiansToArcSeconds);
}

// Whole arc-seconds of a non-negative angle, rounded half up; -1 for a negative angle.
long long WholeArcSeconds(std::int32_t semicircles) {
    const double radians = SemicirclesToRadians(semicircles);
    if (radians < 0) {
        return -1;
    }
    return static_cast<long long>(radians * kRadiansToArcSeconds + 0.5);
}

bool DecodeSpecial(std::string_view id, PilotIds& ids) {
    if (id.size() < 2 || id[0] != '-') {
        return false;
    }
    int number = 0;
    for (const char c : id.substr(1)) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + (c - '0');  // at most 5 digits fit the field
    }
    ids.competitionId = number;
    return true;
}

}  // namespace

int EncodeIdWaypoint(IdKind kind, int number, std::uint32_t time, Waypoint& out) {
    if (number < 0 || number > kMaxPilotId) {
        return -1;
    }
    const char* name = kind == IdKind::kCompId ? "COMPID" : "CIVLID";
    const int latitudeSeconds = (number / 100 % 10) * 3600 + (number / 10 % 10) * 60 + number % 10;
    const int longitudeSeconds =
        (number / 100000) * 3600 + (number / 10000 % 10) * 60 + number / 1000 % 10;
    Waypoint waypoint;
    waypoint.latitude = ArcSecondsToSemicircles(latitudeSeconds);
    waypoint.longitude = ArcSecondsToSemicircles(longitudeSeconds);
    waypoint.altitude = 0;
    waypoint.SetId(name);
    waypoint.SetDescription(FormatCount(std::string(name) + " %", number));
    waypoint.time = time;
    waypoint.kind = kWaypointKindPoint;
    out = waypoint;
    return 0;
}

bool DecodeIdWaypoint(const Waypoint& waypoint, bool compSpecial, PilotIds& ids) {
    const std::string_view id = waypoint.Id();
    if (compSpecial) {
        return DecodeSpecial(id, ids);
    }
    const bool civl = id.starts_with("CIVLID");
    if (!civl && !id.starts_with("COMPID")) {
        return false;
    }
    const long long latitude = WholeArcSeconds(waypoint.latitude);
    const long long longitude = WholeArcSeconds(waypoint.longitude);
    if (latitude < 0 || longitude < 0) {
        return false;
    }
    const long long lonDegrees = longitude / 3600;
    const long long lonMinutes = longitude / 60 % 60;
    const long long lonSeconds = longitude % 60;
    const long long latDegrees = latitude / 3600;
    const long long latMinutes = latitude / 60 % 60;
    const long long latSeconds = latitude % 60;
    if (lonDegrees >= 180 || lonMinutes >= 10 || lonSeconds >= 10 || latDegrees >= 10 ||
        latMinutes >= 10 || latSeconds >= 10) {
        return false;
    }
    const long long number =
        ((((lonDegrees * 10 + lonMinutes) * 10 + lonSeconds) * 10 + latDegrees) * 10 + latMinutes) *
            10 +
        latSeconds;
    (civl ? ids.civlId : ids.competitionId) = static_cast<int>(number);
    return true;
}

std::string PilotIdStatusText(const PilotIds& ids) {
    if (ids.competitionId >= 0 && ids.civlId >= 0) {
        return FormatCount("Comp ID = %, CIVL ID = %", ids.competitionId, ids.civlId);
    }
    if (ids.competitionId >= 0) {
        return FormatCount("Comp ID = %", ids.competitionId);
    }
    if (ids.civlId >= 0) {
        return FormatCount("CIVL ID = %", ids.civlId);
    }
    return {};
}

}  // namespace tracora::competition
