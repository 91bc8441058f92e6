// The list views' models: one virtual table model per list, whose cells are formatted on demand
// from the records, so that a track log of 100,000 fixes scrolls as smoothly as a short one.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <span>
#include <string_view>

#include "core/app_state.hpp"

namespace tracora::app {

struct ColumnSpec {
    std::string_view heading;
    int widthDialogUnits;
};

// The row count is taken from the store only in Refresh(), on the main thread, so that a view
// never reads past what it was told while a device job fills the store.
class StoreTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit StoreTableModel(AppState& state, QObject* parent = nullptr)
        : QAbstractTableModel(parent), state_(state) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Re-reads the store's size (after the store changed).
    void Refresh();
    // Shows no rows until the next Refresh() (while a job replaces the list).
    void Detach();
    void SetUtm(bool utm);
    bool Utm() const { return utm_; }
    virtual bool HasUtmForm() const { return true; }

    std::span<const ColumnSpec> Columns() const;
    // The text of a cell, as the view shows it.
    virtual QString Cell(int row, int column) const = 0;

protected:
    virtual std::size_t StoreRows() const = 0;
    virtual std::span<const ColumnSpec> GeographicColumns() const = 0;
    virtual std::span<const ColumnSpec> UtmColumns() const { return GeographicColumns(); }

    AppState& state_;
    int rows_ = 0;
    bool utm_ = false;
};

class TrackLogModel : public StoreTableModel {
    Q_OBJECT
public:
    using StoreTableModel::StoreTableModel;
    QString Cell(int row, int column) const override;

protected:
    std::size_t StoreRows() const override { return state_.trackLog.points.size(); }
    std::span<const ColumnSpec> GeographicColumns() const override;
    std::span<const ColumnSpec> UtmColumns() const override;
};

class WaypointModel : public StoreTableModel {
    Q_OBJECT
public:
    using StoreTableModel::StoreTableModel;
    QString Cell(int row, int column) const override;

protected:
    std::size_t StoreRows() const override { return state_.waypoints.items.size(); }
    std::span<const ColumnSpec> GeographicColumns() const override;
    std::span<const ColumnSpec> UtmColumns() const override;
};

// The pilot list: name, competition ID, CIVL ID and the instruments the pilot used.
class PilotListModel : public StoreTableModel {
    Q_OBJECT
public:
    using StoreTableModel::StoreTableModel;
    QString Cell(int row, int column) const override;
    bool HasUtmForm() const override { return false; }

protected:
    std::size_t StoreRows() const override { return state_.pilotList.pilots.size(); }
    std::span<const ColumnSpec> GeographicColumns() const override;
};

// The airspace list: name, floor and ceiling texts, warning distance, segment count.
class AirspaceModel : public StoreTableModel {
    Q_OBJECT
public:
    using StoreTableModel::StoreTableModel;
    QString Cell(int row, int column) const override;
    bool HasUtmForm() const override { return false; }

protected:
    std::size_t StoreRows() const override { return state_.airspaces.areas.size(); }
    std::span<const ColumnSpec> GeographicColumns() const override;
};

// Cell texts shared with other views.
QString TrackDateText(const TrackPoint& point);
QString TrackTimeText(const TrackPoint& point);
// "%.1f" km/h from the previous point, "START" at a segment start (and at the first point).
QString TrackSpeedText(std::span<const TrackPoint> points, std::size_t index);

}  // namespace tracora::app
