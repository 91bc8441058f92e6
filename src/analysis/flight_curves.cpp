#include "analysis/flight_curves.hpp"

#include <charconv>
#include <cstdio>
#include <new>

#include "core/geodesy.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"

namespace tracora::analysis {

namespace {

double LegMetres(const TrackPoint& a, const TrackPoint& b) {
    double metres = 0;
    if (GeoDistance(PointRadians(a), PointRadians(b), metres) != 0)
        return 0;
    return metres;
}

bool ParsePositive(const std::string& text, int& value) {
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ')
        digits.remove_suffix(1);
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    return !digits.empty() && ec == std::errc() && ptr == end && value > 0;
}

std::string ClockText(std::uint32_t time) {
    const CalendarTime t = TimeToCalendar(time);
    return StringPrintf("%02d:%02d:%02d", t.hour, t.minute, t.second);
}

// Keeps the first second of the greatest and the smallest value; both start at 0 and the
// first second.
void TrackExtremes(SecondSeries& series) {
    series.greatest = {0, series.startTime};
    series.smallest = {0, series.startTime};
    for (std::size_t k = 0; k < series.value.size(); ++k) {
        const double v = series.value[k];
        const auto time = series.startTime + static_cast<std::uint32_t>(k);
        if (v > series.greatest.value) {
            series.greatest = {v, time};
        } else if (v < series.smallest.value) {
            series.smallest = {v, time};
        }
    }
}

// Heights and distances second by second. 0, or -1 with the message.
int Resample(std::span<const TrackPoint> points, bool pressure, std::uint32_t duration,
             SecondSeries& series, std::string& message) {
    const auto heightOf = [pressure](const TrackPoint& p) {
        return pressure ? static_cast<double>(p.pressureAltitude) : p.gpsAltitude * 0.1;
    };
    try {
        series.height.assign(static_cast<std::size_t>(duration) + 1, 0.0);
        series.distance.assign(static_cast<std::size_t>(duration) + 1, 0.0);
        series.value.assign(static_cast<std::size_t>(duration) + 1, 0.0);
    } catch (const std::bad_alloc&) {
        message = "Vario data memory allocation";
        return -1;
    }
    series.startTime = points.front().time;
    series.height[0] = heightOf(points.front());
    std::size_t at = 0;
    double flown = 0;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const TrackPoint& previous = points[i - 1];
        const TrackPoint& point = points[i];
        const long long dt = static_cast<long long>(point.time) - previous.time;
        // A repeated time, or one that runs backwards, has no place in the seconds.
        if (dt <= 0 || at + static_cast<std::size_t>(dt) > duration) {
            message = "Time error";
            return -1;
        }
        const double h0 = heightOf(previous);
        const double h1 = heightOf(point);
        const double leg = LegMetres(previous, point);
        for (long long s = 1; s <= dt; ++s) {
            series.height[at + static_cast<std::size_t>(s)] =
                h0 + static_cast<double>(s) * (h1 - h0) / static_cast<double>(dt);
            series.distance[at + static_cast<std::size_t>(s)] =
                flown + static_cast<double>(s) * leg / static_cast<double>(dt);
        }
        at += static_cast<std::size_t>(dt);
        flown += leg;
    }
    return 0;
}

}  // namespace

bool ParseCurveIntervals(const std::string& vario, const std::string& glide,
                         const std::string& polar, CurveIntervals& out) {
    CurveIntervals read;
    if (!ParsePositive(vario, read.varioSeconds) || !ParsePositive(glide, read.glideSeconds) ||
        !ParsePositive(polar, read.polarPoints))
        return false;
    out = read;
    return true;
}

int ComputeCurve(std::span<const TrackPoint> points, CurveKind kind,
                 const CurveIntervals& intervals, CurveData& out, std::string& message) {
    out = CurveData{};
    out.kind = kind;
    if (points.empty()) {
        message = "No positions selected";
        return -1;
    }
    if (points.size() < 2) {
        message = "Less than 2 positions selected";
        return -1;
    }
    bool pressure = false;
    for (const TrackPoint& p : points)
        pressure = pressure || p.pressureAltitude != 0;

    if (kind == CurveKind::kPolar) {
        const int n = intervals.polarPoints;
        if (n <= 0 || points.size() <= static_cast<std::size_t>(n)) {
            message = StringPrintf("Position count less than the polar interval (%d)", n);
            return -1;
        }
        const auto heightOf = [pressure](const TrackPoint& p) {
            return pressure ? static_cast<double>(p.pressureAltitude) : p.gpsAltitude * 0.1;
        };
        for (std::size_t i = static_cast<std::size_t>(n); i < points.size(); ++i) {
            const TrackPoint& from = points[i - static_cast<std::size_t>(n)];
            const TrackPoint& to = points[i];
            const long long dt = static_cast<long long>(to.time) - from.time;
            // Two points of the same second have no speed.
            if (dt <= 0)
                continue;
            PolarEntry entry;
            entry.time = to.time;
            entry.heightChange = heightOf(to) - heightOf(from);
            entry.verticalMps = entry.heightChange / static_cast<double>(dt);
            entry.horizontalKmh = LegMetres(from, to) / static_cast<double>(dt) * 3.6;
            out.polar.push_back(entry);
        }
        return 0;
    }

    const bool vario = kind == CurveKind::kVario;
    const int interval = vario ? intervals.varioSeconds : intervals.glideSeconds;
    const long long duration = static_cast<long long>(points.back().time) - points.front().time;
    // A selection exactly one interval long still has one value (its last second).
    if (interval <= 0 || duration < interval) {
        message =
            vario ? StringPrintf("Flight time less than the climb rate interval (%d s)", interval)
                  : StringPrintf("Flight time less than the glide rate interval (%d s)", interval);
        return -1;
    }
    if (duration > kMaxCurveSeconds) {
        message = "Vario data memory allocation";
        return -1;
    }
    SecondSeries& series = out.seconds;
    if (Resample(points, pressure, static_cast<std::uint32_t>(duration), series, message) != 0)
        return -1;
    const auto v = static_cast<std::size_t>(interval);
    for (std::size_t k = v; k < series.value.size(); ++k) {
        const double climb = series.height[k] - series.height[k - v];
        if (vario) {
            series.value[k] = climb / interval;
        } else {
            const double flown = series.distance[k] - series.distance[k - v];
            series.value[k] = flown == 0 ? 0 : climb / flown;
        }
    }
    TrackExtremes(series);
    // A flat curve still gets a scale.
    if (vario && series.greatest.value - series.smallest.value < 0.1) {
        series.greatest.value += 0.05;
        series.smallest.value -= 0.05;
    }
    return 0;
}

const char* CurveCommandTitle(CurveKind kind) {
    switch (kind) {
        case CurveKind::kVario:
            return "Show vario";
        case CurveKind::kGlide:
            return "Show glide";
        case CurveKind::kPolar:
            return "Show polar";
    }
    return "";
}

const char* CurveWindowTitle(CurveKind kind) {
    switch (kind) {
        case CurveKind::kVario:
            return "Vario view";
        case CurveKind::kGlide:
            return "Glide view";
        case CurveKind::kPolar:
            return "Polar view";
    }
    return "";
}

std::string CurveExtremeText(const CurveExtreme& extreme, bool greatest) {
    return ClockText(extreme.time) +
           StringPrintf(":  %.2f %s", extreme.value, greatest ? "(max)" : "(min)");
}

std::string VarioReadout(std::uint32_t time, double value, double pointerValue) {
    return ClockText(time) + StringPrintf("   %.2f m/s  (%.2f)", value, pointerValue);
}

std::string GlideReadout(std::uint32_t time, double value, double pointerValue) {
    return ClockText(time) + StringPrintf("   %.2f  (%.2f)", value, pointerValue);
}

std::string PolarReadout(double horizontalKmh, double verticalMps) {
    return StringPrintf("%.2f Km/h,  %.2f m/s", horizontalKmh, verticalMps);
}

}  // namespace tracora::analysis
