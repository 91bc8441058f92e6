// The track filters: the vario filter (height analysis) and the speed analysis, and where they
// run (download, statistics).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.hpp"
#include "core/track_log.hpp"

namespace tracora {
class Host;
}

namespace tracora::analysis {

// Removes every point whose height rate from the last kept point is at or above `limitMps`
// (and every point with the last kept point's time). Nothing happens with fewer than 2 points
// or a limit of 0. Returns the number removed.
std::size_t VarioFilter(std::vector<TrackPoint>& points, std::int32_t limitMps);

// The speed analysis: drops the points that a histogram-derived speed threshold shows as
// jumps. A track of fewer than 20 points is unchanged; without a run of 10 slow pairs the
// result is empty. Returns the new count.
std::size_t SpeedAnalysis(std::vector<TrackPoint>& points);

// The threshold of the speed analysis in m/s (3 b + 1), exposed for tests.
int SpeedThreshold(const std::vector<TrackPoint>& points);

// Fewer points than this make a track unusable for the filters' callers.
inline constexpr std::size_t kMinFilteredPoints = 10;

// What a download applies after the timestamp filter: the vario filter (limit above 0) and
// the speed analysis (LogFilter on). When they would leave fewer than kMinFilteredPoints
// points the unfiltered points are kept and `note` says so. Returns the number removed.
std::size_t ApplyDownloadFilters(std::vector<TrackPoint>& points, const Settings& settings,
                                 std::string& note);
// The hook for AppState::downloadFilters: ApplyDownloadFilters with its note shown in the
// host's status line.
std::function<void(std::vector<TrackPoint>&, const Settings&)> MakeDownloadFilters(Host& host);

// The filters before the statistics: vario filter, then the speed analysis when LogFilter is
// on. Warnings are appended to `warnings`. Returns 0, or -1 with `error` set when fewer than
// 10 points are left (the points are then left unfiltered).
int FilterForStatistics(std::vector<TrackPoint>& points, const Settings& settings,
                        std::vector<std::string>& warnings, std::string& error);

inline constexpr const char* kTooFewPositionsSelected = "Too few positions selected";
inline constexpr const char* kTooFewAfterSpeedAnalysis =
    "Too few positions left after track speed analysis";
inline constexpr const char* kSpeedAnalysisRemoved =
    "Position(s) have been removed during track speed analysis";
inline constexpr const char* kFiltersKeptUnfiltered =
    "Too few positions left after filtering: the unfiltered track log is kept";

}  // namespace tracora::analysis
