// The Flybook document of a read-all download: every flight the instrument delivered (one
// segment of the track log each) analysed and written as its own trip folder, all in one KML
// document for the web logbook, which the user then saves.
#pragma once

#include <string>

#include "core/app_state.hpp"
#include "core/host.hpp"
#include "core/settings.hpp"
#include "core/track_log.hpp"

namespace tracora::documents {

inline constexpr const char* kFlybookSaveTitle = "Save track for Flybook";
inline constexpr const char* kFlybookWrittenTitle = "Save Flybook track";
inline constexpr std::size_t kFlybookMinPoints = 10;

// The document of `log`: each segment with at least kFlybookMinPoints points (after the speed
// analysis when the LogFilter setting is on) analysed and appended as a trip folder described by
// the instrument's description; signed when the log came straight from an instrument that marks
// its logs. Returns the number of folders (0: no flight long enough, `document` empty), or -1
// with `title` and `message` set.
int BuildFlybookDocument(const TrackLog& log, const Settings& settings, std::string& document,
                         std::string& title, std::string& message);

// After a read-all download: builds the document of the installed track log and saves it
// through the dialog "Save track for Flybook" (starting in, and remembering, the TrackLogDir
// setting; an existing file is replaced only after the question). Shows "File written" on
// success. Returns the number of flights written, 0 when there was nothing to save or the
// dialog was cancelled, -1 after a message.
int SaveFlybookDocument(AppState& state, Host& host);

}  // namespace tracora::documents
