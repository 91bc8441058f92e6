// The whole analysis of one track as the statistics dialog computes it (filters, figures,
// distance optimisation) and its text and JSON forms for the command line.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "analysis/distance_optimisation.hpp"
#include "analysis/exact_optimum.hpp"
#include "analysis/flight_statistics.hpp"
#include "analysis/olc_optimisation.hpp"
#include "core/settings.hpp"
#include "core/track_log.hpp"

namespace tracora::analysis {

struct AnalysisReport {
    std::vector<TrackPoint> points;  // after the filters
    std::size_t pointsRead = 0;
    std::vector<std::string> warnings;
    FlightStatistics statistics;
    OptimisationResults trip;
    bool exact = false;  // the exact optimum was asked for
    ExactOptions exactOptions;
    ExactResults exactResults;
};

// Filters a copy of `points` as for the statistics, then the figures and the optimisation.
// Returns 0, or -1 with `error` set (too few positions, memory allocation error).
// With `exact`, the exact optimum of the 5 points and the triangles follows under those
// options, started from the two-stage results.
int AnalyseTrack(const std::vector<TrackPoint>& points, const Settings& settings,
                 const OptimisationOptions& options, AnalysisReport& report, std::string& error,
                 const ExactOptions* exact = nullptr);

std::string ReportText(const AnalysisReport& report);
std::string ReportJson(const AnalysisReport& report);

// The online-contest scoring of `points` for the command line: each result with its points,
// distances, the times of its fixes, and the best result; `warnings` first.
std::string OlcReportText(const OlcResults& results, std::span<const TrackPoint> points,
                          const std::vector<std::string>& warnings);
std::string OlcReportJson(const OlcResults& results, std::span<const TrackPoint> points,
                          const std::vector<std::string>& warnings);

}  // namespace tracora::analysis
