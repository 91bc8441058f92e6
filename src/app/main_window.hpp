// The main window: the list view with its four views, the product and status lines, the quick
// buttons and the menus built from the command table.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTableView>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "analysis/analysis_worker.hpp"
#include "app/command_table.hpp"
#include "app/curve_window.hpp"
#include "app/ftp_dialog.hpp"
#include "app/list_models.hpp"
#include "app/olc_dialog.hpp"
#include "app/qt_host.hpp"
#include "app/server_dialog.hpp"
#include "app/statistics_dialog.hpp"
#include "app/track_view.hpp"
#include "automation/download_controller.hpp"
#include "automation/program_core.hpp"
#include "core/app_state.hpp"
#include "core/settings.hpp"
#include "device/gps_job.hpp"
#include "documents/competition_log.hpp"

class QAction;
class QProgressBar;
class QPushButton;

namespace tracora::app {

enum class ListView { kTrackLog = 0, kWaypoints = 1, kPilots = 2, kAirspace = 3 };

class MainWindow;

// Whether a command may run while a device job runs (or its end has not reached the window).
enum class WhileBusy { kRuns, kRefused };

// How the window carries out one action of the command table, and the rules checked first, in
// this order: the busy rule ("Busy GPS driver"), the list view the command works on
// ("Incorrect view mode") and the selection it needs.
struct CommandHandler {
    Action action;
    WhileBusy whileBusy;
    std::optional<ListView> view;
    void (*run)(MainWindow& window, const Command& command);
    // When not empty, the command needs exactly one selected row and refuses with this text.
    std::string_view oneRowRefusal = {};
    // The title of the busy refusal when it is not the command's own.
    std::string_view busyTitle = {};
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The window works through `core`, whose host `host` is. The settings are saved at exit
    // when the core has a settings store and no command line drives the run.
    MainWindow(automation::ProgramCore& core, QtHost& host, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The handler table: one entry for every action the window can carry out.
    static std::span<const CommandHandler> Handlers();
    static const CommandHandler* FindHandler(Action action);
    // Whether the window offers the command: it has a handler and, for an instrument command,
    // the device job has a working routine. (The abort is offered only while a job runs.)
    static bool Offered(const Command& command);

    // Runs a command as its menu item would. False when the command is unknown or disabled.
    bool RunCommand(int id);
    QAction* CommandAction(int id) const;
    QPushButton* Button(int id) const;

    ListView CurrentView() const { return view_; }
    void SetView(ListView view);
    StoreTableModel& Model(ListView view) const;
    QTableView& List() const { return *list_; }
    QString StatusText() const { return status_->text(); }
    // The bar beside the status text: shown while a job reports progress against a total.
    QProgressBar* Progress() const { return progress_; }
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
    OlcDialog* Olc() const { return olc_; }
    ServerDialog* Server() const { return server_; }
    FtpDialog* Ftp() const { return ftp_; }
    CurveWindow* Curve() const { return curve_; }

    // Closes as Exit does, without the unsaved-log question (SIGINT, SIGTERM: nobody answers).
    void CloseWithoutQuestions() {
        closeWithoutQuestions_ = true;
        close();
    }

signals:
    // A device job ended and the window has taken over its result.
    void JobEnded();
    // The competition output of a Ctrl+S in competition mode has been written (or refused).
    void CompetitionSaved();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildCentral();
    void UpdateCommandStates();
    // Checks the handler's rules and runs it.
    void Dispatch(const Command& command);
    void StartDownload(const Command& command);
    void ReadTrackLogFileCommand();
    void ToggleSetting(std::int32_t& value);
    void ToggleUtm();
    void ListFont();
    // `trackDownloaded`: a track log download ended well (competition mode saves it then).
    void OnJobEnd(bool trackDownloaded = false);
    // done of total on the bar; a total of 0 hides it.
    void ShowProgress(long long done, long long total);
    void SetListSize(int step);
    void ApplyColumnWidths();
    void SetComPort();
    void TrackGapTime();
    void UtcOffsetForTn();
    // The Flymaster settings dialogs, then the job that sends what was typed.
    void SetFlymasterData(device::PilotDataUpload::Mode mode);
    // The DSX pilot data job; it reads the fields and asks the dialog with them.
    void DsxPilotData();
    // The waypoint upload commands: the selected waypoints named as the command says and, in
    // competition mode, the pilot's ID waypoints from the "Select pilot" dialog.
    void UploadWaypoints(const Command& command);
    // After the competition save of a download from an instrument without ID waypoints: the
    // "No pilot ID" offer and its upload.
    void UploadPilotIds();
    // Starts a waypoint upload; when it ends well, the instrument is remembered with
    // `pilotName` (empty: nobody) under `deviceId`, or under the identification it gave.
    void StartWaypointUpload(device::JobStart start, const std::string& pilotName,
                             const std::string& deviceId);
    // "Write LogIt Name" and "Read LogIt Data".
    void LogItName(const Command& command);
    void LogItProductData(const Command& command);
    // Starts a job that changes only the instrument (no list changes); its end reaches the
    // window as a download's does. `followUp`, when set, looks at the ended job on the worker
    // and gives what the window does after the job's end (nothing: an empty function).
    using JobFollowUp =
        std::function<std::function<void(MainWindow&)>(const device::GpsAccessJob& job)>;
    void StartInstrumentJob(device::JobStart start, JobFollowUp followUp = {});
    // The flight chooser of the jobs this window starts.
    device::EntryChooser TrackListChooser();
    void WaypointNew();
    void WaypointEdit();
    void WaypointDelete();
    void ReadWaypointFile();
    void ReadCtrFile();
    void EditCtr(bool create);
    void SegmentAccuracy();
    void WriteCtrFile(int kind);
    void DeleteCtr();
    void ShowCtrAsWaypoints();
    void StartCtrTransfer(const Command& command);
    // Erases the instrument's log memory (no list changes).
    void StartEraseLog(const Command& command);
    void SaveWaypoints();
    void SaveTrackLogAs();
    void CsvParameters();
    void CopyTrack();
    void RotateTrack();
    void SaveAnimation();
    void ShowTrack(const Command& command);
    // Redraws an open track view from the store and the list's selection.
    void UpdateTrackView();
    // A click in the track view selects its position's row.
    void SelectTrackRow(std::size_t index);
    void DumpDebug(const Command& command);
    void WriteIgc();
    void FlightStatistics();
    void OlcStatistics(bool useIgcBuffer);
    void ShowServer();
    void SendWithFtp();
    // "Competition &Mode": its dialog.
    void CompetitionMode();
    // Ctrl+S in competition mode: the pilot, then the competition output with the analysis on
    // the analysis worker.
    void SaveCompetitionLog(bool wholeLog = false);
    void FinishCompetitionSave();
    void ShowCurve(analysis::CurveKind kind);
    void CurveIntervals();
    void SaveRawIgc();
    void LoopFlightGap();
    void VarioFilterLimit();
    void About();
    void Exit();

    AppState& state_;
    QtHost& host_;
    device::JobLayer& jobs_;
    SettingsStore* settings_;
    automation::DownloadController& downloads_;

    std::array<std::unique_ptr<StoreTableModel>, 4> models_;
    ListView view_ = ListView::kTrackLog;
    bool compactTitle_ = false;
    // "USB && comp. mode: Check wpts": on at every start, not kept in the settings.
    bool usbCheckWaypoints_ = true;
    bool exiting_ = false;
    bool closeWithoutQuestions_ = false;
    int listSizeStep_ = 0;
    // The type last chosen in the waypoint open dialog, for this run of the program.
    int waypointOpenFilter_ = 1;
    std::string igcSerial_ = "000";  // the FR serial number last written, for this session

    QLabel* product_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTableView* list_ = nullptr;
    std::map<int, QAction*> actions_;
    std::map<int, QPushButton*> buttons_;
    QPointer<TrackViewWindow> trackView_;
    QPointer<StatisticsDialog> statistics_;
    QPointer<OlcDialog> olc_;
    QPointer<ServerDialog> server_;
    QPointer<FtpDialog> ftp_;
    // The competition save waiting for its analysis.
    struct CompetitionSave {
        documents::CompetitionSaveOptions options;
        documents::CompetitionPrepared prepared;
        kml::TripAnalysis trip;
        std::string title, message;
        bool afterDownload = false;  // the end of a download: the ID upload may follow
    };
    std::unique_ptr<CompetitionSave> competitionSave_;
    analysis::AnalysisWorker competitionWorker_;
    QPointer<CurveWindow> curve_;
    // What the Flymaster settings dialogs last sent, for this run of the program.
    device::PilotDataUpload flymasterData_;
    // The curve intervals, for this run of the program.
    analysis::CurveIntervals curveIntervals_;
};

}  // namespace tracora::app
