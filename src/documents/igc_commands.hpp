// The two IGC save commands of the window: "Write IGC track log file" encodes the chosen points
// with the pilot's header values and the program's security record; "Save IGC log from GPS"
// writes an instrument's IGC text byte for byte under an IGC name, with its own security
// record.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/app_state.hpp"
#include "core/host.hpp"
#include "formats/igc/igc_names.hpp"

namespace tracora::igc {

inline constexpr const char* kSaveIgcLogTitle = "Save IGC log";
inline constexpr const char* kNoRawIgcLog = "No raw IGC log stored";
inline constexpr const char* kIgcParameterCheckTitle = "IGC file parameter check";

// The name style two check boxes ask for: long wins when both are checked, none when neither.
IgcNameStyle NameStyleOf(bool longName, bool shortName);

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

inline constexpr const char* kWriteIgcTitle = "Write IGC track log file";

// The "IGC File Format" dialog's values.
struct IgcFileParameters {
    std::string pilot, flightNumber, frSerial, gliderType, gliderId, site, gliderClass;
    bool longName = false;
    bool shortName = false;
    bool addEnl = false;
};

// The dialog's starting values: the settings' IGC parameters and the serial number last used.
IgcFileParameters IgcFileDefaults(const Settings& settings, const std::string& frSerial);

// The points to write: the selected rows (the whole track log when none are selected),
// split-checked, after the question for a single position, through the vario filter (its
// removals shown). Returns 0, or -1 after a message or when the user stopped.
int PrepareIgcPoints(AppState& state, Host& host, std::span<const std::size_t> selection,
                     std::vector<TrackPoint>& points);

enum class IgcWriteOutcome {
    kStayOpen,  // a value was refused or the user kept an existing file: the dialog stays open
    kClosed,    // cancelled or failed (message shown)
    kWritten,
};

// Save in the "IGC File Format" dialog: checks the values, asks for the file, encodes and
// writes the points, and stores the values back into the settings.
IgcWriteOutcome WriteIgcTrackLogFile(AppState& state, Host& host,
                                     std::span<const TrackPoint> points,
                                     const IgcFileParameters& parameters);

}  // namespace tracora::igc
