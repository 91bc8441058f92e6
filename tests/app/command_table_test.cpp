#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "app/command_table.hpp"
#include "app/main_window.hpp"
#include "protocols/dispatch_table.hpp"

namespace tracora::app {
namespace {

TEST(CommandTable, IdsAreUnique) {
    std::set<int> ids;
    for (const Command& command : CommandTable()) {
        EXPECT_TRUE(ids.insert(command.id).second) << "twice: " << command.id;
    }
}

TEST(CommandTable, ShortcutsAreUnique) {
    std::set<std::string> shortcuts;
    for (const Command& command : CommandTable()) {
        const std::string shortcut(CommandShortcut(command));
        if (!shortcut.empty()) {
            EXPECT_TRUE(shortcuts.insert(shortcut).second) << shortcut << " twice";
        }
    }
    for (const char* expected :
         {"Ctrl+G", "Ctrl+U", "Ctrl+E", "Ctrl+F", "Ctrl+M", "Ctrl+R", "Ctrl+N", "Ctrl+Y", "Ctrl+S",
          "Ctrl+Alt+D", "Ctrl+1", "Ctrl+2", "Ctrl+3", "Ctrl+4", "Ctrl+Alt+0", "Ctrl+Alt+1",
          "Ctrl+Alt+2", "Ctrl+C"}) {
        EXPECT_TRUE(shortcuts.count(expected)) << expected;
    }
}

TEST(CommandTable, QuotedTextsAreKeptExactly) {
    const struct {
        int id;
        const char* text;
    } cases[] = {
        {40029, "Read &Garmin\tCtrl+G"},
        {40075, "Read Garmin &USB\tCtrl+U"},
        {40119, "Read all &IQ Tracks"},
        {40120, "Read all &Flytec Tracks"},
        {40004, "Read &MLR\tCtrl+M"},
        {40137, "Read Leonardo (MLR)\tCtrl+R"},
        {40179, "Read Leonardo (New)"},
        {40198, "Read Digifly Air"},
        {40058, "Read Graviter (all tracks)"},
        {40065, "Read Magella&n (9600)\tCtrl+N"},
        {40126, "Read Fl&ymaster\tCtrl+Y"},
        {40148, "Read DSX"},
        {40155, "Read IQ Basic / Flytec 6015"},
        {40196, "Read Ascent"},
        {40204, "Read Syride SYS'Nav"},
        {40115, "&Save log (Flybook/.kml)\tCtrl+S"},
        {40043, "Save log in &IGC format\tCtrl+I"},
        {40072, "Save IGC log from &GPS"},
        {40188, "Save log for animation in GE"},
        {40170, "&Convert .kml files to .igc"},
        {40171, "Convert .igc files to .kml"},
        {40191, "Timestamp filter (&time analysis)"},
        {40172, "Set vario filter (&height analysis)"},
        {40088, "Track log filter (&speed analysis)"},
        {40192, "Use filter(s) during download"},
        {40019, "E&xit"},
        {1010, "E&xit"},
        {40032, "Convert &Position"},
        {40028, "&Calculate distance\tCtrl+Alt+D"},
        {40006, "Set &COM port"},
        {40187, "Set .csv parameters"},
        {1102, "&Abort transfer"},
        {1018, "&UTM"},
    };
    for (const auto& c : cases) {
        const Command* command = FindCommand(c.id);
        ASSERT_NE(command, nullptr) << c.id;
        EXPECT_EQ(command->text, c.text) << c.id;
    }
}

// An instrument command's action, menu and device job tell the same story.
TEST(CommandTable, InstrumentCommandsNameTheJobOfTheirMenu) {
    const struct {
        Menu menu;
        Action action;
        device::AccessFunction function;
    } menus[] = {
        {Menu::kReadLog, Action::kDownloadTrackLog, device::AccessFunction::kReadTrackLog},
        {Menu::kReadWaypoints, Action::kDownloadWaypoints, device::AccessFunction::kReadWaypoints},
        {Menu::kWriteWaypoints, Action::kUploadWaypoints, device::AccessFunction::kWriteWaypoints},
        {Menu::kAirspace, Action::kUploadCtr, device::AccessFunction::kWriteAirspace},
        {Menu::kAirspace, Action::kDownloadCtr, device::AccessFunction::kReadAirspace},
        {Menu::kInstrument, Action::kEraseLog, device::AccessFunction::kEraseTrackLogs},
        {Menu::kInstrument, Action::kFlymasterIds, device::AccessFunction::kWritePilotData},
        {Menu::kInstrument, Action::kFlymasterName, device::AccessFunction::kWritePilotData},
        {Menu::kInstrument, Action::kFlymasterAltitudeAlarm,
         device::AccessFunction::kWritePilotData},
        {Menu::kInstrument, Action::kDsxPilotData, device::AccessFunction::kWritePilotData},
        {Menu::kInstrument, Action::kLogItName, device::AccessFunction::kWritePilotData},
        {Menu::kInstrument, Action::kLogItProductData, device::AccessFunction::kReadProductData},
    };
    for (const Command& command : CommandTable()) {
        for (const auto& m : menus) {
            if (command.action == m.action) {
                EXPECT_EQ(command.menu, m.menu) << command.id;
                ASSERT_TRUE(command.job.has_value()) << command.id;
                EXPECT_EQ(command.job->function, m.function) << command.id;
            }
        }
        if (command.job) {
            EXPECT_TRUE(
                command.action == Action::kDownloadTrackLog ||
                command.action == Action::kDownloadWaypoints ||
                command.action == Action::kUploadWaypoints ||
                command.action == Action::kUploadCtr || command.action == Action::kDownloadCtr ||
                command.action == Action::kEraseLog || command.action == Action::kFlymasterIds ||
                command.action == Action::kFlymasterName ||
                command.action == Action::kFlymasterAltitudeAlarm ||
                command.action == Action::kDsxPilotData || command.action == Action::kLogItName ||
                command.action == Action::kLogItProductData)
                << command.id;
        }
    }
    // The position converter and the distance calculator work without an instrument.
    EXPECT_FALSE(FindCommand(40032)->job.has_value());
    EXPECT_FALSE(FindCommand(40028)->job.has_value());
}

// Instrument commands are offered exactly when the dispatch table has a working routine for
// their family and access function (and the window can start a job of that function).
TEST(CommandTable, InstrumentCommandsAreOfferedExactlyWhenTheirRoutineWorks) {
    int offered = 0;
    for (const Command& command : CommandTable()) {
        if (!command.job) {
            continue;
        }
        const bool works =
            protocols::HasWorkingRoutine(command.job->function, command.job->protocol);
        if (MainWindow::Offered(command)) {
            ++offered;
            EXPECT_TRUE(works) << command.id << " is offered without a working routine";
        }
        if (works && MainWindow::FindHandler(command.action) != nullptr) {
            EXPECT_TRUE(MainWindow::Offered(command)) << command.id << " works but is not offered";
        }
        if (MainWindow::FindHandler(command.action) == nullptr) {
            EXPECT_FALSE(MainWindow::Offered(command)) << command.id;
        }
    }
    EXPECT_GT(offered, 0);
}

TEST(CommandTable, EveryHandlerNamesAnExistingCommandOnce) {
    std::set<Action> handled;
    for (const CommandHandler& handler : MainWindow::Handlers()) {
        EXPECT_TRUE(handled.insert(handler.action).second)
            << "two handlers for action " << static_cast<int>(handler.action);
        EXPECT_NE(handler.run, nullptr);
        const auto commands = CommandTable();
        EXPECT_TRUE(std::any_of(
            commands.begin(), commands.end(),
            [&handler](const Command& command) { return command.action == handler.action; }))
            << "no command for action " << static_cast<int>(handler.action);
    }
    EXPECT_EQ(MainWindow::FindHandler(Action::kNotAvailable), nullptr);
}

TEST(CommandTable, TitlesOfDeviceJobsAndButtons) {
    EXPECT_EQ(CommandTitle(*FindCommand(40054)), "Download track log");
    EXPECT_EQ(CommandTitle(*FindCommand(40055)), "Download waypoints");
    EXPECT_EQ(CommandTitle(*FindCommand(40038)), "New waypoint");
    EXPECT_EQ(CommandTitle(*FindCommand(40083)), "Copy track to clip board");
    EXPECT_EQ(CommandLabel(*FindCommand(40029)), "Read &Garmin");
    EXPECT_EQ(CommandShortcut(*FindCommand(40029)), "Ctrl+G");
    // Every quick and window button runs a command of the table.
    for (const auto& buttons : {QuickButtons(), WindowButtons()}) {
        for (const QuickButton& button : buttons) {
            EXPECT_NE(FindCommand(button.id), nullptr) << button.id;
        }
    }
    EXPECT_EQ(QuickButtons().size(), 8u);
}

}  // namespace
}  // namespace tracora::app
