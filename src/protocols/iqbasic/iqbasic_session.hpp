// The IQ Basic / Flytec 6015 conversations, one device-job routine per operation. Each opens
// the port at 57,600 baud without flow control, reads the product data (RPA_00 to RPA_02),
// does its work and returns the job's result (0 or more on success, -1 on failure).
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::iqbasic {

// Product data; in competition mode the pilot IDs from the waypoints; the track list and the
// selection; every selected track as IGC text, joined in time order (source kind 11). 1 when
// every track had G records, 0 when one had none (with a warning), -1 on failure.
int IqBasicReadTrackLog(device::GpsAccessJob& job);

// Product data and the track list into job.flights, its text to the caller. 0 or -1.
int IqBasicReadFlightList(device::GpsAccessJob& job);

// Product data and the waypoint list into job.waypoints. 0, or -1 (also for an empty list).
int IqBasicReadWaypoints(device::GpsAccessJob& job);

// Product data, then job.waypoints one by one, each answered " Done"; job.parameter is the
// name mode (UploadNameMode). 0 or -1.
int IqBasicWriteWaypoints(device::GpsAccessJob& job);

}  // namespace tracora::protocols::iqbasic
