#include "analysis/analysis_report.hpp"

#include <new>
#include <utility>

#include "analysis/track_filters.hpp"
#include "core/strings.hpp"
#include "core/track_store.hpp"

namespace tracora::analysis {

namespace {

std::string Km(double metres) {
    return StringPrintf("%.2f", metres / 1000);
}

std::string JsonKm(double metres) {
    return StringPrintf("%.5f", metres / 1000);
}

template <std::size_t N>
std::string IndexList(const std::array<std::size_t, N>& index) {
    std::string text;
    for (std::size_t i = 0; i < N; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(index[i]);
    }
    return text;
}

template <std::size_t N>
std::string KmList(const std::array<double, N>& legs, bool json) {
    std::string text;
    for (std::size_t i = 0; i < N; ++i) {
        text += (i == 0 ? "" : json ? ", " : " + ") + (json ? JsonKm(legs[i]) : Km(legs[i]));
    }
    return text;
}

template <std::size_t N>
std::string PathText(const char* name, const PathResult<N>& r) {
    return StringPrintf("%-22s %s km (%s km), points %s\n", name, Km(r.sum).c_str(),
                        KmList(r.legs, false).c_str(), IndexList(r.index).c_str());
}

std::string TriangleText(const char* name, const TriangleResult& r) {
    if (r.score == 0) {
        return StringPrintf("%-22s none\n", name);
    }
    return StringPrintf("%-22s %s km (legs %s km, gap %s km), points %s\n", name,
                        Km(r.score).c_str(), KmList(r.legs, false).c_str(), Km(r.gapMetres).c_str(),
                        IndexList(r.index).c_str());
}

template <std::size_t N>
std::string PathJson(const char* name, const PathResult<N>& r) {
    return StringPrintf("\"%s\": {\"km\": %s, \"legs_km\": [%s], \"index\": [%s]}", name,
                        JsonKm(r.sum).c_str(), KmList(r.legs, true).c_str(),
                        IndexList(r.index).c_str());
}

std::string TriangleJson(const char* name, const TriangleResult& r) {
    return StringPrintf(
        "\"%s\": {\"found\": %s, \"km\": %s, \"legs_km\": [%s], \"gap_km\": %s, \"index\": [%s]}",
        name, r.score != 0 ? "true" : "false", JsonKm(r.score).c_str(),
        KmList(r.legs, true).c_str(), JsonKm(r.gapMetres).c_str(), IndexList(r.index).c_str());
}

// The proof of an exact result: proven, or halted with the bound that remains.
std::string ExactProofText(const ExactResult& r) {
    if (r.optimal) {
        return "optimal";
    }
    return StringPrintf("halted, bound %s km", Km(r.bound).c_str());
}

std::string ExactText(const char* name, const ExactResult& r, bool triangle) {
    const std::string seconds = StringPrintf("%.3f s", r.seconds);
    if (!r.found) {
        return StringPrintf("%-22s none (%s, %s)\n", name, ExactProofText(r).c_str(),
                            seconds.c_str());
    }
    const std::array<double, 3> legs3{r.legs[0], r.legs[1], r.legs[2]};
    if (triangle) {
        return StringPrintf("%-22s %s km (legs %s km, gap %s km), points %s (%s, %s)\n", name,
                            Km(r.score).c_str(), KmList(legs3, false).c_str(),
                            Km(r.gapMetres).c_str(), IndexList(r.index).c_str(),
                            ExactProofText(r).c_str(), seconds.c_str());
    }
    return StringPrintf("%-22s %s km (%s km), points %s (%s, %s)\n", name, Km(r.score).c_str(),
                        KmList(r.legs, false).c_str(), IndexList(r.index).c_str(),
                        ExactProofText(r).c_str(), seconds.c_str());
}

std::string ExactJson(const char* name, const ExactResult& r, bool triangle) {
    std::string legs;
    if (triangle) {
        legs = KmList(std::array<double, 3>{r.legs[0], r.legs[1], r.legs[2]}, true);
    } else {
        legs = KmList(r.legs, true);
    }
    return StringPrintf(
        "\"%s\": {\"found\": %s, \"km\": %s, \"legs_km\": [%s], \"gap_km\": %s, "
        "\"index\": [%s], \"optimal\": %s, \"halted\": %s, \"bound_km\": %s, \"nodes\": %llu, "
        "\"seconds\": %.4f}",
        name, r.found ? "true" : "false", JsonKm(r.score).c_str(), legs.c_str(),
        JsonKm(r.gapMetres).c_str(), IndexList(r.index).c_str(), r.optimal ? "true" : "false",
        r.halted ? "true" : "false", JsonKm(r.bound).c_str(),
        static_cast<unsigned long long>(r.nodes), r.seconds);
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

}  // namespace

int AnalyseTrack(const std::vector<TrackPoint>& points, const Settings& settings,
                 const OptimisationOptions& options, AnalysisReport& report, std::string& error,
                 const ExactOptions* exact) {
    report = {};
    report.pointsRead = points.size();
    report.points = points;
    // Times that go backwards give impossible figures; as in the window, the safe answer is
    // to remove those positions, and the report says so.
    if (std::string notice = RemoveBackwardTimesWithNotice(report.points); !notice.empty()) {
        report.warnings.push_back(std::move(notice));
    }
    if (FilterForStatistics(report.points, settings, report.warnings, error) != 0) {
        return -1;
    }
    report.statistics = ComputeFlightStatistics(report.points);
    CancelFlag cancel{0};
    if (RunDistanceOptimisation(report.points, report.trip, options, {}, cancel) != 0) {
        error = kMemoryAllocationError;
        return -1;
    }
    if (exact != nullptr) {
        report.exact = true;
        report.exactOptions = *exact;
        if (options.noLoopOpt) {
            report.exactOptions.loopFlightGapMetres = 0;
        }
        try {
            report.exactResults =
                SolveExactAll(report.points, report.exactOptions, cancel,
                              report.exactOptions.seeded ? &report.trip : nullptr);
        } catch (const std::bad_alloc&) {
            error = kMemoryAllocationError;
            return -1;
        }
    }
    return 0;
}

std::string ReportText(const AnalysisReport& report) {
    std::string text;
    for (const std::string& warning : report.warnings) {
        text += warning + "\n";
    }
    text +=
        StringPrintf("%-22s %zu of %zu\n", "Positions", report.points.size(), report.pointsRead);
    for (const auto& [name, value] : StatisticsLines(report.statistics)) {
        text += StringPrintf("%-22s %s\n", name.c_str(), value.c_str());
    }
    const OptimisationResults& t = report.trip;
    text += PathText("Open distance", t.open);
    text += PathText("3 points", t.three);
    text += PathText("4 points", t.four);
    text += PathText("5 points", t.five);
    const OutAndReturnResult& o = t.outAndReturn;
    if (o.score == 0) {
        text += StringPrintf("%-22s none\n", "Out-and-return");
    } else {
        text += StringPrintf("%-22s %s km (out %s km, gap %s km), points %zu, %zu, %zu\n",
                             "Out-and-return", Km(o.score).c_str(), Km(o.outMetres).c_str(),
                             Km(o.gapMetres).c_str(), o.start, o.turn, o.ret);
    }
    text += TriangleText("Flat triangle", t.flat);
    text += TriangleText("FAI triangle", t.fai);
    if (report.exact) {
        const char* rules = report.exactOptions.rules == ExactRules::Olc ? "OLC" : "trip";
        text += StringPrintf("Exact optimum (%s rules)\n", rules);
        text += ExactText("5 points", report.exactResults.five, false);
        text += ExactText("Flat triangle", report.exactResults.flat, true);
        text += ExactText("FAI triangle", report.exactResults.fai, true);
    }
    return text;
}

std::string ReportJson(const AnalysisReport& report) {
    const FlightStatistics& s = report.statistics;
    const OptimisationResults& t = report.trip;
    std::string warnings;
    for (const std::string& w : report.warnings) {
        warnings += (warnings.empty() ? "" : ", ") + JsonString(w);
    }
    std::string json = "{";
    json += StringPrintf("\"points_read\": %zu, \"points\": %zu, \"warnings\": [%s], ",
                         report.pointsRead, report.points.size(), warnings.c_str());
    json += StringPrintf(
        "\"statistics\": {\"start_time\": %u, \"stop_time\": %u, \"duration_s\": %lld, "
        "\"lowest_m\": %d, \"highest_m\": %d, \"total_km\": %s, \"top_speed_kmh\": %.1f, "
        "\"best_mean_speed_kmh\": %.1f, \"mean_speed_kmh\": %.1f, \"lowest_climb_mps\": %.2f, "
        "\"highest_climb_mps\": %.2f}, ",
        s.startTime, s.stopTime, s.durationSeconds, s.lowestMetres, s.highestMetres,
        JsonKm(s.totalMetres).c_str(), s.topSpeedKmh, s.bestMeanSpeedKmh, s.meanSpeedKmh,
        s.lowestClimbMps, s.highestClimbMps);
    json += PathJson("open", t.open) + ", " + PathJson("three", t.three) + ", " +
            PathJson("four", t.four) + ", " + PathJson("five", t.five) + ", ";
    const OutAndReturnResult& o = t.outAndReturn;
    json += StringPrintf(
        "\"out_and_return\": {\"found\": %s, \"km\": %s, \"out_km\": %s, \"gap_km\": %s, "
        "\"index\": [%zu, %zu, %zu]}, ",
        o.score != 0 ? "true" : "false", JsonKm(o.score).c_str(), JsonKm(o.outMetres).c_str(),
        JsonKm(o.gapMetres).c_str(), o.start, o.turn, o.ret);
    json += TriangleJson("flat", t.flat) + ", " + TriangleJson("fai", t.fai);
    json += StringPrintf(", \"cancelled\": %s", t.cancelled ? "true" : "false");
    if (report.exact) {
        const ExactResults& e = report.exactResults;
        json += StringPrintf(", \"exact\": {\"rules\": \"%s\", ",
                             report.exactOptions.rules == ExactRules::Olc ? "olc" : "trip");
        json += ExactJson("five", e.five, false) + ", " + ExactJson("flat", e.flat, true) + ", " +
                ExactJson("fai", e.fai, true) + "}";
    }
    json += "}";
    return json + "\n";
}

namespace {

std::string TimeOfDay(std::span<const TrackPoint> points, std::size_t index) {
    if (index >= points.size()) {
        return "--:--:--";
    }
    const std::uint32_t t = points[index].time % 86400;
    return StringPrintf("%02u:%02u:%02u", t / 3600, t / 60 % 60, t % 60);
}

template <std::size_t N>
std::string TimeList(std::span<const TrackPoint> points, const std::array<std::size_t, N>& index,
                     bool json) {
    std::string text;
    for (std::size_t i = 0; i < N; ++i) {
        const std::string t = TimeOfDay(points, index[i]);
        text += (i == 0 ? "" : json ? ", " : " ") + (json ? "\"" + t + "\"" : t);
    }
    return text;
}

std::string OlcTriangleText(const char* name, const TriangleResult& r, double olcPoints,
                            std::span<const TrackPoint> points) {
    if (r.score == 0) {
        return StringPrintf("%-22s none\n", name);
    }
    return StringPrintf("%-22s %.2f points, %s km (legs %s km, gap %s km), fixes %s at %s\n", name,
                        olcPoints, Km(r.score).c_str(), KmList(r.legs, false).c_str(),
                        Km(r.gapMetres).c_str(), IndexList(r.index).c_str(),
                        TimeList(points, r.index, false).c_str());
}

std::string OlcTriangleJson(const char* name, const TriangleResult& r, double olcPoints,
                            std::span<const TrackPoint> points) {
    return StringPrintf(
        "\"%s\": {\"found\": %s, \"points\": %.2f, \"km\": %s, \"legs_km\": [%s], "
        "\"gap_km\": %s, \"index\": [%s], \"time\": [%s]}",
        name, r.score != 0 ? "true" : "false", olcPoints, JsonKm(r.score).c_str(),
        KmList(r.legs, true).c_str(), JsonKm(r.gapMetres).c_str(), IndexList(r.index).c_str(),
        TimeList(points, r.index, true).c_str());
}

}  // namespace

std::string OlcReportText(const OlcResults& r, std::span<const TrackPoint> points,
                          const std::vector<std::string>& warnings) {
    std::string text;
    for (const std::string& warning : warnings) {
        text += warning + "\n";
    }
    if (r.cancelled) {
        return text + r.haltText + "\n";
    }
    text += StringPrintf("%-22s %zu\n", "Positions", points.size());
    text += StringPrintf("%-22s %s km, fixes %s at %s (not scored)\n", "Max. distance",
                         Km(r.maxDistance.sum).c_str(), IndexList(r.maxDistance.index).c_str(),
                         TimeList(points, r.maxDistance.index, false).c_str());
    text += StringPrintf("%-22s %.2f points, %s km (%s km), fixes %s at %s\n", "Free distance",
                         r.freeDistancePoints, Km(r.freeDistance.sum).c_str(),
                         KmList(r.freeDistance.legs, false).c_str(),
                         IndexList(r.freeDistance.index).c_str(),
                         TimeList(points, r.freeDistance.index, false).c_str());
    const OutAndReturnResult& o = r.outAndReturn;
    if (o.score == 0) {
        text += StringPrintf("%-22s none (not scored)\n", "Out-and-return");
    } else {
        text +=
            StringPrintf("%-22s %s km (out %s km, gap %s km), fixes %zu, %zu, %zu (not scored)\n",
                         "Out-and-return", Km(o.score).c_str(), Km(o.outMetres).c_str(),
                         Km(o.gapMetres).c_str(), o.start, o.turn, o.ret);
    }
    text += OlcTriangleText("Free triangle", r.freeTriangle, r.freeTrianglePoints, points);
    text += OlcTriangleText("FAI triangle", r.faiTriangle, r.faiTrianglePoints, points);
    if (r.exact) {
        const ExactResults& e = r.exactResults;
        text += "Exact optimum over every fix (contest rules):\n";
        text += ExactText("Free distance", e.five, false);
        text += ExactText("Free triangle", e.flat, true);
        text += ExactText("FAI triangle", e.fai, true);
        text += StringPrintf("%-22s free distance %.2f, free triangle %.2f, FAI triangle %.2f\n",
                             "Exact points", r.Points(OlcKind::kFreeDistance),
                             r.Points(OlcKind::kFreeTriangle), r.Points(OlcKind::kFaiTriangle));
    }
    return text + OlcBestText(r) + "\n";
}

std::string OlcReportJson(const OlcResults& r, std::span<const TrackPoint> points,
                          const std::vector<std::string>& warnings) {
    std::string list;
    for (const std::string& w : warnings) {
        list += (list.empty() ? "" : ", ") + JsonString(w);
    }
    std::string json =
        StringPrintf("{\"points\": %zu, \"warnings\": [%s], ", points.size(), list.c_str());
    json += StringPrintf("\"cancelled\": %s, ", r.cancelled ? "true" : "false");
    json += PathJson("max_distance", r.maxDistance) + ", ";
    json += StringPrintf(
        "\"free_distance\": {\"points\": %.2f, \"km\": %s, \"legs_km\": [%s], \"index\": [%s], "
        "\"time\": [%s]}, ",
        r.freeDistancePoints, JsonKm(r.freeDistance.sum).c_str(),
        KmList(r.freeDistance.legs, true).c_str(), IndexList(r.freeDistance.index).c_str(),
        TimeList(points, r.freeDistance.index, true).c_str());
    const OutAndReturnResult& o = r.outAndReturn;
    json += StringPrintf(
        "\"out_and_return\": {\"found\": %s, \"km\": %s, \"out_km\": %s, \"gap_km\": %s, "
        "\"index\": [%zu, %zu, %zu]}, ",
        o.score != 0 ? "true" : "false", JsonKm(o.score).c_str(), JsonKm(o.outMetres).c_str(),
        JsonKm(o.gapMetres).c_str(), o.start, o.turn, o.ret);
    json += OlcTriangleJson("free_triangle", r.freeTriangle, r.freeTrianglePoints, points) + ", ";
    json += OlcTriangleJson("fai_triangle", r.faiTriangle, r.faiTrianglePoints, points) + ", ";
    if (r.exact) {
        const ExactResults& e = r.exactResults;
        json +=
            "\"exact\": {\"rules\": \"olc\", " + ExactJson("free_distance", e.five, false) + ", " +
            ExactJson("free_triangle", e.flat, true) + ", " +
            ExactJson("fai_triangle", e.fai, true) +
            StringPrintf(", \"points\": [%.2f, %.2f, %.2f]}, ", r.Points(OlcKind::kFreeDistance),
                         r.Points(OlcKind::kFreeTriangle), r.Points(OlcKind::kFaiTriangle));
    }
    json +=
        StringPrintf("\"best\": {\"kind\": \"%s\", \"points\": %.2f, \"index\": [%s]}}",
                     OlcKindName(r.best), r.Points(r.best), IndexList(r.Indices(r.best)).c_str());
    return json + "\n";
}

}  // namespace tracora::analysis
