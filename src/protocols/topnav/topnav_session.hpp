// The Top Navigator and XC Trainer conversations, one device-job routine per operation. The
// instruments push their data once the pilot starts the transfer on them; the program listens
// (and answers each waypoint with "@@OK").
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::topnav {

// The MXP track log at 57,600 baud (Top Navigator without flow control, XC Trainer with
// XON/XOFF). 0, or -1 (reported).
int MxpReadTrackLogJob(device::GpsAccessJob& job);
// The block-structured log: the Top Navigator at 9,600 baud, the XC Trainer at 57,600 baud
// with XON/XOFF. 0, or negative (reported).
int TnReadTrackLogJob(device::GpsAccessJob& job);
// The XC Trainer's 31-byte waypoint records at 9,600 baud.
int XcTrainerReadWaypointsJob(device::GpsAccessJob& job);
// The Top Navigator's waypoint lines at 9,600 baud.
int TnReadWaypointsJob(device::GpsAccessJob& job);
// job.waypoints to either instrument at 9,600 baud.
int TnWriteWaypointsJob(device::GpsAccessJob& job);

}  // namespace tracora::protocols::topnav
