// The window's online-contest commands: the points the "OLC statistics" dialog scores (the
// selection, or the instrument's IGC text), the dialog's starting values from the settings,
// and "Save OLC only" / "Save with IGC".
#pragma once

#include <span>
#include <string>
#include <vector>

#include "analysis/olc_optimisation.hpp"
#include "core/app_state.hpp"
#include "core/host.hpp"
#include "documents/olc_file.hpp"

namespace tracora::olc {

inline constexpr const char* kInitOlcTitle = "Initialize OLC statistics";

// What the dialog scores.
struct OlcInput {
    std::vector<TrackPoint> points;
    bool fromIgcBuffer = false;
    std::string igcText;       // the instrument's IGC text (IGC buffer), else empty
    std::string manufacturer;  // of the IGC text's A record; "XTR" for selected positions
    std::string serial;        // "000" for selected positions
};

// The selected positions ("No position(s) selected"), or the points of the stored IGC text
// ("No raw IGC buffer stored"); at least five ("Number of positions must be 5 or more"). All
// under kInitOlcTitle. 0, or -1 after a message or when the user cancelled.
int PrepareOlcInput(AppState& state, Host& host, std::span<const std::size_t> selection,
                    bool useIgcBuffer, OlcInput& out);

// The dialog's values as the settings remember them (flight number 1).
PilotData PilotDefaults(const Settings& settings);
// Bit of olcLongFileName: the long IGC name form.
bool LongFileName(const Settings& settings);

enum class OlcSaveOutcome {
    kFieldError,  // a value was refused (message shown): the dialog stays as it is
    kClosed,      // cancelled or failed (message shown)
    kWritten,
};

// Checks the values, asks for the file (named as the flight's IGC file, ".olc"), writes it with
// the best result's points and, `withIgc`, the IGC text (the instrument's own, or the selection
// encoded with the program's security record where the track log allows it), and stores the
// values back into the settings. "File written" or "File written. NO security record".
OlcSaveOutcome SaveOlcFile(AppState& state, Host& host, const OlcInput& input,
                           const analysis::OlcResults& results, PilotData data, bool longName,
                           bool withIgc);

}  // namespace tracora::olc
