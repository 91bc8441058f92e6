// The commands that save KML documents: the Google Earth file of a track log, the logbook save
// of the statistics dialog, the KML waypoint file, the animation track and the conversion of IGC
// files to KML trip documents (the desktop's batch conversion, the command line and the headless
// tool share the same names and options).
//
// Documents are built into memory first; files are written through a temporary file renamed
// into place, so a failure never leaves a partial document or loses earlier logbook flights.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "analysis/distance_optimisation.hpp"
#include "analysis/flight_statistics.hpp"
#include "core/app_state.hpp"
#include "core/host.hpp"
#include "core/settings.hpp"
#include "documents/trip_record.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::kml {

// The KML file made from an IGC file: its ".igc" (any case) replaced by ".kml", or ".kml"
// appended to a name without it.
std::filesystem::path KmlPathForIgc(const std::filesystem::path& igcPath);

// Writes the trip document of `points` to `basePath` with ".kml" appended. Returns 0 or -1
// after a message.
int WriteGoogleEarthFile(Host& host, const std::filesystem::path& basePath,
                         std::span<const TrackPoint> points, const GoogleEarthOptions& options);

// "&Save log (Flybook/.kml)": the save dialog, then a new file, or for an existing one the
// question whose Yes appends, No overwrites and Cancel stops. Returns 0 or -1.
int SaveLogbookFile(Host& host, Settings& settings, TripAnalysis& analysis,
                    std::string_view description,
                    const std::optional<std::string_view>& instrument);

// Writes the KML waypoint file to `path` (created, or replaced when `overwrite`). Returns 0
// or -1.
int WriteKmlWaypointFile(Host& host, const std::filesystem::path& path,
                         std::span<const Waypoint> waypoints, bool overwrite);

// "Save log for animation in GE" over the selected points. Returns 0 or -1.
int SaveAnimationTrack(AppState& state, Host& host, std::span<const std::size_t> selection,
                       bool trackViewShown);

// The statistics dialog's Save: the logbook file with the flight's trip folder. Marks the
// track log saved on success. Returns 0 or -1.
int SaveStatisticsLogbook(AppState& state, Host& host, std::span<const TrackPoint> points,
                          const analysis::FlightStatistics& statistics,
                          const analysis::OptimisationResults& optimisation,
                          std::string_view description);

inline constexpr const char* kConvertIgcTitle = "Convert .igc files to .kml";

// "Convert .igc files to .kml": for each chosen file, read, analyse and write the trip
// document beside it (an existing .kml is replaced only after the question). Ends with
// "%d file(s) converted". Returns the number converted, or -1 when nothing was chosen.
int ConvertIgcFilesToKml(AppState& state, Host& host);

inline constexpr const char* kConvertKmlTitle = "Convert .kml files to .igc";

// "&Convert .kml files to .igc": for each chosen file, read its track (the selection when it
// holds several) and write it as an IGC file beside it (".kml" replaced by ".igc"; an existing
// file is replaced only after the question). Ends with "%d file(s) converted". Returns the
// number converted, or -1 when nothing was chosen.
int ConvertKmlFilesToIgc(AppState& state, Host& host);

}  // namespace tracora::kml
