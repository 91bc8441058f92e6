// "Save IGC log from GPS": an instrument's IGC text written out byte for byte under an IGC
// name, as the instrument delivered it, with its own security record.
#pragma once

#include <string>

#include "core/app_state.hpp"
#include "core/host.hpp"
#include "formats/igc/igc_names.hpp"

namespace tracora::igc {

inline constexpr const char* kSaveIgcLogTitle = "Save IGC log";
inline constexpr const char* kNoRawIgcLog = "No raw IGC log stored";
inline constexpr const char* kIgcParameterCheckTitle = "IGC file parameter check";

// The "Save IGC track log from GPS" dialog's values.
struct RawIgcSaveRequest {
    std::string flightNumber;  // as typed
    IgcNameStyle style = IgcNameStyle::kLong;
};

enum class RawIgcSaveOutcome {
    kFieldError,  // a value was refused (message shown): the dialog stays open
    kClosed,      // cancelled or failed (message shown): the dialog closes
    kWritten,
};

// The dialog's starting values from the settings (IgcFlightNo and bits 2 and 4 of IgcSaveMask).
RawIgcSaveRequest RawIgcSaveDefaults(const Settings& settings);

// The name proposed for the raw log: its first fix's date and the recorder's manufacturer and
// serial from its own A record ("XXX" and "000" when it has none).
std::string RawIgcProposedName(const TrackLog& log, IgcNameStyle style, int flight);

// Checks the values, asks for the file, writes the raw text unchanged and stores the values
// back into the settings; marks the track log saved.
RawIgcSaveOutcome SaveRawIgcLog(AppState& state, Host& host, const RawIgcSaveRequest& request);

}  // namespace tracora::igc
