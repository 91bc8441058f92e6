// tracora-cli curves: the vario, glide or polar curve of a flight, as figures and as an SVG plot.
#pragma once

#include <vector>

namespace tracora::cli {

int Curves(const std::vector<const char*>& args);

}  // namespace tracora::cli
