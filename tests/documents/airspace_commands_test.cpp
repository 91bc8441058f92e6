// The airspace commands: reading with notifications, the keep and equal-name questions, the
// writes and exports (which leave the track log alone), delete, show as waypoints, and the checks
// before an upload.
#include "documents/airspace_commands.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "documents/command_test_fixture.hpp"

namespace tracora::documents {
namespace {

using tracora::testing::ScriptedHost;

// Three airspaces dropped for their airway records between two kept ones, both named TMA.
constexpr const char* kAirways =
    "AC D\r\nAN TMA\r\nAL GND\r\nAH FL95\r\nV X=46:30:00 N 007:15:00 E\r\nDC 2\r\n"
    "AC A\r\nAN AWY 1\r\nAL FL100\r\nAH FL200\r\nV W=5\r\nDY 46:00:00 N 007:00:00 E\r\n"
    "AC A\r\nAN AWY 2\r\nAL FL100\r\nAH FL200\r\nV W=5\r\nDY 46:00:00 N 007:00:00 E\r\n"
    "AC A\r\nAN AWY 3\r\nAL FL100\r\nAH FL200\r\nV W=5\r\nDY 46:00:00 N 007:00:00 E\r\n"
    "AC R\r\nAN TMA\r\nAL 1500ft\r\nAH 3000ft\r\nDP 46:00:00 N 007:00:00 E\r\n"
    "DP 46:10:00 N 007:00:00 E\r\nDP 46:10:00 N 007:10:00 E\r\n";

class AirspaceCommands : public CommandTest {
protected:
    AirspaceCommands() : CommandTest("tracora-airspace-commands") {}
    void SetUp() override {
        CommandTest::SetUp();
        Write("airways.txt", kAirways);
        Write("bad.txt", "AC D\r\nAN BAD\r\nDP 90:00:00 N 007:00:00 E\r\n");
    }
    int ReadFile(const std::string& name) {
        host.openChoices.push_back(FileDialogResult{folder / name, 1});
        return ReadCtrFileCommand(state, host);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const CtrArea& area : state.airspaces.areas) {
            names.push_back(area.name);
        }
        return names;
    }
};

TEST_F(AirspaceCommands, NotificationsUntilSkippedAndEqualNamesFixed) {
    host.ctrNotificationSkips = {false, true};
    host.answers = {Answer::kYes};  // fix the names
    EXPECT_EQ(ReadFile("airways.txt"), 2);
    EXPECT_EQ(host.ctrNotifications,
              (std::vector<std::string>{"CTR at line 7:  DY record (not implemented)",
                                        "CTR at line 13:  DY record (not implemented)"}));
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].title, "Equal CTR name(s)");
    EXPECT_EQ(host.questions[0].text, "Fix name by appending number ?");
    EXPECT_EQ(Names(), (std::vector<std::string>{"TMA", "TMA(1)"}));
    EXPECT_EQ(host.LastStatus(), "2 CTRs read");
    EXPECT_EQ(host.fileDialogs[0].title, "Read CTR");
    EXPECT_EQ(state.settings.ctrDir, folder.string());

    // A second read: Yes keeps the current list after the new airspaces, and the names are
    // numbered per first record of the name.
    host = ScriptedHost();
    host.ctrNotificationSkips = {true};
    host.answers = {Answer::kYes, Answer::kYes};
    EXPECT_EQ(ReadFile("airways.txt"), 2);
    EXPECT_EQ(host.ctrNotifications.size(), 1u);
    EXPECT_EQ(host.questions[0].text, "Keep current CTR list ?");
    EXPECT_EQ(Names(), (std::vector<std::string>{"TMA", "TMA(1)", "TMA(2)", "TMA(1)(1)"}));

    // No replaces the list; the names stay as they are when the user says No.
    host = ScriptedHost();
    host.ctrNotificationSkips = {true};
    host.answers = {Answer::kNo, Answer::kNo};
    EXPECT_EQ(ReadFile("airways.txt"), 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"TMA", "TMA"}));
}

TEST_F(AirspaceCommands, ReadFailuresLeaveTheListAlone) {
    host.ctrNotificationSkips = {true};
    host.answers = {Answer::kNo};
    ASSERT_EQ(ReadFile("airways.txt"), 2);
    host = ScriptedHost();
    Write("empty.txt", "");
    const struct {
        const char* file;
        const char* message;
    } cases[] = {{"bad.txt", "Bad position format on line 3"},
                 {"missing.txt", "Error opening CTR file"},
                 {"empty.txt", "File is empty"}};
    for (const auto& c : cases) {
        EXPECT_EQ(ReadFile(c.file), 0) << c.file;
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages.back().text, c.message);
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"TMA", "TMA"}));
    state.busy = true;
    EXPECT_EQ(ReadCtrFileCommand(state, host), 0);
    EXPECT_EQ(host.messages.back().text, "Busy GPS driver");
}

// Every write builds its text from the airspaces alone: the track log (an unsaved download) is
// the same afterwards.
TEST_F(AirspaceCommands, WritesAndExportsLeaveTheTrackLogAlone) {
    host.ctrNotificationSkips = {true};
    host.answers = {Answer::kNo};
    ASSERT_EQ(ReadFile("airways.txt"), 2);
    state.trackLog.points.resize(3);
    state.trackLog.points[1].latitude = 1234;
    state.trackLog.saved = false;
    const std::vector<std::size_t> both = {0, 1};
    EXPECT_EQ(WriteCtrFileCommand(state, host, {}, CtrWriteKind::kGpx), 0);
    EXPECT_EQ(host.messages.back().text, "No CTR(s) selected");

    const struct {
        CtrWriteKind kind;
        const char* file;
        const char* start;
    } cases[] = {
        {CtrWriteKind::kOpenAir, "arcs.txt",
         "AC D\r\nAN TMA\r\nAL GND\r\nAH FL95\r\nV X=46:30:00 N  7:15:00 E\r\nDC 1.9998\r\n"},
        {CtrWriteKind::kOpenAirNoArcs, "points.txt", "AC D\r\nAN TMA\r\nAL GND\r\nAH FL95\r\nDP "},
        {CtrWriteKind::kGpx, "outlines.gpx", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"},
        {CtrWriteKind::kMapScript, "map.txt", "function addAirspace(map) {\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        host.saveChoices.push_back(FileDialogResult{folder / c.file, 2});
        EXPECT_EQ(WriteCtrFileCommand(state, host, both, c.kind), 2);
        EXPECT_TRUE(Read(folder / c.file).starts_with(c.start)) << Read(folder / c.file);
        EXPECT_EQ(host.fileDialogs.back().title, "Save CTR(s)");
        ASSERT_EQ(state.trackLog.points.size(), 3u);
        EXPECT_EQ(state.trackLog.points[1].latitude, 1234);
        EXPECT_FALSE(state.trackLog.saved);
    }
}

TEST_F(AirspaceCommands, DeleteAndShowAsWaypoints) {
    host.ctrNotificationSkips = {true};
    host.answers = {Answer::kYes};
    ASSERT_EQ(ReadFile("airways.txt"), 2);
    state.trackLog.points.resize(2);
    const std::vector<std::size_t> second = {1};
    EXPECT_EQ(ShowCtrAsWaypointsCommand(state, host, second), 1);
    // The triangle's three corners and the first again to close it, named after airspace 1.
    ASSERT_EQ(state.waypoints.items.size(), 4u);
    EXPECT_EQ(state.waypoints.items[0].Id(), "CABAAA");
    EXPECT_EQ(state.waypoints.items[3].Id(), "CABAAD");
    EXPECT_EQ(state.trackLog.points.size(), 2u);
    EXPECT_EQ(ShowCtrAsWaypointsCommand(state, host, {}), 0);
    EXPECT_EQ(host.messages.back().text, "No CTR selected");

    const std::vector<std::size_t> first = {0, 0, 7};
    EXPECT_EQ(DeleteCtrCommand(state, host, first), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"TMA(1)"}));
    EXPECT_EQ(DeleteCtrCommand(state, host, {}), 0);
    EXPECT_EQ(host.messages.back().text, "No CTR(s) selected");
}

TEST_F(AirspaceCommands, UploadNeedsSelectedAirspacesWithNamesTheInstrumentTellsApart) {
    const struct {
        std::vector<std::string> names;
        const char* message;  // nullptr: accepted
    } cases[] = {
        {{"TMA ZURICH", "CTR ZURICH", "TMA ZURICH"},
         "One or more of the selected CTRs have equal names"},
        {{"ABCDEFGHIJKLMNOPQ1", "ABCDEFGHIJKLMNOPQ2"},
         "One or more of the selected CTRs have equal\r\nnames after limiting the length to "
         "fit the GPS"},
        {{"ABCDEFGHIJKLMNOP1", "ABCDEFGHIJKLMNOP2", "OTHER"}, nullptr},
    };
    for (const auto& c : cases) {
        state.airspaces.areas.clear();
        for (const std::string& name : c.names) {
            state.airspaces.areas.emplace_back().name = name;
        }
        host = ScriptedHost();
        std::vector<CtrArea> selected;
        const std::vector<std::size_t> rows = {0, 1, 2};
        const std::vector<std::size_t> firstTwo = {0, 2};
        const int result = PrepareCtrUpload(
            state, host, c.names.size() == 3 && c.message ? firstTwo : rows, selected);
        if (c.message != nullptr) {
            EXPECT_EQ(result, -1);
            ASSERT_EQ(host.messages.size(), 1u);
            EXPECT_EQ(host.messages[0].text, c.message);
            EXPECT_EQ(host.messages[0].title, "Upload CTR");
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(selected.size(), 3u);
        }
    }
    // Only the chosen rows are marked.
    std::vector<CtrArea> selected;
    const std::vector<std::size_t> one = {1};
    ASSERT_EQ(PrepareCtrUpload(state, host, one, selected), 0);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].name, "ABCDEFGHIJKLMNOP2");
    EXPECT_FALSE(state.airspaces.areas[0].selected);
    EXPECT_TRUE(state.airspaces.areas[1].selected);
    EXPECT_EQ(PrepareCtrUpload(state, host, {}, selected), -1);
    EXPECT_EQ(host.messages.back().text, "No CTR(s) selected");
}

TEST_F(AirspaceCommands, EditDialogChecksItsInput) {
    const std::string zone =
        "AC D\r\nAN ZONE A\r\nAL GND\r\nAH FL95\r\nV X=46:30:00 N 007:15:00 E\r\nDC 2\r\n"
        "AC D\r\nAN ZONE B\r\nAL GND\r\nAH FL95\r\nV X=46:30:00 N 007:15:00 E\r\nDC 3\r\n";
    const struct {
        const char* warning;
        std::string text;
        const char* message;  // nullptr: accepted
    } cases[] = {
        {" ", zone, "Missing warning distance input"},
        {"-5", zone, "Bad warning distance format"},
        {"20m", zone, "Bad warning distance format"},
        {"350", "  \r\n", "Missing text"},
        {"350", "AC D\r\nAN BAD\r\nDP 90:00:00 N 007:00:00 E\r\n", "Bad position format on line 3"},
        {" 350 ", zone, nullptr},
    };
    for (const auto& c : cases) {
        host = ScriptedHost();
        CtrArea out;
        const int result = AcceptCtrEdit(host, "Edit CTR", c.warning, c.text, out);
        if (c.message != nullptr) {
            EXPECT_EQ(result, -1) << c.message;
            ASSERT_EQ(host.messages.size(), 1u);
            EXPECT_EQ(host.messages[0].text, c.message);
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(host.messages.empty());
            // The first airspace only, with the typed warning distance.
            EXPECT_EQ(out.name, "ZONE A");
            EXPECT_EQ(out.warningDistance, 350);
            EXPECT_EQ(out.segments.at(0).radiusMetres, 3704);
        }
    }
}

TEST_F(AirspaceCommands, SegmentErrorMustBeAWholeNumberOfMetres) {
    const struct {
        const char* input;
        const char* message;
    } cases[] = {{"", "Missing input"}, {"2.5", "Bad input"}, {"0", "Use 1m or greater"}};
    for (const auto& c : cases) {
        EXPECT_EQ(AcceptSegmentError(state, host, c.input), -1);
        EXPECT_EQ(host.messages.back().text, c.message);
        EXPECT_EQ(host.messages.back().title, "Set segment error");
    }
    EXPECT_EQ(state.maxSegmentError, 10);
    EXPECT_EQ(AcceptSegmentError(state, host, "25"), 0);
    EXPECT_EQ(state.maxSegmentError, 25);
}

}  // namespace
}  // namespace tracora::documents
