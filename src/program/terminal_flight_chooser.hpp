// Asks on the terminal which flights of the instrument's list to download.
#pragma once

#include <cstdio>

#include "device/gps_job.hpp"

namespace tracora {

// Lists the flights on `out` and reads the choice from `in`: numbers as listed, separated by
// commas or blanks; an empty answer takes the newest flight; "q" (or the end of input)
// cancels. Asked again after an answer it cannot use.
device::FlightChooser TerminalFlightChooser(std::FILE* in, std::FILE* out);

}  // namespace tracora
