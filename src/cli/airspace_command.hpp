// tracora-cli airspace: an OpenAir file read as the program reads it, its outlines as JSON, and
// its GPX and no-arcs OpenAir exports.
#pragma once

#include <vector>

namespace tracora::cli {

int Airspace(const std::vector<const char*>& args);

}  // namespace tracora::cli
