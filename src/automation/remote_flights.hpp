// What happens to a flight that a remote desk's session downloaded: the session's job ends
// with it, so it is saved as an IGC file in a folder the desk reads, never over another file.
#pragma once

#include <filesystem>
#include <string>

#include "device/gps_job.hpp"

namespace tracora::automation {

// Saves the job's track log in `folder`: the instrument's own IGC text as it came, or the
// positions encoded with this program's security record, named by the first fix's day and the
// day's first free flight number. Returns the status line for the desk ("Track log saved as
// PATH"), or empty after reporting the failure through the job (title "Save IGC log").
std::string SaveRemoteFlight(const std::filesystem::path& folder, device::GpsAccessJob& job);

}  // namespace tracora::automation
