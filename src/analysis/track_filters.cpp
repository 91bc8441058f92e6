#include "analysis/track_filters.hpp"

#include <cmath>
#include <cstdlib>

#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "core/host.hpp"
#include "core/strings.hpp"

namespace tracora::analysis {

namespace {

constexpr std::uint32_t kKeptMark = 1u << 31;
constexpr std::size_t kSpeedBins = 100;
constexpr double kSpeedCap = 1000000.0;
constexpr int kAnchorRun = 10;
constexpr std::size_t kSpeedAnalysisMinPoints = 20;

// Speed between two points in m/s: geodesic distance (0 when it fails) over the absolute time
// difference, 0 for equal times. A backward time step never yields a negative speed.
double PairSpeed(const TrackPoint& a, const TrackPoint& b) {
    const long long dt =
        std::llabs(static_cast<long long>(b.time) - static_cast<long long>(a.time));
    if (dt == 0) {
        return 0;
    }
    double metres = 0;
    if (GeoDistance(PointRadians(a), PointRadians(b), metres) != 0) {
        metres = 0;
    }
    return std::min(metres / static_cast<double>(dt), kSpeedCap);
}

int ThresholdFromSpeeds(const std::vector<double>& speeds, std::size_t count) {
    std::array<long long, kSpeedBins> bins{};
    for (double speed : speeds) {
        const auto bin = static_cast<std::size_t>(speed);
        if (bin < kSpeedBins) {
            ++bins[bin];
        }
    }
    long long remainder = static_cast<long long>(count * 19 / 20);
    int b = static_cast<int>(kSpeedBins);
    for (std::size_t i = 0; i < kSpeedBins; ++i) {
        remainder -= bins[i];
        if (remainder < 1) {
            b = static_cast<int>(i);
            break;
        }
    }
    return 3 * b + 1;
}

std::vector<double> PairSpeeds(const std::vector<TrackPoint>& points) {
    std::vector<double> speeds;
    speeds.reserve(points.size());
    for (std::size_t i = 1; i < points.size(); ++i) {
        speeds.push_back(PairSpeed(points[i - 1], points[i]));
    }
    return speeds;
}

}  // namespace

std::size_t VarioFilter(std::vector<TrackPoint>& points, std::int32_t limitMps) {
    if (points.size() < 2 || limitMps == 0) {
        return 0;
    }
    std::size_t kept = 1;
    double referenceHeight = points[0].gpsAltitude * 0.1;
    long long referenceTime = points[0].time;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const TrackPoint& p = points[i];
        const long long dt = static_cast<long long>(p.time) - referenceTime;
        if (dt == 0) {
            continue;
        }
        const double height = p.gpsAltitude * 0.1;
        const double rate = std::fabs(height - referenceHeight) / static_cast<double>(dt);
        if (rate >= limitMps) {
            continue;
        }
        points[kept++] = p;
        referenceHeight = height;
        referenceTime = p.time;
    }
    const std::size_t removed = points.size() - kept;
    points.resize(kept);
    return removed;
}

int SpeedThreshold(const std::vector<TrackPoint>& points) {
    return ThresholdFromSpeeds(PairSpeeds(points), points.size());
}

std::size_t SpeedAnalysis(std::vector<TrackPoint>& points) {
    const std::size_t count = points.size();
    if (count < kSpeedAnalysisMinPoints) {
        return count;
    }
    const std::vector<double> speeds = PairSpeeds(points);
    const double threshold = ThresholdFromSpeeds(speeds, count);

    std::size_t anchor = count;
    int run = 0;
    for (std::size_t i = 1; i < count; ++i) {
        run = speeds[i - 1] < threshold ? run + 1 : 0;
        if (run == kAnchorRun) {
            anchor = i;
            break;
        }
    }
    if (anchor == count) {
        points.clear();
        return 0;
    }

    points[anchor].flags |= kKeptMark;
    std::size_t last = anchor;
    for (std::size_t i = anchor; i > 0; --i) {
        if (PairSpeed(points[last], points[i - 1]) < threshold) {
            points[i - 1].flags |= kKeptMark;
            last = i - 1;
        }
    }
    last = anchor;
    for (std::size_t i = anchor + 1; i < count; ++i) {
        // From the point just before, the speed is the histogram's pair speed.
        const double speed = last + 1 == i ? speeds[last] : PairSpeed(points[last], points[i]);
        if (speed < threshold) {
            points[i].flags |= kKeptMark;
            last = i;
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if ((points[i].flags & kKeptMark) != 0) {
            points[kept] = points[i];
            points[kept].flags &= ~kKeptMark;
            ++kept;
        }
    }
    points.resize(kept);
    return kept;
}

std::size_t ApplyDownloadFilters(std::vector<TrackPoint>& points, const Settings& settings,
                                 std::string& note) {
    note.clear();
    const std::size_t before = points.size();
    std::vector<TrackPoint> original = points;
    if (settings.varioFilter > 0) {
        VarioFilter(points, settings.varioFilter);
    }
    if (settings.logFilter != 0) {
        SpeedAnalysis(points);
    }
    if (points.size() < before && points.size() < kMinFilteredPoints) {
        points = std::move(original);
        note = kFiltersKeptUnfiltered;
        return 0;
    }
    return before - points.size();
}

std::function<void(std::vector<TrackPoint>&, const Settings&)> MakeDownloadFilters(Host& host) {
    return [&host](std::vector<TrackPoint>& points, const Settings& settings) {
        std::string note;
        ApplyDownloadFilters(points, settings, note);
        if (!note.empty()) {
            host.SetStatus(note);
        }
    };
}

int FilterForStatistics(std::vector<TrackPoint>& points, const Settings& settings,
                        std::vector<std::string>& warnings, std::string& error) {
    error.clear();
    if (points.size() < kMinFilteredPoints) {
        error = kTooFewPositionsSelected;
        return -1;
    }
    std::vector<TrackPoint> original = points;
    if (settings.varioFilter > 0) {
        const std::size_t removed = VarioFilter(points, settings.varioFilter);
        if (removed > 0) {
            warnings.push_back(
                StringPrintf("%zu positions have been removed due to vario filtering", removed));
        }
    }
    if (settings.logFilter != 0) {
        const std::size_t before = points.size();
        SpeedAnalysis(points);
        if (points.size() < kMinFilteredPoints) {
            points = std::move(original);
            error = kTooFewAfterSpeedAnalysis;
            return -1;
        }
        if (points.size() < before) {
            warnings.push_back(kSpeedAnalysisRemoved);
        }
    }
    return 0;
}

}  // namespace tracora::analysis
