// The Flymaster conversations, one device-job routine per operation. Each opens the port at
// 57,600 baud without flow control, reads the product data, does its work, reports through the
// job and returns the job's result (0 or more on success, -1 on failure).
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::flymaster {

// Product data; in competition mode the pilot IDs from the waypoints; the flight list and the
// selection; every selected track as binary packets, joined in time order into job.track
// (source kind 8); then the power-off request when job.powerOff says so. 0 or -1.
int FlymasterReadTrackLog(device::GpsAccessJob& job);

// Product data and the flight list into job.flights, its text to the caller. 0 or -1.
int FlymasterReadFlightList(device::GpsAccessJob& job);

// Product data and the waypoint list into job.waypoints. 0, or -1 (also for an empty list).
int FlymasterReadWaypoints(device::GpsAccessJob& job);

// Product data, then job.waypoints one by one, each answered by the instrument; job.parameter
// is the name mode (UploadNameMode). 0, or -1 after an error or a wrong answer.
int FlymasterWriteWaypoints(device::GpsAccessJob& job);

// Product data, then the set command of job.pilotData (pilot data, altitude alarm or IDs, by
// what the model takes). 0 or -1.
int FlymasterWritePilotData(device::GpsAccessJob& job);

}  // namespace tracora::protocols::flymaster
