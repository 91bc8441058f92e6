#include "documents/trip_record.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "core/geodesy.hpp"
#include "core/save_file.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"

namespace tracora::kml {
namespace {

double MetresBetween(const TrackPoint& a, const TrackPoint& b) {
    double metres = 0;
    if (GeoDistance({SemicirclesToRadians(a.latitude), SemicirclesToRadians(a.longitude)},
                    {SemicirclesToRadians(b.latitude), SemicirclesToRadians(b.longitude)},
                    metres) != 0) {
        return 0;
    }
    return metres;
}

template <std::size_t N>
DistanceResult FromPath(const analysis::PathResult<N>& p) {
    DistanceResult r;
    for (std::size_t i = 0; i < N; ++i) {
        r.index[i] = p.index[i];
    }
    for (std::size_t i = 0; i + 1 < N; ++i) {
        r.legMetres[i] = p.legs[i];
    }
    r.sumMetres = p.sum;
    return r;
}

}  // namespace

TripAnalysis MakeTripAnalysis(std::span<const TrackPoint> points,
                              const analysis::FlightStatistics& statistics,
                              const analysis::OptimisationResults& optimisation,
                              std::int32_t loopFlightGapMetres) {
    TripAnalysis a;
    a.points.assign(points.begin(), points.end());
    if (!points.empty()) {
        a.firstTime = points.front().time;
        a.lastTime = points.back().time;
        a.durationSeconds = a.lastTime >= a.firstTime ? a.lastTime - a.firstTime : 0;
    }
    a.minHeightMetres = statistics.lowestMetres;
    a.maxHeightMetres = statistics.highestMetres;
    a.totalMetres = statistics.totalMetres;
    a.topSpeedKmh = statistics.topSpeedKmh;
    a.maxMeanSpeedKmh = statistics.bestMeanSpeedKmh;
    a.meanSpeedKmh = statistics.meanSpeedKmh;
    a.minClimbMps = statistics.lowestClimbMps;
    a.maxClimbMps = statistics.highestClimbMps;
    a.loopFlightGapMetres = loopFlightGapMetres;

    auto& r = a.results;
    r[static_cast<std::size_t>(DistanceKind::kFivePoint)] = FromPath(optimisation.five);
    r[static_cast<std::size_t>(DistanceKind::kFourPoint)] = FromPath(optimisation.four);
    r[static_cast<std::size_t>(DistanceKind::kThreePoint)] = FromPath(optimisation.three);
    r[static_cast<std::size_t>(DistanceKind::kOpen)] = FromPath(optimisation.open);

    DistanceResult outAndReturn;
    const analysis::OutAndReturnResult& o = optimisation.outAndReturn;
    outAndReturn.index = {o.start, o.turn, o.ret, 0, 0};
    outAndReturn.sumMetres = o.score;
    if (o.score > 0 && ResultWithinTrack(outAndReturn, points.size())) {
        outAndReturn.legMetres[0] = o.outMetres;
        outAndReturn.legMetres[1] = MetresBetween(points[o.turn], points[o.ret]);
    }
    r[static_cast<std::size_t>(DistanceKind::kOutAndReturn)] = outAndReturn;

    const auto triangle = [&](const analysis::TriangleResult& t) {
        DistanceResult d;
        d.index = t.index;
        d.sumMetres = t.score;
        if (t.score > 0 && ResultWithinTrack(d, points.size())) {
            d.legMetres[0] = MetresBetween(points[t.index[0]], points[t.index[1]]);
            d.legMetres[1] = t.legs[0];
            d.legMetres[2] = t.legs[1];
            d.legMetres[3] = MetresBetween(points[t.index[3]], points[t.index[4]]);
        }
        return d;
    };
    r[static_cast<std::size_t>(DistanceKind::kFlatTriangle)] = triangle(optimisation.flat);
    r[static_cast<std::size_t>(DistanceKind::kFaiTriangle)] = triangle(optimisation.fai);
    return a;
}

int AnalyseTrip(std::span<const TrackPoint> points, const GoogleEarthOptions& options,
                TripAnalysis& trip, std::string& title, std::string& message) {
    if (points.size() < 5) {
        title = "Write GoogleEarth file";
        message = "Too few track positions";
        return -1;
    }
    try {
        const analysis::FlightStatistics statistics = analysis::ComputeFlightStatistics(points);
        analysis::OptimisationResults optimisation;
        analysis::OptimisationOptions optimise;
        optimise.loopFlightGapMetres = options.loopFlightGapMetres;
        optimise.threads = options.threads;
        const analysis::CancelFlag never{0};
        if (analysis::RunDistanceOptimisation(points, optimisation, optimise, {}, never) != 0) {
            title = "Analysing track";
            message = "Memory allocation error";
            return -1;
        }
        trip = MakeTripAnalysis(points, statistics, optimisation, options.loopFlightGapMetres);
        auto [low, high] = std::minmax_element(
            points.begin(), points.end(),
            [](const TrackPoint& x, const TrackPoint& y) { return x.gpsAltitude < y.gpsAltitude; });
        trip.minHeightMetres = KmlHeightMetres(*low);
        trip.maxHeightMetres = KmlHeightMetres(*high);
        trip.hashWanted = options.hashWanted;
        trip.timesAreUtc = options.timesAreUtc;
        trip.pressureAltitudePresent = options.pressureAltitudePresent;
        return 0;
    } catch (const std::bad_alloc&) {
        title = "Making GoogleEarth track folder";
        message = "Memory allocation error";
        return -1;
    }
}

int BuildGoogleEarthDocument(std::span<const TrackPoint> points, const GoogleEarthOptions& options,
                             std::string& document, std::string& title, std::string& message) {
    TripAnalysis trip;
    if (AnalyseTrip(points, options, trip, title, message) != 0) {
        return -1;
    }
    try {
        KmlOutput output;
        if (WriteTripDocument(output, trip, options.instrument, message) != 0) {
            title = "Making GoogleEarth track folder";
            return -1;
        }
        document = output.Take();
        return 0;
    } catch (const std::bad_alloc&) {
        title = "Making GoogleEarth track folder";
        message = "Memory allocation error";
        return -1;
    }
}

GoogleEarthOptions IgcConversionOptions(std::int32_t loopFlightGapMetres) {
    GoogleEarthOptions options;
    options.pressureAltitudePresent = true;
    options.loopFlightGapMetres = loopFlightGapMetres;
    return options;
}

TripAnalysis StatisticsTrip(const TrackLog& log, std::span<const TrackPoint> points,
                            const analysis::FlightStatistics& statistics,
                            const analysis::OptimisationResults& optimisation,
                            std::int32_t loopFlightGapMetres) {
    TripAnalysis trip = MakeTripAnalysis(points, statistics, optimisation, loopFlightGapMetres);
    trip.hashWanted = log.gRecordEligible;
    trip.timesAreUtc = log.timeIsUtc;
    trip.pressureAltitudePresent = log.hasPressureAltitude;
    const std::uint32_t downloaded = CalendarToTime(log.downloadTime);
    trip.downloadTime =
        downloaded != 0 && downloaded <= 0x7FFFFFFFu ? static_cast<std::int32_t>(downloaded) : -1;
    trip.civlPilotId = log.civlPilotId;
    trip.compPilotId = log.compPilotId;
    trip.identifiersPresent = log.civlPilotId >= 0 || log.compPilotId >= 0;
    return trip;
}

}  // namespace tracora::kml
