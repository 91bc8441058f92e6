// Map tiles under the track view: square 256-pixel images of the Web-Mercator tiling (zoom z
// has 2^z x 2^z tiles, x from the 180th meridian eastwards, y from the north), fetched from a
// user-given URL template and kept on disk in the user's cache folder. Nothing is fetched while
// the template is empty; a tile that cannot be fetched or decoded is left out, never retried in
// a loop, and never stored.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>

#include <cstddef>
#include <map>
#include <set>
#include <tuple>

class QNetworkAccessManager;
class QNetworkReply;

namespace tracora::app {

inline constexpr int kTilePixels = 256;
inline constexpr int kMaxTileZoom = 18;

struct TileKey {
    int z = 0, x = 0, y = 0;
    auto operator<=>(const TileKey&) const = default;
};

// Geographic degrees and Web-Mercator tile coordinates (fractional: the integer part names the
// tile, the rest is the place inside it).
double TileX(double longitudeDegrees, int zoom);
double TileY(double latitudeDegrees, int zoom);
double TileLongitude(double tileX, int zoom);
double TileLatitude(double tileY, int zoom);

// The template with {z}, {x} and {y} replaced.
QString TileUrl(const QString& urlTemplate, const TileKey& key);

// Where the tiles are kept between runs: the generic cache folder ($XDG_CACHE_HOME, else
// ~/.cache) + Tracora/tiles.
QString DefaultTileCacheFolder();

class TileCache : public QObject {
    Q_OBJECT
public:
    explicit TileCache(QString folder = DefaultTileCacheFolder(), QObject* parent = nullptr);
    ~TileCache() override;

    // A new template forgets the tiles held in memory and the failures; empty switches off.
    void SetTemplate(const QString& urlTemplate);
    const QString& Template() const { return template_; }

    // The tile when it is at hand; otherwise asks for it (disk first, then the server) and
    // returns null. TileArrived is emitted when it comes.
    const QImage* Tile(const TileKey& key);

    // Tiles asked for and not yet arrived or failed.
    std::size_t Pending() const { return pending_.size(); }
    std::size_t Failed() const { return failed_.size(); }
    // The file a tile is kept in: the folder, a hash of the template, then z/x/y.
    QString TilePath(const TileKey& key) const;

signals:
    void TileArrived();

private:
    void Fetch(const TileKey& key);
    void Install(unsigned generation, const TileKey& key, const QImage& image);

    QString folder_;
    QString template_;
    QString templateFolder_;
    // Counts the templates set; a tile of an older one is dropped when it arrives.
    unsigned generation_ = 0;
    std::map<TileKey, QImage> images_;
    std::set<TileKey> pending_;
    std::set<TileKey> failed_;
    QNetworkAccessManager* network_ = nullptr;
};

}  // namespace tracora::app
