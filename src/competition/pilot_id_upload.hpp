// Writing a pilot's IDs to an instrument: the ID waypoints an upload carries, the instruments
// that take them, and the upload a competition desk offers when a downloaded instrument carried
// no IDs, so that its next download finds the pilot by itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.hpp"
#include "core/gps_types.hpp"
#include "core/track_log.hpp"

namespace tracora::competition {

inline constexpr const char* kUploadPilotIdTitle = "Upload pilot ID";

// The ID waypoints of `competitionId` and `civlId` (-1 = none), stamped `now`: "COMPID" and
// "CIVLID" spelt by their positions, and with `withNnn` and a competition ID one more named and
// described '-' and the competition ID, at latitude 0, longitude 0. An ID out of the encodable
// range gets no waypoint.
std::vector<Waypoint> PilotIdWaypoints(int competitionId, int civlId, bool withNnn,
                                       std::uint32_t now);

// Whether the IDs may be written back to an instrument of `protocol` (the protocol number of
// the job that downloaded the log).
bool ReceivesPilotIds(int protocol);

// The instrument's identification as the pilot list keeps it: the product text, or the
// description when the instrument gave no product text.
std::string InstrumentDeviceId(const TrackLog& log);

// The upload offered after a competition save of a download.
struct PilotIdUpload {
    GpsProtocol protocol = GpsProtocol::kGarmin;
    int parameter = 0;
    std::vector<Waypoint> waypoints;
    std::string pilotName;
    std::string deviceId;
    int competitionId = -1;
    int civlId = -1;
};

// Fills `out` from the current pilot and the track log. False when there is nothing to offer:
// the instrument carried an ID, the pilot has none, or the log's protocol takes none.
bool PreparePilotIdUpload(const AppState& state, std::uint32_t now, PilotIdUpload& out);

}  // namespace tracora::competition
