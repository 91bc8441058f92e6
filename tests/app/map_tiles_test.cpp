// The track view's map tiles against a small tile server on 127.0.0.1 that the test runs: each
// tile is fetched once and then comes from the disk cache, the tiles lie where the view draws
// their positions, and a stopped server or a broken tile leaves the view working.
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QInputDialog>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>

#include "app/map_tiles.hpp"
#include "app/track_view.hpp"
#include "app_test_support.hpp"

namespace tracora::app {
namespace {

using test_support::OnNextModal;
using test_support::WaitUntil;
using test_support::WindowTest;

// The colour of tile (x, y): neighbours differ by 40 in red or green.
QColor TileColour(int x, int y) {
    return {(x * 40) % 256, (y * 40) % 256, 128};
}

// Serves /z/x/y.png as a plain PNG of the tile's colour and counts the requests per path. The
// first `brokenFirst` requests get bytes that are no image, the next `hugeFirst` 6 MB of them.
class TileServer {
public:
    TileServer() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { Answer(*socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString Template() const {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server_.serverPort());
    }
    int Requests() const {
        int total = 0;
        for (const auto& [path, count] : paths_) {
            total += count;
        }
        return total;
    }
    const std::map<QString, int>& Paths() const { return paths_; }
    void Stop() { server_.close(); }
    int brokenFirst = 0;
    int hugeFirst = 0;

private:
    void Answer(QTcpSocket& socket) {
        QByteArray& request = pending_[&socket];
        request += socket.readAll();
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
        pending_.erase(&socket);
        const QString path = words.size() >= 2 ? QString::fromLatin1(words[1]) : QString();
        ++paths_[path];
        QByteArray body;
        const QStringList parts = path.section('.', 0, 0).split('/', Qt::SkipEmptyParts);
        if (brokenFirst > 0) {
            --brokenFirst;
            body = "\x89PNG\r\n\x1a\n this is no image";
        } else if (hugeFirst > 0) {
            --hugeFirst;
            body = QByteArray(6 * 1024 * 1024, 'x');
        } else if (parts.size() == 3) {
            QImage tile(kTilePixels, kTilePixels, QImage::Format_RGB32);
            tile.fill(TileColour(parts[1].toInt(), parts[2].toInt()));
            QBuffer buffer(&body);
            buffer.open(QIODevice::WriteOnly);
            tile.save(&buffer, "PNG");
        }
        socket.write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n" +
                     QByteArray("Content-Length: ") + QByteArray::number(body.size()) + "\r\n\r\n" +
                     body);
        socket.disconnectFromHost();
    }

    QTcpServer server_;
    std::map<QString, int> paths_;
    std::map<QTcpSocket*, QByteArray> pending_;
};

// A flight due north along 11 degrees east, 46.00 to 46.10 degrees north.
std::vector<TrackPoint> NorthboundFlight() {
    std::vector<TrackPoint> points;
    for (int i = 0; i <= 20; ++i) {
        TrackPoint point;
        point.time = 1'000'000'000u + static_cast<std::uint32_t>(i) * 60;
        point.latitude = DegreesToSemicircles(46.0 + 0.005 * i);
        point.longitude = DegreesToSemicircles(11.0);
        point.gpsAltitude = 15000 + 100 * i;
        points.push_back(point);
    }
    return points;
}

// Paints the view until every tile it wants has arrived or failed.
bool WaitForTiles(TrackViewWindow& view) {
    const bool settled = WaitUntil([&] {
        (void)view.grab();
        return view.TilesWanted() > 0 && view.Tiles().Pending() == 0;
    });
    // Once more with every tile at hand, so that the counts are those of the last arrival.
    (void)view.grab();
    return settled;
}

std::size_t FilesUnder(const QString& folder) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.toStdString())) {
        if (entry.is_regular_file()) {
            ++count;
        }
    }
    return count;
}

class MapTilesTest : public WindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(cache_.isValid());
        previous_ = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", cache_.path().toUtf8());
        WindowTest::SetUp();
    }
    void TearDown() override {
        WindowTest::TearDown();
        qputenv("XDG_CACHE_HOME", previous_);
    }
    std::unique_ptr<TrackViewWindow> OpenView(const QString& urlTemplate) {
        auto view = std::make_unique<TrackViewWindow>();
        view->setAttribute(Qt::WA_DeleteOnClose, false);
        view->resize(760, 720);
        view->SetPoints(NorthboundFlight());
        view->SetTileTemplate(urlTemplate);
        view->show();
        return view;
    }

    QTemporaryDir cache_;
    QByteArray previous_;
};

TEST(MapTileMath, WebMercatorTileCoordinates) {
    // The slippy-map formulas worked out by hand for these places; San Francisco at zoom 15 is
    // the usual published example, tile 5241/12665.
    struct Case {
        double longitude, latitude;
        int zoom;
        double x, y;
    };
    const Case cases[] = {
        {0.0, 0.0, 1, 1.0, 1.0},
        {11.0, 47.0, 12, 2173.1555555, 1440.6706109},
        {-122.4194, 37.7749, 15, 5241.1141689, 12665.5180545},
        {179.9, -60.0, 3, 7.9977778, 5.6768029},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(TileX(c.longitude, c.zoom), c.x, 1e-6) << c.longitude;
        EXPECT_NEAR(TileY(c.latitude, c.zoom), c.y, 1e-6) << c.latitude;
        EXPECT_NEAR(TileLongitude(c.x, c.zoom), c.longitude, 1e-6);
        EXPECT_NEAR(TileLatitude(c.y, c.zoom), c.latitude, 1e-6);
    }
    EXPECT_EQ(TileUrl(QStringLiteral("https://tiles.test/{z}/{x}/{y}.png?k={z}"), {7, 68, 45}),
              QStringLiteral("https://tiles.test/7/68/45.png?k=7"));
}

TEST_F(MapTilesTest, TilesAreFetchedOnceLieUnderTheTrackAndComeFromTheDiskCacheNextTime) {
    TileServer server;
    auto view = OpenView(server.Template());
    EXPECT_TRUE(view->MapBox()->isEnabled());
    ASSERT_TRUE(WaitForTiles(*view));
    ASSERT_GT(view->TilesWanted(), 1u);
    EXPECT_EQ(view->TilesDrawn(), view->TilesWanted());
    EXPECT_EQ(view->Tiles().Failed(), 0u);
    // 11 km of flight in about 400 pixels: a tile pixel no larger than a screen pixel.
    EXPECT_EQ(view->TileZoom(), 12);
    EXPECT_EQ(static_cast<std::size_t>(server.Requests()), view->TilesWanted());
    for (const auto& [path, count] : server.Paths()) {
        EXPECT_EQ(count, 1) << path.toStdString();
        EXPECT_TRUE(path.startsWith(QStringLiteral("/12/"))) << path.toStdString();
    }
    EXPECT_EQ(FilesUnder(cache_.path()), view->TilesWanted());

    // West of each position, away from the tile edges, the map shows the tile that holds the
    // place (under the light veil the view lays over the map). The optimisation's marks and
    // labels, drawn east of the points, are in place first.
    ASSERT_TRUE(WaitUntil([&] { return view->ResultsReady(); }));
    const QImage picture = view->grab().toImage();
    const std::vector<TrackPoint> flight = NorthboundFlight();
    int checked = 0;
    for (std::size_t i = 0; i < view->PointCount(); ++i) {
        const QPointF at = view->PlanePosition(i) - QPointF(12, 0);
        const TrackPoint& point = flight[i];
        // 12 pixels west of 11 degrees: the scale is the plane's height over the flight's.
        const QPointF north = view->PlanePosition(view->PointCount() - 1);
        const QPointF south = view->PlanePosition(0);
        const double metresPerPixel = view->HeightMetres() / (south.y() - north.y());
        const double longitude =
            11.0 - 12.0 * metresPerPixel /
                       (111'320.0 * std::cos(SemicirclesToDegrees(point.latitude) * kPi / 180));
        const double tx = TileX(longitude, 12);
        const double ty = TileY(SemicirclesToDegrees(point.latitude), 12);
        const double fx = tx - std::floor(tx);
        const double fy = ty - std::floor(ty);
        if (fx < 0.06 || fx > 0.94 || fy < 0.06 || fy > 0.94) {
            continue;
        }
        const QColor tile = TileColour(static_cast<int>(tx), static_cast<int>(ty));
        const QColor got = picture.pixelColor(at.toPoint());
        const auto veiled = [](int channel) { return channel + (255 - channel) * 70 / 255; };
        EXPECT_NEAR(got.red(), veiled(tile.red()), 8) << "position " << i;
        EXPECT_NEAR(got.green(), veiled(tile.green()), 8) << "position " << i;
        ++checked;
    }
    EXPECT_GE(checked, 10);
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    EXPECT_TRUE(picture.save(folder.filePath(QStringLiteral("track_view_tiles.png"))));

    // The box takes the map away and brings it back.
    view->MapBox()->setChecked(false);
    (void)view->grab();
    EXPECT_EQ(view->TilesDrawn(), 0u);
    view->MapBox()->setChecked(true);
    (void)view->grab();
    EXPECT_EQ(view->TilesDrawn(), view->TilesWanted());

    // A second view of the same flight: every tile from the disk, not one request.
    const int requests = server.Requests();
    const std::size_t wanted = view->TilesWanted();
    view.reset();
    auto again = OpenView(server.Template());
    ASSERT_TRUE(WaitForTiles(*again));
    EXPECT_EQ(again->TilesWanted(), wanted);
    EXPECT_EQ(again->TilesDrawn(), wanted);
    EXPECT_EQ(server.Requests(), requests);
}

TEST_F(MapTilesTest, BrokenTilesAreLeftOutAndAStoppedServerLeavesTheTrack) {
    TileServer server;
    server.brokenFirst = 1;
    server.hugeFirst = 1;
    auto view = OpenView(server.Template());
    ASSERT_TRUE(WaitForTiles(*view));
    EXPECT_EQ(view->Tiles().Failed(), 2u);
    EXPECT_EQ(view->TilesDrawn(), view->TilesWanted() - 2);
    // Only tiles that decode are kept.
    EXPECT_EQ(FilesUnder(cache_.path()), view->TilesWanted() - 2);
    // The broken one is not asked for again while the view is open.
    const int requests = server.Requests();
    (void)view->grab();
    QCoreApplication::processEvents();
    EXPECT_EQ(server.Requests(), requests);

    // No server: every tile fails, the track is still drawn.
    server.Stop();
    view->SetTileTemplate(server.Template() + QStringLiteral("?style=2"));
    ASSERT_TRUE(WaitForTiles(*view));
    EXPECT_EQ(view->TilesDrawn(), 0u);
    EXPECT_EQ(view->Tiles().Failed(), view->TilesWanted());
    const QImage picture = view->grab().toImage();
    const QPointF middle = view->PlanePosition(10);
    const QColor line = picture.pixelColor(middle.toPoint());
    EXPECT_GT(line.blue(), 200);
    EXPECT_LT(line.red(), 160);

    // No template: no map and no box to tick.
    view->SetTileTemplate(QString());
    (void)view->grab();
    EXPECT_FALSE(view->MapBox()->isEnabled());
    EXPECT_EQ(view->TileZoom(), -1);
    EXPECT_EQ(view->TilesWanted(), 0u);
}

TEST_F(MapTilesTest, TheTemplateComesFromTheSettingsAndIsEditedInTheView) {
    LoadFlight("skydrop-2019-04-15.igc");
    state.settings.mapTileUrl = "http://127.0.0.1:9/{z}/{x}/{y}.png";
    ASSERT_TRUE(window->RunCommand(40141));
    TrackViewWindow* view = window->TrackView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->TileTemplate(), QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));

    OnNextModal([](QDialog& dialog) {
        auto* input = qobject_cast<QInputDialog*>(&dialog);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->textValue(), QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
        input->setTextValue(QStringLiteral("  http://127.0.0.1:9/t/{z}/{x}/{y}  "));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
    });
    view->MapButton()->click();
    EXPECT_EQ(state.settings.mapTileUrl, "http://127.0.0.1:9/t/{z}/{x}/{y}");
    EXPECT_EQ(view->TileTemplate(), QStringLiteral("http://127.0.0.1:9/t/{z}/{x}/{y}"));

    OnNextModal([](QDialog& dialog) {
        auto* input = qobject_cast<QInputDialog*>(&dialog);
        ASSERT_NE(input, nullptr);
        input->setTextValue(QString());
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
    });
    view->MapButton()->click();
    EXPECT_EQ(state.settings.mapTileUrl, "");
    EXPECT_FALSE(view->MapBox()->isEnabled());
}

}  // namespace
}  // namespace tracora::app
