// The one table of device-job routines: which instrument family can do what, and the routine
// that does it.
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols {

// The routines of every family in the cells the program offers, and each protocol's link.
const device::DispatchTable& GpsDispatchTable();

// Whether the program offers `function` for `protocol` at all (a fixed table; a family may
// fill only these cells).
bool IsSpecified(device::AccessFunction function, GpsProtocol protocol);

// Whether the pair has a routine that really talks to the instrument (a specified pair whose
// family has not been written yet only says so). Commands are enabled by this.
bool HasWorkingRoutine(device::AccessFunction function, GpsProtocol protocol);

// What a job of `function` is called in messages ("Track log download").
const char* AccessFunctionName(device::AccessFunction function);

}  // namespace tracora::protocols
