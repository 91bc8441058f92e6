#include "competition/pilot_id_upload.hpp"

#include <algorithm>
#include <array>

#include "competition/id_waypoint.hpp"
#include "core/strings.hpp"

namespace tracora::competition {

namespace {

// The protocols whose instruments take a waypoint upload that keeps the ID waypoints.
constexpr std::array<GpsProtocol, 11> kIdProtocols = {
    GpsProtocol::kGarmin,    GpsProtocol::kMlr,       GpsProtocol::kTopNavigator,
    GpsProtocol::kFlytec,    GpsProtocol::kMagellan,  GpsProtocol::kXcTrainer,
    GpsProtocol::kGarminUsb, GpsProtocol::kFlymaster, GpsProtocol::kIqBasic,
    GpsProtocol::kLeonardo,  GpsProtocol::kSyride,
};

// The Digifly Air and the Leonardo Pro keep their pilot IDs in the competition waypoint list,
// which is where a download in competition mode looks for them: an upload into the user list
// would never be found again. The model (and with it the line speed) is the one the flight came
// from; a log that does not say is taken as a Digifly Air.
int LeonardoIdListParameter(const TrackLog& log) {
    constexpr int kDigiflyAir = 1;
    constexpr int kCompetitionList = 2;
    const bool leonardoPro = log.instrumentDescription.rfind("LeonardoPro", 0) == 0;
    return (leonardoPro ? 0 : kDigiflyAir) + kCompetitionList;
}

}  // namespace

std::vector<Waypoint> PilotIdWaypoints(int competitionId, int civlId, bool withNnn,
                                       std::uint32_t now) {
    std::vector<Waypoint> out;
    Waypoint waypoint;
    if (competitionId >= 0 &&
        EncodeIdWaypoint(IdKind::kCompId, competitionId, now, waypoint) == 0) {
        out.push_back(waypoint);
    }
    if (civlId >= 0 && EncodeIdWaypoint(IdKind::kCivlId, civlId, now, waypoint) == 0) {
        out.push_back(waypoint);
    }
    if (withNnn && competitionId >= 0) {
        const std::string name = StringPrintf("-%d", competitionId);
        Waypoint nnn;
        nnn.SetId(name);
        nnn.SetDescription(name);
        nnn.time = now;
        out.push_back(nnn);
    }
    return out;
}

bool ReceivesPilotIds(int protocol) {
    return std::any_of(kIdProtocols.begin(), kIdProtocols.end(),
                       [protocol](GpsProtocol p) { return ProtocolNumber(p) == protocol; });
}

std::string InstrumentDeviceId(const TrackLog& log) {
    return log.productText.empty() ? log.instrumentDescription : log.productText;
}

bool PreparePilotIdUpload(const AppState& state, std::uint32_t now, PilotIdUpload& out) {
    const TrackLog& log = state.trackLog;
    const CurrentPilot& pilot = state.pilot;
    if (log.compPilotId >= 0 || log.civlPilotId >= 0) {
        return false;
    }
    if ((pilot.competitionId < 0 && pilot.civlId < 0) || !ReceivesPilotIds(log.protocol)) {
        return false;
    }
    out.protocol = static_cast<GpsProtocol>(log.protocol);
    out.parameter = out.protocol == GpsProtocol::kLeonardo ? LeonardoIdListParameter(log) : 0;
    out.waypoints =
        PilotIdWaypoints(pilot.competitionId, pilot.civlId, state.settings.compWptNnn != 0, now);
    out.pilotName = pilot.name;
    out.deviceId = InstrumentDeviceId(log);
    out.competitionId = pilot.competitionId;
    out.civlId = pilot.civlId;
    return !out.waypoints.empty();
}

}  // namespace tracora::competition
