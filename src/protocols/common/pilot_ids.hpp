// The pilot IDs an instrument's competition waypoints carried, handed to the download job.
#pragma once

#include "competition/id_waypoint.hpp"
#include "device/gps_job.hpp"

namespace tracora::protocols {

// Sets the job's competition and CIVL IDs from `ids` (-1 for none) and shows what was found.
void AdoptPilotIds(device::GpsAccessJob& job, const competition::PilotIds& ids);

}  // namespace tracora::protocols
