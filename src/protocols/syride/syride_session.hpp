// The Syride SYS'Nav conversations over USB HID, one device-job routine per operation: the
// device found by its vendor and product IDs, then 64-byte report exchanges that read (and for
// the waypoint table, erase and rewrite) the instrument's flash memory.
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::syride {

// The flights of the list chosen (TRACK list, dialog or the newest), joined in time order.
int SyrideReadTrackLogJob(device::GpsAccessJob& job);
// The flight list into job.flights (built from the track download's own list steps).
int SyrideReadFlightListJob(device::GpsAccessJob& job);
int SyrideReadWaypointsJob(device::GpsAccessJob& job);
// job.waypoints added behind the instrument's own, the table erased and written again.
int SyrideWriteWaypointsJob(device::GpsAccessJob& job);

}  // namespace tracora::protocols::syride
