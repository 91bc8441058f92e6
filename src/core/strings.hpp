// Small text helpers shared by the whole program.
#pragma once

#include <string>

namespace tracora {

// printf-style formatting into a std::string.
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tracora
