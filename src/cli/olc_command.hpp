// tracora-cli olc: the online-contest scoring of an IGC file and its submission file.
#pragma once

#include <vector>

namespace tracora::cli {

int Olc(const std::vector<const char*>& args);

}  // namespace tracora::cli
