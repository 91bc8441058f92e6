#include <QDir>
#include <QFileInfo>

#include "app/track_view.hpp"
#include "app_test_support.hpp"

namespace tracora::app {
namespace {

using test_support::WindowTest;

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

    // A selection of its own draws only those positions.
    window->List().selectRow(10);
    window->List().selectionModel()->select(
        window->Model(ListView::kTrackLog).index(11, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_TRUE(window->RunCommand(40141));
    EXPECT_EQ(view->PointCount(), 2u);

    window->List().clearSelection();
    ASSERT_TRUE(window->RunCommand(40141));
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const QString path = folder.filePath(QStringLiteral("track_view.png"));
    ASSERT_TRUE(view->grab().save(path));
    EXPECT_TRUE(QFileInfo::exists(path));
}

}  // namespace
}  // namespace tracora::app
