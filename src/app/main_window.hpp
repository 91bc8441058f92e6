// The main window: the list view with its four views, the product and status lines, the quick
// buttons and the menus built from the command table.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTableView>

#include <array>
#include <map>
#include <memory>
#include <vector>

#include "app/command_table.hpp"
#include "app/list_models.hpp"
#include "app/qt_host.hpp"
#include "app/statistics_dialog.hpp"
#include "app/track_view.hpp"
#include "core/app_state.hpp"
#include "core/settings.hpp"
#include "device/gps_job.hpp"

class QAction;
class QPushButton;

namespace tracora::app {

enum class ListView { kTrackLog = 0, kWaypoints = 1, kPilots = 2, kAirspace = 3 };

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `settings` may be null (nothing is saved at exit); it is never saved under a command line.
    MainWindow(AppState& state, QtHost& host, device::JobLayer& jobs, SettingsStore* settings,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs a command as its menu item would. False when the command is unknown or disabled.
    bool RunCommand(int id);
    QAction* CommandAction(int id) const;
    QPushButton* Button(int id) const;

    ListView CurrentView() const { return view_; }
    void SetView(ListView view);
    StoreTableModel& Model(ListView view) const;
    QTableView& List() const { return *list_; }
    QString StatusText() const { return status_->text(); }
    QString ProductText() const { return product_->text(); }
    // A device job runs, or its end has not reached the window yet.
    bool Busy() const;
    // The selected rows of the list, in list order.
    std::vector<std::size_t> SelectedRows() const;
    // The store changed: the lists re-read it.
    void RefreshLists();
    void UpdateTitle();
    TrackViewWindow* TrackView() const { return trackView_; }
    StatisticsDialog* Statistics() const { return statistics_; }

signals:
    // A device job ended and the window has taken over its result.
    void JobEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildCentral();
    void UpdateCommandStates();
    void Dispatch(const Command& command);
    // The busy and view rules of the commands that work on a list. True when it may go on.
    bool CheckList(const Command& command, ListView needed);
    void StartDownload(const Command& command);
    void OnJobEnd();
    void SetListSize(int step);
    void ApplyColumnWidths();
    void SetComPort();
    void TrackGapTime();
    void WaypointNew();
    void WaypointEdit();
    void WaypointDelete();
    void ShowTrack(const Command& command);
    void DumpDebug(const Command& command);
    void WriteIgc(const Command& command);
    void FlightStatistics(const Command& command);
    void SaveRawIgc();
    void LoopFlightGap();
    void VarioFilterLimit();
    void About();
    void Exit();

    AppState& state_;
    QtHost& host_;
    device::JobLayer& jobs_;
    SettingsStore* settings_;

    std::array<std::unique_ptr<StoreTableModel>, 4> models_;
    ListView view_ = ListView::kTrackLog;
    bool jobActive_ = false;
    bool compactTitle_ = false;
    bool exiting_ = false;
    int listSizeStep_ = 0;
    std::string igcSerial_ = "000";  // the FR serial number last written, for this session

    QLabel* product_ = nullptr;
    QLabel* status_ = nullptr;
    QTableView* list_ = nullptr;
    std::map<int, QAction*> actions_;
    std::map<int, QPushButton*> buttons_;
    QPointer<TrackViewWindow> trackView_;
    QPointer<StatisticsDialog> statistics_;
};

}  // namespace tracora::app
