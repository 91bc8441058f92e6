// The DSX flight recorder's conversations: each connects at 9,600 baud ("V1", then "V4" and
// 38,400 baud), does its work and ends with "V0".
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols::dsx {

// Connection, flight list, one flight as IGC text (the TRACK list's first entry, else the
// newest flight), kept byte for byte (source kind 9). 1 with G records, 0 without (warned), -1.
int DsxReadTrackLog(device::GpsAccessJob& job);

// Connection, the five fields read, then the changed ones of job.pilotData written (and the
// telephone number when given). 0 or -1.
int DsxWritePilotData(device::GpsAccessJob& job);

}  // namespace tracora::protocols::dsx
