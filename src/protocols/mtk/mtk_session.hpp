// The MTK logger conversations, one device-job routine per operation: 38,400 or 115,200 baud
// (the job's parameter; 0 takes 38,400) without flow control. The read stops logging, reads the
// used log memory in 256-byte chunks, restarts logging and decodes the log; the erase stops
// logging, erases and restarts it.
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::mtk {

// The log memory decoded into job.track (source kind 10). 0, or -1 on failure (reported).
int MtkReadTrackLog(device::GpsAccessJob& job);

// Erases the log memory. 0, or -1.
int MtkErase(device::GpsAccessJob& job);

}  // namespace tracora::protocols::mtk
