#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>

#include <algorithm>
#include <sstream>

#include <QCheckBox>

#include "app/track_view.hpp"
#include "app_test_support.hpp"

namespace tracora::app {
namespace {

using test_support::WaitUntil;
using test_support::WindowTest;

// The GPS heights (metres) of a fixture's B records, read straight from their columns.
std::vector<int> GpsHeights(const std::string& text) {
    std::vector<int> heights;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() >= 35 && line[0] == 'B') {
            heights.push_back(std::stoi(line.substr(30, 5)));
        }
    }
    return heights;
}

// The pixels of `image` within 40 of the colour in each channel.
int PixelsNear(const QImage& image, QColor colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 40 &&
                std::abs(c.green() - colour.green()) < 40 &&
                std::abs(c.blue() - colour.blue()) < 40) {
                ++count;
            }
        }
    }
    return count;
}

void Click(QWidget& widget, QPointF at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

void SaveScreenshot(QWidget& widget, const QString& name) {
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    EXPECT_TRUE(widget.grab().save(folder.filePath(name)));
}

TEST(TrackView, ScaleBarIsARoundLengthOfAtMostAFifth) {
    EXPECT_DOUBLE_EQ(TrackViewWindow::ScaleBarMetres(10'000), 2'000);
    EXPECT_DOUBLE_EQ(TrackViewWindow::ScaleBarMetres(30'000), 5'000);
    EXPECT_DOUBLE_EQ(TrackViewWindow::ScaleBarMetres(4'000), 500);
    EXPECT_DOUBLE_EQ(TrackViewWindow::ScaleBarMetres(600), 100);
    EXPECT_DOUBLE_EQ(TrackViewWindow::ScaleBarMetres(0), 0);
}

TEST_F(WindowTest, ShowTrackDrawsTheFlightAndWritesAScreenshot) {
    LoadFlight("skydrop-2019-04-15.igc");
    window->SetView(ListView::kTrackLog);
    ASSERT_TRUE(window->RunCommand(40141));
    TrackViewWindow* view = window->TrackView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->PointCount(), state.trackLog.points.size());
    // The extent of the B records, worked out from their minutes of arc (a minute of latitude
    // is about 1852 m here, of longitude 1852 m times the cosine of 45.8 degrees).
    EXPECT_NEAR(view->HeightMetres(), 1340.8, 15.0);
    EXPECT_NEAR(view->WidthMetres(), 526.8, 8.0);

    // A selection of its own is highlighted on the whole flight.
    window->List().selectRow(10);
    window->List().selectionModel()->select(
        window->Model(ListView::kTrackLog).index(11, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_TRUE(window->RunCommand(40141));
    EXPECT_EQ(view->PointCount(), state.trackLog.points.size());
    EXPECT_EQ(view->SelectedCount(), 2u);

    window->List().clearSelection();
    ASSERT_TRUE(window->RunCommand(40141));
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const QString path = folder.filePath(QStringLiteral("track_view.png"));
    ASSERT_TRUE(view->grab().save(path));
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(WindowTest, TrackViewFollowsTheLogWhenAnotherFlightIsLoadedOrTheLogChanges) {
    LoadFlight("skydrop-2019-04-15.igc");
    ASSERT_TRUE(window->RunCommand(40141));
    TrackViewWindow* view = window->TrackView();
    ASSERT_NE(view, nullptr);
    const std::vector<int> first = GpsHeights(test_support::ReadFixture("skydrop-2019-04-15.igc"));
    EXPECT_EQ(view->PointCount(), first.size());

    // Another flight replaces the log: the open view draws it without being asked.
    LoadFlight("xctrack-2022-04-07.igc");
    const std::vector<int> second = GpsHeights(test_support::ReadFixture("xctrack-2022-04-07.igc"));
    EXPECT_EQ(view->PointCount(), second.size());
    EXPECT_EQ(view->LowestMetres(), *std::min_element(second.begin(), second.end()));
    EXPECT_EQ(view->HighestMetres(), *std::max_element(second.begin(), second.end()));

    // The log cut down in the store (as a filter or an edit does) is drawn as it now is.
    state.trackLog.points.resize(100);
    window->RefreshLists();
    EXPECT_EQ(view->PointCount(), 100u);
    const auto lowest = std::min_element(second.begin(), second.begin() + 100);
    EXPECT_EQ(view->LowestMetres(), *lowest);

    // An emptied log leaves nothing of the old flight on the plane.
    state.trackLog.points.clear();
    window->RefreshLists();
    EXPECT_EQ(view->PointCount(), 0u);
}

TEST_F(WindowTest, TrackViewAndListSelectEachOther) {
    LoadFlight("skydrop-2019-04-15.igc");
    ASSERT_TRUE(window->RunCommand(40141));
    TrackViewWindow* view = window->TrackView();
    ASSERT_NE(view, nullptr);
    view->resize(760, 720);
    const std::vector<int> heights =
        GpsHeights(test_support::ReadFixture("skydrop-2019-04-15.igc"));
    EXPECT_EQ(view->LowestMetres(), *std::min_element(heights.begin(), heights.end()));
    EXPECT_EQ(view->HighestMetres(), *std::max_element(heights.begin(), heights.end()));

    // Rows selected in the list are the view's highlight.
    auto& model = window->Model(ListView::kTrackLog);
    window->List().selectionModel()->select(
        QItemSelection(model.index(100, 0), model.index(199, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(view->SelectedCount(), 100u);
    const QImage highlighted = view->grab().toImage();
    EXPECT_GT(PixelsNear(highlighted, QColor(255, 140, 0)), 200);
    SaveScreenshot(*view, QStringLiteral("track_view_selection.png"));

    // A click on the plane selects the row of the position drawn there.
    const QPointF onPlane = view->PlanePosition(300);
    Click(*view, onPlane);
    auto rows = window->SelectedRows();
    ASSERT_EQ(rows.size(), 1u);
    const QPointF chosen = view->PlanePosition(rows[0]);
    EXPECT_LE(std::hypot(chosen.x() - onPlane.x(), chosen.y() - onPlane.y()), 0.5);
    EXPECT_EQ(view->SelectedCount(), 1u);

    // A click on the barogram selects the position of that moment.
    Click(*view, view->BarogramPosition(420) + QPointF(0, 2));
    rows = window->SelectedRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NEAR(view->BarogramPosition(rows[0]).x(), view->BarogramPosition(420).x(), 0.5);

    // Barogram points: the heights' extremes on the frame's bottom and top lines.
    const auto low = std::min_element(heights.begin(), heights.end()) - heights.begin();
    const auto high = std::max_element(heights.begin(), heights.end()) - heights.begin();
    EXPECT_GT(view->BarogramPosition(static_cast<std::size_t>(low)).y(),
              view->BarogramPosition(static_cast<std::size_t>(high)).y() + 50);
}

TEST_F(WindowTest, TrackViewDrawsTheOptimisationResultsEachTogglable) {
    LoadFlight("xctrack-2022-04-07.igc");
    ASSERT_TRUE(window->RunCommand(40141));
    TrackViewWindow* view = window->TrackView();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return view->ResultsReady(); }));
    const auto& results = view->Results();
    EXPECT_GT(results.five.sum, 0);
    // The five points in time order.
    EXPECT_TRUE(std::is_sorted(results.five.index.begin(), results.five.index.end()));

    // The result lines are drawn in the document's blue; with every result switched off
    // none is left.
    const QColor blue(0, 0, 255);
    const int drawn = PixelsNear(view->grab().toImage(), blue);
    EXPECT_GT(drawn, 100);
    SaveScreenshot(*view, QStringLiteral("track_view_results.png"));
    view->SetLayerVisible(TrackViewWindow::Layer::kFivePoints, false);
    const int withoutFive = PixelsNear(view->grab().toImage(), blue);
    EXPECT_LT(withoutFive, drawn);
    view->SetLayerVisible(TrackViewWindow::Layer::kTriangles, false);
    view->SetLayerVisible(TrackViewWindow::Layer::kOutAndReturn, false);
    EXPECT_EQ(PixelsNear(view->grab().toImage(), blue), 0);
    view->LayerBox(TrackViewWindow::Layer::kFivePoints)->click();
    EXPECT_TRUE(view->LayerVisible(TrackViewWindow::Layer::kFivePoints));
    EXPECT_GT(PixelsNear(view->grab().toImage(), blue), 50);

    // Another flight drops the old results until its own have arrived.
    LoadFlight("skydrop-2019-04-15.igc");
    EXPECT_FALSE(view->ResultsReady());
    ASSERT_TRUE(WaitUntil([&] { return view->ResultsReady(); }));
}

TEST_F(WindowTest, TrackViewDrawsTheLoadedWaypointsAndAirspaces) {
    LoadFlight("xctrack-2022-04-07.igc");
    // A waypoint on the first fix (45 deg 38.365 N, 12 deg 56.696 E) and a 150 m circle
    // around it.
    const double latitude = 45 + 38.365 / 60;
    const double longitude = 12 + 56.696 / 60;
    Waypoint waypoint;
    waypoint.latitude = static_cast<std::int32_t>(std::lround(latitude / 180.0 * 2147483648.0));
    waypoint.longitude = static_cast<std::int32_t>(std::lround(longitude / 180.0 * 2147483648.0));
    waypoint.SetId("LAUNCH");
    state.waypoints.items.push_back(waypoint);
    CtrArea area;
    area.name = "TEST";
    CtrSegment circle;
    circle.kind = CtrSegmentKind::kCircle;
    circle.centre = {latitude, longitude};
    circle.radiusMetres = 150;
    area.segments.push_back(circle);
    state.airspaces.areas.push_back(area);
    window->RefreshLists();
    ASSERT_TRUE(window->RunCommand(40141));
    TrackViewWindow* view = window->TrackView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->WaypointCount(), 1u);
    EXPECT_EQ(view->AirspaceCount(), 1u);
    view->SetLayerVisible(TrackViewWindow::Layer::kFivePoints, false);
    view->SetLayerVisible(TrackViewWindow::Layer::kTriangles, false);
    view->SetLayerVisible(TrackViewWindow::Layer::kOutAndReturn, false);

    const QColor airspace(200, 30, 160);
    const QColor waypointColour(20, 120, 40);
    const QImage both = view->grab().toImage();
    EXPECT_GT(PixelsNear(both, airspace), 50);
    EXPECT_GT(PixelsNear(both, waypointColour), 10);
    SaveScreenshot(*view, QStringLiteral("track_view_overlays.png"));
    view->SetLayerVisible(TrackViewWindow::Layer::kAirspaces, false);
    view->SetLayerVisible(TrackViewWindow::Layer::kWaypoints, false);
    const QImage neither = view->grab().toImage();
    EXPECT_EQ(PixelsNear(neither, airspace), 0);
    EXPECT_EQ(PixelsNear(neither, waypointColour), 0);
}

}  // namespace
}  // namespace tracora::app
