#include "app/main_window.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

#include "analysis/flight_statistics.hpp"
#include "app/competition_dialogs.hpp"
#include "app/dialogs.hpp"
#include "app/instrument_dialogs.hpp"
#include "app/track_file_dialogs.hpp"
#include "app/track_view.hpp"
#include "automation/remote_flights.hpp"
#include "competition/pilot_list_file.hpp"
#include "core/save_file.hpp"
#include "core/text_forms.hpp"
#include "core/track_store.hpp"
#include "core/version.hpp"
#include "device/port_names.hpp"
#include "device/usb_transport.hpp"
#include "documents/airspace_commands.hpp"
#include "documents/competition_log.hpp"
#include "documents/flybook_document.hpp"
#include "documents/igc_commands.hpp"
#include "documents/igc_files.hpp"
#include "documents/kml_commands.hpp"
#include "documents/track_documents.hpp"
#include "documents/waypoint_commands.hpp"
#include "formats/igc/igc_names.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_writer.hpp"
#include "formats/kml/kml_writer.hpp"
#include "formats/openair/openair_writer.hpp"
#include "formats/tnlog/tn_log.hpp"
#include "protocols/dispatch_table.hpp"

namespace tracora::app {

namespace {

constexpr int kListSizeStepPoints = 2;

std::size_t ViewIndex(ListView view) {
    return static_cast<std::size_t>(view);
}

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MainWindow::MainWindow(automation::ProgramCore& core, QtHost& host, QWidget* parent)
    : QMainWindow(parent),
      state_(core.State()),
      host_(host),
      jobs_(core.Jobs()),
      settings_(core.Settings()),
      downloads_(core.Downloads()) {
    models_[ViewIndex(ListView::kTrackLog)] = std::make_unique<TrackLogModel>(state_);
    models_[ViewIndex(ListView::kWaypoints)] = std::make_unique<WaypointModel>(state_);
    models_[ViewIndex(ListView::kPilots)] = std::make_unique<PilotListModel>(state_);
    models_[ViewIndex(ListView::kAirspace)] = std::make_unique<AirspaceModel>(state_);

    host_.SetWindow(this);
    host_.onStatus = [this](const QString& text) { status_->setText(text); };
    host_.onProgress = [this](long long done, long long total) { ShowProgress(done, total); };
    host_.onProductLine = [this](const QString& text) { product_->setText(text); };
    host_.onShowTrackView = [this] { SetView(ListView::kTrackLog); };

    BuildCentral();
    BuildMenus();
    // A desk in competition mode finds its pilot list again at start.
    if (!state_.automation && state_.settings.compMode != 0 &&
        !state_.settings.pilotListName.empty() &&
        std::filesystem::is_regular_file(state_.settings.pilotListName)) {
        competition::ReadPilotListFile(host_, state_.settings.pilotListName, state_.pilotList, {});
    }
    RefreshLists();
    SetView(ListView::kTrackLog);
    UpdateTitle();
    UpdateCommandStates();
    resize(900, 600);
}

MainWindow::~MainWindow() {
    host_.onStatus = nullptr;
    host_.onProgress = nullptr;
    host_.onProductLine = nullptr;
    host_.onShowTrackView = nullptr;
    host_.SetWindow(nullptr);
    list_->setModel(nullptr);
}

void MainWindow::BuildCentral() {
    auto* central = new QWidget(this);
    auto* outer = new QHBoxLayout(central);
    auto* left = new QVBoxLayout;
    product_ = new QLabel(central);
    product_->setObjectName(QStringLiteral("product%1").arg(kProductTextId));
    status_ = new QLabel(central);
    status_->setObjectName(QStringLiteral("status%1").arg(kStatusTextId));
    for (QLabel* line : {product_, status_}) {
        line->setFrameShape(QFrame::StyledPanel);
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        line->setMinimumWidth(200);
    }
    auto* select = new QLabel(QStringLiteral("&Select item(s)"), central);
    select->setObjectName(QStringLiteral("label%1").arg(kSelectLabelId));
    list_ = new QTableView(central);
    list_->setObjectName(QStringLiteral("list%1").arg(kListViewId));
    select->setBuddy(list_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->verticalHeader()->setVisible(false);
    // Fixed row heights keep a list of 100,000 rows as fast as a short one.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->setWordWrap(false);
    list_->setAlternatingRowColors(true);
    list_->horizontalHeader()->setStretchLastSection(true);
    // Per pixel: per column, a wide column could not be scrolled through and the first one
    // stayed cut.
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Left-aligned headings stay in sight over a column wider than the list.
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    left->addWidget(product_);
    // The progress of a job whose total is known, beside the status text.
    progress_ = new QProgressBar(central);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setMaximumWidth(180);
    progress_->setVisible(false);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(status_, 1);
    statusRow->addWidget(progress_);
    left->addLayout(statusRow);
    left->addWidget(select);
    left->addWidget(list_, 1);
    outer->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    const auto addButton = [&](const QuickButton& quick) {
        auto* button = new QPushButton(FromView(quick.text), central);
        button->setObjectName(QStringLiteral("button%1").arg(quick.id));
        const int id = quick.id;
        connect(button, &QPushButton::clicked, this, [this, id] { RunCommand(id); });
        buttons_[id] = button;
        right->addWidget(button);
    };
    for (const QuickButton& quick : QuickButtons()) {
        addButton(quick);
    }
    right->addStretch(1);
    for (const QuickButton& quick : WindowButtons()) {
        addButton(quick);
    }
    outer->addLayout(right);
    setCentralWidget(central);
}

void MainWindow::BuildMenus() {
    std::map<Menu, QMenu*> menus;
    const auto menuFor = [&](Menu menu) -> QMenu* {
        if (menu == Menu::kNone) {
            return nullptr;
        }
        auto it = menus.find(menu);
        if (it != menus.end()) {
            return it->second;
        }
        QMenu* created = nullptr;
        if (menu == Menu::kReadWaypoints || menu == Menu::kWriteWaypoints) {
            // The waypoint transfers hang under their own top-level menu.
            QMenu* parentMenu = nullptr;
            auto waypoints = menus.find(Menu::kNone);
            if (waypoints == menus.end()) {
                parentMenu = menuBar()->addMenu(QStringLiteral("&Waypoints"));
                menus[Menu::kNone] = parentMenu;
            } else {
                parentMenu = waypoints->second;
            }
            created = parentMenu->addMenu(FromView(MenuTitle(menu)));
        } else {
            created = menuBar()->addMenu(FromView(MenuTitle(menu)));
        }
        menus[menu] = created;
        return created;
    };
    // Top-level order.
    for (Menu menu : {Menu::kFile, Menu::kReadLog, Menu::kReadWaypoints, Menu::kWriteWaypoints,
                      Menu::kAirspace, Menu::kEdit, Menu::kInstrument, Menu::kAnalysis,
                      Menu::kOptions, Menu::kView, Menu::kHelp}) {
        menuFor(menu);
    }
    menus.erase(Menu::kNone);

    for (const Command& command : CommandTable()) {
        auto* action = new QAction(FromView(CommandLabel(command)), this);
        action->setObjectName(QStringLiteral("command%1").arg(command.id));
        const std::string_view shortcut = CommandShortcut(command);
        if (!shortcut.empty()) {
            action->setShortcut(QKeySequence(FromView(shortcut)));
            action->setShortcutContext(Qt::WindowShortcut);
        }
        action->setCheckable(command.checkable);
        const int id = command.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        actions_[id] = action;
        if (QMenu* menu = menuFor(command.menu)) {
            menu->addAction(action);
        } else {
            addAction(action);  // a button's command keeps its mnemonic on the window
        }
    }
}

QAction* MainWindow::CommandAction(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QPushButton* MainWindow::Button(int id) const {
    const auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

bool MainWindow::Busy() const {
    return downloads_.Waiting() || state_.busy.load();
}

void MainWindow::UpdateCommandStates() {
    for (const Command& command : CommandTable()) {
        QAction* action = CommandAction(command.id);
        const bool enabled = command.action == Action::kAbort ? Busy() : Offered(command);
        action->setEnabled(enabled);
        if (command.action == Action::kUtm) {
            action->setCheckable(true);
            action->setChecked(Model(view_).Utm());
        }
        switch (command.action) {
            case Action::kTimestampFilter:
                action->setChecked(state_.settings.timestampFilter != 0);
                break;
            case Action::kDownloadFilter:
                action->setChecked(state_.settings.downloadFilter != 0);
                break;
            case Action::kCompactTitle:
                action->setChecked(compactTitle_);
                break;
            case Action::kVarioFilter:
                action->setChecked(state_.settings.varioFilter > 0);
                break;
            case Action::kSpeedFilter:
                action->setChecked(state_.settings.logFilter != 0);
                break;
            case Action::kCompetitionMode:
                action->setChecked(state_.settings.compMode != 0);
                break;
            case Action::kAddIgcToCompOut:
                action->setChecked(state_.settings.addIgcToCompOut != 0);
                break;
            case Action::kFlymasterPowerOff:
                action->setChecked(state_.settings.flymasterPwrOff != 0);
                break;
            case Action::kUsbCheckWaypoints:
                action->setChecked(usbCheckWaypoints_);
                break;
            default:
                break;
        }
        if (QPushButton* button = Button(command.id)) {
            button->setEnabled(enabled);
        }
    }
}

void MainWindow::UpdateTitle() {
    QString title = QStringLiteral("Tracora %1").arg(FromView(igc::IgcVersionText(kVersion)));
    title += QStringLiteral(", %1").arg(ToQString(jobs_.PortName()));
    if (state_.settings.compMode != 0) {
        title +=
            compactTitle_ ? QStringLiteral(", Comp. mode") : QStringLiteral(", Competition mode");
    }
    setWindowTitle(title);
}

StoreTableModel& MainWindow::Model(ListView view) const {
    return *models_[ViewIndex(view)];
}

void MainWindow::SetView(ListView view) {
    view_ = view;
    if (list_->model() != &Model(view)) {
        list_->setModel(&Model(view));
        // Selecting rows of the track log highlights them in the track view.
        connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            if (trackView_ && view_ == ListView::kTrackLog) {
                trackView_->SetSelection(SelectedRows());
            }
        });
    }
    ApplyColumnWidths();
    UpdateCommandStates();
}

void MainWindow::ApplyColumnWidths() {
    // Dialog units: a quarter of the average character width.
    const int charWidth = list_->fontMetrics().averageCharWidth();
    const auto columns = Model(view_).Columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        list_->setColumnWidth(static_cast<int>(i), columns[i].widthDialogUnits * charWidth / 4);
    }
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
}

void MainWindow::RefreshLists() {
    for (auto& model : models_) {
        model->Refresh();
    }
    ApplyColumnWidths();
    UpdateTrackView();
}

std::vector<std::size_t> MainWindow::SelectedRows() const {
    std::vector<std::size_t> rows;
    if (list_->selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool MainWindow::RunCommand(int id) {
    const Command* command = FindCommand(id);
    QAction* action = CommandAction(id);
    if (command == nullptr || action == nullptr || !action->isEnabled()) {
        return false;
    }
    Dispatch(*command);
    return true;
}

std::span<const CommandHandler> MainWindow::Handlers() {
    using W = MainWindow;
    using C = const Command&;
    constexpr auto kRuns = WhileBusy::kRuns;
    constexpr auto kRefused = WhileBusy::kRefused;
    constexpr std::optional<ListView> kAnyView;
    constexpr std::optional<ListView> kTrack = ListView::kTrackLog;
    constexpr std::optional<ListView> kWaypoints = ListView::kWaypoints;
    constexpr std::optional<ListView> kAirspace = ListView::kAirspace;
    static constexpr CommandHandler kHandlers[] = {
        // Device jobs and the window itself.
        {Action::kDownloadTrackLog, kRefused, kAnyView, [](W& w, C c) { w.StartDownload(c); }},
        {Action::kDownloadWaypoints, kRefused, kAnyView, [](W& w, C c) { w.StartDownload(c); }},
        // The busy mark stays until the worker has ended; the abort only asks it to stop.
        {Action::kAbort, kRuns, kAnyView,
         [](W& w, C) {
             if (w.jobs_.Running()) {
                 w.jobs_.AbortGpsJob();
             }
         }},
        {Action::kExit, kRuns, kAnyView, [](W& w, C) { w.Exit(); }},
        {Action::kSetComPort, kRuns, kAnyView, [](W& w, C) { w.SetComPort(); }},
        {Action::kAbout, kRuns, kAnyView, [](W& w, C) { w.About(); }},
        {Action::kDumpDebug, kRuns, kAnyView, [](W& w, C c) { w.DumpDebug(c); }},
        {Action::kClearDebug, kRuns, kAnyView, [](W& w, C) { w.state_.trace.Clear(); }},

        // Files.
        {Action::kReadTrackLogFile, kRefused, kAnyView,
         [](W& w, C) { w.ReadTrackLogFileCommand(); }},
        {Action::kVerifyIgc, kRuns, kAnyView,
         [](W& w, C) { igc::VerifyIgcLog(w.host_, w.state_.settings.igcDir); }},
        {Action::kWriteIgcFile, kRefused, kTrack, [](W& w, C) { w.WriteIgc(); }},
        {Action::kFlightStatistics, kRefused, kTrack,
         [](W& w, C) {
             if (w.state_.settings.compMode != 0) {
                 w.SaveCompetitionLog();
             } else {
                 w.FlightStatistics();
             }
         }},
        {Action::kOlcIgcBuffer, kRefused, kAnyView, [](W& w, C) { w.OlcStatistics(true); }},
        {Action::kOlcSelection, kRefused, kTrack, [](W& w, C) { w.OlcStatistics(false); }},
        {Action::kServer, kRuns, kAnyView, [](W& w, C) { w.ShowServer(); }},
        {Action::kSendFtp, kRuns, kAnyView, [](W& w, C) { w.SendWithFtp(); }},
        {Action::kShowVario, kRefused, kTrack,
         [](W& w, C) { w.ShowCurve(analysis::CurveKind::kVario); }},
        {Action::kShowGlide, kRefused, kTrack,
         [](W& w, C) { w.ShowCurve(analysis::CurveKind::kGlide); }},
        {Action::kShowPolar, kRefused, kTrack,
         [](W& w, C) { w.ShowCurve(analysis::CurveKind::kPolar); }},
        {Action::kCurveIntervals, kRuns, kAnyView, [](W& w, C) { w.CurveIntervals(); }},
        {Action::kSaveAnimation, kRefused, kTrack, [](W& w, C) { w.SaveAnimation(); }},
        {Action::kSaveRawIgc,
         kRefused,
         kAnyView,
         [](W& w, C) { w.SaveRawIgc(); },
         {},
         igc::kSaveIgcLogTitle},
        {Action::kConvertIgcToKml, kRuns, kAnyView,
         [](W& w, C) { kml::ConvertIgcFilesToKml(w.state_, w.host_); }},
        {Action::kConvertKmlToIgc, kRuns, kAnyView,
         [](W& w, C) { kml::ConvertKmlFilesToIgc(w.state_, w.host_); }},

        // The lists.
        {Action::kWaypointNew, kRefused, kWaypoints, [](W& w, C) { w.WaypointNew(); }},
        {Action::kWaypointEdit, kRefused, kWaypoints, [](W& w, C) { w.WaypointEdit(); },
         "Select one waypoint"},
        {Action::kWaypointDelete, kRefused, kWaypoints, [](W& w, C) { w.WaypointDelete(); }},
        {Action::kReadWaypointFile, kRefused, kAnyView, [](W& w, C) { w.ReadWaypointFile(); }},
        {Action::kSaveWaypoints, kRuns, kWaypoints, [](W& w, C) { w.SaveWaypoints(); }},
        {Action::kSaveTrackLogAs, kRefused, kTrack, [](W& w, C) { w.SaveTrackLogAs(); }},
        {Action::kCsvParameters, kRuns, kAnyView, [](W& w, C) { w.CsvParameters(); }},

        // The airspace list. While an upload runs the list must not change.
        {Action::kReadCtrFile,
         kRefused,
         kAnyView,
         [](W& w, C) { w.ReadCtrFile(); },
         {},
         "Read CTR file"},
        {Action::kWriteCtrOpenAir, kRuns, kAirspace,
         [](W& w, C) { w.WriteCtrFile(static_cast<int>(documents::CtrWriteKind::kOpenAir)); }},
        {Action::kWriteCtrNoArcs, kRuns, kAirspace,
         [](W& w, C) {
             w.WriteCtrFile(static_cast<int>(documents::CtrWriteKind::kOpenAirNoArcs));
         }},
        {Action::kWriteCtrGpx, kRuns, kAirspace,
         [](W& w, C) { w.WriteCtrFile(static_cast<int>(documents::CtrWriteKind::kGpx)); }},
        {Action::kWriteCtrMapScript, kRuns, kAirspace,
         [](W& w, C) { w.WriteCtrFile(static_cast<int>(documents::CtrWriteKind::kMapScript)); }},
        {Action::kDeleteCtr, kRefused, kAirspace, [](W& w, C) { w.DeleteCtr(); }},
        {Action::kEditCtr, kRefused, kAirspace, [](W& w, C) { w.EditCtr(false); }},
        {Action::kNewCtr, kRefused, kAirspace, [](W& w, C) { w.EditCtr(true); }},
        {Action::kSegmentAccuracy, kRuns, kAnyView, [](W& w, C) { w.SegmentAccuracy(); }},
        {Action::kShowCtrAsWaypoints,
         kRefused,
         kAirspace,
         [](W& w, C) { w.ShowCtrAsWaypoints(); },
         {},
         "Show CTR"},
        {Action::kUploadCtr,
         kRefused,
         kAirspace,
         [](W& w, C c) { w.StartCtrTransfer(c); },
         {},
         "Upload CTR"},
        {Action::kDownloadCtr,
         kRefused,
         kAnyView,
         [](W& w, C c) { w.StartCtrTransfer(c); },
         {},
         "Download CTR"},
        {Action::kEraseLog,
         kRefused,
         kAnyView,
         [](W& w, C c) { w.StartEraseLog(c); },
         {},
         "Erase log"},
        {Action::kSelectAll, kRefused, kAnyView, [](W& w, C) { w.list_->selectAll(); }},
        {Action::kCopyTrack, kRefused, kTrack, [](W& w, C) { w.CopyTrack(); }},
        {Action::kRotateTrack, kRefused, kTrack, [](W& w, C) { w.RotateTrack(); }},
        {Action::kShowTrack, kRefused, kTrack, [](W& w, C c) { w.ShowTrack(c); }},
        {Action::kConvertPosition, kRuns, kAnyView,
         [](W& w, C) { RunPositionToolDialog(&w, false); }},
        {Action::kCalculateDistance, kRuns, kAnyView,
         [](W& w, C) { RunPositionToolDialog(&w, true); }},

        // Options.
        {Action::kTrackGapTime, kRuns, kAnyView, [](W& w, C) { w.TrackGapTime(); }},
        // Refused while a job runs: the job reads the offset.
        {Action::kUtcOffsetForTn, kRefused, kAnyView, [](W& w, C) { w.UtcOffsetForTn(); }},
        // Instrument settings: the dialogs fill what the job sends.
        {Action::kFlymasterIds, kRefused, kAnyView,
         [](W& w, C) { w.SetFlymasterData(device::PilotDataUpload::Mode::kIds); }},
        {Action::kFlymasterName, kRefused, kAnyView,
         [](W& w, C) { w.SetFlymasterData(device::PilotDataUpload::Mode::kPilotData); }},
        {Action::kFlymasterAltitudeAlarm, kRefused, kAnyView,
         [](W& w, C) { w.SetFlymasterData(device::PilotDataUpload::Mode::kAltitudeAlarm); }},
        {Action::kDsxPilotData, kRefused, kAnyView, [](W& w, C) { w.DsxPilotData(); }},
        {Action::kLogItName, kRefused, kAnyView, [](W& w, C c) { w.LogItName(c); }},
        {Action::kLogItProductData, kRefused, kAnyView,
         [](W& w, C c) { w.LogItProductData(c); }},
        {Action::kUploadWaypoints, kRefused, kWaypoints, [](W& w, C c) { w.UploadWaypoints(c); }},
        {Action::kLoopFlightGap, kRuns, kAnyView, [](W& w, C) { w.LoopFlightGap(); }},
        {Action::kTimestampFilter, kRuns, kAnyView,
         [](W& w, C) { w.ToggleSetting(w.state_.settings.timestampFilter); }},
        {Action::kFlymasterPowerOff, kRuns, kAnyView,
         [](W& w, C) { w.ToggleSetting(w.state_.settings.flymasterPwrOff); }},
        {Action::kUsbCheckWaypoints, kRuns, kAnyView,
         [](W& w, C) {
             w.usbCheckWaypoints_ = !w.usbCheckWaypoints_;
             w.UpdateCommandStates();
         }},
        {Action::kDownloadFilter, kRuns, kAnyView,
         [](W& w, C) { w.ToggleSetting(w.state_.settings.downloadFilter); }},
        {Action::kSpeedFilter, kRuns, kAnyView,
         [](W& w, C) { w.ToggleSetting(w.state_.settings.logFilter); }},
        {Action::kAddIgcToCompOut, kRuns, kAnyView,
         [](W& w, C) { w.ToggleSetting(w.state_.settings.addIgcToCompOut); }},
        {Action::kCompetitionMode, kRefused, kAnyView, [](W& w, C) { w.CompetitionMode(); }},
        {Action::kSavePilotListCsv, kRuns, kAnyView,
         [](W& w, C) {
             competition::SavePilotListCsv(w.host_, w.state_.settings, w.state_.pilotList);
         }},
        {Action::kVarioFilter, kRuns, kAnyView,
         [](W& w, C) {
             w.VarioFilterLimit();
             w.UpdateCommandStates();
         }},
        {Action::kCompactTitle, kRuns, kAnyView,
         [](W& w, C) {
             w.compactTitle_ = !w.compactTitle_;
             w.UpdateTitle();
             w.UpdateCommandStates();
         }},

        // View.
        {Action::kViewTrackLog, kRuns, kAnyView, [](W& w, C) { w.SetView(ListView::kTrackLog); }},
        {Action::kViewWaypoints, kRuns, kAnyView, [](W& w, C) { w.SetView(ListView::kWaypoints); }},
        {Action::kViewPilots, kRuns, kAnyView, [](W& w, C) { w.SetView(ListView::kPilots); }},
        {Action::kViewAirspace, kRuns, kAnyView, [](W& w, C) { w.SetView(ListView::kAirspace); }},
        {Action::kUtm, kRuns, kAnyView, [](W& w, C) { w.ToggleUtm(); }},
        {Action::kListSmall, kRuns, kAnyView, [](W& w, C) { w.SetListSize(-1); }},
        {Action::kListDefault, kRuns, kAnyView, [](W& w, C) { w.SetListSize(0); }},
        {Action::kListLarge, kRuns, kAnyView, [](W& w, C) { w.SetListSize(1); }},
        {Action::kListFont, kRuns, kAnyView, [](W& w, C) { w.ListFont(); }},
    };
    return kHandlers;
}

const CommandHandler* MainWindow::FindHandler(Action action) {
    const auto handlers = Handlers();
    const auto it = std::find_if(handlers.begin(), handlers.end(),
                                 [action](const CommandHandler& h) { return h.action == action; });
    return it == handlers.end() ? nullptr : &*it;
}

bool MainWindow::Offered(const Command& command) {
    return FindHandler(command.action) != nullptr && CommandJobWorks(command);
}

void MainWindow::Dispatch(const Command& command) {
    const CommandHandler* handler = FindHandler(command.action);
    if (handler == nullptr) {
        return;
    }
    if (handler->whileBusy == WhileBusy::kRefused && Busy()) {
        host_.ShowMessage(
            handler->busyTitle.empty() ? CommandTitle(command) : std::string(handler->busyTitle),
            std::string(kBusyGpsDriver));
        return;
    }
    if (handler->view && view_ != *handler->view) {
        host_.ShowMessage(CommandTitle(command), std::string(kIncorrectViewMode));
        return;
    }
    if (!handler->oneRowRefusal.empty() && SelectedRows().size() != 1) {
        host_.ShowMessage(CommandTitle(command), std::string(handler->oneRowRefusal));
        return;
    }
    handler->run(*this, command);
}

void MainWindow::StartDownload(const Command& command) {
    if (!command.job) {
        return;
    }
    device::JobStart start;
    start.protocol = command.job->protocol;
    start.parameter = command.job->parameter;
    start.competitionMode = state_.settings.compMode != 0;
    start.compSpecial = state_.settings.compSpecial != 0;
    start.usbCheckWaypoints = usbCheckWaypoints_;
    // Without a command line the window's setting decides.
    start.powerOff = state_.settings.flymasterPwrOff != 0;
    start.chooseEntry = TrackListChooser();
    automation::DownloadHooks hooks;
    // The end reaches the window through the main thread's queue.
    QPointer<MainWindow> self(this);
    // Reading all flights ends with their Flybook document, saved where the user says; a single
    // flight read at a competition desk goes to the competition output.
    const bool flybook = command.job->protocol == GpsProtocol::kReadAllFlytec;
    hooks.ended = [this, self, flybook](device::GpsAccessJob& done) {
        const bool success = done.result >= 0;
        const bool trackDownloaded =
            !flybook && done.function == device::AccessFunction::kReadTrackLog && success;
        host_.PostToMain([self, flybook, success, trackDownloaded] {
            if (self) {
                self->OnJobEnd(trackDownloaded);
                if (flybook && success && self->state_.trackLog.Loaded()) {
                    documents::SaveFlybookDocument(self->state_, self->host_);
                }
            }
        });
    };
    automation::StartOutcome outcome = automation::StartOutcome::kRefused;
    if (command.job->function == device::AccessFunction::kReadTrackLog) {
        // The log was cleared; the list shows nothing until the job has ended.
        hooks.starting = [this] {
            Model(ListView::kTrackLog).Detach();
            SetView(ListView::kTrackLog);
        };
        outcome = downloads_.StartTrackLogDownload(std::move(start), std::move(hooks));
    } else if (command.job->function == device::AccessFunction::kReadWaypoints) {
        // The waypoint list is being filled: its view shows nothing until the job has ended.
        hooks.starting = [this] { Model(ListView::kWaypoints).Detach(); };
        outcome = downloads_.StartWaypointDownload(std::move(start), std::move(hooks));
    }
    if (outcome == automation::StartOutcome::kFailed) {
        RefreshLists();
    } else if (outcome == automation::StartOutcome::kStarted) {
        UpdateCommandStates();
    }
}

void MainWindow::ShowProgress(long long done, long long total) {
    if (total <= 0) {
        progress_->reset();
        progress_->setVisible(false);
        return;
    }
    // The bar counts in ints; a larger total is scaled down.
    const long long scale = total > 1'000'000'000 ? total / 1'000'000'000 + 1 : 1;
    progress_->setRange(0, static_cast<int>(total / scale));
    progress_->setValue(static_cast<int>(std::clamp(done, 0LL, total) / scale));
    progress_->setVisible(true);
}

void MainWindow::OnJobEnd(bool trackDownloaded) {
    // The worker has posted this as its last act; wait for it to be gone before the store is
    // used again.
    downloads_.JobTaken();
    ShowProgress(0, 0);
    RefreshLists();
    UpdateCommandStates();
    emit JobEnded();
    // At a competition desk every download is tied to its pilot and saved at once.
    if (trackDownloaded && state_.settings.compMode != 0 && state_.trackLog.Loaded()) {
        SaveCompetitionLog(true);
    }
}

void MainWindow::ReadTrackLogFileCommand() {
    if (ReadTrackLogFile(state_, host_, documents::ReadableTrackFormats()) > 0) {
        RefreshLists();
        SetView(ListView::kTrackLog);
    }
}

void MainWindow::ToggleSetting(std::int32_t& value) {
    value = value != 0 ? 0 : 1;
    UpdateCommandStates();
}

void MainWindow::ToggleUtm() {
    Model(view_).SetUtm(!Model(view_).Utm());
    ApplyColumnWidths();
    UpdateCommandStates();
}

void MainWindow::ListFont() {
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, list_->font(), this);
    if (ok) {
        list_->setFont(font);
        listSizeStep_ = 0;
        ApplyColumnWidths();
    }
}

void MainWindow::CopyTrack() {
    const auto rows = SelectedRows();
    CopyTrackToClipboard(state_, host_, rows, true);
}

void MainWindow::RotateTrack() {
    const auto rows = SelectedRows();
    if (RotateTrackLog(state_, host_, rows) == 1) {
        RefreshLists();
    }
}

void MainWindow::SaveAnimation() {
    const auto rows = SelectedRows();
    kml::SaveAnimationTrack(state_, host_, rows, true);
}

void MainWindow::SetListSize(int step) {
    QFont font = list_->font();
    const int base = font.pointSize() - listSizeStep_ * kListSizeStepPoints;
    listSizeStep_ = step;
    font.setPointSize(std::max(4, base + step * kListSizeStepPoints));
    list_->setFont(font);
    ApplyColumnWidths();
}

void MainWindow::SetComPort() {
    std::vector<device::SerialPortInfo> ports;
    device::ListComPorts(ports);
    const auto chosen = RunPortDialog(this, jobs_.PortName(), ports, device::ListGarminUsbUnits());
    if (!chosen) {
        return;
    }
    jobs_.SetPortName(*chosen);
    state_.settings.portName = *chosen;
    UpdateTitle();
}

void MainWindow::TrackGapTime() {
    // Edited in minutes, kept in seconds.
    bool ok = false;
    const int minutes = QInputDialog::getInt(
        this, QStringLiteral("Set Track Gap Time"), QStringLiteral("Track gap time (minutes):"),
        std::max(1, state_.settings.trackGapTime / 60), 1, 24 * 60, 1, &ok);
    if (ok) {
        state_.settings.trackGapTime = minutes * 60;
    }
}

void MainWindow::UtcOffsetForTn() {
    int seconds = state_.settings.utcOffsetForTn;
    if (RunUtcOffsetDialog(this, seconds)) {
        state_.settings.utcOffsetForTn = seconds;
        tnlog::SetTnUtcOffset(seconds);
    }
}

void MainWindow::WaypointNew() {
    Waypoint waypoint;
    if (!RunWaypointDialog(this, QStringLiteral("New waypoint"), waypoint)) {
        return;
    }
    InsertWaypoint(state_.waypoints, host_, waypoint);
    RefreshLists();
}

void MainWindow::WaypointEdit() {
    const auto rows = SelectedRows();
    Waypoint waypoint = state_.waypoints.items[rows.front()];
    if (!RunWaypointDialog(this, QStringLiteral("Edit waypoint"), waypoint)) {
        return;
    }
    state_.waypoints.items[rows.front()] = waypoint;
    RefreshLists();
}

void MainWindow::WaypointDelete() {
    const auto rows = SelectedRows();
    auto& items = state_.waypoints.items;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it < items.size()) {
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(*it));
        }
    }
    RefreshLists();
}

void MainWindow::ReadWaypointFile() {
    if (documents::ReadWaypointFileCommand(state_, host_, waypointOpenFilter_) > 0) {
        RefreshLists();
        SetView(ListView::kWaypoints);
    }
}

void MainWindow::ReadCtrFile() {
    if (documents::ReadCtrFileCommand(state_, host_) > 0) {
        RefreshLists();
        SetView(ListView::kAirspace);
    }
}

void MainWindow::EditCtr(bool create) {
    const QString title = create ? QStringLiteral("New CTR") : QStringLiteral("Edit CTR");
    std::vector<CtrArea>& list = state_.airspaces.areas;
    std::size_t row = 0;
    QString text = QString::fromLatin1(openair::kNewAirspaceTemplate);
    std::int32_t warning = CtrArea::kDefaultWarningDistance;
    if (!create) {
        const auto rows = SelectedRows();
        if (list.empty()) {
            host_.ShowMessage(title.toStdString(), "No CTR in list");
            return;
        }
        if (rows.empty() || rows.front() >= list.size()) {
            host_.ShowMessage(title.toStdString(), "No CTR selected");
            return;
        }
        row = rows.front();
        const std::string record = openair::SingleRecordText(list[row]);
        text = QString::fromUtf8(record.data(), static_cast<qsizetype>(record.size()));
        warning = list[row].warningDistance;
    }
    CtrArea edited;
    const bool accepted = RunCtrEditDialog(
        this, title, text, QString::number(warning),
        [&](const QString& typed, const QString& distance) {
            return documents::AcceptCtrEdit(host_, title.toStdString(), distance.toStdString(),
                                            typed.toStdString(), edited) == 0;
        });
    if (!accepted) {
        return;
    }
    if (create) {
        list.insert(list.begin(), std::move(edited));
    } else if (row < list.size()) {
        list[row] = std::move(edited);
    }
    RefreshLists();
}

void MainWindow::SegmentAccuracy() {
    RunTextValueDialog(
        this, QStringLiteral("Set max. segment error"), QStringLiteral("Max. segment error (m)"),
        QString::number(state_.maxSegmentError), [this](const QString& input) {
            return documents::AcceptSegmentError(state_, host_, input.toStdString()) == 0;
        });
}

void MainWindow::WriteCtrFile(int kind) {
    const auto rows = SelectedRows();
    documents::WriteCtrFileCommand(state_, host_, rows, static_cast<documents::CtrWriteKind>(kind));
}

void MainWindow::DeleteCtr() {
    const auto rows = SelectedRows();
    if (documents::DeleteCtrCommand(state_, host_, rows) > 0) {
        RefreshLists();
    }
}

void MainWindow::ShowCtrAsWaypoints() {
    const auto rows = SelectedRows();
    if (documents::ShowCtrAsWaypointsCommand(state_, host_, rows) > 0) {
        RefreshLists();
        SetView(ListView::kWaypoints);
    }
}

void MainWindow::StartCtrTransfer(const Command& command) {
    if (!command.job) {
        return;
    }
    device::JobStart start;
    start.function = command.job->function;
    start.protocol = command.job->protocol;
    start.parameter = command.job->parameter;
    const bool upload = start.function == device::AccessFunction::kWriteAirspace;
    if (upload) {
        const auto rows = SelectedRows();
        if (documents::PrepareCtrUpload(state_, host_, rows, start.airspaces) != 0) {
            return;
        }
    }
    // The end reaches the window through the main thread's queue; a downloaded list replaces
    // the current one there, and only when the whole list arrived.
    QPointer<MainWindow> self(this);
    start.completion = [this, self, upload](device::GpsAccessJob& job) {
        state_.jobFailed = job.result < 0;
        auto received = std::make_shared<std::vector<CtrArea>>();
        if (!upload && job.result >= 0) {
            *received = std::move(job.airspaces);
        }
        const bool install = !upload && job.result >= 0;
        host_.PostToMain([self, received, install] {
            if (!self) {
                return;
            }
            if (install) {
                self->state_.airspaces.areas = std::move(*received);
                self->SetView(ListView::kAirspace);
            }
            self->OnJobEnd();
        });
    };
    const automation::StartOutcome outcome = downloads_.Start(std::move(start));
    if (outcome == automation::StartOutcome::kStarted) {
        UpdateCommandStates();
    } else if (outcome == automation::StartOutcome::kFailed) {
        RefreshLists();
    }
}

void MainWindow::StartEraseLog(const Command& command) {
    if (!command.job) {
        return;
    }
    device::JobStart start;
    start.function = command.job->function;
    start.protocol = command.job->protocol;
    start.parameter = command.job->parameter;
    StartInstrumentJob(std::move(start));
}

device::EntryChooser MainWindow::TrackListChooser() {
    QPointer<MainWindow> self(this);
    QtHost* host = &host_;
    return [self, host](const device::JobContext& job, const std::string& title,
                        const std::vector<std::string>& entries) {
        return AskOnMain<int>(
            *host, job,
            [self, title, entries] {
                if (!self) {
                    return -1;
                }
                return RunTrackListDialog(self, ToQString(title), entries).value_or(-1);
            },
            -1);
    };
}

void MainWindow::SetFlymasterData(device::PilotDataUpload::Mode mode) {
    device::PilotDataUpload typed = flymasterData_;
    bool ok = false;
    switch (mode) {
        case device::PilotDataUpload::Mode::kPilotData:
            ok = RunFlymasterNameDialog(this, host_, typed);
            break;
        case device::PilotDataUpload::Mode::kAltitudeAlarm:
            ok = RunFlymasterAltitudeDialog(this, host_, typed);
            break;
        case device::PilotDataUpload::Mode::kIds:
            ok = RunFlymasterIdsDialog(this, host_, typed);
            break;
    }
    if (!ok) {
        return;
    }
    flymasterData_ = typed;
    device::JobStart start;
    start.function = device::AccessFunction::kWritePilotData;
    start.protocol = GpsProtocol::kFlymaster;
    start.pilotData = std::move(typed);
    StartInstrumentJob(std::move(start));
}

void MainWindow::DsxPilotData() {
    device::JobStart start;
    start.function = device::AccessFunction::kWritePilotData;
    start.protocol = GpsProtocol::kDsx;
    QPointer<MainWindow> self(this);
    QtHost* host = &host_;
    start.pilotData.edit = [self, host](const device::JobContext& job,
                                        std::array<std::string, 6>& values) {
        std::optional<std::array<std::string, 6>> edited =
            AskOnMain<std::optional<std::array<std::string, 6>>>(
                *host, job,
                [self, values]() -> std::optional<std::array<std::string, 6>> {
                    if (!self) {
                        return std::nullopt;
                    }
                    std::array<std::string, 6> typed = values;
                    if (!RunDsxPilotDataDialog(self, self->state_.settings.dsxDataMode, typed)) {
                        return std::nullopt;
                    }
                    return typed;
                },
                std::nullopt);
        if (!edited) {
            return false;
        }
        values = *edited;
        return true;
    };
    StartInstrumentJob(std::move(start));
}

void MainWindow::StartInstrumentJob(device::JobStart start, JobFollowUp followUp) {
    QPointer<MainWindow> self(this);
    start.completion = [this, self, followUp = std::move(followUp)](device::GpsAccessJob& job) {
        state_.jobFailed = job.result < 0;
        std::function<void(MainWindow&)> then = followUp ? followUp(job) : nullptr;
        host_.PostToMain([self, then = std::move(then)] {
            if (self) {
                self->OnJobEnd();
                if (then) {
                    then(*self);
                }
            }
        });
    };
    const automation::StartOutcome outcome = downloads_.Start(std::move(start));
    if (outcome == automation::StartOutcome::kStarted) {
        UpdateCommandStates();
    } else if (outcome == automation::StartOutcome::kFailed) {
        RefreshLists();
    }
}

void MainWindow::SaveWaypoints() {
    const auto rows = SelectedRows();
    documents::SaveWaypointsCommand(state_, host_, rows);
}

void MainWindow::SaveTrackLogAs() {
    const auto rows = SelectedRows();
    documents::SaveTrackLogAsCommand(state_, host_, rows);
}

void MainWindow::CsvParameters() {
    RunCsvParametersDialog(this, state_.settings, [this](const std::string& text) {
        host_.ShowMessage(kCheckCsvTitle, text);
    });
}

void MainWindow::ShowTrack(const Command& command) {
    if (state_.trackLog.points.empty()) {
        host_.ShowMessage(CommandTitle(command), "No positions");
        return;
    }
    if (!trackView_) {
        trackView_ = new TrackViewWindow(this);
        connect(trackView_, &TrackViewWindow::PositionClicked, this,
                [this](std::size_t index) { SelectTrackRow(index); });
        connect(trackView_, &TrackViewWindow::TileTemplateEdited, this,
                [this](const QString& url) { state_.settings.mapTileUrl = url.toStdString(); });
    }
    UpdateTrackView();
    trackView_->show();
    trackView_->raise();
}

void MainWindow::UpdateTrackView() {
    // While a job fills the store, the view keeps what it has until the job's end refreshes it.
    if (!trackView_ || Busy()) {
        return;
    }
    // The view always draws the whole current log; the list's selection is its highlight.
    analysis::OptimisationOptions options;
    options.loopFlightGapMetres = state_.settings.loopFlightGap;
    trackView_->SetPoints(state_.trackLog.points, options);
    trackView_->SetOverlays(state_.waypoints, state_.airspaces, state_.maxSegmentError);
    trackView_->SetTileTemplate(QString::fromStdString(state_.settings.mapTileUrl));
    trackView_->SetSelection(view_ == ListView::kTrackLog ? SelectedRows()
                                                          : std::vector<std::size_t>{});
}

void MainWindow::SelectTrackRow(std::size_t index) {
    if (Busy() || index >= state_.trackLog.points.size()) {
        return;
    }
    if (view_ != ListView::kTrackLog) {
        SetView(ListView::kTrackLog);
    }
    const int row = static_cast<int>(index);
    list_->selectRow(row);
    list_->scrollTo(Model(ListView::kTrackLog).index(row, 0));
}

void MainWindow::DumpDebug(const Command& command) {
    const std::string title = CommandTitle(command);
    if (state_.trace.Empty()) {
        host_.ShowMessage(title, "No debug data");
        return;
    }
    FileDialogRequest request;
    request.title = title;
    request.filters = {{"Text files", "txt"}};
    request.folder = state_.settings.traceDir;
    request.proposedName = "tracora-debug.txt";
    const auto chosen = host_.SaveFileDialog(request);
    if (!chosen) {
        return;
    }
    if (state_.trace.SaveTo(chosen->path) != 0) {
        host_.ShowMessage(title, "Could not write " + chosen->path.string());
    }
}

void MainWindow::WriteIgc() {
    if (!state_.trackLog.Loaded()) {
        return;
    }
    std::vector<TrackPoint> points;
    const auto rows = SelectedRows();
    if (igc::PrepareIgcPoints(state_, host_, rows, points) != 0) {
        return;
    }
    RunIgcFileDialog(this, igc::IgcFileDefaults(state_.settings, igcSerial_),
                     [this, &points](const igc::IgcFileParameters& p) {
                         const igc::IgcWriteOutcome outcome =
                             igc::WriteIgcTrackLogFile(state_, host_, points, p);
                         if (outcome == igc::IgcWriteOutcome::kWritten) {
                             igcSerial_ = p.frSerial;
                         }
                         return outcome != igc::IgcWriteOutcome::kStayOpen;
                     });
}

void MainWindow::FlightStatistics() {
    if (!state_.trackLog.Loaded()) {
        return;
    }
    analysis::StatisticsInput input;
    const auto rows = SelectedRows();
    if (analysis::PrepareFlightStatistics(state_, host_, rows, input) != 0) {
        return;
    }
    // One statistics dialog at a time: a new one replaces the old (which halts and joins).
    delete statistics_;
    statistics_ = new StatisticsDialog(state_, host_, std::move(input), this);
    statistics_->SetPositionsUsed(rows.size(), state_.trackLog.points.size());
    statistics_->setAttribute(Qt::WA_DeleteOnClose);
    statistics_->setModal(true);
    statistics_->show();
}

void MainWindow::CompetitionMode() {
    CompetitionModeDialog dialog(state_, host_, this);
    dialog.exec();
    RefreshLists();
    UpdateTitle();
    UpdateCommandStates();
}

void MainWindow::SaveCompetitionLog(bool wholeLog) {
    if (!state_.trackLog.Loaded() || competitionWorker_.Started()) {
        return;
    }
    if (wholeLog) {
        // The IDs the instrument carried (none: -1) propose the pilot, never the last one's.
        const TrackLog& log = state_.trackLog;
        if (log.compPilotId != state_.pilot.competitionId ||
            log.civlPilotId != state_.pilot.civlId) {
            state_.pilot = CurrentPilot{"", log.compPilotId, log.civlPilotId};
        }
    }
    CompetitionPilotDialog pilot(state_, host_, this);
    if (pilot.exec() != QDialog::Accepted) {
        return;
    }
    // The instrument is remembered with the chosen pilot, so that its next download finds him.
    if (wholeLog) {
        const TrackLog& log = state_.trackLog;
        AssignDeviceToPilot(state_.pilotList, state_.pilot.name,
                            log.productText.empty() ? log.instrumentDescription : log.productText);
        RefreshLists();
    }
    // The selected rows, or the whole log when none is selected.
    std::vector<TrackPoint> points;
    const std::vector<std::size_t> rows = wholeLog ? std::vector<std::size_t>{} : SelectedRows();
    if (rows.empty()) {
        points = state_.trackLog.points;
    } else {
        for (const std::size_t row : rows) {
            if (row < state_.trackLog.points.size()) {
                points.push_back(state_.trackLog.points[row]);
            }
        }
    }
    documents::CompetitionSaveOptions options;
    options.folder = state_.settings.compDir;
    options.windowStart = static_cast<std::uint32_t>(state_.settings.compTimeStart);
    options.windowStop = static_cast<std::uint32_t>(state_.settings.compTimeStop);
    options.writeIgc = state_.settings.compSpecial != 0 || state_.settings.addIgcToCompOut != 0;
    competitionSave_ = std::make_unique<CompetitionSave>();
    competitionSave_->options = options;
    competitionSave_->afterDownload = wholeLog;
    if (documents::PrepareCompetitionSave(state_, host_, std::move(points), options,
                                          competitionSave_->prepared) <= 0 ||
        documents::WriteCompetitionIgc(state_, host_, competitionSave_->prepared, options) != 0) {
        competitionSave_.reset();
        return;
    }
    // The analysis runs on the analysis worker; the window shows that it works and stays alive.
    auto* progress =
        new QProgressDialog(QStringLiteral("Analysing track..."), QString(), 0, 0, this);
    progress->setWindowTitle(QString::fromLatin1(documents::kCompetitionSaveTitle));
    progress->setCancelButton(nullptr);
    progress->setMinimumDuration(0);
    progress->setWindowModality(Qt::WindowModal);
    progress->show();
    CompetitionSave* save = competitionSave_.get();
    const TrackLog log = state_.trackLog;
    const CurrentPilot pilotChosen = state_.pilot;
    const std::int32_t loopGap = state_.settings.loopFlightGap;
    QPointer<MainWindow> self(this);
    const int started = competitionWorker_.Start(
        [save, log, pilotChosen, loopGap](const analysis::CancelFlag&) {
            return documents::AnalyseCompetitionTrip(save->prepared, log, pilotChosen, loopGap,
                                                     save->trip, save->title, save->message);
        },
        [this, self, progress] {
            host_.PostToMain([self, progress] {
                delete progress;
                if (self) {
                    self->FinishCompetitionSave();
                }
            });
        });
    if (started != 0) {
        delete progress;
        competitionSave_.reset();
        host_.ShowMessage(documents::kCompetitionSaveTitle, "Memory allocation error");
    }
}

void MainWindow::FinishCompetitionSave() {
    const int status = competitionWorker_.Join();
    std::unique_ptr<CompetitionSave> save = std::move(competitionSave_);
    if (!save) {
        return;
    }
    if (status != 0) {
        host_.ShowMessage(save->title, save->message);
        return;
    }
    const int written =
        documents::WriteCompetitionKml(state_, host_, save->prepared, save->trip, save->options);
    emit CompetitionSaved();
    if (written == 0 && save->afterDownload) {
        UploadPilotIds();
    }
}

void MainWindow::ShowServer() {
    // One server for the run of the window: hiding the dialog keeps its sessions going.
    if (!server_) {
        remote::ServerSetup setup;
        setup.table = &protocols::GpsDispatchTable();
        if (settings_ != nullptr)
            setup.ports = settings_->PortTable();
        setup.keepFlight =
            [folder = std::filesystem::path(state_.settings.igcDir)](device::GpsAccessJob& job) {
                return automation::SaveRemoteFlight(folder, job);
            };
        server_ = new ServerDialog(host_, std::move(setup), this);
    }
    server_->show();
    server_->raise();
}

void MainWindow::ShowCurve(analysis::CurveKind kind) {
    // One curve window at a time: while it is open the commands do nothing.
    if (curve_ || !state_.trackLog.Loaded()) {
        return;
    }
    const char* title = analysis::CurveCommandTitle(kind);
    const auto rows = SelectedRows();
    if (rows.empty()) {
        host_.ShowMessage(title, "No positions selected");
        return;
    }
    std::vector<TrackPoint> points;
    const long long count = CopySelection(state_, host_, rows, points);
    if (count < 0) {
        host_.ShowMessage(title, "Track log memory allocation");
        return;
    }
    if (count == 0) {
        return;  // the split question was cancelled
    }
    analysis::CurveData curve;
    std::string message;
    if (analysis::ComputeCurve(points, kind, curveIntervals_, curve, message) != 0) {
        host_.ShowMessage(title, message);
        return;
    }
    curve_ = new CurveWindow(std::move(curve), this);
    curve_->setAttribute(Qt::WA_DeleteOnClose);
    curve_->show();
}

void MainWindow::CurveIntervals() {
    const analysis::CurveIntervals& now = curveIntervals_;
    RunFieldsDialog(
        this, QStringLiteral("Set view intervals"),
        {{QStringLiteral("Vario interval (s)"), QStringLiteral("vario"),
          QString::number(now.varioSeconds)},
         {QStringLiteral("Glide interval (s)"), QStringLiteral("glide"),
          QString::number(now.glideSeconds)},
         {QStringLiteral("Polar interval\n(track points)"), QStringLiteral("polar"),
          QString::number(now.polarPoints)}},
        [this](const std::vector<QString>& texts) {
            if (!analysis::ParseCurveIntervals(ToStdString(texts[0]), ToStdString(texts[1]),
                                               ToStdString(texts[2]), curveIntervals_)) {
                host_.ShowMessage("Decode input", "Bad input");
                return false;
            }
            return true;
        });
}

void MainWindow::SendWithFtp() {
    if (!ftp_) {
        ftp_ = new FtpDialog(state_, host_, this);
        ftp_->setAttribute(Qt::WA_DeleteOnClose);
    }
    ftp_->show();
    ftp_->raise();
}

void MainWindow::OlcStatistics(bool useIgcBuffer) {
    olc::OlcInput input;
    const auto rows = useIgcBuffer ? std::vector<std::size_t>{} : SelectedRows();
    if (olc::PrepareOlcInput(state_, host_, rows, useIgcBuffer, input) != 0) {
        return;
    }
    // One scoring dialog at a time: a new one replaces the old (which halts and joins).
    delete olc_;
    olc_ = new OlcDialog(state_, host_, std::move(input), this);
    olc_->setAttribute(Qt::WA_DeleteOnClose);
    olc_->setModal(true);
    olc_->show();
}

void MainWindow::SaveRawIgc() {
    if (state_.trackLog.rawIgc.Empty()) {
        host_.ShowMessage(igc::kSaveIgcLogTitle, igc::kNoRawIgcLog);
        return;
    }
    RunRawIgcDialog(this, igc::RawIgcSaveDefaults(state_.settings),
                    [this](const igc::RawIgcSaveRequest& request) {
                        return igc::SaveRawIgcLog(state_, host_, request) !=
                               igc::RawIgcSaveOutcome::kFieldError;
                    });
}

void MainWindow::LoopFlightGap() {
    RunTextValueDialog(
        this, QStringLiteral("Loop flight gap distance"),
        QStringLiteral("Maximum closing gap (m):"), QString::number(state_.settings.loopFlightGap),
        [this](const QString& text) {
            std::int32_t metres = 0;
            if (const char* problem = analysis::ParseLoopFlightGap(ToStdString(text), metres)) {
                host_.ShowMessage(analysis::kSetGapTitle, problem);
                return false;
            }
            state_.settings.loopFlightGap = metres;
            return true;
        });
}

void MainWindow::VarioFilterLimit() {
    bool ok = false;
    const int limit =
        QInputDialog::getInt(this, QStringLiteral("Set vario filter"),
                             QStringLiteral("Greatest climb or sink rate kept (m/s, 0 = off):"),
                             std::max(0, state_.settings.varioFilter), 0, 1000, 1, &ok);
    if (ok) {
        state_.settings.varioFilter = limit;
    }
}

void MainWindow::About() {
    QMessageBox::about(
        this, QStringLiteral("About Tracora"),
        QStringLiteral("Tracora %1\nDownloads, uploads and flight analysis for free-flight "
                       "instruments.")
            .arg(FromView(igc::IgcVersionText(kVersion))));
}

void MainWindow::Exit() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A downloaded log nobody saved is not dropped without asking, as loading over it asks.
    if (!exiting_ && !closeWithoutQuestions_ && !Busy() && !ConfirmDiscardUnsaved(state_, host_)) {
        event->ignore();
        return;
    }
    if (!exiting_) {
        exiting_ = true;
        // Nothing the worker uses may go away under it.
        if (jobs_.Running()) {
            jobs_.AbortGpsJob();
        }
        jobs_.WaitForJobEnd();
        downloads_.JobTaken();
        if (trackView_) {
            trackView_->close();
        }
        if (settings_ != nullptr && !state_.automation.has_value()) {
            settings_->Save(state_.settings);
        }
    }
    event->accept();
}

}  // namespace tracora::app
