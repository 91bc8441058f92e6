// tracora-cli instruments: what every instrument family can do, from the family registry.
#pragma once

#include <vector>

namespace tracora::cli {

int Instruments(const std::vector<const char*>& args);

}  // namespace tracora::cli
