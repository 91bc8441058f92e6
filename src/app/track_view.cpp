#include "app/track_view.hpp"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "app/list_models.hpp"
#include "core/geodesy.hpp"

namespace tracora::app {

TrackViewWindow::TrackViewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Track"));
    resize(720, 560);
    setAttribute(Qt::WA_DeleteOnClose);
}

double TrackViewWindow::ScaleBarMetres(double metres) {
    const double most = metres / 5.0;
    if (!(most > 0)) {
        return 0;
    }
    double power = std::pow(10.0, std::floor(std::log10(most)));
    for (const double step : {5.0, 2.0, 1.0}) {
        if (step * power <= most) {
            return step * power;
        }
    }
    return power;
}

void TrackViewWindow::SetPoints(std::vector<TrackPoint> points) {
    points_ = std::move(points);
    x_.assign(points_.size(), 0.0);
    y_.assign(points_.size(), 0.0);
    minX_ = maxX_ = minY_ = maxY_ = 0;
    if (points_.empty()) {
        update();
        return;
    }
    // The middle meridian of the flight keeps the projection's distortion small.
    const auto [west, east] = std::minmax_element(
        points_.begin(), points_.end(),
        [](const TrackPoint& a, const TrackPoint& b) { return a.longitude < b.longitude; });
    const double meridian =
        (SemicirclesToRadians(west->longitude) + SemicirclesToRadians(east->longitude)) / 2;
    minAltitude_ = maxAltitude_ = points_.front().gpsAltitude;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const GeoPoint point{SemicirclesToRadians(points_[i].latitude),
                             SemicirclesToRadians(points_[i].longitude)};
        ProjectTransverseMercator(point, meridian, x_[i], y_[i]);
        minAltitude_ = std::min(minAltitude_, points_[i].gpsAltitude);
        maxAltitude_ = std::max(maxAltitude_, points_[i].gpsAltitude);
    }
    minX_ = *std::min_element(x_.begin(), x_.end());
    maxX_ = *std::max_element(x_.begin(), x_.end());
    minY_ = *std::min_element(y_.begin(), y_.end());
    maxY_ = *std::max_element(y_.begin(), y_.end());
    update();
}

void TrackViewWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(250, 250, 246));
    if (points_.empty()) {
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("No positions"));
        return;
    }
    const double margin = 40;
    const double textHeight = 2.5 * painter.fontMetrics().height();
    const double areaWidth = std::max(10.0, width() - 2 * margin);
    const double areaHeight = std::max(10.0, height() - 2 * margin - textHeight);
    const double spanX = std::max(maxX_ - minX_, 1.0);
    const double spanY = std::max(maxY_ - minY_, 1.0);
    const double scale = std::min(areaWidth / spanX, areaHeight / spanY);  // pixels a metre
    const double left = margin + (areaWidth - spanX * scale) / 2;
    const double top = margin + textHeight + (areaHeight - spanY * scale) / 2;
    const auto screen = [&](std::size_t i) {
        return QPointF(left + (x_[i] - minX_) * scale, top + (maxY_ - y_[i]) * scale);
    };

    // The extent as a frame.
    painter.setPen(QPen(QColor(200, 200, 190), 1, Qt::DashLine));
    painter.drawRect(QRectF(left, top, spanX * scale, spanY * scale));

    // The line; a new segment starts a new sub-path.
    QPainterPath path;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (i == 0 || points_[i].StartsSegment()) {
            path.moveTo(screen(i));
        } else {
            path.lineTo(screen(i));
        }
    }
    painter.setPen(QPen(QColor(30, 90, 200), 1.5));
    painter.drawPath(path);

    // Take-off and landing.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 160, 60));
    painter.drawEllipse(screen(0), 5, 5);
    painter.setBrush(QColor(210, 40, 40));
    painter.drawEllipse(screen(points_.size() - 1), 5, 5);

    // The scale bar at the bottom left.
    const double barMetres = ScaleBarMetres(areaWidth / scale);
    const double barPixels = barMetres * scale;
    const QPointF barStart(margin, height() - margin / 2);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(barStart, barStart + QPointF(barPixels, 0));
    painter.drawLine(barStart, barStart + QPointF(0, -6));
    painter.drawLine(barStart + QPointF(barPixels, 0), barStart + QPointF(barPixels, -6));
    const QString barText = barMetres >= 1000 ? QStringLiteral("%1 km").arg(barMetres / 1000)
                                              : QStringLiteral("%1 m").arg(barMetres);
    painter.drawText(barStart + QPointF(barPixels + 8, 0), barText);

    // The flight's extent, time and heights at the top.
    const TrackPoint& first = points_.front();
    const TrackPoint& last = points_.back();
    const QString line1 = QStringLiteral("%1  %2 - %3 UTC   %4 positions")
                              .arg(TrackDateText(first), TrackTimeText(first), TrackTimeText(last))
                              .arg(points_.size());
    const QString line2 = QStringLiteral("Extent %1 km x %2 km   Height (GPS) %3 - %4 m")
                              .arg((maxX_ - minX_) / 1000, 0, 'f', 1)
                              .arg((maxY_ - minY_) / 1000, 0, 'f', 1)
                              .arg(std::lround(minAltitude_ / 10.0))
                              .arg(std::lround(maxAltitude_ / 10.0));
    painter.setPen(Qt::black);
    const int lineHeight = painter.fontMetrics().height();
    painter.drawText(QPointF(margin, margin / 2 + lineHeight), line1);
    painter.drawText(QPointF(margin, margin / 2 + 2 * lineHeight), line2);
    // North.
    painter.drawText(QPointF(width() - margin, margin / 2 + lineHeight), QStringLiteral("N ↑"));
}

}  // namespace tracora::app
