#include "documents/curve_plot.hpp"

#include <algorithm>
#include <cmath>

#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/common/xml_escape.hpp"

namespace tracora::documents {

namespace {

// "10:35", or "10:35:30" where the ticks are less than a minute apart.
std::string ClockLabel(std::uint32_t time, bool seconds) {
    const CalendarTime t = TimeToCalendar(time);
    return seconds ? StringPrintf("%02d:%02d:%02d", t.hour, t.minute, t.second)
                   : StringPrintf("%02d:%02d", t.hour, t.minute);
}

std::string NumberLabel(double value, double step) {
    const int decimals =
        step >= 1 ? 0 : std::min(3, static_cast<int>(std::ceil(-std::log10(step))));
    return StringPrintf("%.*f", decimals, value);
}

// A time step of round minutes or hours giving about `count` ticks.
double TimeStep(double span, int count) {
    static constexpr double kSteps[] = {10,   30,   60,   120,   300,   600,   900,
                                        1800, 3600, 7200, 10800, 21600, 43200, 86400};
    for (const double step : kSteps) {
        if (span / step <= count)
            return step;
    }
    return std::ceil(span / count / 86400) * 86400;
}

}  // namespace

PlotFrame PlotFrame::For(int pictureWidth, int pictureHeight) {
    constexpr double kLeft = 60, kRight = 20, kTop = 40, kBottom = 40;
    return {kLeft, kTop, std::max(1.0, pictureWidth - kLeft - kRight),
            std::max(1.0, pictureHeight - kTop - kBottom)};
}

double PlotFrame::X(const CurvePlot& plot, double value) const {
    return left + (value - plot.xMin) / (plot.xMax - plot.xMin) * width;
}

double PlotFrame::Y(const CurvePlot& plot, double value) const {
    return top + (plot.yMax - value) / (plot.yMax - plot.yMin) * height;
}

double PlotFrame::ValueAtX(const CurvePlot& plot, double x) const {
    return plot.xMin + (x - left) / width * (plot.xMax - plot.xMin);
}

double PlotFrame::ValueAtY(const CurvePlot& plot, double y) const {
    return plot.yMax - (y - top) / height * (plot.yMax - plot.yMin);
}

std::vector<double> RoundTicks(double low, double high, int count) {
    std::vector<double> ticks;
    if (!(high > low) || count < 1)
        return ticks;
    const double raw = (high - low) / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (raw <= step)
            break;
    }
    for (double at = std::ceil(low / step) * step; at <= high + step * 1e-9; at += step)
        ticks.push_back(std::abs(at) < step * 1e-9 ? 0.0 : at);
    return ticks;
}

CurvePlot BuildCurvePlot(const analysis::CurveData& data) {
    CurvePlot plot;
    plot.title = analysis::CurveWindowTitle(data.kind);
    if (data.kind == analysis::CurveKind::kPolar) {
        plot.marks = true;
        plot.xAxis = "km/h";
        plot.yAxis = "m/s";
        plot.xMin = 0;
        plot.yMin = -1;
        plot.yMax = 1;
        plot.xMax = 10;
        for (const analysis::PolarEntry& entry : data.polar) {
            plot.points.emplace_back(entry.horizontalKmh, entry.verticalMps);
            plot.xMax = std::max(plot.xMax, entry.horizontalKmh);
            plot.yMin = std::min(plot.yMin, entry.verticalMps);
            plot.yMax = std::max(plot.yMax, entry.verticalMps);
        }
        for (const double at : RoundTicks(plot.xMin, plot.xMax, 8))
            plot.xTicks.push_back({at, NumberLabel(at, 1)});
    } else {
        const analysis::SecondSeries& series = data.seconds;
        plot.startTime = series.startTime;
        plot.xAxis = "UTC";
        plot.yAxis = data.kind == analysis::CurveKind::kVario ? "m/s" : "m/m";
        plot.xMin = 0;
        plot.xMax = std::max<double>(1, static_cast<double>(series.value.size()) - 1);
        plot.yMin = series.smallest.value;
        plot.yMax = series.greatest.value;
        if (!(plot.yMax > plot.yMin)) {
            plot.yMin -= 0.05;
            plot.yMax += 0.05;
        }
        plot.points.reserve(series.value.size());
        for (std::size_t k = 0; k < series.value.size(); ++k)
            plot.points.emplace_back(static_cast<double>(k), series.value[k]);
        plot.notes = {analysis::CurveExtremeText(series.greatest, true),
                      analysis::CurveExtremeText(series.smallest, false)};
        plot.extremes = {{series.greatest.time - series.startTime, series.greatest.value},
                         {series.smallest.time - series.startTime, series.smallest.value}};
        // Ticks on round clock times.
        const double step = TimeStep(plot.xMax, 8);
        const double first = std::ceil(series.startTime / step) * step - series.startTime;
        for (double at = first; at <= plot.xMax; at += step) {
            plot.xTicks.push_back(
                {at, ClockLabel(series.startTime + static_cast<std::uint32_t>(at), step < 60)});
        }
    }
    // A little room above and below, so that the extremes do not lie on the frame.
    const double margin = (plot.yMax - plot.yMin) * 0.05;
    plot.yMin -= margin;
    plot.yMax += margin;
    const auto yTicks = RoundTicks(plot.yMin, plot.yMax, 6);
    const double yStep = yTicks.size() > 1 ? yTicks[1] - yTicks[0] : 1;
    for (const double at : yTicks)
        plot.yTicks.push_back({at, NumberLabel(at, yStep)});
    return plot;
}

std::string CurvePlotSvg(const CurvePlot& plot, int width, int height) {
    const PlotFrame frame = PlotFrame::For(width, height);
    const double left = frame.left, top = frame.top, w = frame.width, h = frame.height;
    const auto x = [&](double value) { return frame.X(plot, value); };
    const auto y = [&](double value) { return frame.Y(plot, value); };
    std::string svg = StringPrintf(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
        "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"12\">\n",
        width, height, width, height);
    svg += "<title>";
    formats::AppendXmlText(svg, plot.title);
    svg += "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += StringPrintf(
        "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" "
        "stroke=\"black\"/>\n",
        left, top, w, h);
    for (const PlotTick& tick : plot.xTicks) {
        svg += StringPrintf(
            "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>"
            "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">",
            x(tick.at), top, x(tick.at), top + h, x(tick.at), top + h + 16);
        formats::AppendXmlText(svg, tick.label);
        svg += "</text>\n";
    }
    for (const PlotTick& tick : plot.yTicks) {
        svg += StringPrintf(
            "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\"/>"
            "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">",
            left, y(tick.at), left + w, y(tick.at), tick.at == 0 ? "#888" : "#ddd", left - 6,
            y(tick.at) + 4);
        formats::AppendXmlText(svg, tick.label);
        svg += "</text>\n";
    }
    svg += StringPrintf("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">", left + w, top + h + 32);
    formats::AppendXmlText(svg, plot.xAxis);
    svg += StringPrintf("</text>\n<text x=\"%.1f\" y=\"%.1f\">", 4.0, top - 8);
    formats::AppendXmlText(svg, plot.yAxis);
    svg += "</text>\n";
    if (plot.marks) {
        svg += "<g fill=\"#1f5fbf\">\n";
        for (const auto& [px, py] : plot.points)
            svg += StringPrintf("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"2\"/>\n", x(px), y(py));
        svg += "</g>\n";
    } else if (!plot.points.empty()) {
        svg += "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"1\" points=\"";
        for (const auto& [px, py] : plot.points)
            svg += StringPrintf("%.1f,%.1f ", x(px), y(py));
        svg += "\"/>\n";
    }
    for (std::size_t i = 0; i < plot.extremes.size(); ++i) {
        const auto& [ex, ey] = plot.extremes[i];
        svg +=
            StringPrintf("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"4\" fill=\"none\" stroke=\"%s\"/>\n",
                         x(ex), y(ey), i == 0 ? "#c00" : "#080");
    }
    // The greatest value's text above the plot on the left, the smallest's on the right.
    for (std::size_t i = 0; i < plot.notes.size() && i < 2; ++i) {
        svg += StringPrintf("<text x=\"%.1f\" y=\"16\"%s>", i == 0 ? left : left + w,
                            i == 0 ? "" : " text-anchor=\"end\"");
        formats::AppendXmlText(svg, plot.notes[i]);
        svg += "</text>\n";
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace tracora::documents
