// The one table of device-job routines: which instrument family can do what, and the routine
// that does it.
#pragma once

#include "device/gps_job.hpp"

namespace tracora::protocols {

const device::DispatchTable& GpsDispatchTable();

// What a job of `function` is called in messages ("Track log download").
const char* AccessFunctionName(device::AccessFunction function);

}  // namespace tracora::protocols
