// The trip record of an analysed flight: the flight statistics and the distance optimisation run
// over the track and turned into the record that the KML trip folder is written from.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "analysis/distance_optimisation.hpp"
#include "analysis/flight_statistics.hpp"
#include "core/track_log.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::kml {

// Builds the trip record from the analysis module's statistics and optimisation results.
// The times, flags and identifiers are left for the caller. Triangle and out-and-return legs
// not held by the optimisation result are measured on the ellipsoid.
TripAnalysis MakeTripAnalysis(std::span<const TrackPoint> points,
                              const analysis::FlightStatistics& statistics,
                              const analysis::OptimisationResults& optimisation,
                              std::int32_t loopFlightGapMetres);

struct GoogleEarthOptions {
    bool hashWanted = false;
    bool timesAreUtc = false;
    bool pressureAltitudePresent = false;
    std::optional<std::string_view> instrument;
    bool overwrite = false;  // replace an existing file
    std::int32_t loopFlightGapMetres = 0;
    int threads = 2;
};

// The trip record of `points` as the Google Earth file holds it: statistics, optimisation and
// the heights of the highest and lowest positions. Returns 0, or -1 with `title` and `message`
// set (fewer than five positions, memory).
int AnalyseTrip(std::span<const TrackPoint> points, const GoogleEarthOptions& options,
                TripAnalysis& trip, std::string& title, std::string& message);

// The whole trip document of `points` as the Google Earth file holds it. Returns 0, or -1 with
// `title` and `message` set.
int BuildGoogleEarthDocument(std::span<const TrackPoint> points, const GoogleEarthOptions& options,
                             std::string& document, std::string& title, std::string& message);

// An IGC file converted to KML: no hash (the file's origin is unknown), local times,
// pressure altitudes present.
GoogleEarthOptions IgcConversionOptions(std::int32_t loopFlightGapMetres);

// The trip record the statistics dialog saves: the filtered points with their figures and
// optimisation results, and the track log's origin (instrument, download time, pilot IDs,
// time base). The keyed hash marks a log that came straight from an instrument.
TripAnalysis StatisticsTrip(const TrackLog& log, std::span<const TrackPoint> points,
                            const analysis::FlightStatistics& statistics,
                            const analysis::OptimisationResults& optimisation,
                            std::int32_t loopFlightGapMetres);

}  // namespace tracora::kml
