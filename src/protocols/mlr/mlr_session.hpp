// The MLR-style conversations, one device-job routine per operation. MLR and MLR Fast open the
// port at 4,800 baud and switch to 38,400 for binary blocks; the Leonardo reading (protocol 18,
// "Read Leonardo (MLR)") runs at 38,400 throughout. Each returns the job's result (0 on
// success, -1 on failure).
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::mlr {

// Product data; in competition mode (not for Digifly and CoMo) the pilot IDs from the binary
// waypoint list; then the binary track log into job.track.
int MlrReadTrackLog(device::GpsAccessJob& job);

// Product data, then the waypoint list: MLR as the "$GPWPL" stream the pilot starts on the
// instrument (no request, no time limit, abortable), MLR Fast as binary blocks.
int MlrReadWaypoints(device::GpsAccessJob& job);

// Product data, then every waypoint of job.waypoints as a "$GPWPL" sentence.
int MlrWriteWaypoints(device::GpsAccessJob& job);

}  // namespace tracora::protocols::mlr
