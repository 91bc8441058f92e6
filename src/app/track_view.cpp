#include "app/track_view.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/list_models.hpp"
#include "core/geodesy.hpp"
#include "formats/openair/ctr_polygon.hpp"

namespace tracora::app {

namespace {

// The colours of the written flight document: its result lines are opaque blue (the open
// distance red), the track a light blue.
const QColor kResultColour(0, 0, 255);
const QColor kTrackColour(89, 172, 255);
const QColor kSelectionColour(255, 140, 0);
const QColor kAirspaceColour(200, 30, 160);
const QColor kWaypointColour(20, 120, 40);

constexpr double kMargin = 40;
// The share of the drawing area below the check boxes that the barogram takes.
constexpr double kBarogramShare = 0.26;
// How near, in pixels, a click must be to a drawn position on the plane.
constexpr double kClickPixels = 12;
// The most tiles one drawing asks for; a larger view takes a coarser zoom.
constexpr std::size_t kMaxTilesInView = 64;
// Each tile is bent into the plane's projection in this many strips a side.
constexpr int kTileCells = 8;
// The WGS-84 equator's length in metres, which the Web-Mercator tiling spans at zoom 0.
constexpr double kEquatorMetres = 2 * 3.14159265358979323846 * 6378137.0;

const char* const kLayerTexts[TrackViewWindow::kLayerCount] = {
    "5 points", "Triangles", "Out-and-return", "Airspaces", "Waypoints"};

bool SamePoints(const std::vector<TrackPoint>& a, const std::vector<TrackPoint>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(TrackPoint)) == 0);
}

}  // namespace

TrackViewWindow::TrackViewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Track"));
    resize(760, 720);
    setAttribute(Qt::WA_DeleteOnClose);
    bar_ = new QWidget(this);
    auto* row = new QHBoxLayout(bar_);
    row->setContentsMargins(8, 4, 8, 4);
    for (std::size_t i = 0; i < kLayerCount; ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(kLayerTexts[i]), bar_);
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [this] { update(); });
        boxes_[i] = box;
        row->addWidget(box);
    }
    // The map under the track: shown when a tile URL template is set.
    mapBox_ = new QCheckBox(QStringLiteral("Map"), bar_);
    mapBox_->setChecked(true);
    mapBox_->setEnabled(false);
    connect(mapBox_, &QCheckBox::toggled, this, [this] { update(); });
    row->addWidget(mapBox_);
    mapButton_ = new QPushButton(QStringLiteral("Map tiles..."), bar_);
    connect(mapButton_, &QPushButton::clicked, this, &TrackViewWindow::EditTileTemplate);
    row->addWidget(mapButton_);
    row->addStretch(1);
    tiles_ = new TileCache(DefaultTileCacheFolder(), this);
    connect(tiles_, &TileCache::TileArrived, this, [this] { update(); });
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(bar_);
    outer->addStretch(1);
}

TrackViewWindow::~TrackViewWindow() {
    StopOptimisation();
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

void TrackViewWindow::SetLayerVisible(Layer layer, bool visible) {
    LayerBox(layer)->setChecked(visible);
}

bool TrackViewWindow::LayerVisible(Layer layer) const {
    return LayerBox(layer)->isChecked();
}

QPointF TrackViewWindow::Project(std::int32_t latitude, std::int32_t longitude) const {
    const GeoPoint point{SemicirclesToRadians(latitude), SemicirclesToRadians(longitude)};
    double x = 0;
    double y = 0;
    ProjectTransverseMercator(point, meridian_, x, y);
    return {x, y};
}

QPointF TrackViewWindow::ProjectDegrees(double latitude, double longitude) const {
    const GeoPoint point{latitude / kRadiansToDegrees, longitude / kRadiansToDegrees};
    double x = 0;
    double y = 0;
    ProjectTransverseMercator(point, meridian_, x, y);
    return {x, y};
}

GeoPoint TrackViewWindow::Unproject(const QPointF& plane) const {
    // Newton's method on the forward projection, from the spherical guess; a few steps reach
    // a millimetre anywhere a flight is drawn.
    constexpr double kEarthMetres = 6371000.0;
    constexpr double kStep = 1e-6;  // radians
    const auto at = [&](double latitude, double longitude) {
        double x = 0;
        double y = 0;
        ProjectTransverseMercator({latitude, longitude}, meridian_, x, y);
        return QPointF(x, y);
    };
    double latitude =
        middleLatitude_ + (plane.y() - at(middleLatitude_, meridian_).y()) / kEarthMetres;
    double longitude =
        meridian_ + plane.x() / (kEarthMetres * std::max(0.01, std::cos(middleLatitude_)));
    for (int i = 0; i < 6; ++i) {
        const QPointF here = at(latitude, longitude);
        const QPointF dLat = (at(latitude + kStep, longitude) - here) / kStep;
        const QPointF dLon = (at(latitude, longitude + kStep) - here) / kStep;
        const double det = dLat.x() * dLon.y() - dLat.y() * dLon.x();
        if (std::abs(det) < 1e-9) {
            break;
        }
        const QPointF miss = plane - here;
        latitude += (miss.x() * dLon.y() - miss.y() * dLon.x()) / det;
        longitude += (dLat.x() * miss.y() - dLat.y() * miss.x()) / det;
        latitude = std::clamp(latitude, -1.5, 1.5);
    }
    return {latitude * kRadiansToDegrees, longitude * kRadiansToDegrees};
}

void TrackViewWindow::SetTileTemplate(const QString& urlTemplate) {
    tiles_->SetTemplate(urlTemplate);
    mapBox_->setEnabled(!tiles_->Template().isEmpty());
    update();
}

void TrackViewWindow::EditTileTemplate() {
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, QStringLiteral("Map tiles"),
                              QStringLiteral("Tile URL with {z}, {x} and {y} (empty: no map)"),
                              QLineEdit::Normal, tiles_->Template(), &ok);
    if (!ok) {
        return;
    }
    SetTileTemplate(text);
    emit TileTemplateEdited(tiles_->Template());
}

void TrackViewWindow::DrawTiles(QPainter& painter, const Frame& frame) {
    tilesDrawn_ = 0;
    tilesWanted_ = 0;
    tileZoom_ = -1;
    if (tiles_->Template().isEmpty() || !mapBox_->isChecked()) {
        return;
    }
    // The positions at the edges of the visible plane give the tiles to draw.
    const QRectF visible = painter.clipBoundingRect();
    double south = 90, north = -90, west = 180, east = -180;
    for (int i = 0; i <= 4; ++i) {
        for (int j = 0; j <= 4; ++j) {
            const double sx = visible.left() + visible.width() * i / 4;
            const double sy = visible.top() + visible.height() * j / 4;
            const GeoPoint at = Unproject(
                {minX_ + (sx - frame.left) / frame.scale, maxY_ - (sy - frame.top) / frame.scale});
            south = std::min(south, at.latitude);
            north = std::max(north, at.latitude);
            west = std::min(west, at.longitude);
            east = std::max(east, at.longitude);
        }
    }
    south = std::max(south, -85.0);
    north = std::min(north, 85.0);
    west = std::max(west, -180.0);
    east = std::min(east, 179.999999);
    if (!(south < north) || !(west < east)) {
        return;
    }
    // The zoom whose tile pixel is no larger than a screen pixel.
    const double metresPerPixel = 1.0 / frame.scale;
    const double latitude = (south + north) / 2 / kRadiansToDegrees;
    int zoom = static_cast<int>(
        std::ceil(std::log2(kEquatorMetres * std::cos(latitude) / kTilePixels / metresPerPixel)));
    zoom = std::clamp(zoom, 0, kMaxTileZoom);
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (;; --zoom) {
        x0 = static_cast<int>(std::floor(TileX(west, zoom)));
        x1 = static_cast<int>(std::floor(TileX(east, zoom)));
        y0 = static_cast<int>(std::floor(TileY(north, zoom)));
        y1 = static_cast<int>(std::floor(TileY(south, zoom)));
        const auto count =
            static_cast<std::size_t>(x1 - x0 + 1) * static_cast<std::size_t>(y1 - y0 + 1);
        if (count <= kMaxTilesInView || zoom == 0) {
            break;
        }
    }
    tileZoom_ = zoom;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QTransform base = painter.transform();
    constexpr double cell = static_cast<double>(kTilePixels) / kTileCells;
    for (int ty = y0; ty <= y1; ++ty) {
        for (int tx = x0; tx <= x1; ++tx) {
            ++tilesWanted_;
            const QImage* image = tiles_->Tile({zoom, tx, ty});
            if (image == nullptr) {
                continue;
            }
            ++tilesDrawn_;
            // The corners of the cells in window coordinates.
            std::array<QPointF, (kTileCells + 1) * (kTileCells + 1)> corners{};
            const auto corner = [&corners](int j, int i) -> QPointF& {
                return corners[static_cast<std::size_t>(j * (kTileCells + 1) + i)];
            };
            for (int j = 0; j <= kTileCells; ++j) {
                const double lat = TileLatitude(ty + static_cast<double>(j) / kTileCells, zoom);
                for (int i = 0; i <= kTileCells; ++i) {
                    const double lon =
                        TileLongitude(tx + static_cast<double>(i) / kTileCells, zoom);
                    const QPointF plane = ProjectDegrees(lat, lon);
                    corner(j, i) = ToScreen(frame, plane.x(), plane.y());
                }
            }
            for (int j = 0; j < kTileCells; ++j) {
                for (int i = 0; i < kTileCells; ++i) {
                    const QRectF source(i * cell, j * cell, cell, cell);
                    QTransform bend;
                    const QPolygonF from({source.topLeft(), source.topRight(), source.bottomRight(),
                                          source.bottomLeft()});
                    if (!QTransform::quadToQuad(from,
                                                QPolygonF({corner(j, i), corner(j, i + 1),
                                                           corner(j + 1, i + 1), corner(j + 1, i)}),
                                                bend)) {
                        continue;
                    }
                    painter.setTransform(bend * base);
                    // A hair wider than the cell, so that neighbours meet without a seam.
                    painter.drawImage(source.adjusted(0, 0, 0.5, 0.5), *image,
                                      source.adjusted(0, 0, 0.5, 0.5));
                }
            }
            painter.setTransform(base);
        }
    }
    painter.restore();
    // A light veil keeps the track readable over a busy map.
    if (tilesDrawn_ > 0) {
        painter.fillRect(visible, QColor(255, 255, 255, 70));
    }
}

void TrackViewWindow::SetPoints(std::vector<TrackPoint> points,
                                const analysis::OptimisationOptions& options) {
    if (SamePoints(points, points_)) {
        return;
    }
    StopOptimisation();
    points_ = std::move(points);
    x_.assign(points_.size(), 0.0);
    y_.assign(points_.size(), 0.0);
    selected_.assign(points_.size(), false);
    selectedCount_ = 0;
    minX_ = maxX_ = minY_ = maxY_ = 0;
    minAltitude_ = maxAltitude_ = 0;
    if (points_.empty()) {
        ProjectOverlays();
        update();
        return;
    }
    // The middle meridian of the flight keeps the projection's distortion small.
    const auto [west, east] = std::minmax_element(
        points_.begin(), points_.end(),
        [](const TrackPoint& a, const TrackPoint& b) { return a.longitude < b.longitude; });
    meridian_ = (SemicirclesToRadians(west->longitude) + SemicirclesToRadians(east->longitude)) / 2;
    const auto [south, north] = std::minmax_element(
        points_.begin(), points_.end(),
        [](const TrackPoint& a, const TrackPoint& b) { return a.latitude < b.latitude; });
    middleLatitude_ =
        (SemicirclesToRadians(south->latitude) + SemicirclesToRadians(north->latitude)) / 2;
    int lowest = std::numeric_limits<int>::max();
    int highest = std::numeric_limits<int>::min();
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const QPointF at = Project(points_[i].latitude, points_[i].longitude);
        x_[i] = at.x();
        y_[i] = at.y();
        lowest = std::min(lowest, points_[i].gpsAltitude);
        highest = std::max(highest, points_[i].gpsAltitude);
    }
    minAltitude_ = static_cast<int>(std::lround(lowest / 10.0));
    maxAltitude_ = static_cast<int>(std::lround(highest / 10.0));
    minX_ = *std::min_element(x_.begin(), x_.end());
    maxX_ = *std::max_element(x_.begin(), x_.end());
    minY_ = *std::min_element(y_.begin(), y_.end());
    maxY_ = *std::max_element(y_.begin(), y_.end());
    ProjectOverlays();
    StartOptimisation(options);
    update();
}

void TrackViewWindow::SetSelection(std::vector<std::size_t> rows) {
    std::fill(selected_.begin(), selected_.end(), false);
    selectedCount_ = 0;
    for (std::size_t row : rows) {
        if (row < selected_.size() && !selected_[row]) {
            selected_[row] = true;
            ++selectedCount_;
        }
    }
    update();
}

void TrackViewWindow::SetOverlays(const WaypointList& waypoints, const CtrList& airspaces,
                                  int maxSegmentError) {
    waypoints_.clear();
    for (const Waypoint& waypoint : waypoints.items) {
        Mark mark;
        mark.latitude = waypoint.latitude;
        mark.longitude = waypoint.longitude;
        const std::string_view id = waypoint.Id();
        mark.id = QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size()));
        waypoints_.push_back(std::move(mark));
    }
    airspaces_.clear();
    int number = 0;
    for (const CtrArea& area : airspaces.areas) {
        std::vector<Waypoint> corners;
        if (openair::CtrToPolygon(area, number++, maxSegmentError, 0, corners) != 0 ||
            corners.size() < 2) {
            continue;
        }
        Outline outline;
        for (const Waypoint& corner : corners) {
            outline.geo.emplace_back(corner.latitude, corner.longitude);
        }
        airspaces_.push_back(std::move(outline));
    }
    ProjectOverlays();
    update();
}

void TrackViewWindow::ProjectOverlays() {
    for (Mark& mark : waypoints_) {
        mark.plane = Project(mark.latitude, mark.longitude);
    }
    for (Outline& outline : airspaces_) {
        outline.plane.clear();
        for (const auto& [latitude, longitude] : outline.geo) {
            outline.plane.push_back(Project(latitude, longitude));
        }
    }
}

void TrackViewWindow::StopOptimisation() {
    worker_.Halt();
    worker_.Join();
    ++generation_;
    resultsReady_ = false;
    results_ = {};
}

void TrackViewWindow::StartOptimisation(const analysis::OptimisationOptions& options) {
    // A flight needs at least a few positions before its distances mean anything.
    if (points_.size() < 5) {
        return;
    }
    TrackViewWindow* const view = this;
    const unsigned generation = generation_;
    // The window outlives the worker (the destructor joins it), and Qt drops what is still
    // queued for a window that is gone.
    worker_.Start(points_, options, {}, [view, generation] {
        QMetaObject::invokeMethod(
            view,
            [view, generation] {
                if (generation != view->generation_) {
                    return;
                }
                view->worker_.Join();
                view->results_ = view->worker_.Result();
                view->resultsReady_ = view->results_.done;
                view->update();
                emit view->ResultsArrived();
            },
            Qt::QueuedConnection);
    });
}

TrackViewWindow::Frame TrackViewWindow::Layout() const {
    Frame frame;
    const double barHeight = bar_ ? bar_->sizeHint().height() : 0;
    const double textHeight = 2.5 * fontMetrics().height();
    const double areaTop = barHeight + textHeight + kMargin / 2;
    const double areaHeight = std::max(40.0, height() - areaTop - kMargin / 2);
    const double baroHeight = std::max(20.0, areaHeight * kBarogramShare);
    const double width = std::max(10.0, this->width() - 2 * kMargin);
    frame.plane =
        QRectF(kMargin, areaTop, width, std::max(10.0, areaHeight - baroHeight - kMargin));
    frame.barogram = QRectF(kMargin + 10, frame.plane.bottom() + kMargin * 0.75, width - 10,
                            baroHeight - kMargin * 0.5);
    const double spanX = std::max(maxX_ - minX_, 1.0);
    const double spanY = std::max(maxY_ - minY_, 1.0);
    frame.scale = std::min(frame.plane.width() / spanX, frame.plane.height() / spanY);
    frame.left = frame.plane.left() + (frame.plane.width() - spanX * frame.scale) / 2;
    frame.top = frame.plane.top() + (frame.plane.height() - spanY * frame.scale) / 2;
    return frame;
}

QPointF TrackViewWindow::ToScreen(const Frame& frame, double x, double y) const {
    return {frame.left + (x - minX_) * frame.scale, frame.top + (maxY_ - y) * frame.scale};
}

QPointF TrackViewWindow::BarogramPoint(const Frame& frame, std::size_t index) const {
    const double first = points_.front().time;
    const double span = std::max(1.0, static_cast<double>(points_.back().time) - first);
    const double heights = std::max(1, maxAltitude_ - minAltitude_);
    const double t = std::clamp((points_[index].time - first) / span, 0.0, 1.0);
    const double h = (points_[index].gpsAltitude / 10.0 - minAltitude_) / heights;
    return {frame.barogram.left() + t * frame.barogram.width(),
            frame.barogram.bottom() - h * frame.barogram.height()};
}

QPointF TrackViewWindow::PlanePosition(std::size_t index) const {
    return ToScreen(Layout(), x_.at(index), y_.at(index));
}

QPointF TrackViewWindow::BarogramPosition(std::size_t index) const {
    (void)points_.at(index);
    return BarogramPoint(Layout(), index);
}

void TrackViewWindow::mousePressEvent(QMouseEvent* event) {
    if (points_.empty() || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const Frame frame = Layout();
    const QPointF at = event->position();
    std::size_t best = points_.size();
    if (frame.barogram.adjusted(-4, -4, 4, 4).contains(at)) {
        // The barogram: the position nearest in time.
        double nearest = std::numeric_limits<double>::max();
        for (std::size_t i = 0; i < points_.size(); ++i) {
            const double distance = std::abs(BarogramPoint(frame, i).x() - at.x());
            if (distance < nearest) {
                nearest = distance;
                best = i;
            }
        }
    } else {
        double nearest = kClickPixels * kClickPixels;
        for (std::size_t i = 0; i < points_.size(); ++i) {
            const QPointF d = ToScreen(frame, x_[i], y_[i]) - at;
            const double distance = d.x() * d.x() + d.y() * d.y();
            if (distance <= nearest) {
                nearest = distance;
                best = i;
            }
        }
    }
    if (best < points_.size()) {
        emit PositionClicked(best);
    }
    event->accept();
}

void TrackViewWindow::DrawResults(QPainter& painter, const Frame& frame) const {
    if (!resultsReady_) {
        return;
    }
    const auto at = [&](std::size_t index) { return ToScreen(frame, x_[index], y_[index]); };
    const auto polyline = [&](std::initializer_list<std::size_t> indices) {
        QPainterPath path;
        bool first = true;
        for (std::size_t index : indices) {
            if (first) {
                path.moveTo(at(index));
                first = false;
            } else {
                path.lineTo(at(index));
            }
        }
        painter.drawPath(path);
    };
    const auto label = [&](std::size_t index, const QString& text) {
        painter.drawText(at(index) + QPointF(6, -6), text);
    };
    painter.setBrush(Qt::NoBrush);
    const analysis::OptimisationResults& r = results_;
    if (LayerVisible(Layer::kFivePoints) && r.five.sum > 0) {
        painter.setPen(QPen(kResultColour, 2));
        const auto& i = r.five.index;
        polyline({i[0], i[1], i[2], i[3], i[4]});
        for (std::size_t k = 0; k < i.size(); ++k) {
            painter.setBrush(kResultColour);
            painter.drawEllipse(at(i[k]), 3.5, 3.5);
            painter.setBrush(Qt::NoBrush);
            label(i[k], QString::number(k + 1));
        }
    }
    if (LayerVisible(Layer::kTriangles)) {
        for (const analysis::TriangleResult* triangle : {&r.flat, &r.fai}) {
            if (!(triangle->score > 0)) {
                continue;
            }
            const bool fai = triangle == &r.fai;
            const auto& i = triangle->index;
            painter.setPen(
                QPen(kResultColour, fai ? 2.5 : 1.5, fai ? Qt::SolidLine : Qt::DashLine));
            polyline({i[1], i[2], i[3], i[1]});
            // The closing gap from the start to the end.
            painter.setPen(QPen(kResultColour, 1.5, Qt::DotLine));
            polyline({i[0], i[4]});
            label(i[2], fai ? QStringLiteral("FAI") : QStringLiteral("flat"));
        }
    }
    if (LayerVisible(Layer::kOutAndReturn) && r.outAndReturn.score > 0) {
        const auto& o = r.outAndReturn;
        painter.setPen(QPen(kResultColour, 2, Qt::DashDotLine));
        polyline({o.ret, o.start, o.turn});
        label(o.turn, QStringLiteral("out-and-return"));
    }
}

void TrackViewWindow::DrawBarogram(QPainter& painter, const Frame& frame) const {
    const QRectF& area = frame.barogram;
    painter.setPen(QPen(QColor(170, 170, 160), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(area);
    // The selected stretches as bands.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 200, 120, 140));
    for (std::size_t i = 0; i < points_.size();) {
        if (!selected_[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end + 1 < points_.size() && selected_[end + 1]) {
            ++end;
        }
        const double a = BarogramPoint(frame, i).x();
        const double b = BarogramPoint(frame, end).x();
        painter.drawRect(
            QRectF(std::min(a, b) - 1, area.top(), std::abs(b - a) + 2, area.height()));
        i = end + 1;
    }
    QPainterPath path;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (i == 0 || points_[i].StartsSegment()) {
            path.moveTo(BarogramPoint(frame, i));
        } else {
            path.lineTo(BarogramPoint(frame, i));
        }
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(60, 60, 60), 1.2));
    painter.drawPath(path);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(area.left() + 4, area.top() + fontMetrics().ascent() + 2),
                     QStringLiteral("%1 m").arg(maxAltitude_));
    painter.drawText(QPointF(area.left() + 4, area.bottom() - 4),
                     QStringLiteral("%1 m").arg(minAltitude_));
    painter.drawText(QPointF(area.left(), area.bottom() + fontMetrics().height()),
                     TrackTimeText(points_.front()));
    const QString last = TrackTimeText(points_.back());
    painter.drawText(QPointF(area.right() - fontMetrics().horizontalAdvance(last),
                             area.bottom() + fontMetrics().height()),
                     last);
}

void TrackViewWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(250, 250, 246));
    if (points_.empty()) {
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("No positions"));
        return;
    }
    const Frame frame = Layout();
    const double spanX = std::max(maxX_ - minX_, 1.0);
    const double spanY = std::max(maxY_ - minY_, 1.0);
    const auto screen = [&](std::size_t i) { return ToScreen(frame, x_[i], y_[i]); };

    painter.save();
    painter.setClipRect(frame.plane.adjusted(-kMargin / 2, -kMargin / 2, kMargin / 2, kMargin / 2));
    DrawTiles(painter, frame);
    // The extent as a frame.
    painter.setPen(QPen(QColor(200, 200, 190), 1, Qt::DashLine));
    painter.drawRect(QRectF(frame.left, frame.top, spanX * frame.scale, spanY * frame.scale));

    if (LayerVisible(Layer::kAirspaces)) {
        painter.setPen(QPen(kAirspaceColour, 1.2));
        painter.setBrush(
            QColor(kAirspaceColour.red(), kAirspaceColour.green(), kAirspaceColour.blue(), 30));
        for (const Outline& outline : airspaces_) {
            QPolygonF polygon;
            for (const QPointF& corner : outline.plane) {
                polygon << ToScreen(frame, corner.x(), corner.y());
            }
            painter.drawPolygon(polygon);
        }
        painter.setBrush(Qt::NoBrush);
    }
    if (LayerVisible(Layer::kWaypoints)) {
        for (const Mark& mark : waypoints_) {
            const QPointF at = ToScreen(frame, mark.plane.x(), mark.plane.y());
            painter.setPen(QPen(kWaypointColour, 1.5));
            painter.drawPolygon(
                QPolygonF({at + QPointF(0, -6), at + QPointF(5, 4), at + QPointF(-5, 4)}));
            painter.drawText(at + QPointF(7, 4), mark.id);
        }
    }

    // The line; a new segment starts a new sub-path.
    QPainterPath path;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (i == 0 || points_[i].StartsSegment()) {
            path.moveTo(screen(i));
        } else {
            path.lineTo(screen(i));
        }
    }
    painter.setPen(QPen(kTrackColour, 1.5));
    painter.drawPath(path);

    // The selected stretches over it.
    if (selectedCount_ > 0) {
        QPainterPath chosen;
        for (std::size_t i = 0; i < points_.size(); ++i) {
            if (!selected_[i]) {
                continue;
            }
            const bool joined = i > 0 && selected_[i - 1] && !points_[i].StartsSegment();
            if (joined) {
                chosen.lineTo(screen(i));
            } else {
                chosen.moveTo(screen(i));
                chosen.addEllipse(screen(i), 2.5, 2.5);
                chosen.moveTo(screen(i));
            }
        }
        painter.setPen(QPen(kSelectionColour, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(chosen);
    }

    DrawResults(painter, frame);

    // Take-off and landing.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 160, 60));
    painter.drawEllipse(screen(0), 5, 5);
    painter.setBrush(QColor(210, 40, 40));
    painter.drawEllipse(screen(points_.size() - 1), 5, 5);
    painter.restore();

    DrawBarogram(painter, frame);

    // The scale bar under the plane.
    const double barMetres = ScaleBarMetres(frame.plane.width() / frame.scale);
    const double barPixels = barMetres * frame.scale;
    const QPointF barStart(kMargin, frame.plane.bottom() + kMargin / 3);
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
    QString line2 = QStringLiteral("Extent %1 km x %2 km   Height (GPS) %3 - %4 m")
                        .arg((maxX_ - minX_) / 1000, 0, 'f', 1)
                        .arg((maxY_ - minY_) / 1000, 0, 'f', 1)
                        .arg(minAltitude_)
                        .arg(maxAltitude_);
    if (selectedCount_ > 0) {
        line2 += QStringLiteral("   %1 selected").arg(selectedCount_);
    }
    if (!resultsReady_ && points_.size() >= 5) {
        line2 += QStringLiteral("   Analysing track");
    }
    painter.setPen(Qt::black);
    const int lineHeight = fontMetrics().height();
    const double textTop = (bar_ ? bar_->sizeHint().height() : 0) + 4;
    painter.drawText(QPointF(kMargin, textTop + lineHeight), line1);
    painter.drawText(QPointF(kMargin, textTop + 2 * lineHeight), line2);
    // North.
    painter.drawText(QPointF(width() - kMargin, textTop + lineHeight), QStringLiteral("N ↑"));
}

}  // namespace tracora::app
