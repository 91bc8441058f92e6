#include "core/track_store.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/scripted_host.hpp"

namespace tracora {
namespace {

using testing::ScriptedHost;

// 2024-06-01 10:00:00 UTC in receiver seconds (Unix 1717236000 less 631065600).
constexpr std::uint32_t kJune1 = 1086170400;
// 2^18 semicircles = 0.02197265625 degrees; on the equator GeodSolve gives 2445.984905126 m.
constexpr std::int32_t kEquatorStep = 1 << 18;
constexpr double kEquatorStepMetres = 2445.984905126;

TrackPoint Point(std::uint32_t time, std::int32_t longitude = 0, std::int32_t altitudeDm = 0,
                 std::uint32_t flags = 0) {
    TrackPoint p;
    p.flags = flags;
    p.time = time;
    p.longitude = longitude;
    p.gpsAltitude = altitudeDm;
    return p;
}

std::vector<TrackPoint> PointsAt(const std::vector<std::uint32_t>& times) {
    std::vector<TrackPoint> points;
    for (std::uint32_t t : times)
        points.push_back(Point(t));
    return points;
}

std::vector<std::uint32_t> TimesOf(const std::vector<TrackPoint>& points) {
    std::vector<std::uint32_t> times;
    for (const TrackPoint& p : points)
        times.push_back(p.time);
    return times;
}

std::vector<std::size_t> AllIndexes(std::size_t count) {
    std::vector<std::size_t> indexes(count);
    for (std::size_t i = 0; i < count; ++i)
        indexes[i] = i;
    return indexes;
}

// ---------------------------------------------------------------- backward times

struct BackwardCase {
    std::vector<std::uint32_t> times;
    std::size_t count;
    std::size_t first;
    std::vector<std::uint32_t> kept;
};

class BackwardTimes : public ::testing::TestWithParam<BackwardCase> {};

TEST_P(BackwardTimes, CountsAndRemovesAgainstTheLatestKeptTime) {
    const BackwardCase& c = GetParam();
    std::vector<TrackPoint> points = PointsAt(c.times);
    std::size_t first = 999;
    EXPECT_EQ(CountBackwardTimes(points, first), c.count);
    if (c.count > 0) {
        EXPECT_EQ(first, c.first);
    }
    EXPECT_EQ(RemoveBackwardTimes(points), c.kept.size());
    EXPECT_EQ(TimesOf(points), c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackwardTimes,
    ::testing::Values(BackwardCase{{}, 0, 0, {}}, BackwardCase{{5}, 0, 0, {5}},
                      BackwardCase{{10, 20, 20, 30}, 0, 0, {10, 20, 20, 30}},
                      // The third point is older than the second.
                      BackwardCase{{10, 20, 15, 25}, 1, 2, {10, 20, 25}},
                      // A run of old points after a jump: each is measured against 50.
                      BackwardCase{{10, 50, 20, 30, 40, 60}, 3, 2, {10, 50, 60}},
                      BackwardCase{{30, 20, 10}, 2, 1, {30}}));

// ---------------------------------------------------------------- reading a track log

class ReadTrackLog : public ::testing::Test {
protected:
    AppState state;
    ScriptedHost host;

    void LoadCurrent(const std::vector<std::uint32_t>& times) {
        state.trackLog.points = PointsAt(times);
        state.trackLog.rawIgc.text = "old raw";
        state.trackLog.saved = true;
    }
    TrackReadResult Read(const std::vector<std::uint32_t>& times, bool signature = true) {
        TrackReadResult read;
        read.points = PointsAt(times);
        read.signatureOk = signature;
        read.timeIsUtc = true;
        read.hasPressureAltitude = true;
        read.rawIgc.text = "AXXX new raw\r\n";
        return read;
    }
};

TEST_F(ReadTrackLog, InstallsIntoAnEmptyStore) {
    state.trackLog.civlPilotId = 7;
    state.trackLog.sourceKind = kSourceKindFlytec;
    state.trackLog.gRecordEligible = true;
    state.trackLog.instrumentDescription = "old";
    EXPECT_EQ(InstallReadTrackLog(state, host, Read({kJune1, kJune1 + 1})), 1);
    const TrackLog& log = state.trackLog;
    EXPECT_EQ(log.points.size(), 2u);
    EXPECT_EQ(log.civlPilotId, -1);
    EXPECT_EQ(log.compPilotId, -1);
    EXPECT_EQ(log.sourceKind, kSourceKindFile);
    EXPECT_FALSE(log.gRecordEligible);
    EXPECT_FALSE(log.saved);
    EXPECT_TRUE(log.timeIsUtc);
    EXPECT_TRUE(log.hasPressureAltitude);
    EXPECT_EQ(log.instrumentDescription, "");
    EXPECT_EQ(log.rawIgc.text, "AXXX new raw\r\n");
    EXPECT_EQ(host.LastStatus(), "2 positions read (Signature ok)");
    EXPECT_EQ(host.trackViewShown, 1);
    EXPECT_TRUE(host.newTrackRequests.empty());
}

TEST_F(ReadTrackLog, NoPositionsLeavesTheCurrentLog) {
    LoadCurrent({100, 200});
    EXPECT_EQ(InstallReadTrackLog(state, host, Read({})), 0);
    EXPECT_EQ(host.LastStatus(), "No positions found");
    EXPECT_EQ(TimesOf(state.trackLog.points), (std::vector<std::uint32_t>{100, 200}));
}

TEST_F(ReadTrackLog, BackwardTimeQuestionNamesThePositionAndYesRemoves) {
    host.answers = {Answer::kYes};
    EXPECT_EQ(InstallReadTrackLog(state, host, Read({100, 200, 150, 300})), 1);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].title, "Read track log");
    EXPECT_EQ(host.questions[0].text,
              "One or more positions (the first at pos. 3) go backwards in time. Remove ?");
    EXPECT_EQ(host.questions[0].buttons, QuestionButtons::kYesNoCancel);
    EXPECT_EQ(TimesOf(state.trackLog.points), (std::vector<std::uint32_t>{100, 200, 300}));
    // Removing points breaks the file's signature.
    EXPECT_EQ(host.LastStatus(), "3 positions read");
}

TEST_F(ReadTrackLog, BackwardTimeNoKeepsAndCancelAborts) {
    host.answers = {Answer::kNo};
    EXPECT_EQ(InstallReadTrackLog(state, host, Read({100, 200, 150})), 1);
    EXPECT_EQ(TimesOf(state.trackLog.points), (std::vector<std::uint32_t>{100, 200, 150}));
    EXPECT_EQ(host.LastStatus(), "3 positions read (Signature ok)");

    host.answers = {Answer::kCancel};
    EXPECT_EQ(InstallReadTrackLog(state, host, Read({1, 3, 2})), 0);
    EXPECT_EQ(host.LastStatus(), "Operation aborted");
    EXPECT_EQ(TimesOf(state.trackLog.points), (std::vector<std::uint32_t>{100, 200, 150}));
}

TEST_F(ReadTrackLog, NewTrackDialogShowsBothLogs) {
    LoadCurrent({kJune1, kJune1 + 3723});
    host.newTrackChoices = {NewTrackChoice::kCancel};
    EXPECT_EQ(InstallReadTrackLog(state, host, Read({kJune1 + 86400, kJune1 + 86460})), 0);
    ASSERT_EQ(host.newTrackRequests.size(), 1u);
    const auto& [current, incoming] = host.newTrackRequests[0];
    EXPECT_EQ(current.first, "2024-06-01  10:00:00");
    EXPECT_EQ(current.last, "2024-06-01  11:02:03");
    EXPECT_EQ(current.duration, "01:02:03");
    EXPECT_EQ(incoming.first, "2024-06-02  10:00:00");
    EXPECT_EQ(incoming.duration, "00:01:00");
    // Cancel changes nothing.
    EXPECT_EQ(state.trackLog.points.size(), 2u);
    EXPECT_EQ(state.trackLog.rawIgc.text, "old raw");
    EXPECT_TRUE(state.trackLog.saved);
}

TEST_F(ReadTrackLog, OverwriteReplacesTheLog) {
    LoadCurrent({100, 200});
    host.newTrackChoices = {NewTrackChoice::kOverwrite};
    EXPECT_EQ(InstallReadTrackLog(state, host, Read({50, 60, 70})), 1);
    EXPECT_EQ(TimesOf(state.trackLog.points), (std::vector<std::uint32_t>{50, 60, 70}));
    EXPECT_EQ(state.trackLog.rawIgc.text, "AXXX new raw\r\n");
    EXPECT_FALSE(state.trackLog.saved);
}

struct AppendCase {
    std::uint32_t newStart;
    bool accepted;
};

class AppendTrack : public ReadTrackLog, public ::testing::WithParamInterface<AppendCase> {};

TEST_P(AppendTrack, AppendsOnlyAfterTheCurrentLastPoint) {
    LoadCurrent({100, 200});
    host.newTrackChoices = {NewTrackChoice::kAppend};
    TrackReadResult read = Read({GetParam().newStart, GetParam().newStart + 10});
    read.points[0].flags = TrackPoint::kSegmentStart;
    const int installed = InstallReadTrackLog(state, host, std::move(read));
    if (GetParam().accepted) {
        EXPECT_EQ(installed, 1);
        const std::uint32_t s = GetParam().newStart;
        EXPECT_EQ(TimesOf(state.trackLog.points),
                  (std::vector<std::uint32_t>{100, 200, s, s + 10}));
        EXPECT_EQ(state.trackLog.points[2].flags, 0u);
        EXPECT_FALSE(state.trackLog.timeIsUtc);
        // The joined log is no longer the file's text, and no longer signed.
        EXPECT_TRUE(state.trackLog.rawIgc.Empty());
        EXPECT_EQ(host.LastStatus(), "4 positions read");
        EXPECT_TRUE(host.messages.empty());
    } else {
        EXPECT_EQ(installed, 0);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].title, "Append track");
        EXPECT_EQ(host.messages[0].text, "New track overlaps current one");
        EXPECT_EQ(TimesOf(state.trackLog.points), (std::vector<std::uint32_t>{100, 200}));
        EXPECT_EQ(state.trackLog.rawIgc.text, "old raw");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AppendTrack,
                         ::testing::Values(AppendCase{201, true}, AppendCase{200, false},
                                           AppendCase{150, false}));

// The whole command with a stand-in reader: the dialog, the file read and its messages.
class ReadTrackLogFileCommand : public ReadTrackLog {
protected:
    static int ReadOneLinePerPoint(Host& /*host*/, std::string_view text, TrackReadResult& out) {
        std::uint32_t time = 1000;
        for (char c : text) {
            if (c == '\n')
                out.points.push_back(Point(time++));
        }
        return static_cast<int>(out.points.size());
    }
    static int RefuseEverything(Host& host, std::string_view, TrackReadResult&) {
        host.ShowMessage("Read IGC file", "Format error");
        return -1;
    }
    const TrackFileFormat formats_[2] = {{{"Lines", "lines"}, ReadOneLinePerPoint},
                                         {{"Refused", "bad"}, RefuseEverything}};
    std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / ("tracora-read-" + std::to_string(::getpid()));

    void SetUp() override { std::filesystem::create_directories(dir_); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    void Choose(const std::filesystem::path& path, int filterIndex) {
        host.openChoices.push_back(FileDialogResult{path, filterIndex});
    }
};

TEST_F(ReadTrackLogFileCommand, ReadsWithTheChosenTypeAndRemembersIt) {
    Write("flight.lines", "a\nb\nc\n");
    state.settings.logImportExt = 2;
    Choose(dir_ / "flight", 1);  // typed without extension
    EXPECT_EQ(ReadTrackLogFile(state, host, formats_), 1);
    ASSERT_EQ(host.fileDialogs.size(), 1u);
    EXPECT_EQ(host.fileDialogs[0].filterIndex, 2);
    EXPECT_EQ(host.fileDialogs[0].filters.size(), 2u);
    EXPECT_EQ(state.trackLog.points.size(), 3u);
    EXPECT_EQ(state.settings.logImportExt, 1);
    EXPECT_EQ(state.settings.trackLogDir, dir_.string());
    EXPECT_EQ(host.LastStatus(), "3 positions read");
}

TEST_F(ReadTrackLogFileCommand, FileProblemsAreReportedAndChangeNothing) {
    state.trackLog.points = PointsAt({1, 2});
    Write("empty.lines", "");
    const std::string longName(300, 'x');
    struct Case {
        std::filesystem::path path;
        int filter;
        std::string title, text;
    } cases[] = {
        {dir_ / "empty.lines", 1, "Read track log file", "File is empty"},
        {dir_ / "missing.lines", 1, "Read track log file", "Error opening track log file"},
        {dir_, 1, "Read track log file", "Error opening track log file"},
        {dir_ / longName, 1, "Error opening file", "Too long file name"},
    };
    for (const Case& c : cases) {
        host.messages.clear();
        Choose(c.path, c.filter);
        EXPECT_EQ(ReadTrackLogFile(state, host, formats_), 0) << c.text;
        ASSERT_EQ(host.messages.size(), 1u) << c.text;
        EXPECT_EQ(host.messages[0].title, c.title);
        EXPECT_EQ(host.messages[0].text, c.text);
        EXPECT_EQ(state.trackLog.points.size(), 2u);
    }
    // A reader's refusal leaves the log alone as well.
    Write("x.bad", "data\n");
    host.messages.clear();
    Choose(dir_ / "x.bad", 2);
    EXPECT_EQ(ReadTrackLogFile(state, host, formats_), 0);
    EXPECT_EQ(state.trackLog.points.size(), 2u);
}

TEST_F(ReadTrackLogFileCommand, RefusedWhileBusyAndCancelDoesNothing) {
    state.busy = true;
    EXPECT_EQ(ReadTrackLogFile(state, host, formats_), 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Read track log file");
    EXPECT_EQ(host.messages[0].text, "Busy GPS driver");
    EXPECT_TRUE(host.fileDialogs.empty());

    state.busy = false;
    EXPECT_EQ(ReadTrackLogFile(state, host, formats_), 0);  // dialog cancelled
    EXPECT_EQ(host.messages.size(), 1u);
}

// ---------------------------------------------------------------- split check

struct SplitCase {
    const char* name;
    std::vector<TrackPoint> points;
    std::size_t parts;
};

std::vector<TrackPoint> ManyBreaks(int breaks) {
    std::vector<TrackPoint> points;
    std::uint32_t t = kJune1;
    for (int i = 0; i <= breaks; ++i) {
        points.push_back(Point(t));
        points.push_back(Point(t + 10));
        t += 5000;
    }
    return points;
}

class SplitParts : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitParts, FindsThePartsOfATrack) {
    AppState state;
    ScriptedHost host;
    std::vector<TrackPoint> points = GetParam().points;
    const std::size_t count = points.size();
    const std::size_t kept = SplitCheck(state, host, points);
    if (GetParam().parts == 1) {
        EXPECT_EQ(kept, count);
        EXPECT_TRUE(host.splitRequests.empty());
    } else {
        EXPECT_EQ(kept, 0u);  // the scripted host cancels
        ASSERT_EQ(host.splitRequests.size(), 1u);
        EXPECT_EQ(host.splitRequests[0].parts.size(), GetParam().parts);
        ASSERT_EQ(state.segments.size(), GetParam().parts);
        EXPECT_EQ(state.segments.back().last, count - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitParts,
    ::testing::Values(
        SplitCase{"gap1201", {Point(kJune1), Point(kJune1 + 1201)}, 2},
        SplitCase{"gap1200", {Point(kJune1), Point(kJune1 + 1200)}, 1},
        SplitCase{"segmentFlag", {Point(kJune1), Point(kJune1 + 1, 0, 0, 1)}, 2},
        // A flagged point whose time does not rise starts nothing.
        SplitCase{"flagWithoutRise", {Point(kJune1), Point(kJune1, 0, 0, 1)}, 1},
        // The gap is measured from the last point whose time rose.
        SplitCase{"backwardThenGap",
                  {Point(kJune1), Point(kJune1 + 1000), Point(kJune1 + 10), Point(kJune1 + 2100)},
                  1},
        SplitCase{"onePoint", {Point(kJune1)}, 1}, SplitCase{"150breaks", ManyBreaks(150), 100}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(SplitCheck, DialogListsPartsNewestFirstAndKeepsTheChosenInTrackOrder) {
    AppState state;
    ScriptedHost host;
    state.gpsTypeName = "Flytec";
    state.trackLog.productName = "6030";
    // Three parts: 10:00:00-10:00:10, 11:00:00-12:01:01, 14:00:00 alone.
    std::vector<TrackPoint> points = {
        Point(kJune1),        Point(kJune1 + 10),   Point(kJune1 + 3600), Point(kJune1 + 4800),
        Point(kJune1 + 6000), Point(kJune1 + 7200), Point(kJune1 + 7261), Point(kJune1 + 14400)};
    host.splitChoices.push_back(std::vector<int>{2, 0});  // the oldest and the newest
    EXPECT_EQ(SplitCheck(state, host, points), 3u);
    ASSERT_EQ(host.splitRequests.size(), 1u);
    const SplitDialogRequest& r = host.splitRequests[0];
    EXPECT_EQ(r.title, "Split track (Flytec, 6030)");
    EXPECT_EQ(r.parts, (std::vector<std::string>{"2024-06-01   14:00:00   0:00:00",
                                                 "2024-06-01   11:00:00   1:01:01",
                                                 "2024-06-01   10:00:00   0:00:10"}));
    EXPECT_EQ(TimesOf(points), (std::vector<std::uint32_t>{kJune1, kJune1 + 10, kJune1 + 14400}));

    state.trackLog.productName.clear();
    std::vector<TrackPoint> again = {Point(kJune1), Point(kJune1 + 5000)};
    SplitCheck(state, host, again);
    EXPECT_EQ(host.splitRequests.back().title, "Split track (Flytec)");
}

TEST(SplitCheck, CommandLineNoSplitLeavesTheTrackWhole) {
    AppState state;
    ScriptedHost host;
    state.automation = AutomationRequest{};
    state.automation->noSplit = true;
    std::vector<TrackPoint> points = {Point(kJune1), Point(kJune1 + 5000)};
    EXPECT_EQ(SplitCheck(state, host, points), 2u);
    EXPECT_TRUE(host.splitRequests.empty());
}

TEST(SplitCheck, UsesTheConfiguredGapTime) {
    AppState state;
    ScriptedHost host;
    state.settings.trackGapTime = 60;
    std::vector<TrackPoint> points = {Point(kJune1), Point(kJune1 + 61)};
    host.splitChoices.push_back(std::vector<int>{0});
    EXPECT_EQ(SplitCheck(state, host, points), 1u);
    EXPECT_EQ(points[0].time, kJune1 + 61);
}

// ---------------------------------------------------------------- speed and climb

TEST(RecentSpeedAndClimb, ZeroAtTheFirstPointAndAtASegmentStart) {
    std::vector<TrackPoint> points = {Point(kJune1), Point(kJune1 + 10, kEquatorStep, 0, 1),
                                      Point(kJune1 + 20, 2 * kEquatorStep)};
    double speed = -1, climb = -1;
    RecentSpeedAndClimb(points, 0, speed, climb);
    EXPECT_EQ(speed, 0.0);
    EXPECT_EQ(climb, 0.0);
    RecentSpeedAndClimb(points, 1, speed, climb);
    EXPECT_EQ(speed, 0.0);
    // The walk back from the third point stops at the segment start: one step in 60 s.
    RecentSpeedAndClimb(points, 2, speed, climb);
    EXPECT_NEAR(speed, kEquatorStepMetres * 0.06, 1e-6);
}

TEST(RecentSpeedAndClimb, WholeStepsWithinTheMinute) {
    // Seven points 10 s apart, one equator step and 10 dm higher each.
    std::vector<TrackPoint> points;
    for (int i = 0; i < 8; ++i) {
        points.push_back(
            Point(kJune1 + 10u * static_cast<std::uint32_t>(i), i * kEquatorStep, 10 * i));
    }
    double speed = 0, climb = 0;
    RecentSpeedAndClimb(points, 7, speed, climb);
    // Six steps fill the minute exactly; the last one is taken as a fraction of 1.
    EXPECT_NEAR(speed, 6 * kEquatorStepMetres * 0.06, 1e-6);
    EXPECT_NEAR(climb, 60 * 0.001666667, 1e-9);
}

TEST(RecentSpeedAndClimb, InterpolatesTheStepThatPassesTheMinute) {
    std::vector<TrackPoint> points;
    for (int i = 0; i < 4; ++i) {
        points.push_back(
            Point(kJune1 + 25u * static_cast<std::uint32_t>(i), i * kEquatorStep, 100 * i));
    }
    double speed = 0, climb = 0;
    RecentSpeedAndClimb(points, 3, speed, climb);
    // 25 + 25 s whole, then 10 of the next 25 s: 2.4 steps; the height 100 - 0.4 * 100 = 60 dm.
    EXPECT_NEAR(speed, 2.4 * kEquatorStepMetres * 0.06, 1e-6);
    EXPECT_NEAR(climb, (300 - 60) * 0.001666667, 1e-9);
}

TEST(RecentSpeedAndClimb, StepsWithoutTimeAddNothingAndShortWalksGiveLowerSpeed) {
    std::vector<TrackPoint> points = {Point(kJune1, 0), Point(kJune1, kEquatorStep),
                                      Point(kJune1 + 20, 2 * kEquatorStep)};
    double speed = 0, climb = 0;
    RecentSpeedAndClimb(points, 2, speed, climb);
    // One 20-second step, still divided by the full minute.
    EXPECT_NEAR(speed, kEquatorStepMetres * 0.06, 1e-6);
}

// ---------------------------------------------------------------- clipboard

TEST(TrackClipboard, FormatsOneLinePerPoint) {
    TrackPoint a = Point(kJune1, 1 << 27, -15);  // 11.25 degrees east, -1.5 m
    a.latitude = 1 << 29;                        // 45 degrees north
    TrackPoint b = Point(kJune1 + 3661, -(1 << 27), 12345);
    b.latitude = -(1 << 29);
    const std::vector<TrackPoint> points = {a, b};
    const std::string text = TrackClipboardText(points);
    const std::string first = "2024-06-01, 10:00:00, 45.000000, 11.250000, -1.5, 0.0\r\n";
    ASSERT_EQ(text.substr(0, first.size()), first);
    const std::string second = text.substr(first.size());
    EXPECT_EQ(second.substr(0, 54), "2024-06-01, 11:01:01, -45.000000, -11.250000,  1234.5,");
    EXPECT_EQ(second.substr(second.size() - 2), "\r\n");
}

TEST(TrackClipboard, CommandChecksAndCopiesTheSelection) {
    AppState state;
    ScriptedHost host;
    state.trackLog.points = {Point(kJune1), Point(kJune1 + 10, kEquatorStep),
                             Point(kJune1 + 20, 2 * kEquatorStep)};
    const std::string title = "Copy track to clip board";
    const std::vector<std::size_t> lastTwo = {1, 2};

    state.busy = true;
    EXPECT_LT(CopyTrackToClipboard(state, host, lastTwo, true), 0);
    state.busy = false;
    EXPECT_LT(CopyTrackToClipboard(state, host, lastTwo, false), 0);
    EXPECT_EQ(CopyTrackToClipboard(state, host, {}, true), 0);
    host.clipboardWorks = false;
    EXPECT_LT(CopyTrackToClipboard(state, host, lastTwo, true), 0);
    ASSERT_EQ(host.messages.size(), 4u);
    const char* texts[] = {"Busy GPS driver", "Incorrect view mode", "No position(s) selected",
                           "Failed to copy data to clipboard"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(host.messages[i].title, title);
        EXPECT_EQ(host.messages[i].text, texts[i]);
    }

    host.clipboardWorks = true;
    EXPECT_EQ(CopyTrackToClipboard(state, host, lastTwo, true), 2);
    ASSERT_EQ(host.clipboard.size(), 1u);
    // The first selected point shows speed 0.0 even though the track goes on before it.
    const std::string& text = host.clipboard[0];
    EXPECT_NE(text.find(", 0.0\r\n"), std::string::npos);
    EXPECT_EQ(text.find(", 0.0\r\n"), text.find("\r\n") - 5);
}

// ---------------------------------------------------------------- rotation

class Rotate : public ::testing::Test {
protected:
    AppState state;
    ScriptedHost host;

    void Load(const std::vector<std::pair<double, double>>& degrees) {
        state.trackLog.points.clear();
        std::uint32_t t = kJune1;
        for (auto [lat, lon] : degrees) {
            TrackPoint p = Point(t++);
            p.latitude = static_cast<std::int32_t>(lat / 180.0 * 2147483648.0);
            p.longitude = static_cast<std::int32_t>(lon / 180.0 * 2147483648.0);
            state.trackLog.points.push_back(p);
        }
        state.trackLog.hasPressureAltitude = true;
        state.trackLog.instrumentDescription = "instrument";
        state.trackLog.sourceKind = kSourceKindFlytec;
    }
    void Type(const char* startLat, const char* startLon, const char* endLat, const char* endLon) {
        host.rotations.push_back(RotateDialogResult{startLat, startLon, endLat, endLon});
    }
    void ExpectPoint(std::size_t i, double lat, double lon) {
        const TrackPoint& p = state.trackLog.points[i];
        EXPECT_NEAR(p.latitude * 180.0 / 2147483648.0, lat, 1e-6) << "point " << i;
        EXPECT_NEAR(p.longitude * 180.0 / 2147483648.0, lon, 1e-6) << "point " << i;
    }
};

TEST_F(Rotate, AlongTheEquatorIsAShiftInLongitude) {
    Load({{0, 10}, {5, 15}, {-20, 40}});
    Type("0", "E 10", "N 0", "20");
    ASSERT_EQ(RotateTrackLog(state, host, AllIndexes(3)), 1);
    ExpectPoint(0, 0, 0);
    ExpectPoint(1, 5, 5);
    ExpectPoint(2, -20, 30);
    EXPECT_EQ(state.trackLog.sourceKind, kSourceKindFile);
    EXPECT_EQ(state.trackLog.instrumentDescription, "");
    EXPECT_TRUE(state.trackLog.hasPressureAltitude);
}

TEST_F(Rotate, NorthboundBecomesEastbound) {
    // Start 0/0, end due north: north turns into east and east into south.
    Load({{0, 0}, {10, 0}, {0, 10}, {0, -170}});
    Type("0", "0", "10", "0");
    ASSERT_EQ(RotateTrackLog(state, host, AllIndexes(4)), 1);
    ExpectPoint(0, 0, 0);
    ExpectPoint(1, 0, 10);
    ExpectPoint(2, -10, 0);
    ExpectPoint(3, 10, 180);
}

TEST_F(Rotate, DialogErrorsLeaveTheTrack) {
    Load({{1, 1}, {2, 2}});
    struct Case {
        const char *startLat, *startLon, *endLat, *endLon, *message;
    } cases[] = {{"", "0", "1", "1", "Missing start latitude input"},
                 {"95", "0", "1", "1", "Bad start latitude input"},
                 {"1", " ", "1", "1", "Missing start longitude input"},
                 {"1", "x", "1", "1", "Bad start longitude input"},
                 {"1", "1", "", "1", "Missing end latitude input"},
                 {"1", "1", "1", "200", "Bad end longitude input"},
                 {"1", "1", "1", "1", "Positions are too close"}};
    for (const Case& c : cases) {
        host.messages.clear();
        Type(c.startLat, c.startLon, c.endLat, c.endLon);
        EXPECT_EQ(RotateTrackLog(state, host, AllIndexes(2)), 0) << c.message;
        ASSERT_EQ(host.messages.size(), 1u) << c.message;
        EXPECT_EQ(host.messages[0].title, "Decode position");
        EXPECT_EQ(host.messages[0].text, c.message);
    }
    ExpectPoint(0, 1, 1);
    EXPECT_EQ(state.trackLog.sourceKind, kSourceKindFlytec);
}

TEST_F(Rotate, SelectionChecks) {
    EXPECT_EQ(RotateTrackLog(state, host, AllIndexes(1)), 0);
    Load({{1, 1}, {2, 2}});
    EXPECT_EQ(RotateTrackLog(state, host, {}), 0);
    const std::vector<std::size_t> one = {1};
    EXPECT_EQ(RotateTrackLog(state, host, one), 0);  // "continue ?" answered No
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "No positions loaded");
    EXPECT_EQ(host.messages[1].text, "No position(s) selected");
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, "Only one position selected, continue ?");
    EXPECT_EQ(host.questions[0].title, "Rotate track log");
}

// ---------------------------------------------------------------- waypoints

Waypoint NamedWaypoint(const char* id, std::int32_t altitude) {
    Waypoint w;
    w.SetId(id);
    w.altitude = altitude;
    return w;
}

TEST(Waypoints, IdAndDescriptionAreCutToTheirFields) {
    Waypoint w;
    w.SetId("ABCDEFGH");
    EXPECT_EQ(w.Id(), "ABCDEF");
    w.SetDescription(std::string(50, 'x'));
    EXPECT_EQ(w.Description().size(), 40u);
    // Never cut inside a UTF-8 sequence: "ABCDE" + "é" (2 bytes) keeps 5 bytes.
    w.SetId("ABCDE\xC3\xA9");
    EXPECT_EQ(w.Id(), "ABCDE");
}

TEST(Waypoints, InsertAsksOnADuplicateId) {
    WaypointList list;
    ScriptedHost host;
    ASSERT_EQ(InsertWaypoint(list, host, NamedWaypoint("TOP", 1)), 0);
    EXPECT_GE(list.items.capacity(), WaypointList::kFirstCapacity);
    // No: both are kept.
    host.answers = {Answer::kNo};
    ASSERT_EQ(InsertWaypoint(list, host, NamedWaypoint("TOP", 2)), 0);
    ASSERT_EQ(list.items.size(), 2u);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].title, "Insert waypoint");
    EXPECT_EQ(host.questions[0].text, "Waypoint TOP already exists, overwrite ?");
    // Yes to the first of two matches overwrites it in place.
    host.answers = {Answer::kYes};
    ASSERT_EQ(InsertWaypoint(list, host, NamedWaypoint("TOP", 3)), 0);
    ASSERT_EQ(list.items.size(), 2u);
    EXPECT_EQ(list.items[0].altitude, 3);
    EXPECT_EQ(list.items[1].altitude, 2);
    // A different id is not a match, even as a prefix.
    ASSERT_EQ(InsertWaypoint(list, host, NamedWaypoint("TOPS", 4)), 0);
    EXPECT_EQ(list.items.size(), 3u);
    EXPECT_EQ(host.questions.size(), 2u);
}

TEST(Waypoints, ReadFileReplacesOrAppends) {
    AppState state;
    ScriptedHost host;
    EXPECT_EQ(InstallReadWaypoints(state, host, {NamedWaypoint("A", 1), NamedWaypoint("B", 2)}), 2);
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.LastStatus(), "2 waypoints read");

    host.answers = {Answer::kYes};  // append
    InstallReadWaypoints(state, host, {NamedWaypoint("C", 3)});
    EXPECT_EQ(state.waypoints.items.size(), 3u);
    EXPECT_EQ(host.questions[0].text, "Append new waypoints to existing list ?");
    EXPECT_EQ(host.questions[0].title, "Read waypoint file");

    host.answers = {Answer::kNo};  // replace
    InstallReadWaypoints(state, host, {NamedWaypoint("D", 4)});
    ASSERT_EQ(state.waypoints.items.size(), 1u);
    EXPECT_EQ(state.waypoints.items[0].Id(), "D");
    EXPECT_EQ(host.LastStatus(), "1 waypoints read");
}

// ---------------------------------------------------------------- download take-over

class TakeOver : public ::testing::Test {
protected:
    AppState state;
    ScriptedHost host;
    std::vector<std::pair<JobMessage, bool>> jobMessages;

    void SetUp() override {
        state.busy = true;
        state.onJobMessage = [this](JobMessage m, bool ok) { jobMessages.emplace_back(m, ok); };
        state.trackLog.points = PointsAt({1, 2, 3});
        state.trackLog.rawIgc.text = "old igc";
        state.trackLog.rawProtocolData = {1, 2};
        state.trackLog.productName = "Old";
    }
    void RunPosted() {
        for (auto& task : host.posted)
            task();
        host.posted.clear();
    }
    static DownloadedTrackLog Download(int kind, const std::vector<std::uint32_t>& times) {
        DownloadedTrackLog d;
        d.sourceKind = kind;
        d.points = PointsAt(times);
        d.timeIsUtc = true;
        d.gRecordEligible = true;
        d.productName = "New";
        return d;
    }
};

TEST_F(TakeOver, FailedJobKeepsTheStoreAndReportsFailure) {
    state.automation = AutomationRequest{};
    EXPECT_EQ(TakeOverDownloadedTrackLog(state, host, -1, Download(1, {10})), 0);
    EXPECT_TRUE(state.jobFailed);
    EXPECT_EQ(state.trackLog.points.size(), 3u);
    EXPECT_EQ(state.trackLog.rawIgc.text, "old igc");
    RunPosted();
    ASSERT_EQ(jobMessages.size(), 1u);
    EXPECT_EQ(jobMessages[0], std::make_pair(JobMessage::kAutomationDone, false));
}

struct RawCase {
    int kind;
    bool keepsIgc;
    bool keepsProtocolData;
};

class TakeOverRaw : public TakeOver, public ::testing::WithParamInterface<RawCase> {};

TEST_P(TakeOverRaw, KeepsRawDataOnlyForTheKindsThatOwnIt) {
    EXPECT_EQ(TakeOverDownloadedTrackLog(state, host, 0, Download(GetParam().kind, {10, 20})), 1);
    const TrackLog& log = state.trackLog;
    EXPECT_EQ(TimesOf(log.points), (std::vector<std::uint32_t>{10, 20}));
    EXPECT_EQ(log.rawIgc.text == "old igc", GetParam().keepsIgc);
    EXPECT_EQ(!log.rawProtocolData.empty(), GetParam().keepsProtocolData);
    EXPECT_EQ(log.productName, "New");
    EXPECT_TRUE(log.timeIsUtc);
    EXPECT_TRUE(log.gRecordEligible);
    EXPECT_EQ(log.sourceKind, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TakeOverRaw,
                         ::testing::Values(RawCase{1, false, false}, RawCase{3, false, true},
                                           RawCase{5, true, false}, RawCase{9, true, false},
                                           RawCase{11, true, false}, RawCase{12, false, false}));

TEST_F(TakeOver, InstallsTheDownloadedRawIgcText) {
    DownloadedTrackLog d = Download(kSourceKindFlytec, {10});
    d.rawIgc.text = "AFLY new\r\n";
    d.productName.clear();  // empty texts keep the old ones
    TakeOverDownloadedTrackLog(state, host, 0, std::move(d));
    EXPECT_EQ(state.trackLog.rawIgc.text, "AFLY new\r\n");
    EXPECT_EQ(state.trackLog.productName, "Old");
}

TEST_F(TakeOver, DownloadFiltersRunWhenSwitchedOn) {
    state.settings.downloadFilter = 1;
    state.settings.timestampFilter = 1;
    state.downloadFilters = [](std::vector<TrackPoint>& points, const Settings&) {
        points.pop_back();
    };
    TakeOverDownloadedTrackLog(state, host, 0, Download(1, {10, 30, 20, 25, 40, 50}));
    // 20 and 25 go back in time, then the stand-in filter drops the last point.
    EXPECT_EQ(TimesOf(state.trackLog.points), (std::vector<std::uint32_t>{10, 30, 40}));
    EXPECT_EQ(host.LastStatus(), "3 points removed by filter(s)");

    state.settings.downloadFilter = 0;
    host.statuses.clear();
    TakeOverDownloadedTrackLog(state, host, 0, Download(1, {10, 30, 20}));
    EXPECT_EQ(state.trackLog.points.size(), 3u);
    EXPECT_TRUE(host.statuses.empty());
}

TEST_F(TakeOver, MessagesAndViewFollowTheRequest) {
    // No request, competition mode off: the view switches, no job message.
    TakeOverDownloadedTrackLog(state, host, 0, Download(1, {10}));
    RunPosted();
    EXPECT_EQ(host.trackViewShown, 1);
    EXPECT_TRUE(jobMessages.empty());
    // Competition mode asks for the competition save.
    state.settings.compMode = 1;
    TakeOverDownloadedTrackLog(state, host, 0, Download(1, {10}));
    RunPosted();
    ASSERT_EQ(jobMessages.size(), 1u);
    EXPECT_EQ(jobMessages[0], std::make_pair(JobMessage::kCompetitionSave, true));
    // A command line with EXIT: no view switch, the automation hears of the success.
    state.automation = AutomationRequest{};
    state.automation->exitWhenDone = true;
    TakeOverDownloadedTrackLog(state, host, 0, Download(1, {10}));
    RunPosted();
    EXPECT_EQ(host.trackViewShown, 2);
    ASSERT_EQ(jobMessages.size(), 2u);
    EXPECT_EQ(jobMessages[1], std::make_pair(JobMessage::kAutomationDone, true));
}

TEST_F(TakeOver, NothingIsInstalledOnceTheBusyMarkIsGone) {
    state.busy = false;
    EXPECT_EQ(TakeOverDownloadedTrackLog(state, host, 0, Download(1, {10})), 0);
    EXPECT_EQ(state.trackLog.points.size(), 3u);
}

// ---------------------------------------------------------------- unsaved-track guard

TEST(UnsavedGuard, AsksOnlyForAnUnsavedLogWithoutACommandLine) {
    AppState state;
    ScriptedHost host;
    EXPECT_TRUE(PrepareTrackLogDownload(state, host));  // nothing loaded
    EXPECT_TRUE(host.questions.empty());

    state.trackLog.points = PointsAt({1, 2});
    EXPECT_FALSE(PrepareTrackLogDownload(state, host));  // No
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].title, "Unsaved track log");
    EXPECT_EQ(host.questions[0].text, "Continue without saving current track log ?");
    EXPECT_EQ(state.trackLog.points.size(), 2u);

    host.answers = {Answer::kYes};
    EXPECT_TRUE(PrepareTrackLogDownload(state, host));
    EXPECT_FALSE(state.trackLog.Loaded());

    state.trackLog.points = PointsAt({1, 2});
    state.trackLog.saved = true;
    EXPECT_TRUE(ConfirmDiscardUnsaved(state, host));
    state.trackLog.saved = false;
    state.automation = AutomationRequest{};
    EXPECT_TRUE(ConfirmDiscardUnsaved(state, host));
    EXPECT_EQ(host.questions.size(), 2u);

    state.busy = true;
    EXPECT_FALSE(PrepareTrackLogDownload(state, host));
    EXPECT_EQ(host.messages.back().title, "Download track log");
    EXPECT_EQ(host.messages.back().text, "Busy GPS driver");
}

TEST(ClearTrackLog, DropsPointsAndRawData) {
    TrackLog log;
    log.points = PointsAt({1});
    log.rawIgc.text = "x";
    log.rawProtocolData = {1};
    log.saved = log.gRecordEligible = log.hasPressureAltitude = true;
    ClearTrackLog(log);
    EXPECT_FALSE(log.Loaded());
    EXPECT_TRUE(log.rawIgc.Empty());
    EXPECT_TRUE(log.rawProtocolData.empty());
    EXPECT_FALSE(log.saved || log.gRecordEligible || log.hasPressureAltitude);
}

}  // namespace
}  // namespace tracora
