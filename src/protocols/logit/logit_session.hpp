// The LogIt and Tracklogger conversations, one device-job routine per operation. Every
// exchange starts at 4,800 baud without flow control; the track log travels at the speed of
// the job's parameter (19200, 38400, 57600 or 115200; 4800 for any other).
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::logit {

// Product data, the Tracklogger's point count, then the track log into job.track. A
// Tracklogger's broken transfer restarts behind the points received (at most a few times); a
// silent logger ends the transfer after 10 s. 0 or -1.
int LogItReadTrackLog(device::GpsAccessJob& job);

// Product data only: the four fields go to the job (productName, instrumentDescription,
// productText; the status's second line). 0 or -1.
int LogItReadProductData(device::GpsAccessJob& job);

// The erase command (no answer is read: "Command sent (no verification)"). 0 or -1.
int LogItEraseTrackLog(device::GpsAccessJob& job);

// The user name of job.pilotName (9 characters; no answer is read). 0 or -1.
int LogItWriteName(device::GpsAccessJob& job);

}  // namespace tracora::protocols::logit
