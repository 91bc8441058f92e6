#include "analysis/flight_statistics.hpp"

#include <algorithm>
#include <new>
#include <system_error>

#include "analysis/track_filters.hpp"
#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"

namespace tracora::analysis {

namespace {

constexpr double kTopSpeedWindowSeconds = 10.0;
constexpr double kMeanSpeedWindowSeconds = 60.0;
constexpr double kClimbLimit = 9999.0;

double Geodesic(const TrackPoint& a, const TrackPoint& b) {
    double metres = 0;
    if (GeoDistance(PointRadians(a), PointRadians(b), metres) != 0) {
        return 0;
    }
    return metres;
}

long long Seconds(std::uint32_t from, std::uint32_t to) {
    return static_cast<long long>(to) - static_cast<long long>(from);
}

}  // namespace

namespace {

// The walk back over `windowSeconds` from point `index` (cut short by a segment start or the
// first point) with the segment lengths computed once: segmentMetres[j] is the distance from
// point j - 1 to point j. Writes the distance and the height at the window's start.
void RecentWalk(std::span<const TrackPoint> points, const std::vector<double>& segmentMetres,
                std::size_t index, double windowSeconds, double& distance,
                double& referenceHeight) {
    distance = 0;
    referenceHeight = points[index].gpsAltitude;
    double elapsed = 0;
    for (std::size_t j = index; j > 0; --j) {
        const TrackPoint& later = points[j];
        const TrackPoint& earlier = points[j - 1];
        const long long step = Seconds(earlier.time, later.time);
        if (step > 0) {
            const double metres = segmentMetres[j];
            const auto stepSeconds = static_cast<double>(step);
            if (elapsed + stepSeconds < windowSeconds) {
                distance += metres;
                elapsed += stepSeconds;
                referenceHeight = earlier.gpsAltitude;
            } else {
                const double fraction = (windowSeconds - elapsed) / stepSeconds;
                distance += metres * fraction;
                referenceHeight =
                    later.gpsAltitude + fraction * (earlier.gpsAltitude - later.gpsAltitude);
                break;
            }
        }
        if (earlier.StartsSegment()) {
            break;
        }
    }
}

std::vector<double> SegmentMetres(std::span<const TrackPoint> points) {
    std::vector<double> metres(points.size(), 0.0);
    for (std::size_t j = 1; j < points.size(); ++j) {
        metres[j] = Geodesic(points[j - 1], points[j]);
    }
    return metres;
}

bool WalkStarts(std::span<const TrackPoint> points, std::size_t index) {
    return index > 0 && index < points.size() && !points[index].StartsSegment();
}

}  // namespace

double RecentDistance(std::span<const TrackPoint> points, std::size_t index, double windowSeconds) {
    if (!WalkStarts(points, index)) {
        return 0;
    }
    double distance = 0;
    double height = 0;
    RecentWalk(points, SegmentMetres(points), index, windowSeconds, distance, height);
    return distance;
}

void RecentSpeedAndClimbCached(std::span<const TrackPoint> points,
                               const std::vector<double>& segmentMetres, std::size_t index,
                               double& speed, double& climb) {
    speed = 0;
    climb = 0;
    if (!WalkStarts(points, index)) {
        return;
    }
    double distance = 0;
    double referenceHeight = 0;
    RecentWalk(points, segmentMetres, index, kMeanSpeedWindowSeconds, distance, referenceHeight);
    speed = distance * 0.06;
    climb = (points[index].gpsAltitude - referenceHeight) * 0.001666667;
}

FlightStatistics ComputeFlightStatistics(std::span<const TrackPoint> points) {
    FlightStatistics s;
    if (points.empty()) {
        return s;
    }
    const std::vector<double> segments = SegmentMetres(points);
    const TrackPoint& first = points.front();
    s.startTime = first.time;
    s.stopTime = points.back().time;
    s.durationSeconds = std::max(0LL, Seconds(s.startTime, s.stopTime));
    std::int32_t lowest = first.gpsAltitude;
    std::int32_t highest = first.gpsAltitude;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TrackPoint& p = points[i];
        lowest = std::min(lowest, p.gpsAltitude);
        highest = std::max(highest, p.gpsAltitude);
        s.totalMetres += segments[i];
        const long long sinceStart = Seconds(first.time, p.time);
        if (sinceStart > static_cast<long long>(kTopSpeedWindowSeconds) && WalkStarts(points, i)) {
            double distance = 0;
            double height = 0;
            RecentWalk(points, segments, i, kTopSpeedWindowSeconds, distance, height);
            s.topSpeedKmh = std::max(s.topSpeedKmh, distance * 3.6 / kTopSpeedWindowSeconds);
        }
        if (sinceStart > static_cast<long long>(kMeanSpeedWindowSeconds)) {
            double speed = 0;
            double climb = 0;
            RecentSpeedAndClimbCached(points, segments, i, speed, climb);
            s.bestMeanSpeedKmh = std::max(s.bestMeanSpeedKmh, speed);
            s.lowestClimbMps = std::max(-kClimbLimit, std::min(s.lowestClimbMps, climb));
            s.highestClimbMps = std::min(kClimbLimit, std::max(s.highestClimbMps, climb));
        }
    }
    s.lowestMetres = lowest / 10;
    s.highestMetres = highest / 10;
    s.meanSpeedKmh =
        s.durationSeconds > 0 ? s.totalMetres / static_cast<double>(s.durationSeconds) * 3.6 : 0.0;
    return s;
}

std::vector<std::pair<std::string, std::string>> StatisticsLines(const FlightStatistics& s) {
    const CalendarTime start = TimeToCalendar(s.startTime);
    const CalendarTime stop = TimeToCalendar(s.stopTime);
    const long long d = s.durationSeconds;
    return {
        {"Date", StringPrintf("%4d-%02d-%02d", start.year, start.month, start.day)},
        {"Start time", StringPrintf("%02d:%02d:%02d", start.hour, start.minute, start.second)},
        {"Stop time", StringPrintf("%02d:%02d:%02d", stop.hour, stop.minute, stop.second)},
        {"Duration", StringPrintf("%d : %02d : %02d", static_cast<int>(d / 3600),
                                  static_cast<int>(d / 60 % 60), static_cast<int>(d % 60))},
        {"Lowest height", StringPrintf("%d m", s.lowestMetres)},
        {"Highest height", StringPrintf("%d m", s.highestMetres)},
        {"Total distance", StringPrintf("%.1f km", s.totalMetres / 1000)},
        {"Top speed", StringPrintf("%d km/h", static_cast<int>(s.topSpeedKmh))},
        {"Greatest mean speed", StringPrintf("%d km/h", static_cast<int>(s.bestMeanSpeedKmh))},
        {"Mean speed", StringPrintf("%d km/h", static_cast<int>(s.meanSpeedKmh))},
        {"Lowest climb", StringPrintf("%.1f m/s", s.lowestClimbMps)},
        {"Highest climb", StringPrintf("%.1f m/s", s.highestClimbMps)},
    };
}

int PrepareFlightStatistics(AppState& state, Host& host, std::span<const std::size_t> selection,
                            StatisticsInput& out) {
    out = {};
    const long long count = selection.empty() ? CopyWholeTrackLog(state, host, out.points)
                                              : CopySelection(state, host, selection, out.points);
    if (count < 0) {
        host.ShowMessage(kStatisticsDialogTitle, "Track log memory allocation");
        return -1;
    }
    if (count == 0) {
        // Nothing selected, or the user cancelled the choice of a flight.
        if (state.trackLog.points.empty()) {
            host.ShowMessage(kStatisticsDialogTitle, "No position(s) selected");
        }
        return -1;
    }
    std::vector<std::string> warnings;
    std::string error;
    const int status = FilterForStatistics(out.points, state.settings, warnings, error);
    for (const std::string& warning : warnings) {
        host.ShowMessage(kStatisticsDialogTitle, warning);
    }
    if (status != 0) {
        host.ShowMessage(kStatisticsDialogTitle, error);
        return -1;
    }
    out.statistics = ComputeFlightStatistics(out.points);
    return 0;
}

const char* ParseLoopFlightGap(std::string_view text, std::int32_t& metres) {
    long long value = 0;
    const int status = ParseIntegerField(text, value);
    if (status == kFieldEmpty) {
        return "Missing input";
    }
    if (status != 0 || value < 0) {
        return "Bad input";
    }
    metres = static_cast<std::int32_t>(value);
    return nullptr;
}

int OptimisationWorker::Start(std::vector<TrackPoint> points, const OptimisationOptions& options,
                              ProgressFn progress, std::function<void()> finished) {
    if (worker_.Started()) {
        return -1;  // its thread still reads the points
    }
    points_ = std::move(points);
    options_ = options;
    progress_ = std::move(progress);
    result_ = {};
    return worker_.Start(
        [this](const CancelFlag& cancel) {
            return RunDistanceOptimisation(points_, result_, options_, progress_, cancel);
        },
        std::move(finished));
}

int OptimisationWorker::CheckFinished(std::string& message) const {
    if (!worker_.Finished() || !result_.done) {
        message = kStatisticsNotFinished;
        return -1;
    }
    message.clear();
    return 0;
}

int ExactWorker::Start(std::vector<TrackPoint> points, const ExactOptions& options,
                       const OptimisationResults& seeds, std::function<void()> finished) {
    if (worker_.Started()) {
        return -1;  // its thread still reads the points
    }
    points_ = std::move(points);
    options_ = options;
    seeds_ = seeds;
    result_ = {};
    const int started = worker_.Start(
        [this](const CancelFlag& cancel) {
            try {
                result_ = SolveExactAll(points_, options_, cancel, &seeds_);
                return 0;
            } catch (const std::bad_alloc&) {
                result_ = {};
                return -1;
            }
        },
        std::move(finished));
    started_ = started == 0;
    return started;
}

}  // namespace tracora::analysis
