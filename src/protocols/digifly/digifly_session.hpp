// The conversations with a Digifly Air (115,200 baud) or a Leonardo Pro (38,400 baud), one
// device-job routine per operation. The job's parameter chooses the model (bit 0: Digifly Air)
// and the waypoint list (bit 1: the competition list). Each returns the job's result (0 on
// success, -1 on failure after the job has reported why).
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::digifly {

// Product data; in competition mode the pilot IDs from the competition waypoints; the flight
// list; the selected flights read from track memory, joined in time order, into job.track.
int DigiflyReadTrackLog(device::GpsAccessJob& job);

// Product data and the flight list (newest first) for the caller.
int DigiflyReadFlightList(device::GpsAccessJob& job);

// Product data, then the 186 records of the chosen waypoint list (the competition list whenever
// competition mode is on) into job.waypoints.
int DigiflyReadWaypoints(device::GpsAccessJob& job);

// Product data, then job.waypoints appended to the chosen list: the list is read, compacted,
// the new waypoints put behind it and the list written back. Fails when a write went
// unanswered.
int DigiflyWriteWaypoints(device::GpsAccessJob& job);

}  // namespace tracora::protocols::digifly
