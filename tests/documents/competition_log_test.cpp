#include "documents/competition_log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "command_test_fixture.hpp"

namespace tracora::documents {
namespace {

// 2014-07-05 10:11:12 UTC in seconds since 1989-12-31 00:00:00 UTC (worked out with Python's
// datetime).
constexpr std::uint32_t kSavedAt = 773489472;
// 2014-07-05 12:00:00 UTC.
constexpr std::uint32_t kNoon = 773496000;

// `count` points, one a second from noon, drifting north-east and climbing 1 m a second.
std::vector<TrackPoint> Flight(std::size_t count, std::uint32_t start = kNoon) {
    std::vector<TrackPoint> points;
    for (std::size_t i = 0; i < count; ++i) {
        TrackPoint p;
        p.time = start + static_cast<std::uint32_t>(i);
        p.latitude = 550000000 + static_cast<std::int32_t>(i) * 1000;
        p.longitude = 90000000 + static_cast<std::int32_t>(i) * 1000;
        p.gpsAltitude = 10000 + static_cast<std::int32_t>(i) * 10;
        p.pressureAltitude = 1000 + static_cast<std::int32_t>(i);
        points.push_back(p);
    }
    return points;
}

class CompetitionLogTest : public CommandTest {
protected:
    CompetitionLogTest() : CommandTest("competition_log") {}

    void SetUp() override {
        CommandTest::SetUp();
        state.settings.logFilter = 0;
        state.settings.varioFilter = 0;
        state.trackLog.points = Flight(60);
        state.trackLog.gRecordEligible = true;
        state.trackLog.timeIsUtc = true;
        state.trackLog.hasPressureAltitude = true;
        state.trackLog.instrumentDescription = "COMPEO+ TEST PILOT 1234";
        options.folder = folder.string();
        options.now = kSavedAt;
        options.notify = [this](const std::string& text) { notified.push_back(text); };
    }

    int Save() { return SaveCompetitionLog(state, host, state.trackLog.points, options); }

    CompetitionSaveOptions options;
    std::vector<std::string> notified;
};

TEST(CompetitionNames, FollowTheNameRule) {
    EXPECT_EQ(CompetitionBasePath("/comp", CurrentPilot{}, kSavedAt),
              "/comp/[pilot name].20140705-101112.[CIVLID].[COMPID]");
    EXPECT_EQ(CompetitionBasePath("/comp/", CurrentPilot{"Ann Lee", 12, 4711}, kSavedAt),
              "/comp/Ann Lee.20140705-101112.4711.12");
    EXPECT_EQ(CompetitionBasePath("/comp", CurrentPilot{"B", -1, 0}, kSavedAt),
              "/comp/B.20140705-101112.0.[COMPID]");
}

TEST(CompetitionNames, APilotNameCannotLeaveTheFolder) {
    EXPECT_EQ(CompetitionNamePart("../../etc/passwd"), "_._.._etc_passwd");
    EXPECT_EQ(CompetitionNamePart("a\\b\nc\x7F"), "a_b_c_");
    EXPECT_EQ(CompetitionNamePart("Jos\xC3\xA9"), "Jos\xC3\xA9");
    // Longer than 60 characters: cut in the path.
    const std::string path =
        CompetitionBasePath("/c", CurrentPilot{std::string(70, 'x'), 1, 2}, kSavedAt);
    EXPECT_EQ(path, "/c/" + std::string(60, 'x') + ".20140705-101112.2.1");
}

TEST(CompetitionWindow, KeepsThePointsInsideTheWindow) {
    struct Case {
        const char* what;
        std::uint32_t start, stop;
        std::size_t first, kept;  // of the ten points at kNoon .. kNoon + 9
        bool outside;
    } cases[] = {
        {"open", 0, 0, 0, 10, false},
        {"only a start", kNoon + 3, 0, 3, 7, true},
        {"only a stop", 0, kNoon + 3, 0, 4, true},
        {"both", kNoon + 2, kNoon + 5, 2, 4, true},
        {"stop before start", kNoon + 5, kNoon + 2, 0, 10, false},
        {"stop at start", kNoon + 5, kNoon + 5, 0, 10, false},
    };
    for (const Case& c : cases) {
        std::vector<TrackPoint> points = Flight(10);
        const WindowFilterResult result = FilterByCompetitionWindow(points, c.start, c.stop);
        ASSERT_EQ(points.size(), c.kept) << c.what;
        EXPECT_EQ(points.front().time, kNoon + c.first) << c.what;
        EXPECT_EQ(result.outsideWindow, c.outside) << c.what;
        EXPECT_FALSE(result.badTimestamps) << c.what;
    }
    std::vector<TrackPoint> points = Flight(5);
    points[1].time = 0;
    points[2].time = 0x7FFFFFFF;
    points[3].time = 0xFFFFFFFF;
    const WindowFilterResult result = FilterByCompetitionWindow(points, 0, 0);
    EXPECT_TRUE(result.badTimestamps);
    EXPECT_EQ(points.size(), 2u);
}

TEST_F(CompetitionLogTest, WritesTheSignedKmlAndTheIgcUnderTheNameRule) {
    state.pilot = {"Ann Lee", 12, 4711};
    options.writeIgc = true;
    ASSERT_EQ(Save(), 1) << (host.messages.empty() ? "" : host.messages.back().text);
    const std::string base = (folder / "Ann Lee.20140705-101112.4711.12").string();
    const std::string kml = Read(base + ".kml");
    const std::string igc = Read(base + ".igc");
    ASSERT_FALSE(kml.empty());
    ASSERT_FALSE(igc.empty());
    EXPECT_TRUE(kml.starts_with(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n<open>1</open>\r\n"));
    EXPECT_TRUE(kml.ends_with("</Document>\r\n"));
    EXPECT_NE(kml.find("Tracklog from Tracora competition mode"), std::string::npos);
    EXPECT_NE(kml.find("civl_pilot_id=\"4711\" comp_pilot_id=\"12\""), std::string::npos);
    EXPECT_NE(kml.find("downloaded=\"2014-07-05T10:11:12Z\""), std::string::npos) << kml;
    EXPECT_NE(kml.find("hash=\""), std::string::npos);
    EXPECT_NE(igc.find("HOPLTPILOT: Ann Lee\r\n"), std::string::npos) << igc;
    EXPECT_NE(igc.find("\r\nG"), std::string::npos) << igc;
    EXPECT_NE(igc.find("HOCIDCOMPETITIONID: 12\r\n"), std::string::npos) << igc;
    EXPECT_EQ(notified, (std::vector<std::string>{"File \"" + base + ".igc\" written",
                                                  "File \"" + base + ".kml\" written"}));
    EXPECT_TRUE(state.trackLog.saved);
    ASSERT_GE(host.statuses.size(), 2u);
    EXPECT_EQ(host.statuses.back(), base + ".kml: File saved, signature OK");
}

TEST_F(CompetitionLogTest, ACommandLineRunLeavesExistingFilesAlone) {
    options.commandLineRun = true;
    options.writeIgc = true;
    ASSERT_EQ(Save(), 1);
    const std::string base = (folder / "[pilot name].20140705-101112.[CIVLID].[COMPID]").string();
    const std::string kml = Read(base + ".kml");
    const std::string igc = Read(base + ".igc");
    // The same save again, from another flight: nothing is touched.
    state.trackLog.points = Flight(80, kNoon + 1000);
    notified.clear();
    ASSERT_EQ(Save(), 1);
    EXPECT_EQ(Read(base + ".kml"), kml);
    EXPECT_EQ(Read(base + ".igc"), igc);
    EXPECT_EQ(notified, (std::vector<std::string>{"File \"" + base + ".igc\" already processed",
                                                  "File \"" + base + ".kml\" already processed"}));
    EXPECT_TRUE(host.messages.empty());
    // From the window the file is replaced.
    options.commandLineRun = false;
    ASSERT_EQ(Save(), 1);
    EXPECT_NE(Read(base + ".kml"), kml);
}

TEST_F(CompetitionLogTest, ALogReadFromAFileIsSavedWithoutSignature) {
    state.trackLog.gRecordEligible = false;
    ASSERT_EQ(Save(), 1);
    const std::string base = (folder / "[pilot name].20140705-101112.[CIVLID].[COMPID]").string();
    const std::string kml = Read(base + ".kml");
    EXPECT_EQ(kml.find("hash="), std::string::npos);
    EXPECT_EQ(kml.find("downloaded="), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(base + ".igc"));
    EXPECT_EQ(host.statuses.back(), base + ".kml: File saved, NO signature");
}

TEST_F(CompetitionLogTest, RefusesWhatCannotBeSaved) {
    struct Case {
        const char* what;
        std::vector<TrackPoint> points;
        std::uint32_t start, stop;
        std::int32_t vario;
        std::string message;
    };
    std::vector<TrackPoint> spiky = Flight(10);
    // One point 100 m above its neighbours a second earlier: the vario filter (5 m/s) drops it.
    spiky[5].gpsAltitude += 1000;
    std::vector<TrackPoint> badTimes = Flight(3);
    badTimes[0].time = 0;
    const std::vector<Case> cases = {
        {"all outside the window", Flight(20), kNoon + 100, 0, 0,
         "No positions found\r\nSome removed due to time filtering"},
        {"bad timestamps and window", badTimes, kNoon + 100, 0, 0,
         "No positions found\r\nSome removed due to bad timestamp\r\nSome removed due to time "
         "filtering"},
        {"nine points", Flight(9), 0, 0, 0, "Too few positions for statistics analysis"},
        {"nine after the vario filter", spiky, 0, 0, 5,
         "Too few positions for statistics analysis"},
    };
    for (const Case& c : cases) {
        host.messages.clear();
        options.windowStart = c.start;
        options.windowStop = c.stop;
        state.settings.varioFilter = c.vario;
        state.trackLog.points = c.points;
        EXPECT_EQ(Save(), -1) << c.what;
        ASSERT_FALSE(host.messages.empty()) << c.what;
        EXPECT_EQ(host.messages.back().title, kCompetitionSaveTitle) << c.what;
        EXPECT_EQ(host.messages.back().text, c.message) << c.what;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

}  // namespace
}  // namespace tracora::documents
