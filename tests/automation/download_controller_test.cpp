#include "automation/download_controller.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/scripted_host.hpp"

namespace tracora::automation {
namespace {

using device::AccessFunction;
using device::GpsAccessJob;

// Twelve fixes ten seconds apart.
int DeliverFlightWithASpike(GpsAccessJob& job) {
    for (std::uint32_t i = 0; i < 12; ++i) {
        TrackPoint p;
        p.time = 769255200u + 10u * i;
        p.latitude = 552000000 + static_cast<std::int32_t>(i) * 2000;
        p.longitude = 83000000;
        p.gpsAltitude = 10000;
        job.track.points.push_back(p);
    }
    job.track.timeIsUtc = true;
    return 0;
}

int DeliverTwoWaypoints(GpsAccessJob& job) {
    job.waypoints.resize(2);
    return 0;
}

int Fail(GpsAccessJob& job) {
    job.Error("No answer", "Connecting to GPS");
    return -1;
}

class DownloadControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Cell(AccessFunction::kReadTrackLog, GpsProtocol::kFlytec) = DeliverFlightWithASpike;
        Cell(AccessFunction::kReadWaypoints, GpsProtocol::kFlytec) = DeliverTwoWaypoints;
        Cell(AccessFunction::kReadWaypoints, GpsProtocol::kFlymaster) = Fail;
        jobs.SetPortName("/dev/null");
    }
    void TearDown() override { jobs.WaitForJobEnd(); }

    device::JobRoutine& Cell(AccessFunction function, GpsProtocol protocol) {
        return table[static_cast<std::size_t>(function)]
                    [static_cast<std::size_t>(ProtocolNumber(protocol))];
    }
    static device::JobStart With(GpsProtocol protocol) {
        device::JobStart start;
        start.protocol = protocol;
        return start;
    }
    // What an owner does when the job's end reaches it.
    void TakeBack() {
        jobs.Join();
        for (auto& task : host.posted) {
            task();
        }
        host.posted.clear();
        controller.JobTaken();
    }

    device::DispatchTable table{};
    AppState state;
    testing::ScriptedHost host;
    device::HostJobSink sink{host};
    device::JobLayer jobs{table, state.trace, sink, state.busy};
    DownloadController controller{state, host, jobs};
};

TEST_F(DownloadControllerTest, TrackLogDownloadRunsTheHooksAroundTheStoresTakeOver) {
    std::vector<std::string> events;
    DownloadHooks hooks;
    hooks.starting = [&] {
        events.push_back("starting, log empty: " + std::to_string(state.trackLog.points.empty()));
    };
    hooks.ended = [&](GpsAccessJob& done) {
        events.push_back("ended " + std::to_string(done.result) + " with " +
                         std::to_string(state.trackLog.points.size()) + " points");
    };
    state.trackLog.points.resize(3);
    state.trackLog.saved = true;
    ASSERT_EQ(controller.StartTrackLogDownload(With(GpsProtocol::kFlytec), hooks),
              StartOutcome::kStarted);
    EXPECT_TRUE(controller.Waiting());
    TakeBack();
    EXPECT_FALSE(controller.Waiting());
    const std::vector<std::string> expected{"starting, log empty: 1", "ended 0 with 12 points"};
    EXPECT_EQ(events, expected);
    EXPECT_FALSE(state.jobFailed);
}

// The download filters of the state apply exactly when the settings ask for them.
TEST_F(DownloadControllerTest, TrackLogDownloadAppliesTheStatesDownloadFilters) {
    int filtered = 0;
    state.downloadFilters = [&filtered](std::vector<TrackPoint>& points, const Settings&) {
        ++filtered;
        points.erase(points.begin() + 2);
    };
    for (const std::int32_t on : {0, 1}) {
        state.settings.downloadFilter = on;
        state.trackLog.saved = true;
        ASSERT_EQ(controller.StartTrackLogDownload(With(GpsProtocol::kFlytec)),
                  StartOutcome::kStarted);
        TakeBack();
        EXPECT_EQ(state.trackLog.points.size(), on != 0 ? 11u : 12u);
    }
    EXPECT_EQ(filtered, 1);
}

TEST_F(DownloadControllerTest, AnUnsavedLogIsKeptWhenTheUserSaysNo) {
    state.trackLog.points.resize(3);
    state.trackLog.saved = false;
    host.answers.push_back(Answer::kNo);
    bool starting = false;
    DownloadHooks hooks;
    hooks.starting = [&starting] { starting = true; };
    EXPECT_EQ(controller.StartTrackLogDownload(With(GpsProtocol::kFlytec), hooks),
              StartOutcome::kRefused);
    EXPECT_FALSE(starting);
    EXPECT_FALSE(controller.Waiting());
    EXPECT_FALSE(jobs.Running());
    EXPECT_EQ(state.trackLog.points.size(), 3u);
}

TEST_F(DownloadControllerTest, WaypointDownloadReplacesTheListOnlyWhenItWorked) {
    state.waypoints.items.resize(5);
    ASSERT_EQ(controller.StartWaypointDownload(With(GpsProtocol::kFlymaster)),
              StartOutcome::kStarted);
    TakeBack();
    EXPECT_TRUE(state.jobFailed);
    EXPECT_EQ(state.waypoints.items.size(), 5u);

    ASSERT_EQ(controller.StartWaypointDownload(With(GpsProtocol::kFlytec)), StartOutcome::kStarted);
    TakeBack();
    EXPECT_FALSE(state.jobFailed);
    EXPECT_EQ(state.waypoints.items.size(), 2u);
}

TEST_F(DownloadControllerTest, AJobThatCannotStartCountsAsFailed) {
    // No routine for this pair: the device layer refuses and says why.
    EXPECT_EQ(controller.StartWaypointDownload(With(GpsProtocol::kGarmin)), StartOutcome::kFailed);
    EXPECT_TRUE(state.jobFailed);
    EXPECT_FALSE(controller.Waiting());
    EXPECT_FALSE(host.messages.empty());
}

}  // namespace
}  // namespace tracora::automation
