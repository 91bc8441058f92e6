// The Graviter conversations, one device-job routine per operation: 38,400 baud without flow
// control, the product request, then the memory image read page by page, or the pilot name
// stored.
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::graviter {

// Product data, the image header, the record pages; every flight of the memory becomes a
// segment of job.track (source kind 6). 0, or -1 on failure (reported).
int GraviterReadTrackLog(device::GpsAccessJob& job);

// Product data, then job.pilotName stored as the instrument's pilot name. 0, or -1.
int GraviterWritePilotData(device::GpsAccessJob& job);

}  // namespace tracora::protocols::graviter
