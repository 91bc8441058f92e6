// The picture of a curve, worked out once for every way it is drawn (the curve window, an SVG
// file): the data ranges, the line or the point marks in data units, the axis ticks with their
// labels and the texts beside the plot. Mapping to pixels is the drawer's.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "analysis/flight_curves.hpp"

namespace tracora::documents {

struct PlotTick {
    double at = 0;
    std::string label;
};

struct CurvePlot {
    std::string title;  // "Vario view"
    std::string xAxis, yAxis;
    // x: seconds since the first point (vario, glide) or km/h (polar); y: the curve's unit.
    double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
    std::vector<std::pair<double, double>> points;
    bool marks = false;  // points drawn as marks (the polar) rather than a line
    std::vector<PlotTick> xTicks, yTicks;
    // The extremes' texts (vario, glide).
    std::vector<std::string> notes;
    // Where the extremes are, for their marks.
    std::vector<std::pair<double, double>> extremes;
    std::uint32_t startTime = 0;
};

CurvePlot BuildCurvePlot(const analysis::CurveData& data);

// Where the plot area lies in a picture of `width` x `height` pixels (room left for the labels),
// and the mapping between data and pixels both ways.
struct PlotFrame {
    double left = 0, top = 0, width = 1, height = 1;

    static PlotFrame For(int pictureWidth, int pictureHeight);
    double X(const CurvePlot& plot, double value) const;
    double Y(const CurvePlot& plot, double value) const;
    double ValueAtX(const CurvePlot& plot, double x) const;
    double ValueAtY(const CurvePlot& plot, double y) const;
};

// Ticks at round steps covering [low, high], about `count` of them.
std::vector<double> RoundTicks(double low, double high, int count);

// The plot as a standalone SVG document of `width` x `height` pixels.
std::string CurvePlotSvg(const CurvePlot& plot, int width, int height);

}  // namespace tracora::documents
