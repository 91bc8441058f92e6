// A track written in any format of the registry: the flight analysed first for the formats
// whose documents carry the analysis.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/app_state.hpp"
#include "core/settings.hpp"
#include "core/track_store.hpp"
#include "formats/format_record.hpp"

namespace tracora::documents {

// What a file converted from another file is known to be: of unknown origin (no security record,
// no hash), local times, pressure altitudes kept; as the desktop's IGC-to-KML conversion writes
// it. `downloadTime`: the time of the conversion.
formats::WriteInput ConvertedFileInput(const formats::ReadResult& read,
                                       const CalendarTime& downloadTime);

// The document of `format` for `input` into `document`. For a format that writes the analysis,
// the track is analysed first (statistics, distance optimisation with `loopFlightGapMetres`).
// Returns 0, or -1 with `title` and `message` set.
int BuildTrackDocument(const formats::FormatRecord& format, formats::WriteInput input,
                       std::int32_t loopFlightGapMetres, std::string& document, std::string& title,
                       std::string& message);

// A KML document's track: the only one, or the one the user picks in "Select track"; the
// signature flag set when its keyed hash matches. Returns the count, or -1 after a message
// (nothing when the selection was cancelled).
int ReadKmlTrackText(Host& host, std::string_view text, TrackReadResult& out);

// The track log file types the open dialog offers: every format of the registry that reads
// tracks, in the registry's order, named as the registry names it. Each reader hands the track
// over as a track log and shows why a file could not be read (the IGC reader also keeps the
// file's text, for saving the instrument's log as it came).
std::span<const TrackFileFormat> ReadableTrackFormats();

// The CSV columns the settings switch on: CsvBearing, CsvSpeed and CsvVario hold 0 (column off)
// or the number of positions their column looks back over; Csv400deg gives the bearing in 400
// units.
formats::CsvColumns CsvColumnsFromSettings(const Settings& settings);

// The formats "Save log as..." offers, in the registry's order: every format that writes
// tracks but IGC, which has commands of its own; KML (the trip document, signed for a log
// straight from an instrument) comes last.
std::vector<const formats::FormatRecord*> TrackSaveFormats();

// "Save log as...": the track log (the selected rows when two or more are selected) written in
// the format of the chosen type, or of the typed extension when it names one of the offered
// formats (a name without extension takes the type's). CSV files get the columns of the
// settings. Returns the number of positions written, 0 when nothing was written.
int SaveTrackLogAsCommand(AppState& state, Host& host, std::span<const std::size_t> rows);

}  // namespace tracora::documents
