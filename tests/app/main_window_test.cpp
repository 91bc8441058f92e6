#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "analysis/track_filters.hpp"
#include "app/competition_dialogs.hpp"
#include "app/track_view.hpp"
#include "app_test_support.hpp"
#include "device/emulator_link.hpp"
#include "device/hid_transport.hpp"
#include "device/pseudo_terminal.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/igc/igc_reader.hpp"
#include "protocols/flymaster/flymaster_emulator.hpp"
#include "protocols/flytec/flytec_emulator.hpp"
#include "protocols/graviter/graviter_emulator.hpp"
#include "protocols/magellan/magellan_emulator.hpp"
#include "protocols/mtk/mtk_emulator.hpp"
#include "protocols/syride/syride_emulator.hpp"
#include "protocols/topnav/topnav_emulator.hpp"

namespace tracora::app {
namespace {

using test_support::Message;
using test_support::WaitUntil;
using test_support::WindowTest;

TEST_F(WindowTest, EveryCommandIsAnActionAndOnlyExistingFeaturesAreEnabled) {
    for (const Command& command : CommandTable()) {
        QAction* action = window->CommandAction(command.id);
        ASSERT_NE(action, nullptr) << command.id;
        // Enabled: a command the window has a handler for whose device job, if any, has a
        // working routine; the abort only while a job runs.
        const bool expected = command.action != Action::kAbort &&
                              MainWindow::FindHandler(command.action) != nullptr &&
                              (!command.job || protocols::HasWorkingRoutine(command.job->function,
                                                                            command.job->protocol));
        EXPECT_EQ(action->isEnabled(), expected) << command.id;
        const std::string_view shortcut = CommandShortcut(command);
        EXPECT_EQ(action->shortcut().toString().toStdString(), std::string(shortcut)) << command.id;
    }
    // A disabled command (the MLR upload to a Leonardo, which the family does not offer) does
    // nothing, even when called directly.
    EXPECT_FALSE(window->CommandAction(40138)->isEnabled());
    EXPECT_FALSE(window->RunCommand(40138));
    EXPECT_TRUE(messages.empty());
    ASSERT_NE(window->Button(40054), nullptr);
    EXPECT_TRUE(window->Button(40054)->isEnabled());
    EXPECT_TRUE(window->Button(40029)->isEnabled());  // Garmin
    EXPECT_TRUE(window->Button(40198)->isEnabled());  // Digifly Air
    EXPECT_TRUE(window->Button(40004)->isEnabled());  // MLR
    EXPECT_FALSE(window->Button(1102)->isEnabled());  // nothing to abort
}

TEST_F(WindowTest, TitleShowsVersionPortAndCompetitionMode) {
    jobs.SetPortName("/dev/ttyUSB0");
    window->UpdateTitle();
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Tracora ")));
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral(", /dev/ttyUSB0")));
    EXPECT_TRUE(window->windowTitle().contains(QRegularExpression("^Tracora \\d+\\.\\d\\d, ")));
    state.settings.compMode = 1;
    window->UpdateTitle();
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral(", Competition mode")));
    window->RunCommand(40130);
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral(", Comp. mode")));
}

TEST_F(WindowTest, BusyRuleRefusesJobsAndListCommands) {
    state.busy = true;
    EXPECT_TRUE(window->RunCommand(40054));
    EXPECT_TRUE(window->RunCommand(40055));
    window->SetView(ListView::kWaypoints);
    EXPECT_TRUE(window->RunCommand(40038));
    window->SetView(ListView::kTrackLog);
    EXPECT_TRUE(window->RunCommand(40083));
    const std::vector<Message> expected{
        {"Download track log", "Busy GPS driver"},
        {"Download waypoints", "Busy GPS driver"},
        {"New waypoint", "Busy GPS driver"},
        {"Copy track to clip board", "Busy GPS driver"},
    };
    EXPECT_EQ(messages, expected);
    EXPECT_FALSE(jobs.Running());
    // View commands still work while busy.
    EXPECT_TRUE(window->RunCommand(40024));
    EXPECT_EQ(window->CurrentView(), ListView::kWaypoints);
}

TEST_F(WindowTest, ViewRuleRefusesListCommandsInAnotherView) {
    LoadFlight("marcourt.igc");
    window->SetView(ListView::kTrackLog);
    window->RunCommand(40038);  // new waypoint
    window->RunCommand(40031);  // delete waypoints
    window->SetView(ListView::kWaypoints);
    window->RunCommand(40083);  // copy track
    window->RunCommand(40124);  // rotate track
    window->RunCommand(40141);  // show track
    const std::vector<Message> expected{
        {"New waypoint", "Incorrect view mode"},
        {"Delete waypoint(s)", "Incorrect view mode"},
        {"Copy track to clip board", "Incorrect view mode"},
        {"Rotate track log", "Incorrect view mode"},
        {"Show track", "Incorrect view mode"},
    };
    EXPECT_EQ(messages, expected);
}

TEST_F(WindowTest, CopySelectedPositionsToClipboard) {
    LoadFlight("marcourt.igc");
    window->SetView(ListView::kTrackLog);
    window->List().selectRow(3);
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(window->RunCommand(40083));
    EXPECT_TRUE(messages.empty());
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_FALSE(text.isEmpty());
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
}

TEST_F(WindowTest, TrackCellsInGeographicAndUtmForm) {
    LoadFlight("marcourt.igc");
    // B1034115012954N00530990EA0016100331: 2012? the date comes from the HFDTE record.
    StoreTableModel& model = window->Model(ListView::kTrackLog);
    ASSERT_EQ(model.rowCount(), 221);
    ASSERT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("UTC date"));
    EXPECT_EQ(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("km/h"));
    EXPECT_TRUE(model.Cell(0, 0).contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d$")));
    EXPECT_EQ(model.Cell(0, 1), QStringLiteral("10:34:11"));
    EXPECT_TRUE(model.Cell(0, 2).startsWith(QStringLiteral("N 50")));
    EXPECT_TRUE(model.Cell(0, 3).startsWith(QStringLiteral("E 005")));
    EXPECT_EQ(model.Cell(0, 4), QStringLiteral("331"));
    EXPECT_EQ(model.Cell(0, 5), QStringLiteral("161"));
    EXPECT_EQ(model.Cell(0, 6), QStringLiteral("START"));
    EXPECT_TRUE(model.Cell(1, 6).contains(QRegularExpression("^\\d+\\.\\d$")));

    window->SetView(ListView::kTrackLog);
    EXPECT_TRUE(window->RunCommand(1018));  // UTM
    ASSERT_EQ(model.columnCount(), 8);
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Zone"));
    EXPECT_EQ(model.Cell(0, 2), QStringLiteral("31U"));
    EXPECT_EQ(model.Cell(0, 3).size(), 7);
    EXPECT_EQ(model.Cell(0, 4).size(), 7);
    // Dialog units become pixels: a wider column stays wider.
    EXPECT_GT(window->List().columnWidth(5), window->List().columnWidth(2));
}

TEST_F(WindowTest, AHundredThousandFixesAreFormattedOnDemand) {
    std::vector<TrackPoint> points(100'000);
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].time = 1'000'000'000u + static_cast<std::uint32_t>(i);
        points[i].latitude = 599099023 + static_cast<std::int32_t>(i);
        points[i].longitude = 65814409;
        points[i].gpsAltitude = 10000;
    }
    points[0].flags = TrackPoint::kSegmentStart;
    state.trackLog.points = std::move(points);
    window->RefreshLists();
    StoreTableModel& model = window->Model(ListView::kTrackLog);
    EXPECT_EQ(model.rowCount(), 100'000);
    window->resize(900, 600);
    window->show();
    window->List().scrollToBottom();
    EXPECT_EQ(model.Cell(99'999, 4), QStringLiteral("1000"));
    EXPECT_FALSE(model.data(model.index(99'999, 1)).toString().isEmpty());
    // Rows are of one fixed height, so the view never measures 100,000 rows.
    EXPECT_EQ(window->List().verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
}

TEST_F(WindowTest, WaypointListCommands) {
    window->SetView(ListView::kWaypoints);
    Waypoint waypoint;
    waypoint.SetId("TAKEOF");
    waypoint.SetDescription("Take-off");
    state.waypoints.items = {waypoint, waypoint, waypoint};
    window->RefreshLists();
    EXPECT_EQ(window->Model(ListView::kWaypoints).rowCount(), 3);
    EXPECT_TRUE(window->RunCommand(40042));  // select all
    EXPECT_EQ(window->SelectedRows().size(), 3u);
    EXPECT_TRUE(window->RunCommand(40031));  // delete them
    EXPECT_TRUE(state.waypoints.items.empty());
    EXPECT_EQ(window->Model(ListView::kWaypoints).rowCount(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, UnsavedTrackLogIsKeptWhenTheUserSaysNo) {
    LoadFlight("marcourt.igc");
    state.trackLog.saved = false;
    answer = Answer::kNo;
    EXPECT_TRUE(window->RunCommand(40054));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, "Continue without saving current track log ?");
    EXPECT_EQ(questions[0].title, "Unsaved track log");
    EXPECT_FALSE(jobs.Running());
    EXPECT_EQ(state.trackLog.points.size(), 221u);
}

TEST_F(WindowTest, ReadTrackLogFileFromTheMenu) {
    std::vector<FileDialogRequest> asked;
    host.openDialogHook = [&asked](const FileDialogRequest& request) {
        asked.push_back(request);
        return std::optional<FileDialogResult>(
            FileDialogResult{test_support::Fixture("marcourt.igc"), 1});
    };
    window->SetView(ListView::kWaypoints);
    EXPECT_TRUE(window->RunCommand(40117));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "Read track log file");
    ASSERT_FALSE(asked[0].filters.empty());
    EXPECT_EQ(asked[0].filters[0].extension, "igc");
    EXPECT_EQ(state.trackLog.points.size(), 221u);
    EXPECT_EQ(window->Model(ListView::kTrackLog).rowCount(), 221);
    EXPECT_EQ(window->CurrentView(), ListView::kTrackLog);
    EXPECT_TRUE(messages.empty());
}

// "Open waypoints" reads by content and asks "Modify waypoint ID" where a name must change;
// "Save waypoints" writes the selected rows in the type chosen.
TEST_F(WindowTest, WaypointFilesFromTheMenu) {
    const QString folder = QDir::temp().filePath(
        QStringLiteral("tracora-window-waypoints-%1").arg(QCoreApplication::applicationPid()));
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::filesystem::path in = std::filesystem::path(folder.toStdString()) / "in.wpt";
    {
        std::ofstream out(in, std::ios::binary);
        out << "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
               "   1,OK1,  46.500000,   7.250000,0,0, 1, 3, 0, 65535,First, 0, 0, 0, 3281\r\n"
               "   2,tower 1,  46.600000,   7.350000,0,0, 1, 3, 0, 65535,Tower, 0, 0, 0, 3281\r\n";
    }
    host.openDialogHook = [&in](const FileDialogRequest& request) {
        EXPECT_EQ(request.title, "Read waypoint file");
        return std::optional<FileDialogResult>(FileDialogResult{in, 1});
    };
    answer = Answer::kYes;  // convert "tower 1"
    EXPECT_TRUE(window->RunCommand(40047));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].title, "Modify waypoint ID");
    EXPECT_EQ(questions[0].text, "tower 1");
    ASSERT_EQ(state.waypoints.items.size(), 2u);
    EXPECT_EQ(state.waypoints.items[1].Id(), "TOWER");
    EXPECT_EQ(window->CurrentView(), ListView::kWaypoints);
    EXPECT_EQ(window->Model(ListView::kWaypoints).rowCount(), 2);

    const std::filesystem::path out = std::filesystem::path(folder.toStdString()) / "out";
    host.saveDialogHook = [&out](const FileDialogRequest& request) {
        EXPECT_EQ(request.title, "Save waypoints");
        return std::optional<FileDialogResult>(FileDialogResult{out, 1});
    };
    EXPECT_TRUE(window->RunCommand(40042));  // select all
    EXPECT_TRUE(window->RunCommand(40118));
    std::string saved;
    ASSERT_EQ(ReadWholeFile(out.string() + ".wpt", saved), FileReadStatus::kOk);
    EXPECT_TRUE(saved.starts_with("OziExplorer Waypoint File Version 1.0\r\n"));
    EXPECT_NE(saved.find("TOWER         ,  46.600000,   7.350000,"), std::string::npos) << saved;
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), (Message{"Save waypoints", "File written"}));
    QDir(folder).removeRecursively();
}

// The CTR menu: an OpenAir file read (its dropped airways told in the "CTR error notification"
// box until "Skip further notifications" is ticked), the list, a GPX export of the selection,
// "Show CTR as waypoints" and delete.
TEST_F(WindowTest, AirspaceMenu) {
    const QString folder = QDir::temp().filePath(
        QStringLiteral("tracora-window-ctr-%1").arg(QCoreApplication::applicationPid()));
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::filesystem::path dir(folder.toStdString());
    {
        std::ofstream out(dir / "ctr.txt", std::ios::binary);
        out << "AC D\r\nAN ZONE A\r\nAL GND\r\nAH FL95\r\nV X=46:30:00 N 007:15:00 E\r\n"
               "DC 2\r\n";
        for (int i = 1; i <= 3; ++i) {
            out << "AC A\r\nAN AWY " << i << "\r\nAL FL100\r\nAH FL200\r\nV W=5\r\n"
                << "DY 46:00:00 N 007:00:00 E\r\n";
        }
        out << "AC R\r\nAN ZONE B\r\nAL 1500ft\r\nAH 3000ft\r\nDP 46:00:00 N 007:00:00 E\r\n"
               "DP 46:10:00 N 007:00:00 E\r\nDP 46:10:00 N 007:10:00 E\r\n";
    }
    std::vector<std::string> notices;
    host.notificationHook = [&notices](const std::string& text) {
        notices.push_back(text);
        return notices.size() == 2;  // ticked on the second
    };
    host.openDialogHook = [&dir](const FileDialogRequest& request) {
        EXPECT_EQ(request.title, "Read CTR");
        return std::optional<FileDialogResult>(FileDialogResult{dir / "ctr.txt", 1});
    };
    EXPECT_TRUE(window->RunCommand(40100));
    EXPECT_EQ(notices, (std::vector<std::string>{"CTR at line 7:  DY record (not implemented)",
                                                 "CTR at line 13:  DY record (not implemented)"}));
    EXPECT_EQ(window->CurrentView(), ListView::kAirspace);
    const StoreTableModel& model = window->Model(ListView::kAirspace);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.Cell(0, 0), QStringLiteral("ZONE A"));
    EXPECT_EQ(model.Cell(0, 2), QStringLiteral("FL95"));
    EXPECT_EQ(model.Cell(1, 1), QStringLiteral("1500ft"));
    EXPECT_EQ(model.Cell(1, 4), QStringLiteral("3"));

    // The export writes the selection and leaves the track log alone.
    LoadFlight("marcourt.igc");
    window->SetView(ListView::kAirspace);
    host.saveDialogHook = [&dir](const FileDialogRequest& request) {
        EXPECT_EQ(request.title, "Save CTR(s)");
        return std::optional<FileDialogResult>(FileDialogResult{dir / "ctr", 1});
    };
    window->List().selectAll();
    EXPECT_TRUE(window->RunCommand(40149));
    std::string gpx;
    ASSERT_EQ(ReadWholeFile(dir / "ctr.gpx", gpx), FileReadStatus::kOk);
    EXPECT_NE(gpx.find("<name>ZONE B</name>"), std::string::npos);
    EXPECT_EQ(state.trackLog.points.size(), 221u);

    EXPECT_TRUE(window->RunCommand(40112));  // show the first selected as waypoints
    EXPECT_EQ(window->CurrentView(), ListView::kWaypoints);
    EXPECT_GT(state.waypoints.items.size(), 8u);
    EXPECT_EQ(state.trackLog.points.size(), 221u);

    window->SetView(ListView::kAirspace);
    window->List().selectRow(0);
    EXPECT_TRUE(window->RunCommand(40111));
    ASSERT_EQ(state.airspaces.areas.size(), 1u);
    EXPECT_EQ(state.airspaces.areas[0].name, "ZONE B");
    EXPECT_EQ(window->Model(ListView::kAirspace).rowCount(), 1);
    QDir(folder).removeRecursively();
}

// "New CTR" starts from the template; a text that does not parse keeps the dialog open with
// the parser's message; "Edit CTR" shows the airspace's record and replaces it in place.
TEST_F(WindowTest, NewAndEditCtrDialogs) {
    window->SetView(ListView::kAirspace);
    test_support::OnNextModal([](QDialog& dialog) {
        auto* text = dialog.findChild<QPlainTextEdit*>(QStringLiteral("text"));
        auto* warning = dialog.findChild<QLineEdit*>(QStringLiteral("warning"));
        ASSERT_TRUE(text != nullptr && warning != nullptr);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("New CTR"));
        EXPECT_TRUE(text->toPlainText().startsWith(QStringLiteral("*Airspace name\nAN Put")));
        EXPECT_EQ(warning->text(), QStringLiteral("200"));
        text->setPlainText(QStringLiteral("AC R\nAN NEW\nAL GND\nAH FL95\nDP 90:00:00 N 7 E\n"));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
        EXPECT_TRUE(dialog.isVisible());
        text->setPlainText(
            QStringLiteral("AC R\nAN NEW\nAL GND\nAH FL95\nV X=46:30:00 N 007:15:00 E\nDC 1km\n"));
        warning->setText(QStringLiteral("500"));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(window->RunCommand(40105));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Bad position format on line 5");
    ASSERT_EQ(state.airspaces.areas.size(), 1u);
    EXPECT_EQ(state.airspaces.areas[0].name, "NEW");
    EXPECT_EQ(state.airspaces.areas[0].warningDistance, 500);
    EXPECT_EQ(state.airspaces.areas[0].segments.at(0).radiusMetres, 1000);

    window->List().selectRow(0);
    test_support::OnNextModal([](QDialog& dialog) {
        auto* text = dialog.findChild<QPlainTextEdit*>(QStringLiteral("text"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Edit CTR"));
        EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("AN NEW\n")));
        text->setPlainText(
            text->toPlainText().replace(QStringLiteral("AN NEW"), QStringLiteral("AN RENAMED")));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(window->RunCommand(40104));
    ASSERT_EQ(state.airspaces.areas.size(), 1u);
    EXPECT_EQ(state.airspaces.areas[0].name, "RENAMED");
    EXPECT_EQ(state.airspaces.areas[0].warningDistance, 500);
    EXPECT_EQ(state.airspaces.areas[0].segments.at(0).radiusMetres, 1000);
    EXPECT_EQ(window->Model(ListView::kAirspace).Cell(0, 0), QStringLiteral("RENAMED"));

    test_support::OnNextModal([](QDialog& dialog) {
        auto* value = dialog.findChild<QLineEdit*>(QStringLiteral("value"));
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->text(), QStringLiteral("10"));
        value->setText(QStringLiteral("0"));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
        EXPECT_TRUE(dialog.isVisible());
        value->setText(QStringLiteral("50"));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(window->RunCommand(40190));
    EXPECT_EQ(messages.back(), (Message{"Set segment error", "Use 1m or greater"}));
    EXPECT_EQ(state.maxSegmentError, 50);
}

TEST_F(WindowTest, WriteIgcFileFromTheMenuReadsBackWithTheSameFixes) {
    LoadFlight("marcourt.igc");
    state.trackLog.saved = false;
    state.settings.igcPilotName = "Ann Pilot";
    state.settings.igcFlightNo = "1";
    state.settings.igcSaveMask = 1 | 2;
    const std::filesystem::path folder =
        std::filesystem::path(TRACORA_SCREENSHOT_DIR).parent_path() / "igc_write";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::string proposed;
    host.saveDialogHook = [&](const FileDialogRequest& request) {
        proposed = request.proposedName;
        return std::optional<FileDialogResult>(FileDialogResult{folder / "written", 1});
    };
    test_support::OnNextModal([](QDialog& dialog) {
        auto* pilot = dialog.findChild<QLineEdit*>(QStringLiteral("pilot"));
        auto* serial = dialog.findChild<QLineEdit*>(QStringLiteral("serial"));
        auto* flight = dialog.findChild<QLineEdit*>(QStringLiteral("flight"));
        ASSERT_TRUE(pilot != nullptr && serial != nullptr && flight != nullptr);
        EXPECT_EQ(pilot->text(), "Ann Pilot");
        // A refused value keeps the dialog open.
        serial->setText(QStringLiteral("A-1"));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
        EXPECT_TRUE(dialog.isVisible());
        serial->setText(QStringLiteral("AB1"));
        flight->setText(QStringLiteral("2"));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(window->RunCommand(40043));
    // A file's track log is not the instrument's own: written without the security record.
    const std::vector<test_support::Message> expected{
        {"Checking IGC parameters", "FR serial number not alpha-numeric"},
        {"Security record NOT included", "Track log source is not valid for G-record"}};
    EXPECT_EQ(messages, expected);
    // The long name: date, the program's manufacturer code, serial and flight number.
    EXPECT_EQ(proposed, "2021-03-06-XTR-AB1-02.igc");
    // The extension of the chosen type is added to a name without one.
    std::string written;
    ASSERT_EQ(ReadWholeFile(folder / "written.igc", written), FileReadStatus::kOk);
    EXPECT_NE(written.find("AXTRAB1"), std::string::npos);
    EXPECT_NE(written.find("HOPLTPILOT: Ann Pilot\r\n"), std::string::npos);
    igc::IgcParseResult back;
    ASSERT_EQ(igc::ParseIgc(written, back), 221) << back.error;
    for (std::size_t i = 0; i < back.points.size(); ++i) {
        EXPECT_EQ(back.points[i].time, state.trackLog.points[i].time) << i;
        EXPECT_EQ(back.points[i].latitude, state.trackLog.points[i].latitude) << i;
        EXPECT_EQ(back.points[i].longitude, state.trackLog.points[i].longitude) << i;
    }
    EXPECT_TRUE(state.trackLog.saved);
    EXPECT_EQ(state.settings.igcFlightNo, "2");
    EXPECT_TRUE(WaitUntil([this] { return window->StatusText() == "221 positions written"; }));
}

TEST_F(WindowTest, DebugTraceIsSavedAndCleared) {
    const std::filesystem::path file =
        std::filesystem::path(TRACORA_SCREENSHOT_DIR).parent_path() / "debug_trace.txt";
    std::filesystem::remove(file);
    host.saveDialogHook = [&file](const FileDialogRequest&) {
        return std::optional<FileDialogResult>(FileDialogResult{file, 1});
    };
    state.trace.Text("$PBRSNP,*21\r\n");
    EXPECT_TRUE(window->RunCommand(40079));
    std::string saved;
    ASSERT_EQ(ReadWholeFile(file, saved), FileReadStatus::kOk);
    EXPECT_EQ(saved, "$PBRSNP,*21\r\n");
    EXPECT_TRUE(window->RunCommand(40080));
    EXPECT_TRUE(state.trace.Empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, StatusFromAWorkerThreadReachesTheStatusLine) {
    std::thread worker([this] {
        host.SetStatus("Requesting track log");
        host.SetProductLine("Compeo+, SN1234, SW1.22");
    });
    worker.join();
    EXPECT_TRUE(WaitUntil([this] {
        return window->StatusText() == QStringLiteral("Requesting track log") &&
               window->ProductText() == QStringLiteral("Compeo+, SN1234, SW1.22");
    }));
}

// The seconds of the day of a fixture's B records, read straight from their columns.
std::vector<int> BRecordSeconds(const std::string& text) {
    std::vector<int> seconds;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() >= 7 && line[0] == 'B') {
            seconds.push_back(std::stoi(line.substr(1, 2)) * 3600 +
                              std::stoi(line.substr(3, 2)) * 60 + std::stoi(line.substr(5, 2)));
        }
    }
    return seconds;
}

// A download started from the menu, against the Flytec emulator over a pseudo-terminal.
class WindowJobTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        jobs.SetPortName(pty.SlavePath());
        jobs.SetOpenAttempts(4);
    }
    void TearDown() override {
        jobs.WaitForJobEnd();
        if (emulator) {
            emulator->Stop();
        }
        WindowTest::TearDown();
    }
    void StartEmulator(const char* flight, int lineRateBaud) {
        protocols::flytec::FlytecEmulatorConfig config;
        config.flights.push_back(test_support::ReadFixture(flight));
        config.waypoints = protocols::flytec::BuiltInWaypoints();
        config.lineRateBaud = lineRateBaud;
        emulator = std::make_unique<protocols::flytec::FlytecEmulator>(*link, std::move(config));
        emulator->Start();
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::flytec::FlytecEmulator> emulator;
};

TEST_F(WindowJobTest, DownloadFromTheMenuReachesStatusLineAndList) {
    StartEmulator("marcourt.igc", 0);
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });
    // The bar's states while the track comes in: its total is the flight list's duration.
    std::vector<std::pair<int, int>> bar;
    QObject::connect(window->Progress(), &QProgressBar::valueChanged,
                     [&](int value) { bar.emplace_back(value, window->Progress()->maximum()); });
    // The bar beside the status text is shown while the reports come.
    bool shown = false;
    QObject::connect(window->Progress(), &QProgressBar::valueChanged,
                     [&] { shown = shown || !window->Progress()->isHidden(); });
    window->CommandAction(40054)->trigger();
    EXPECT_TRUE(window->Busy());
    EXPECT_TRUE(window->CommandAction(1102)->isEnabled());
    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));
    EXPECT_FALSE(window->Busy());
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(window->StatusText(), QStringLiteral("221 points received"));
    EXPECT_EQ(window->ProductText(), QStringLiteral("COMPEO+, SN1234, SW1.22"));
    EXPECT_EQ(state.trackLog.points.size(), 221u);
    EXPECT_EQ(window->Model(ListView::kTrackLog).rowCount(), 221);
    EXPECT_EQ(window->CurrentView(), ListView::kTrackLog);
    EXPECT_FALSE(window->CommandAction(1102)->isEnabled());
    EXPECT_TRUE(messages.empty());

    // Reports come every hundred positions: after fixes 101 and 201, as seconds flown of the
    // flight's seconds (first to last B record of the fixture), and the whole flight when
    // it is in; the bar is gone at the end.
    const auto times = BRecordSeconds(test_support::ReadFixture("marcourt.igc"));
    ASSERT_EQ(times.size(), 221u);
    const int duration = times.back() - times.front();
    std::vector<std::pair<int, int>> expected{
        {times[100] - times[0], duration}, {times[200] - times[0], duration}, {duration, duration}};
    bar.erase(std::remove_if(bar.begin(), bar.end(), [](auto p) { return p.first < 0; }),
              bar.end());
    EXPECT_EQ(bar, expected);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(window->Progress()->isVisible());
    EXPECT_TRUE(window->Progress()->isHidden());
}

// In competition mode the end of a download asks for the pilot and writes the competition
// output; the instrument is remembered with the pilot. The instrument carried no IDs: writing
// them is offered (and declined here).
TEST_F(WindowJobTest, CompetitionDownloadAsksForThePilotAndSaves) {
    StartEmulator("marcourt.igc", 0);
    state.settings.compMode = 1;
    state.settings.compTimeStart = 0;
    const std::filesystem::path comp =
        std::filesystem::temp_directory_path() /
        ("tracora-competition-download-" + std::to_string(::getpid()));
    std::filesystem::remove_all(comp);
    std::filesystem::create_directories(comp);
    state.settings.compDir = comp.string();
    state.pilotList.pilots = {PilotEntry{"Smith, John", 4711, 12, {}}};
    bool saved = false;
    QObject::connect(window.get(), &MainWindow::CompetitionSaved, [&saved] { saved = true; });
    test_support::OnNextModal([](QDialog& dialog) {
        auto* pilot = qobject_cast<CompetitionPilotDialog*>(&dialog);
        ASSERT_NE(pilot, nullptr);
        pilot->PilotBox()->setCurrentIndex(0);
        emit pilot->PilotBox()->activated(0);
        pilot->accept();
    });
    bool offered = false;
    test_support::OnModalTitled(QStringLiteral("No pilot ID"), [&offered](QDialog& dialog) {
        offered = true;
        dialog.reject();
    });
    window->CommandAction(40054)->trigger();
    ASSERT_TRUE(WaitUntil([&saved] { return saved; }));
    EXPECT_TRUE(offered);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(comp)) {
        names.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].starts_with("Smith, John.")) << names[0];
    EXPECT_TRUE(names[0].ends_with(".4711.12.kml")) << names[0];
    EXPECT_FALSE(state.pilotList.pilots[0].devices[0].empty());
    std::filesystem::remove_all(comp);
}

// The quick button "Flymaster" reads the instrument; with "Power off after log read" checked
// the instrument is switched off after the download.
TEST_F(WindowJobTest, FlymasterDownloadFromTheQuickButtonWithPowerOff) {
    protocols::flymaster::FlymasterEmulatorConfig config;
    config.flights.emplace_back();
    ASSERT_TRUE(protocols::flymaster::FlightFromIgc(test_support::ReadFixture("marcourt.igc"),
                                                    config.flights.back()));
    protocols::flymaster::FlymasterEmulator flymaster(*link, config);
    flymaster.Start();
    state.settings.flymasterPwrOff = 0;
    ASSERT_TRUE(window->RunCommand(40146));
    EXPECT_EQ(state.settings.flymasterPwrOff, 1);
    EXPECT_TRUE(window->CommandAction(40146)->isChecked());
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });
    ASSERT_NE(window->Button(40126), nullptr);
    ASSERT_TRUE(window->Button(40126)->isEnabled());
    window->Button(40126)->click();
    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(state.trackLog.points.size(), 221u);
    EXPECT_TRUE(flymaster.WaitForRequest("$PFMOFF*14", 10'000));
    flymaster.Stop();
    ASSERT_TRUE(window->RunCommand(40146));
    EXPECT_EQ(state.settings.flymasterPwrOff, 0);
    EXPECT_FALSE(window->CommandAction(40146)->isChecked());
}

TEST_F(WindowJobTest, UsbCompetitionWaypointCheckIsOnAtStartAndToggles) {
    QAction* option = window->CommandAction(40142);
    ASSERT_NE(option, nullptr);
    EXPECT_EQ(option->text(), QStringLiteral("USB && comp. mode: Check wpts"));
    EXPECT_TRUE(option->isCheckable());
    EXPECT_TRUE(option->isEnabled());
    EXPECT_TRUE(option->isChecked());
    ASSERT_TRUE(window->RunCommand(40142));
    EXPECT_FALSE(option->isChecked());
    ASSERT_TRUE(window->RunCommand(40142));
    EXPECT_TRUE(option->isChecked());
}

// Each of these families from its menu entry, against the emulator tracora-emulate plays,
// holding the fixture flight: the whole flight reaches the list and nothing is reported.
struct MenuDownloadCase {
    const char* name;
    int command;
    const char* emulator;
    // The family knows the download's total (a point count or the listed duration).
    bool bar = false;
};

class WindowFamilyDownloadTest : public WindowJobTest,
                                 public ::testing::WithParamInterface<MenuDownloadCase> {};

TEST_P(WindowFamilyDownloadTest, WholeFlightReachesTheList) {
    const emulate::EmulatorEntry* entry = emulate::FindEmulator(GetParam().emulator);
    ASSERT_NE(entry, nullptr);
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    emulate::EmulatorSession session{
        *link, pty.SlaveFd(), {"--igc", test_support::Fixture("marcourt.igc")}, log};
    int emulatorResult = -1;
    std::thread unit([&] { emulatorResult = entry->run(session); });
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });
    // The bar's values and whether it reached its end while shown.
    int reports = 0;
    bool full = false;
    QProgressBar* progress = window->Progress();
    QObject::connect(progress, &QProgressBar::valueChanged, [&](int value) {
        if (value >= 0) {
            ++reports;
            full = full || (value == progress->maximum() && !progress->isHidden());
        }
    });
    ASSERT_TRUE(window->CommandAction(GetParam().command)->isEnabled());
    window->CommandAction(GetParam().command)->trigger();
    const bool done = WaitUntil([&ended] { return ended; });
    link->Stop();
    unit.join();
    std::fclose(log);
    ASSERT_TRUE(done);
    EXPECT_EQ(emulatorResult, 0);
    EXPECT_TRUE(messages.empty()) << messages.front().text;
    // The fixture has 221 B records.
    EXPECT_EQ(state.trackLog.points.size(), 221u) << window->StatusText().toStdString();
    EXPECT_EQ(window->Model(ListView::kTrackLog).rowCount(), 221);
    if (GetParam().bar) {
        EXPECT_GE(reports, 1);
        EXPECT_TRUE(full);
    } else {
        EXPECT_EQ(reports, 0);
    }
    EXPECT_TRUE(progress->isHidden());
}

INSTANTIATE_TEST_SUITE_P(Families, WindowFamilyDownloadTest,
                         ::testing::Values(MenuDownloadCase{"Garmin", 40029, "garmin", true},
                                           MenuDownloadCase{"IqBasic", 40155, "iqbasic", true},
                                           MenuDownloadCase{"Mlr", 40004, "mlr"},
                                           MenuDownloadCase{"LogIt", 40010, "logit"},
                                           MenuDownloadCase{"Ascent", 40196, "ascent"},
                                           MenuDownloadCase{"DigiflyAir", 40198, "digifly", true}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(WindowJobTest, GraviterDownloadFromTheMenu) {
    std::vector<TrackPoint> points;
    ASSERT_TRUE(
        protocols::graviter::FlightFromIgc(test_support::ReadFixture("marcourt.igc"), points));
    protocols::graviter::GraviterEmulatorConfig config;
    config.flights.push_back(points);
    protocols::graviter::GraviterEmulator graviter(*link, config);
    graviter.Start();
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });
    ASSERT_TRUE(window->CommandAction(40058)->isEnabled());
    window->CommandAction(40058)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));
    graviter.Stop();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window->ProductText(), QStringLiteral("Graviter G2, SN00417, SW1.08"));
    EXPECT_EQ(state.trackLog.points.size(), points.size());
    EXPECT_EQ(state.trackLog.productName, "Graviter");
    EXPECT_EQ(window->Model(ListView::kTrackLog).rowCount(), static_cast<int>(points.size()));
    // For the eye: the window after the download.
    window->resize(1000, 640);
    window->show();
    QCoreApplication::processEvents();
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    EXPECT_TRUE(window->grab().save(folder.filePath(QStringLiteral("graviter_download.png"))));
}

// The pushing XC Trainer from the menu: the MXP log arrives once the port is open; a damaged
// line ends the job with its message and keeps the track log it had.
TEST_F(WindowJobTest, XcTrainerMxpFromTheMenu) {
    protocols::topnav::TopnavEmulatorConfig config;
    ASSERT_TRUE(
        protocols::topnav::FlightFromIgc(test_support::ReadFixture("marcourt.igc"), config.flight));
    config.slaveFd = pty.SlaveFd();
    protocols::topnav::TopnavEmulator unit(*link, config);
    unit.ArmFault(protocols::topnav::TopnavStep::kLine, protocols::topnav::TopnavFault::kChecksum);
    unit.Start();
    int ended = 0;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ++ended; });
    ASSERT_TRUE(window->CommandAction(40091)->isEnabled());
    window->CommandAction(40091)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended == 1; }));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (Message{"Decode track log sentence", "E202 Bad checksum"}));
    EXPECT_TRUE(state.trackLog.points.empty());
    window->CommandAction(40091)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended == 2; }));
    unit.Stop();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(state.trackLog.points.size(), config.flight.size());
    EXPECT_EQ(window->StatusText(),
              QString::number(config.flight.size()) + QStringLiteral(" points received"));
    EXPECT_EQ(window->ProductText(), QStringLiteral("XC Trainer V1.2-34, S/N 4660"));
}

protocols::syride::SyrideEmulator* windowSyride = nullptr;

TEST_F(WindowJobTest, SyrideFromTheMenuThroughTheHidBackEnd) {
    protocols::syride::SyrideEmulatorConfig config;
    std::vector<TrackPoint> points;
    ASSERT_TRUE(
        protocols::topnav::FlightFromIgc(test_support::ReadFixture("marcourt.igc"), points));
    config.flights = {points};
    protocols::syride::SyrideEmulator unit(config);
    windowSyride = &unit;
    jobs.SetTransportFactory([](device::TransportKind kind) -> std::unique_ptr<device::Transport> {
        if (kind != device::TransportKind::kHid)
            return device::MakeSystemTransport(kind);
        return std::make_unique<device::FakeHidTransport>(*windowSyride, "fake-hid:window");
    });
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });
    ASSERT_TRUE(window->CommandAction(40204)->isEnabled());
    window->CommandAction(40204)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));
    windowSyride = nullptr;
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(state.trackLog.points.size(), points.size());
    EXPECT_EQ(window->ProductText(), QStringLiteral("SYS'Nav, SNR 31337"));
}

TEST_F(WindowJobTest, MagellanTrackLogAndWaypointsFromTheMenu) {
    protocols::magellan::MagellanEmulatorConfig config;
    igc::IgcParseResult parsed;
    ASSERT_GT(igc::ParseIgc(test_support::ReadFixture("marcourt.igc"), parsed), 0);
    config.track = parsed.points;
    config.waypoints = protocols::magellan::BuiltInWaypoints();
    protocols::magellan::MagellanEmulator magellan(*link, config);
    magellan.Start();
    int ended = 0;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ++ended; });
    ASSERT_TRUE(window->CommandAction(40065)->isEnabled());
    window->CommandAction(40065)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended == 1; }));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window->ProductText(), QStringLiteral("MERIDIAN GPS, SW 4.03"));
    EXPECT_EQ(state.trackLog.points.size(), parsed.points.size());
    EXPECT_EQ(state.trackLog.productName, "Magellan");
    window->CommandAction(40066)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended == 2; }));
    magellan.Stop();
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(state.waypoints.items.size(), 4u);
    EXPECT_EQ(state.waypoints.items[0].Id(), "FIESCH");
}

TEST_F(WindowJobTest, MtkDownloadAndEraseFromTheMenu) {
    protocols::mtk::MtkEmulatorConfig config;
    igc::IgcParseResult parsed;
    ASSERT_GT(igc::ParseIgc(test_support::ReadFixture("marcourt.igc"), parsed), 0);
    config.track = parsed.points;
    protocols::mtk::MtkEmulator mtk(*link, config);
    mtk.Start();
    int ended = 0;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ++ended; });
    ASSERT_TRUE(window->CommandAction(40193)->isEnabled());
    window->CommandAction(40193)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended == 1; }));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(state.trackLog.points.size(), parsed.points.size());
    EXPECT_EQ(state.trackLog.productName, "Pentagram");
    ASSERT_TRUE(window->CommandAction(40194)->isEnabled());
    window->CommandAction(40194)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended == 2; }));
    mtk.Stop();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window->StatusText(), QStringLiteral("Erase completed"));
    EXPECT_TRUE(mtk.Image().empty());
    // The track log stays as it was.
    EXPECT_EQ(state.trackLog.points.size(), parsed.points.size());
}

struct FilterCase {
    std::int32_t downloadFilter;
    std::int32_t varioFilter;
    std::int32_t speedFilter;
};

void PrintTo(const FilterCase& c, std::ostream* out) {
    *out << "download filter " << c.downloadFilter << ", vario " << c.varioFilter << ", speed "
         << c.speedFilter;
}

class WindowDownloadFilterTest : public WindowJobTest,
                                 public testing::WithParamInterface<FilterCase> {};

// The desktop's downloads go through the download filters exactly when "Use filter(s) during
// download" is on: what arrives is what the filters make of the flight.
TEST_P(WindowDownloadFilterTest, DownloadFromTheMenuIsFilteredWhenTheSettingIsOn) {
    const FilterCase& c = GetParam();
    state.settings.downloadFilter = c.downloadFilter;
    state.settings.varioFilter = c.varioFilter;
    state.settings.logFilter = c.speedFilter;
    igc::IgcParseResult parsed;
    ASSERT_EQ(igc::ParseIgc(test_support::ReadFixture("marcourt.igc"), parsed), 221);
    std::string note;
    const std::size_t removed =
        c.downloadFilter != 0 ? analysis::ApplyDownloadFilters(parsed.points, state.settings, note)
                              : 0;
    if (c.downloadFilter != 0) {
        ASSERT_GT(removed, 0u) << "the case must remove points to show anything";
    }

    StartEmulator("marcourt.igc", 0);
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });
    window->CommandAction(40054)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));

    EXPECT_EQ(state.trackLog.points.size(), 221u - removed);
    EXPECT_EQ(window->Model(ListView::kTrackLog).rowCount(), static_cast<int>(221u - removed));
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Settings, WindowDownloadFilterTest,
                         testing::Values(FilterCase{1, 1, 0}, FilterCase{1, 2, 1},
                                         FilterCase{0, 1, 1}));

TEST_F(WindowJobTest, WaypointDownloadFillsTheWaypointList) {
    StartEmulator("marcourt.igc", 0);
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });
    window->CommandAction(40055)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));
    EXPECT_EQ(state.waypoints.items.size(), protocols::flytec::BuiltInWaypoints().size());
    EXPECT_EQ(window->Model(ListView::kWaypoints).rowCount(),
              static_cast<int>(state.waypoints.items.size()));
}

// Send the selected airspaces to the instrument and read its list back into the window.
TEST_F(WindowJobTest, AirspacesGoToTheInstrumentAndComeBack) {
    StartEmulator("marcourt.igc", 0);
    CtrArea zone;
    zone.name = "ZONE A";
    zone.floor = "GND";
    CtrSegment circle;
    circle.kind = CtrSegmentKind::kCircle;
    circle.centre = {46.5, 7.25};
    circle.radiusMetres = 3704;
    zone.segments = {circle};
    CtrArea other = zone;
    other.name = "ZONE B";
    state.airspaces.areas = {zone, other};
    window->SetView(ListView::kAirspace);
    window->RefreshLists();
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });

    window->List().selectRow(1);
    window->CommandAction(40099)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(emulator->Airspaces().size(), 1u);
    EXPECT_EQ(emulator->Airspaces()[0].name, "ZONE B");

    ended = false;
    state.airspaces.areas.clear();
    window->SetView(ListView::kTrackLog);
    window->CommandAction(40110)->trigger();
    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));
    ASSERT_EQ(state.airspaces.areas.size(), 1u);
    EXPECT_EQ(state.airspaces.areas[0].name, "ZONE B");
    EXPECT_EQ(state.airspaces.areas[0].segments[0].radiusMetres, 3704);
    EXPECT_EQ(window->CurrentView(), ListView::kAirspace);
    EXPECT_EQ(window->Model(ListView::kAirspace).rowCount(), 1);
}

TEST_F(WindowJobTest, AbortKeepsBusyUntilTheWorkerHasEnded) {
    // Paced slowly so that the transfer is still running when the abort comes.
    StartEmulator("xctrack-2022-04-07.igc", 4800);
    bool ended = false;
    QObject::connect(window.get(), &MainWindow::JobEnded, [&ended] { ended = true; });
    window->CommandAction(40054)->trigger();
    ASSERT_TRUE(window->Busy());
    ASSERT_TRUE(WaitUntil([this] { return emulator->BytesSent() > 2000; }));
    ASSERT_FALSE(ended);

    window->Button(1102)->click();
    // Still busy: a new download is refused until the worker has ended.
    EXPECT_TRUE(window->Busy());
    window->RunCommand(40085);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (Message{"Download track log", "Busy GPS driver"}));

    ASSERT_TRUE(WaitUntil([&ended] { return ended; }));
    EXPECT_FALSE(window->Busy());
    EXPECT_FALSE(jobs.Running());
    EXPECT_TRUE(state.trackLog.points.empty());
    EXPECT_EQ(window->Model(ListView::kTrackLog).rowCount(), 0);
}

TEST_F(WindowJobTest, ExitAbortsARunningJob) {
    StartEmulator("xctrack-2022-04-07.igc", 4800);
    window->CommandAction(40054)->trigger();
    ASSERT_TRUE(jobs.Running());
    window->RunCommand(1010);
    EXPECT_FALSE(jobs.Running());
    EXPECT_FALSE(state.busy);
}

TEST_F(WindowTest, SelectAllWorksInEveryListView) {
    LoadFlight("marcourt.igc");
    Waypoint waypoint;
    waypoint.SetId("ONE");
    state.waypoints.items.assign(3, waypoint);
    window->RefreshLists();
    ASSERT_TRUE(window->RunCommand(40141));  // the track view shows the selection
    window->SetView(ListView::kTrackLog);
    ASSERT_TRUE(window->RunCommand(40042));
    EXPECT_EQ(window->SelectedRows().size(), 221u);
    EXPECT_EQ(window->TrackView()->SelectedCount(), 221u);
    window->SetView(ListView::kWaypoints);
    ASSERT_TRUE(window->RunCommand(40042));
    EXPECT_EQ(window->SelectedRows().size(), 3u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, AboutShowsTheVersionOfTheTitle) {
    window->UpdateTitle();
    const QRegularExpressionMatch title =
        QRegularExpression("^Tracora (\\d+\\.\\d\\d), ").match(window->windowTitle());
    ASSERT_TRUE(title.hasMatch()) << window->windowTitle().toStdString();
    QString about;
    test_support::OnNextModal([&](QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        ASSERT_NE(box, nullptr);
        about = box->text();
        box->accept();
    });
    ASSERT_TRUE(window->RunCommand(40005));
    EXPECT_TRUE(about.startsWith(QStringLiteral("Tracora %1\n").arg(title.captured(1))))
        << about.toStdString();
}

TEST_F(WindowTest, ExitAsksBeforeAnUnsavedLogIsDropped) {
    LoadFlight("marcourt.igc");
    state.trackLog.saved = false;  // as after a download
    window->show();
    answer = Answer::kNo;
    ASSERT_TRUE(window->RunCommand(1010));
    const std::vector<Message> asked{
        {"Unsaved track log", "Continue without saving current track log ?"}};
    EXPECT_EQ(questions, asked);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(state.trackLog.points.size(), 221u);
    answer = Answer::kYes;
    ASSERT_TRUE(window->RunCommand(1010));
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_FALSE(window->isVisible());

    // A saved log goes without a question.
    questions.clear();
    window->show();
    state.trackLog.saved = true;
    window->close();
    EXPECT_TRUE(questions.empty());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, ListScrollsWithItsHeadingsToTheLastColumn) {
    Waypoint waypoint;
    waypoint.SetId("ONE");
    waypoint.SetDescription("A waypoint");
    state.waypoints.items.push_back(waypoint);
    window->RefreshLists();
    window->show();
    window->SetView(ListView::kWaypoints);
    QCoreApplication::processEvents();
    QTableView& list = window->List();
    QHeaderView& header = *list.horizontalHeader();
    const int last = list.model()->columnCount() - 1;
    EXPECT_EQ(list.model()->headerData(last, Qt::Horizontal).toString(), "Time");
    auto* bar = list.horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    // At the start the first column begins at the left edge, at the end the last column is in
    // sight; the headings move with the cells all the way.
    for (const int value : {bar->minimum(), bar->maximum() / 2, bar->maximum()}) {
        bar->setValue(value);
        QCoreApplication::processEvents();
        for (int column = 0; column <= last; ++column) {
            EXPECT_EQ(header.sectionViewportPosition(column), list.columnViewportPosition(column))
                << "column " << column << " at " << value;
        }
    }
    bar->setValue(bar->minimum());
    EXPECT_EQ(list.columnViewportPosition(0), 0);
    bar->setValue(bar->maximum());
    EXPECT_GE(list.columnViewportPosition(last), 0);
    EXPECT_LT(list.columnViewportPosition(last), list.viewport()->width());
    // Left-aligned headings: the text of a column wider than the list starts in sight.
    EXPECT_TRUE(header.defaultAlignment() & Qt::AlignLeft);
}

// The track log's many columns in a narrow window: the bar at its left end shows the first
// column whole at the list's left edge, moving the bar right moves the columns left, and the
// slider runs from left to right.
TEST_F(WindowTest, ListScrollBarRunsLeftToRightAndStartsWithTheFirstColumnWhole) {
    LoadFlight("skydrop-2019-04-15.igc");
    window->resize(560, 420);
    window->show();
    window->SetView(ListView::kTrackLog);
    QCoreApplication::processEvents();
    QTableView& list = window->List();
    QScrollBar* bar = list.horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(list.layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    EXPECT_FALSE(bar->invertedAppearance());
    EXPECT_EQ(bar->value(), bar->minimum());
    EXPECT_EQ(list.columnViewportPosition(0), 0);
    EXPECT_EQ(list.horizontalHeader()->sectionViewportPosition(0), 0);
    EXPECT_LE(list.columnWidth(0), list.viewport()->width());
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    EXPECT_TRUE(window->grab().save(folder.filePath(QStringLiteral("list_scrolled_left.png"))));

    const auto sliderLeft = [bar] {
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = bar->orientation();
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        option.upsideDown = bar->invertedAppearance();
        return bar->style()
            ->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar)
            .left();
    };
    const int atStart = sliderLeft();
    const int step = std::min(bar->maximum(), 50);
    bar->setValue(step);
    QCoreApplication::processEvents();
    EXPECT_EQ(list.columnViewportPosition(0), -step);
    EXPECT_EQ(list.horizontalHeader()->sectionViewportPosition(0), -step);
    // The wheel over the bar: turned towards the user it scrolls on to the right, away from
    // the user back to the left.
    const auto wheel = [bar](int degreesTimesEight) {
        const QPointF at(bar->width() / 2.0, bar->height() / 2.0);
        QWheelEvent event(at, bar->mapToGlobal(at), QPoint(), QPoint(0, degreesTimesEight),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &event);
    };
    wheel(-120);
    EXPECT_GT(bar->value(), step);
    wheel(120);
    EXPECT_EQ(bar->value(), step);
    bar->setValue(bar->maximum());
    QCoreApplication::processEvents();
    EXPECT_GT(sliderLeft(), atStart);
    EXPECT_TRUE(window->grab().save(folder.filePath(QStringLiteral("list_scrolled_right.png"))));
    bar->setValue(bar->minimum());
    QCoreApplication::processEvents();
    EXPECT_EQ(list.columnViewportPosition(0), 0);
}

// The main window with a real flight, written for a person to look at.
TEST_F(WindowTest, ScreenshotWithAFlight) {
    LoadFlight("skydrop-2019-04-15.igc");
    jobs.SetPortName("/dev/ttyUSB0");
    window->UpdateTitle();
    host.SetStatus("1234 points received");
    host.SetProductLine("COMPEO+, SN1234, SW1.22");
    window->resize(1000, 640);
    window->show();
    window->List().selectRow(5);
    QCoreApplication::processEvents();
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const QString path = folder.filePath(QStringLiteral("main_window.png"));
    ASSERT_TRUE(window->grab().save(path));
    EXPECT_TRUE(QFileInfo::exists(path));
}

// The airspace list with the notification of a dropped airway over it.
TEST_F(WindowTest, ScreenshotOfTheAirspaceListAndItsNotification) {
    for (const char* name : {"CTR ZURICH", "TMA ZURICH 1", "LS-R12 SPEER"}) {
        CtrArea& area = state.airspaces.areas.emplace_back();
        area.name = name;
        area.floor = "1500ft AMSL";
        area.ceiling = "FL95";
        area.segments.resize(4);
    }
    window->SetView(ListView::kAirspace);
    window->RefreshLists();
    window->resize(1000, 640);
    window->show();
    window->List().selectRow(1);
    const std::unique_ptr<QMessageBox> box =
        MakeCtrNotificationBox(window.get(), "CTR at line 7:  DY record (not implemented)");
    box->show();
    QCoreApplication::processEvents();
    ASSERT_NE(box->checkBox(), nullptr);
    EXPECT_EQ(box->checkBox()->text(), QStringLiteral("&Skip further notifications"));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("CTR error notification"));
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    ASSERT_TRUE(window->grab().save(folder.filePath(QStringLiteral("airspace_list.png"))));
    ASSERT_TRUE(box->grab().save(folder.filePath(QStringLiteral("ctr_notification.png"))));
}

}  // namespace
}  // namespace tracora::app
