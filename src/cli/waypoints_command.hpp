// tracora-cli waypoints: a waypoint file of any format read as the program reads it.
#pragma once

#include <vector>

namespace tracora::cli {

int Waypoints(const std::vector<const char*>& args);

}  // namespace tracora::cli
