// The Magellan conversations, one device-job routine per operation: 9600 baud without flow
// control, the version request, then the track log or the waypoints read sentence by sentence,
// or waypoints sent one sentence each.
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::magellan {

// Version, in competition mode the pilot IDs from the waypoints, then the track log into
// job.track (source kind 7). 0, or -1 on failure (reported).
int MagellanReadTrackLog(device::GpsAccessJob& job);

// Version, then the waypoints into job.waypoints. 0, or -1.
int MagellanReadWaypoints(device::GpsAccessJob& job);

// Version, then job.waypoints sent one by one. 0, or -1.
int MagellanWriteWaypoints(device::GpsAccessJob& job);

}  // namespace tracora::protocols::magellan
