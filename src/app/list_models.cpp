#include "app/list_models.hpp"

#include <array>
#include <cmath>
#include <cstdio>

#include "core/geodesy.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"

namespace tracora::app {

namespace {

constexpr auto kTrackGeographic = std::to_array<ColumnSpec>({
    {"UTC date", 64},
    {"UTC time", 64},
    {"Latitude", 96},
    {"Longitude", 96},
    {"H (GPS)", 64},
    {"H (B-G)", 64},
    {"km/h", 56},
});
constexpr auto kTrackUtm = std::to_array<ColumnSpec>({
    {"UTC date", 64},
    {"UTC time", 64},
    {"Zone", 40},
    {"Easting", 56},
    {"Northing", 56},
    {"H (GPS)", 64},
    {"H (B-G)", 64},
    {"km/h", 56},
});
constexpr auto kWaypointGeographic = std::to_array<ColumnSpec>({
    {"ID", 64},
    {"Latitude", 96},
    {"Longitude", 96},
    {"Height", 64},
    {"T", 24},
    {"Name", 400},
    {"Time", 144},
});
constexpr auto kWaypointUtm = std::to_array<ColumnSpec>({
    {"ID", 64},
    {"Zone", 40},
    {"Easting", 64},
    {"Northing", 64},
    {"Height", 64},
    {"T", 24},
    {"Name", 400},
    {"Time", 144},
});
constexpr auto kAirspace = std::to_array<ColumnSpec>({
    {"Name", 144},
    {"Floor (Remark)", 144},
    {"Ceiling", 144},
    {"Distance", 80},
    {"Segments", 80},
});
constexpr auto kPilots = std::to_array<ColumnSpec>({
    {"Name", 80},
    {"Comp. ID", 80},
    {"CIVL ID", 80},
    {"Device", 80},
});

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

UtmPosition ToUtmPosition(std::int32_t latitude, std::int32_t longitude) {
    const GeoPoint point{SemicirclesToRadians(latitude), SemicirclesToRadians(longitude)};
    int zone = 0;
    UtmPosition utm;
    ToUtm(point, zone, utm);
    return utm;
}

// The cells of a position in its geographic or UTM form; `column` counts from the position's
// first column. Empty past the position's columns.
QString PositionCell(std::int32_t latitude, std::int32_t longitude, bool utm, int column) {
    if (!utm) {
        if (column == 0) {
            return FromUtf8(FormatLatitude(SemicirclesToHundredthSeconds(latitude)));
        }
        return FromUtf8(FormatLongitude(SemicirclesToHundredthSeconds(longitude)));
    }
    const UtmPosition position = ToUtmPosition(latitude, longitude);
    switch (column) {
        case 0:
            return FromUtf8(FormatUtmZone(position.zone, position.band));
        case 1:
            return FromUtf8(FormatUtmMetres(position.easting));
        default:
            return FromUtf8(FormatUtmMetres(position.northing));
    }
}

}  // namespace

int StoreTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int StoreTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns().size());
}

std::span<const ColumnSpec> StoreTableModel::Columns() const {
    return utm_ ? UtmColumns() : GeographicColumns();
}

QVariant StoreTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const auto columns = Columns();
    if (section < 0 || static_cast<std::size_t>(section) >= columns.size()) {
        return {};
    }
    return FromView(columns[static_cast<std::size_t>(section)].heading);
}

QVariant StoreTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return Cell(index.row(), index.column());
    }
    return {};
}

void StoreTableModel::Refresh() {
    beginResetModel();
    rows_ = static_cast<int>(StoreRows());
    endResetModel();
}

void StoreTableModel::Detach() {
    beginResetModel();
    rows_ = 0;
    endResetModel();
}

void StoreTableModel::SetUtm(bool utm) {
    if (!HasUtmForm() || utm == utm_) {
        return;
    }
    beginResetModel();
    utm_ = utm;
    endResetModel();
}

QString TrackDateText(const TrackPoint& point) {
    const CalendarTime calendar = TimeToCalendar(point.time);
    char text[32];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d", calendar.year, calendar.month, calendar.day);
    return QString::fromLatin1(text);
}

QString TrackTimeText(const TrackPoint& point) {
    const CalendarTime calendar = TimeToCalendar(point.time);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", calendar.hour, calendar.minute,
                  calendar.second);
    return QString::fromLatin1(text);
}

QString TrackSpeedText(std::span<const TrackPoint> points, std::size_t index) {
    if (index == 0 || index >= points.size() || points[index].StartsSegment()) {
        return QStringLiteral("START");
    }
    const TrackPoint& a = points[index - 1];
    const TrackPoint& b = points[index];
    double metres = 0;
    const GeoPoint from{SemicirclesToRadians(a.latitude), SemicirclesToRadians(a.longitude)};
    const GeoPoint to{SemicirclesToRadians(b.latitude), SemicirclesToRadians(b.longitude)};
    GeoDistance(from, to, metres);
    const double seconds = b.time > a.time ? static_cast<double>(b.time - a.time) : 0.0;
    const double speed = seconds > 0 ? metres / seconds * 3.6 : 0.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", speed);
    return QString::fromLatin1(text);
}

std::span<const ColumnSpec> TrackLogModel::GeographicColumns() const {
    return kTrackGeographic;
}

std::span<const ColumnSpec> TrackLogModel::UtmColumns() const {
    return kTrackUtm;
}

QString TrackLogModel::Cell(int row, int column) const {
    const auto& points = state_.trackLog.points;
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || index >= points.size()) {
        return {};
    }
    const TrackPoint& point = points[index];
    const int positionColumns = utm_ ? 3 : 2;
    if (column == 0) {
        return TrackDateText(point);
    }
    if (column == 1) {
        return TrackTimeText(point);
    }
    if (column < 2 + positionColumns) {
        return PositionCell(point.latitude, point.longitude, utm_, column - 2);
    }
    const int rest = column - 2 - positionColumns;
    if (rest == 0) {
        // Decimetres, shown in whole metres.
        return QString::number(static_cast<long>(std::lround(point.gpsAltitude / 10.0)));
    }
    if (rest == 1) {
        return state_.trackLog.hasPressureAltitude ? QString::number(point.pressureAltitude)
                                                   : QString();
    }
    return TrackSpeedText(points, index);
}

std::span<const ColumnSpec> WaypointModel::GeographicColumns() const {
    return kWaypointGeographic;
}

std::span<const ColumnSpec> WaypointModel::UtmColumns() const {
    return kWaypointUtm;
}

QString WaypointModel::Cell(int row, int column) const {
    const auto& items = state_.waypoints.items;
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || index >= items.size()) {
        return {};
    }
    const Waypoint& waypoint = items[index];
    const int positionColumns = utm_ ? 3 : 2;
    if (column == 0) {
        return FromView(waypoint.Id());
    }
    if (column <= positionColumns) {
        return PositionCell(waypoint.latitude, waypoint.longitude, utm_, column - 1);
    }
    switch (column - 1 - positionColumns) {
        case 0:
            return QString::number(waypoint.altitude);
        case 1:
            return QString::number(waypoint.kind);
        case 2:
            return FromView(waypoint.Description());
        default: {
            if (waypoint.time == 0) {
                return {};
            }
            const CalendarTime calendar = TimeToCalendar(waypoint.time);
            char text[48];
            std::snprintf(text, sizeof text, "%4d-%02d-%02d %02d:%02d:%02d", calendar.year,
                          calendar.month, calendar.day, calendar.hour, calendar.minute,
                          calendar.second);
            return QString::fromLatin1(text);
        }
    }
}

QString PilotListModel::Cell(int row, int column) const {
    const auto& pilots = state_.pilotList.pilots;
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || index >= pilots.size()) {
        return {};
    }
    const PilotEntry& pilot = pilots[index];
    switch (column) {
        case 0:
            return FromUtf8(pilot.name);
        case 1:
            return pilot.competitionId >= 0 ? QString::number(pilot.competitionId) : QString();
        case 2:
            return pilot.civlId >= 0 ? QString::number(pilot.civlId) : QString();
        case 3: {
            QStringList devices;
            for (const std::string& device : pilot.devices) {
                if (!device.empty()) {
                    devices << FromUtf8(device);
                }
            }
            return devices.join(QStringLiteral(", "));
        }
        default:
            return {};
    }
}

std::span<const ColumnSpec> PilotListModel::GeographicColumns() const {
    return kPilots;
}

QString AirspaceModel::Cell(int row, int column) const {
    const auto& areas = state_.airspaces.areas;
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || index >= areas.size()) {
        return {};
    }
    const CtrArea& area = areas[index];
    switch (column) {
        case 0:
            return FromUtf8(area.name);
        case 1:
            return FromUtf8(area.floor);
        case 2:
            return FromUtf8(area.ceiling);
        case 3:
            return QString::number(area.warningDistance);
        case 4:
            return QString::number(static_cast<qulonglong>(area.segments.size()));
        default:
            return {};
    }
}

std::span<const ColumnSpec> AirspaceModel::GeographicColumns() const {
    return kAirspace;
}

}  // namespace tracora::app
