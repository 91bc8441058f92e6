// The track view: the picture of the current track log. The positions are drawn as a line on a
// plane (Transverse Mercator about the flight's middle meridian) with a scale bar and the
// flight's extent; the distance optimisation's results, the loaded airspaces and waypoints are
// drawn over it, and a barogram (height over time) lies under it. Rows selected in the list are
// highlighted on both; a click on either reports the position under the pointer. Map tiles from
// a user-given URL template may lie under the track, placed in the same projection.
#pragma once

#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "analysis/distance_optimisation.hpp"
#include "analysis/flight_statistics.hpp"
#include "app/map_tiles.hpp"
#include "core/airspace.hpp"
#include "core/angles.hpp"
#include "core/track_log.hpp"

class QCheckBox;
class QPushButton;

namespace tracora::app {

class TrackViewWindow : public QWidget {
    Q_OBJECT
public:
    // What may be drawn over the track, each switched by its own check box.
    enum class Layer { kFivePoints, kTriangles, kOutAndReturn, kAirspaces, kWaypoints };
    static constexpr std::size_t kLayerCount = 5;

    explicit TrackViewWindow(QWidget* parent = nullptr);
    ~TrackViewWindow() override;

    // Keeps its own copy: the store may change while the window is open. A log that differs
    // from the one shown replaces it, clears the selection and starts its optimisation (a run
    // still going for the old log is halted first).
    void SetPoints(std::vector<TrackPoint> points,
                   const analysis::OptimisationOptions& options = {});
    // The rows of the track log list that are selected, in any order.
    void SetSelection(std::vector<std::size_t> rows);
    // The waypoints and airspaces drawn on the plane (airspace arcs as chords of at most
    // `maxSegmentError` metres).
    void SetOverlays(const WaypointList& waypoints, const CtrList& airspaces, int maxSegmentError);

    std::size_t PointCount() const { return points_.size(); }
    std::size_t SelectedCount() const { return selectedCount_; }
    // East-west and north-south extent of the positions in metres.
    double WidthMetres() const { return maxX_ - minX_; }
    double HeightMetres() const { return maxY_ - minY_; }
    // The barogram's range: the lowest and highest GPS height in metres.
    int LowestMetres() const { return minAltitude_; }
    int HighestMetres() const { return maxAltitude_; }
    std::size_t WaypointCount() const { return waypoints_.size(); }
    std::size_t AirspaceCount() const { return airspaces_.size(); }

    // The optimisation of the shown log has ended and its results are drawn.
    bool ResultsReady() const { return resultsReady_; }
    const analysis::OptimisationResults& Results() const { return results_; }

    void SetLayerVisible(Layer layer, bool visible);
    bool LayerVisible(Layer layer) const;
    QCheckBox* LayerBox(Layer layer) const { return boxes_[static_cast<std::size_t>(layer)]; }

    // Where position `index` is drawn on the plane and on the barogram, in window coordinates.
    QPointF PlanePosition(std::size_t index) const;
    QPointF BarogramPosition(std::size_t index) const;

    // The map tiles under the track: the URL template (empty: none), the check box that shows
    // them, and what the last drawing used.
    void SetTileTemplate(const QString& urlTemplate);
    QString TileTemplate() const { return tiles_->Template(); }
    TileCache& Tiles() const { return *tiles_; }
    QCheckBox* MapBox() const { return mapBox_; }
    QPushButton* MapButton() const { return mapButton_; }
    int TileZoom() const { return tileZoom_; }
    std::size_t TilesDrawn() const { return tilesDrawn_; }
    std::size_t TilesWanted() const { return tilesWanted_; }

    // The length of the scale bar for a plane `metres` wide: 1, 2 or 5 times a power of ten,
    // at most a fifth of the width.
    static double ScaleBarMetres(double metres);

signals:
    // A click on the plane or the barogram near the drawn position `index`.
    void PositionClicked(std::size_t index);
    // The optimisation's results have arrived.
    void ResultsArrived();
    // The user gave a new tile URL template in the view.
    void TileTemplateEdited(const QString& urlTemplate);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct Frame {
        QRectF plane, barogram;
        double scale = 1, left = 0, top = 0;  // plane: pixels a metre and the origin
    };
    struct Outline {
        std::vector<std::pair<std::int32_t, std::int32_t>> geo;  // semicircles
        std::vector<QPointF> plane;                              // metres
    };
    struct Mark {
        std::int32_t latitude = 0, longitude = 0;  // semicircles
        QPointF plane;                             // metres
        QString id;
    };

    Frame Layout() const;
    QPointF ToScreen(const Frame& frame, double x, double y) const;
    QPointF BarogramPoint(const Frame& frame, std::size_t index) const;
    QPointF Project(std::int32_t latitude, std::int32_t longitude) const;
    QPointF ProjectDegrees(double latitude, double longitude) const;
    // The position (degrees) drawn at plane point `plane` (metres).
    GeoPoint Unproject(const QPointF& plane) const;
    void DrawTiles(QPainter& painter, const Frame& frame);
    void EditTileTemplate();
    void ProjectOverlays();
    void StartOptimisation(const analysis::OptimisationOptions& options);
    void StopOptimisation();
    void DrawResults(QPainter& painter, const Frame& frame) const;
    void DrawBarogram(QPainter& painter, const Frame& frame) const;

    std::vector<TrackPoint> points_;
    std::vector<double> x_, y_;
    std::vector<bool> selected_;
    std::size_t selectedCount_ = 0;
    double meridian_ = 0;
    double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
    int minAltitude_ = 0, maxAltitude_ = 0;
    std::vector<Outline> airspaces_;
    std::vector<Mark> waypoints_;

    double middleLatitude_ = 0;  // radians

    std::array<QCheckBox*, kLayerCount> boxes_{};
    QCheckBox* mapBox_ = nullptr;
    QPushButton* mapButton_ = nullptr;
    TileCache* tiles_ = nullptr;
    int tileZoom_ = -1;
    std::size_t tilesDrawn_ = 0, tilesWanted_ = 0;
    QWidget* bar_ = nullptr;
    analysis::OptimisationResults results_;
    bool resultsReady_ = false;
    // Counts the logs shown; a result of an older log is dropped.
    unsigned generation_ = 0;
    analysis::OptimisationWorker worker_;
};

}  // namespace tracora::app
