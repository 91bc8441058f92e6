#include "app/map_tiles.hpp"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <cmath>
#include <numbers>
#include <utility>

#include "core/version.hpp"

namespace tracora::app {

namespace {

// A tile larger than this is not a map tile.
constexpr qint64 kMaxTileBytes = 4 * 1024 * 1024;
constexpr int kTransferTimeoutMs = 20000;
// The tiles kept in memory (a quarter of a megabyte each); a view needs at most 64.
constexpr std::size_t kMaxImagesInMemory = 160;

// Runs `work` on the main thread for a cache that may be gone meanwhile.
template <typename Work>
void PostToCache(QPointer<TileCache> cache, Work work) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [cache, work = std::move(work)]() mutable {
            if (cache) {
                work(*cache);
            }
        },
        Qt::QueuedConnection);
}

QImage DecodeTile(const QByteArray& bytes) {
    QImage image;
    if (bytes.isEmpty() || bytes.size() > kMaxTileBytes || !image.loadFromData(bytes)) {
        return {};
    }
    if (image.width() != kTilePixels || image.height() != kTilePixels) {
        image =
            image.scaled(kTilePixels, kTilePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

double TileX(double longitudeDegrees, int zoom) {
    return (longitudeDegrees + 180.0) / 360.0 * std::ldexp(1.0, zoom);
}

double TileY(double latitudeDegrees, int zoom) {
    const double phi = latitudeDegrees * std::numbers::pi / 180.0;
    return (1.0 - std::asinh(std::tan(phi)) / std::numbers::pi) / 2.0 * std::ldexp(1.0, zoom);
}

double TileLongitude(double tileX, int zoom) {
    return tileX / std::ldexp(1.0, zoom) * 360.0 - 180.0;
}

double TileLatitude(double tileY, int zoom) {
    const double n = std::numbers::pi * (1.0 - 2.0 * tileY / std::ldexp(1.0, zoom));
    return std::atan(std::sinh(n)) * 180.0 / std::numbers::pi;
}

QString TileUrl(const QString& urlTemplate, const TileKey& key) {
    QString url = urlTemplate;
    url.replace(QStringLiteral("{z}"), QString::number(key.z));
    url.replace(QStringLiteral("{x}"), QString::number(key.x));
    url.replace(QStringLiteral("{y}"), QString::number(key.y));
    return url;
}

QString DefaultTileCacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Tracora/tiles");
}

TileCache::TileCache(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), network_(new QNetworkAccessManager(this)) {}

TileCache::~TileCache() = default;

void TileCache::SetTemplate(const QString& urlTemplate) {
    const QString trimmed = urlTemplate.trimmed();
    if (trimmed == template_) {
        return;
    }
    ++generation_;
    template_ = trimmed;
    templateFolder_ =
        QString::fromLatin1(
            QCryptographicHash::hash(template_.toUtf8(), QCryptographicHash::Sha1).toHex())
            .left(20);
    images_.clear();
    pending_.clear();
    failed_.clear();
}

QString TileCache::TilePath(const TileKey& key) const {
    return QStringLiteral("%1/%2/%3/%4/%5.tile")
        .arg(folder_, templateFolder_)
        .arg(key.z)
        .arg(key.x)
        .arg(key.y);
}

const QImage* TileCache::Tile(const TileKey& key) {
    if (template_.isEmpty() || key.z < 0 || key.z > kMaxTileZoom) {
        return nullptr;
    }
    const int count = 1 << key.z;
    if (key.x < 0 || key.x >= count || key.y < 0 || key.y >= count) {
        return nullptr;
    }
    if (const auto it = images_.find(key); it != images_.end()) {
        return &it->second;
    }
    if (pending_.count(key) != 0 || failed_.count(key) != 0) {
        return nullptr;
    }
    pending_.insert(key);
    // The disk first, off the window's thread; a miss goes to the server.
    const QString path = TilePath(key);
    const unsigned generation = generation_;
    QPointer<TileCache> self(this);
    QThreadPool::globalInstance()->start([self, path, generation, key] {
        QImage image;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            image = DecodeTile(file.read(kMaxTileBytes + 1));
        }
        PostToCache(self, [generation, key, image](TileCache& cache) {
            if (!image.isNull()) {
                cache.Install(generation, key, image);
            } else if (generation == cache.generation_) {
                cache.Fetch(key);
            }
        });
    });
    return nullptr;
}

void TileCache::Fetch(const TileKey& key) {
    QNetworkRequest request(QUrl(TileUrl(template_, key)));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Tracora/%1").arg(QString::fromLatin1(kVersion)));
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = network_->get(request);
    // A server that sends more than a tile's worth is cut off rather than held in memory.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxTileBytes) {
            reply->abort();
        }
    });
    const unsigned generation = generation_;
    const QString path = TilePath(key);
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation, key, path] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QByteArray bytes;
        if (reply->error() == QNetworkReply::NoError && status == 200) {
            bytes = reply->read(kMaxTileBytes + 1);
        }
        // Decoding and storing off the window's thread; only a tile that decodes is kept.
        QPointer<TileCache> self(this);
        QThreadPool::globalInstance()->start([self, bytes, generation, key, path] {
            const QImage image = DecodeTile(bytes);
            if (!image.isNull() && QDir().mkpath(QFileInfo(path).path())) {
                QSaveFile file(path);
                if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) {
                    file.commit();
                }
            }
            PostToCache(self, [generation, key, image](TileCache& cache) {
                cache.Install(generation, key, image);
            });
        });
    });
}

void TileCache::Install(unsigned generation, const TileKey& key, const QImage& image) {
    if (generation != generation_) {
        return;
    }
    pending_.erase(key);
    if (image.isNull()) {
        failed_.insert(key);
        return;
    }
    if (images_.size() >= kMaxImagesInMemory) {
        images_.clear();
    }
    images_[key] = image;
    emit TileArrived();
}

}  // namespace tracora::app
