// The Ascent conversations at 128,000 baud (a rate without a constant of its own: the serial
// layer sets it as a number), one device-job routine per operation.
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::ascent {

// Product data, the track list, the flight choice, then the chosen flights joined oldest first.
int AscentReadTrackLog(device::GpsAccessJob& job);

// Product data and the track list into job.flights (newest first); the list goes to the
// caller's notify target.
int AscentReadFlightList(device::GpsAccessJob& job);

// Product data, then the erase request until the logger reports no used log sector (at most a
// bounded number of times).
int AscentEraseTrackLogs(device::GpsAccessJob& job);

}  // namespace tracora::protocols::ascent
