// The commands that save analysed flights as KML: the logbook save of the statistics dialog
// and the conversion of IGC files to KML trip documents (the desktop's batch conversion, the
// command line and the headless tool share the same names and options).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/distance_optimisation.hpp"
#include "analysis/flight_statistics.hpp"
#include "core/app_state.hpp"
#include "core/host.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::kml {

// The KML file made from an IGC file: its ".igc" (any case) replaced by ".kml", or ".kml"
// appended to a name without it.
std::filesystem::path KmlPathForIgc(const std::filesystem::path& igcPath);

// An IGC file converted to KML: no hash (the file's origin is unknown), local times,
// pressure altitudes present.
GoogleEarthOptions IgcConversionOptions(std::int32_t loopFlightGapMetres);

// The trip record the statistics dialog saves: the filtered points with their figures and
// optimisation results, and the track log's origin (instrument, download time, pilot IDs,
// time base). The keyed hash marks a log that came straight from an instrument.
TripAnalysis StatisticsTrip(const TrackLog& log, std::span<const TrackPoint> points,
                            const analysis::FlightStatistics& statistics,
                            const analysis::TripAnalysis& optimisation,
                            std::int32_t loopFlightGapMetres);

// The statistics dialog's Save: the logbook file with the flight's trip folder. Marks the
// track log saved on success. Returns 0 or -1.
int SaveStatisticsLogbook(AppState& state, Host& host, std::span<const TrackPoint> points,
                          const analysis::FlightStatistics& statistics,
                          const analysis::TripAnalysis& optimisation, std::string_view description);

inline constexpr const char* kConvertIgcTitle = "Convert .igc files to .kml";

// "Convert .igc files to .kml": for each chosen file, read, analyse and write the trip
// document beside it (an existing .kml is replaced only after the question). Ends with
// "%d file(s) converted". Returns the number converted, or -1 when nothing was chosen.
int ConvertIgcFilesToKml(AppState& state, Host& host);

}  // namespace tracora::kml
