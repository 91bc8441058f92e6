// The figures of the flight statistics and the distance optimisation on a worker thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/analysis_worker.hpp"
#include "analysis/distance_optimisation.hpp"
#include "analysis/exact_optimum.hpp"
#include "core/app_state.hpp"
#include "core/host.hpp"
#include "core/track_log.hpp"

namespace tracora::analysis {

struct FlightStatistics {
    std::uint32_t startTime = 0, stopTime = 0;
    long long durationSeconds = 0;
    int lowestMetres = 0, highestMetres = 0;
    double totalMetres = 0;
    double topSpeedKmh = 0;       // greatest 10-second speed
    double bestMeanSpeedKmh = 0;  // greatest 60-second speed
    double lowestClimbMps = 0, highestClimbMps = 0;
    double meanSpeedKmh = 0;  // 0 when the duration is 0
};

// The figures of a filtered track; all zero for an empty one.
FlightStatistics ComputeFlightStatistics(std::span<const TrackPoint> points);

// The distance covered in the `windowSeconds` before point `index`, walking back as
// RecentSpeedAndClimb does (cut short by a segment start or the first point).
double RecentDistance(std::span<const TrackPoint> points, std::size_t index, double windowSeconds);

// RecentSpeedAndClimb with the segment lengths computed once (segmentMetres[j]: point j - 1 to
// point j); the same figures.
void RecentSpeedAndClimbCached(std::span<const TrackPoint> points,
                               const std::vector<double>& segmentMetres, std::size_t index,
                               double& speed, double& climb);

// The statistics lines as the dialog shows them ("Date", "Start", ... with their formats).
std::vector<std::pair<std::string, std::string>> StatisticsLines(const FlightStatistics& s);

// What the statistics dialog works on: the chosen points, split-checked and filtered, and their
// figures.
struct StatisticsInput {
    std::vector<TrackPoint> points;
    FlightStatistics statistics;
};

inline constexpr const char* kStatisticsDialogTitle = "Initialize track statistics dialog box";

// Copies the selected points (the whole track log when nothing is selected), lets the user
// pick one flight when they hold several, filters them as for the statistics (warnings shown)
// and computes the figures. Returns 0, or -1 after a message or when the user cancelled.
int PrepareFlightStatistics(AppState& state, Host& host, std::span<const std::size_t> selection,
                            StatisticsInput& out);

inline constexpr const char* kSetGapTitle = "Set gap distance";
// The "Loop flight gap distance" dialog's text: nullptr and `metres` set, or the message
// ("Missing input", "Bad input"; a negative gap is bad input).
const char* ParseLoopFlightGap(std::string_view text, std::int32_t& metres);

inline constexpr const char* kStatisticsNotFinished = "Statistics not yet finished";
inline constexpr const char* kComputationHalted = "Computation halted";
inline constexpr const char* kAnalysingTrack = "Analysing track";

// Runs RunDistanceOptimisation on its own thread over a copy of the track that it owns, so the
// points live until the thread is joined. Halt() sets the cancel flag; the destructor halts and
// joins before anything is freed.
class OptimisationWorker {
public:
    // Starts the run; `progress` and then `finished` (once Finished() is true) are called on
    // the worker thread. Returns 0, or -1 when a run is still going or the thread cannot start.
    int Start(std::vector<TrackPoint> points, const OptimisationOptions& options,
              ProgressFn progress, std::function<void()> finished = {});
    void Halt() { worker_.Halt(); }
    // Waits for the run to end. Returns the run's status (0, or -1 on allocation failure).
    int Join() { return worker_.Join(); }
    bool Finished() const { return worker_.Finished(); }
    // 0 when the results may be used (saved), else -1 with kStatisticsNotFinished.
    int CheckFinished(std::string& message) const;
    // Valid after Join() or once Finished().
    const OptimisationResults& Result() const { return result_; }

private:
    std::vector<TrackPoint> points_;
    OptimisationOptions options_;
    ProgressFn progress_;
    OptimisationResults result_;
    AnalysisWorker worker_;  // last: destroyed (halted and joined) first
};

// Runs SolveExactAll on its own thread over a copy of the track that it owns, started from
// the two-stage results. Halt() sets the cancel flag: the search ends within milliseconds with
// the best found and the bound that remains. The destructor halts and joins.
class ExactWorker {
public:
    // Starts the search; `finished` is called on the worker thread at its end. Returns 0, or
    // -1 when a search is still going or the thread cannot start.
    int Start(std::vector<TrackPoint> points, const ExactOptions& options,
              const OptimisationResults& seeds, std::function<void()> finished = {});
    void Halt() { worker_.Halt(); }
    // Waits for the search to end. Returns 0, or -1 when it ran out of memory.
    int Join() { return worker_.Join(); }
    bool Started() const { return started_; }
    bool Finished() const { return worker_.Finished(); }
    // Valid after Join() or once Finished().
    const ExactResults& Result() const { return result_; }

private:
    std::vector<TrackPoint> points_;
    ExactOptions options_;
    OptimisationResults seeds_;
    ExactResults result_;
    bool started_ = false;
    AnalysisWorker worker_;  // last: destroyed (halted and joined) first
};

}  // namespace tracora::analysis
