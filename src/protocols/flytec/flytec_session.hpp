// The Flytec/Brauniger conversations, one device-job routine per operation. Each opens the port
// at 57,600 baud with XON/XOFF, reads the product data, does its work, reports through the job
// and returns the job's result (0 or more on success, -1 on failure).
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::flytec {

// Product data; in competition mode the pilot IDs from the waypoints; the flight list and the
// selection where the model keeps a list; then the track logs, joined in time order. The raw
// IGC text, the points (source kind 5) and the product fields go to job.track. 1 when every
// track had G records, 0 when one had none (with a warning), -1 on failure.
int FlytecReadTrackLog(device::GpsAccessJob& job);

// Product data and the flight list into job.flights; the list goes to the status line and to
// the caller's notify target. 0, or -1 when no flight is listed or the model keeps no list.
int FlytecReadFlightList(device::GpsAccessJob& job);

// Product data and the waypoint list into job.waypoints. 0, or -1 (also for an empty list).
int FlytecReadWaypoints(device::GpsAccessJob& job);

// Product data, then job.waypoints sent one by one; job.parameter is the name mode
// (UploadNameMode: 0 only name, 1 only ID, 2 ID and name). 0 or -1.
int FlytecWriteWaypoints(device::GpsAccessJob& job);

// Product data, then every selected airspace of job.airspaces, sentence by sentence, each
// acknowledged by the instrument. An airspace the instrument cannot take (no segments, more
// than 997 points) is refused with a message before anything is sent and the others go. 0 when
// every selected airspace was stored; -1 on any failure (an acknowledgement other than
// success, none within 20 s, a write error, a refused airspace, an abort).
int FlytecWriteAirspace(device::GpsAccessJob& job);

// Product data, then the instrument's airspace list into job.airspaces. 0, or -1 with nothing
// in job.airspaces (also when the instrument falls silent before the list is complete).
int FlytecReadAirspace(device::GpsAccessJob& job);

// Every listed flight (or the selected ones), each its own segment of job.track, in time order.
// 1 or 0 by the G records as FlytecReadTrackLog, -1 on failure.
int FlytecReadAllTracks(device::GpsAccessJob& job);

}  // namespace tracora::protocols::flytec
