// "Read waypoint file" with its "Modify waypoint ID" question and "Save waypoints" in the format
// the save dialog names.
#include "documents/waypoint_commands.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "documents/command_test_fixture.hpp"

namespace tracora::documents {
namespace {

using tracora::testing::ScriptedHost;
namespace fs = std::filesystem;

// Two names that must change (lower case, a blank) between two that need not.
constexpr const char* kOziFile =
    "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
    "   1,OK1,  46.500000,   7.250000,0,0, 1, 3, 0, 65535,First, 0, 0, 0, 3281\r\n"
    "   2,tower 1,  46.600000,   7.350000,0,0, 1, 3, 0, 65535,Tower, 0, 0, 0, 3281\r\n"
    "   3,peak a,  46.700000,   7.450000,0,0, 1, 3, 0, 65535,Peak, 0, 0, 0, 3281\r\n"
    "   4,OK2,  46.800000,   7.550000,0,0, 1, 3, 0, 65535,Last, 0, 0, 0, 3281\r\n";

class WaypointCommands : public CommandTest {
protected:
    WaypointCommands() : CommandTest("tracora-waypoint-commands") {}
    void SetUp() override {
        CommandTest::SetUp();
        Write("in.wpt", kOziFile);
    }

    std::vector<std::string> Ids() const {
        std::vector<std::string> ids;
        for (const Waypoint& w : state.waypoints.items) {
            ids.emplace_back(w.Id());
        }
        return ids;
    }

    int filter = 1;
};

TEST_F(WaypointCommands, TheModifyIdQuestionDecidesEachName) {
    struct Case {
        const char* name;
        std::vector<ModifyIdAnswer> answers;
        std::vector<std::string> asked;
        std::vector<std::string> ids;  // empty: the read failed
    } cases[] = {
        {"YesThenYes",
         {ModifyIdAnswer::kYes, ModifyIdAnswer::kYes},
         {"tower 1", "peak a"},
         {"OK1", "TOWER", "PEAK", "OK2"}},
        // Yes to all converts the later names without asking.
        {"YesToAll", {ModifyIdAnswer::kYesToAll}, {"tower 1"}, {"OK1", "TOWER", "PEAK", "OK2"}},
        {"NoSkips",
         {ModifyIdAnswer::kNo, ModifyIdAnswer::kNo},
         {"tower 1", "peak a"},
         {"OK1", "OK2"}},
        {"Cancel", {ModifyIdAnswer::kCancel}, {"tower 1"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.waypoints.items.clear();
        host = ScriptedHost();
        host.modifyIdAnswers.assign(c.answers.begin(), c.answers.end());
        host.openChoices.push_back(FileDialogResult{folder / "in.wpt", 1});
        const int read = ReadWaypointFileCommand(state, host, filter);
        EXPECT_EQ(host.modifyIdNames, c.asked);
        EXPECT_EQ(Ids(), c.ids);
        if (c.ids.empty()) {
            EXPECT_EQ(read, 0);
            ASSERT_FALSE(host.messages.empty());
            EXPECT_EQ(host.messages.back().text, "Bad line 6");
        } else {
            EXPECT_EQ(read, static_cast<int>(c.ids.size()));
            EXPECT_EQ(host.fileDialogs.back().title, "Read waypoint file");
        }
    }
}

TEST_F(WaypointCommands, ReadIsRefusedWhileBusyAndSaysWhyAFileFails) {
    state.busy = true;
    EXPECT_EQ(ReadWaypointFileCommand(state, host, filter), 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Busy GPS driver");
    EXPECT_TRUE(host.fileDialogs.empty());
    state.busy = false;

    Write("empty.wpt", "");
    const struct {
        fs::path path;
        const char* message;
    } cases[] = {{folder / "missing.wpt", "Error opening waypoint file"},
                 {folder / "empty.wpt", "File is empty"}};
    for (const auto& c : cases) {
        host.openChoices.push_back(FileDialogResult{c.path, 1});
        EXPECT_EQ(ReadWaypointFileCommand(state, host, filter), 0);
        EXPECT_EQ(host.messages.back().text, c.message);
    }
    EXPECT_TRUE(state.waypoints.items.empty());
}

TEST_F(WaypointCommands, SaveWritesTheSelectedRowsInTheChosenFormat) {
    EXPECT_EQ(SaveWaypointsCommand(state, host, {}), 0);
    EXPECT_EQ(host.messages.back().text, "No waypoints selected");

    host.modifyIdAnswers.push_back(ModifyIdAnswer::kYesToAll);
    host.openChoices.push_back(FileDialogResult{folder / "in.wpt", 1});
    ASSERT_EQ(ReadWaypointFileCommand(state, host, filter), 4);

    // The dialog lists the waypoint formats (a cancelled dialog writes nothing); the SeeYou
    // entry writes a .cup file.
    const std::vector<std::size_t> rows = {0, 3};
    EXPECT_EQ(SaveWaypointsCommand(state, host, rows), 0);
    const std::vector<FileFilter> filters = host.fileDialogs.back().filters;
    int seeYou = 0;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        if (filters[i].extension == "cup") {
            seeYou = static_cast<int>(i) + 1;
        }
    }
    ASSERT_GT(seeYou, 0);
    EXPECT_EQ(filters.back().name, "All files");
    host.saveChoices.push_back(FileDialogResult{folder / "out", seeYou});
    EXPECT_EQ(SaveWaypointsCommand(state, host, rows), 2);
    EXPECT_EQ(host.LastStatus(), "2 waypoints written");
    EXPECT_EQ(host.messages.back().text, "File written");
    const std::string text = Read(folder / "out.cup");
    // 46.5 N 7.25 E and 46.8 N 7.55 E at 1000 m (3281 ft), as degrees and minutes.
    EXPECT_EQ(text,
              "name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n"
              "\"First\",OK1,,4630.000N,00715.000E,1000.0m,1,,,,\r\n"
              "\"Last\",OK2,,4648.000N,00733.000E,1000.0m,1,,,,\r\n");
}

// What each upload mode puts into a waypoint's name, for a waypoint with and one without a
// description; the ID and name together are cut at the field's 40 characters.
TEST(WaypointUploadNames, EachModeFillsTheDescription) {
    struct Case {
        WaypointUploadMode mode;
        const char* id;
        const char* description;
        const char* sent;
    } cases[] = {
        {WaypointUploadMode::kNormal, "OK1", "First", "First"},
        {WaypointUploadMode::kNormal, "OK1", "", ""},
        {WaypointUploadMode::kOnlyName, "OK1", "First", "First"},
        {WaypointUploadMode::kOnlyName, "OK1", "", "OK1"},
        {WaypointUploadMode::kIdAndName, "OK1", "First", "OK1 First"},
        {WaypointUploadMode::kIdAndName, "OK1", "", "OK1 "},
        {WaypointUploadMode::kIdAndName, "TOWER1", "Antenna on the ridge above the village of X",
         "TOWER1 Antenna on the ridge above the vi"},
        {WaypointUploadMode::kOnlyId, "OK1", "First", "OK1"},
    };
    for (const Case& c : cases) {
        Waypoint w;
        w.SetId(c.id);
        w.SetDescription(c.description);
        std::vector<Waypoint> list{w};
        PrepareUploadNames(c.mode, list);
        EXPECT_EQ(list[0].Description(), c.sent) << c.id << " " << c.description;
        EXPECT_EQ(list[0].Id(), c.id);
    }
}

}  // namespace
}  // namespace tracora::documents
