// The track view: the chosen positions drawn as a line on a plane (Transverse Mercator about
// the flight's middle meridian) with a scale bar and the flight's extent.
#pragma once

#include <QWidget>

#include <vector>

#include "core/track_log.hpp"

namespace tracora::app {

class TrackViewWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrackViewWindow(QWidget* parent = nullptr);

    // Keeps its own copy: the store may change while the window is open.
    void SetPoints(std::vector<TrackPoint> points);
    std::size_t PointCount() const { return points_.size(); }
    // East-west and north-south extent of the positions in metres.
    double WidthMetres() const { return maxX_ - minX_; }
    double HeightMetres() const { return maxY_ - minY_; }

    // The length of the scale bar for a plane `metres` wide: 1, 2 or 5 times a power of ten,
    // at most a fifth of the width.
    static double ScaleBarMetres(double metres);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TrackPoint> points_;
    std::vector<double> x_, y_;
    double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
    int minAltitude_ = 0, maxAltitude_ = 0;
};

}  // namespace tracora::app
