// The three curves of a selection of positions: the climb rate and the glide slope second by
// second, and the polar (vertical against horizontal speed), with the extremes that the curve
// window marks and the texts it shows.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/track_log.hpp"

namespace tracora::analysis {

enum class CurveKind { kVario = 0, kGlide = 1, kPolar = 2 };

// The "Set view intervals" values, kept for the running program.
struct CurveIntervals {
    int varioSeconds = 20;
    int glideSeconds = 20;
    int polarPoints = 1;
};

// Reads the three fields of the intervals dialog: each a positive integer. False when one is
// not ("Bad input", title "Decode input"): a negative interval would index before the series.
bool ParseCurveIntervals(const std::string& vario, const std::string& glide,
                         const std::string& polar, CurveIntervals& out);

struct CurveExtreme {
    double value = 0;
    std::uint32_t time = 0;  // the second at which the value first occurs
};

// One entry a second from the first selected point to the last (duration + 1 entries).
struct SecondSeries {
    std::uint32_t startTime = 0;
    std::vector<double> height;    // metres
    std::vector<double> distance;  // metres flown since the first point
    std::vector<double> value;     // m/s (vario) or metres of height per metre flown (glide)
    CurveExtreme greatest, smallest;
};

struct PolarEntry {
    std::uint32_t time = 0;  // of the later point
    double heightChange = 0;
    double verticalMps = 0;
    double horizontalKmh = 0;
};

struct CurveData {
    CurveKind kind = CurveKind::kVario;
    SecondSeries seconds;  // vario and glide
    std::vector<PolarEntry> polar;
};

// The longest selection the per-second series is made for; a longer one (or a time far off)
// is refused as the series' memory would be ("Vario data memory allocation").
inline constexpr std::uint32_t kMaxCurveSeconds = 7 * 24 * 3600;

// Computes the curve of `points` (the selected positions in track order). 0, or -1 with
// `message` set to the text shown under CurveCommandTitle(kind): "No positions selected",
// "Less than 2 positions selected", "Flight time less than the climb rate interval (20 s)",
// "Time error", ...
int ComputeCurve(std::span<const TrackPoint> points, CurveKind kind,
                 const CurveIntervals& intervals, CurveData& out, std::string& message);

// "Show vario", "Show glide", "Show polar".
const char* CurveCommandTitle(CurveKind kind);
// "Vario view", "Glide view", "Polar view".
const char* CurveWindowTitle(CurveKind kind);
// "12:34:56:  2.35 (max)" and "... (min)", the time of day in UTC.
std::string CurveExtremeText(const CurveExtreme& extreme, bool greatest);
// The pointer read-outs: vario "12:34:56   1.25 m/s  (1.30)", glide "12:34:56   -0.11  (-0.10)",
// polar "35.20 Km/h,  -1.10 m/s".
std::string VarioReadout(std::uint32_t time, double value, double pointerValue);
std::string GlideReadout(std::uint32_t time, double value, double pointerValue);
std::string PolarReadout(double horizontalKmh, double verticalMps);

}  // namespace tracora::analysis
