// The dialogs of the track log files: the "Set .csv parameters" dialog (the optional columns of
// a CSV file and how far back its bearing, speed and vario look) and the "Select track" dialog
// of a file holding several tracks.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.hpp"

namespace tracora::app {

inline constexpr const char* kCheckCsvTitle = "Check csv parameters";

// The positions a bearing, speed or vario column looks back over, as typed: a whole number
// from 1 to kMaxCsvSpan. Nothing for any other text.
inline constexpr int kMaxCsvSpan = 3600;
std::optional<int> ParseCsvSpan(const QString& text);

// "Set .csv parameters": a check box per optional column (objects "absTime", "relTime",
// "relDist", "accDist", "bearing", "bearing400", "speed", "vario") and the positions the
// bearing, the speed and the vario look back over ("bearingSpan", "speedSpan", "varioSpan").
// OK checks the numbers of the columns switched on; a bad one is told through `refuse`
// ("Bad bearing input", "Bad speed input", "Bad vario input") and the dialog stays open. On OK
// the Csv settings are stored and true is returned; false when cancelled (nothing changed).
bool RunCsvParametersDialog(QWidget* parent, Settings& settings,
                            const std::function<void(const std::string& text)>& refuse);

// "Select track": the tracks, one line each (object "tracks"); OK takes the selected one, a
// double click the one clicked. Nothing when cancelled.
std::optional<int> RunSelectTrackDialog(QWidget* parent, const std::vector<std::string>& tracks);

}  // namespace tracora::app
