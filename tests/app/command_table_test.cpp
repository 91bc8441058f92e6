#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "app/command_table.hpp"

namespace tracora::app {
namespace {

// Every command of the window, as the menus and buttons must offer them.
constexpr int kExpectedIds[] = {
    40029, 40075, 40054, 40085, 40119, 40120, 40091, 40071, 40090, 40039, 40010, 40011, 40012,
    40069, 40004, 40137, 40179, 40198, 40058, 40065, 40126, 40148, 40193, 40154, 40155, 40196,
    40204, 40027, 40078, 40055, 40086, 40158, 40033, 40150, 40066, 40053, 40076, 40167, 40205,
    40181, 40186, 40199, 40200, 40021, 40022, 40007, 40008, 40009, 40013, 40138, 40206, 40018,
    40023, 40159, 40163, 40096, 40097, 40162, 40164, 40134, 40135, 40161, 40165, 40182, 40184,
    40201, 40202, 40098, 40099, 40106, 40107, 40109, 40110, 40100, 40108, 40195, 40104, 40105,
    40111, 40190, 40112, 40149, 40189, 40115, 1315,  40116, 40117, 40188, 40118, 40047, 40043,
    40072, 40073, 40139, 40143, 40170, 40171, 40019, 1010,  40038, 40030, 40031, 40042, 40032,
    40028, 40006, 40121, 40124, 40203, 40173, 40151, 40136, 40088, 40172, 40191, 40192, 40197,
    40014, 40015, 40016, 40156, 40194, 40166, 40145, 40157, 40146, 40017, 40092, 40144, 40142,
    40153, 40185, 40095, 40094, 40187, 40025, 40024, 40129, 40101, 40141, 40175, 40176, 40178,
    40177, 40131, 40132, 40133, 40174, 40005, 40079, 40080, 40083, 1102,  1018,  40130,
};

TEST(CommandTable, IdsAreUniqueAndComplete) {
    std::set<int> ids;
    for (const Command& command : CommandTable()) {
        EXPECT_TRUE(ids.insert(command.id).second) << "twice: " << command.id;
    }
    const std::set<int> expected(std::begin(kExpectedIds), std::end(kExpectedIds));
    EXPECT_EQ(expected.size(), std::size(kExpectedIds)) << "the expected list repeats an id";
    for (int id : expected) {
        EXPECT_TRUE(ids.count(id)) << "missing: " << id;
    }
    for (int id : ids) {
        EXPECT_TRUE(expected.count(id)) << "unknown: " << id;
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

TEST(CommandTable, OnlyTheFlytecFamilyDownloadsForNow) {
    for (const Command& command : CommandTable()) {
        if (command.action == Action::kDownloadTrackLog ||
            command.action == Action::kDownloadWaypoints) {
            EXPECT_TRUE(command.protocol == GpsProtocol::kFlytec ||
                        command.protocol == GpsProtocol::kReadAllFlytec)
                << command.id;
        }
    }
    EXPECT_EQ(FindCommand(40029)->action, Action::kNotAvailable);
    EXPECT_EQ(FindCommand(40054)->action, Action::kDownloadTrackLog);
    EXPECT_EQ(FindCommand(40120)->protocol, GpsProtocol::kReadAllFlytec);
    // The position converter and the distance calculator work without an instrument.
    EXPECT_EQ(FindCommand(40032)->action, Action::kConvertPosition);
    EXPECT_EQ(FindCommand(40028)->action, Action::kCalculateDistance);
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
