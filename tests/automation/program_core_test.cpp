#include "automation/program_core.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/track_filters.hpp"
#include "core/scripted_host.hpp"

namespace tracora::automation {
namespace {

namespace fs = std::filesystem;

// A flight whose fifth fix jumps 500 m up for ten seconds: the vario filter drops it.
std::vector<TrackPoint> FlightWithASpike() {
    std::vector<TrackPoint> points;
    for (std::uint32_t i = 0; i < 30; ++i) {
        TrackPoint p;
        p.time = 769255200u + 10u * i;
        p.latitude = 552000000 + static_cast<std::int32_t>(i) * 2000;
        p.longitude = 83000000;
        p.gpsAltitude = i == 4 ? 60000 : 10000;
        points.push_back(p);
    }
    return points;
}

// Every front end gets the download filters from the core: without them "Use filter(s) during
// download" would do nothing.
TEST(ProgramCore, InstallsTheDownloadFilters) {
    testing::ScriptedHost host;
    ProgramCore core(host, std::nullopt);
    ASSERT_TRUE(core.State().downloadFilters);
    Settings settings = DefaultSettings();
    settings.varioFilter = 5;
    std::vector<TrackPoint> points = FlightWithASpike();
    std::vector<TrackPoint> expected = points;
    std::string note;
    ASSERT_GT(analysis::ApplyDownloadFilters(expected, settings, note), 0u);
    core.State().downloadFilters(points, settings);
    EXPECT_EQ(points.size(), expected.size());
}

TEST(ProgramCore, WithoutFilesTheSettingsAreTheDefaultsAndNothingIsSaved) {
    testing::ScriptedHost host;
    ProgramCore core(host, std::nullopt);
    EXPECT_EQ(core.Settings(), nullptr);
    EXPECT_EQ(core.State().settings.trackGapTime, DefaultSettings().trackGapTime);
    EXPECT_EQ(core.Jobs().PortName(), "COM1");
    EXPECT_FALSE(core.Downloads().Waiting());
}

TEST(ProgramCore, ReadsTheSettingsAndGivesTheDeviceLayerTheirPort) {
    const fs::path dir =
        fs::temp_directory_path() / ("tracora-program-core-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "user.ini") << "[Tracora]\nPortName=/dev/ttyUSB3\nTrackGapTime=900\n";
    {
        testing::ScriptedHost host;
        ProgramCore core(host, SettingsFiles{dir / "user.ini", dir / "system.ini"});
        ASSERT_NE(core.Settings(), nullptr);
        EXPECT_TRUE(core.Settings()->IsOpen());
        EXPECT_EQ(core.State().settings.trackGapTime, 900);
        EXPECT_EQ(core.Jobs().PortName(), "/dev/ttyUSB3");
        EXPECT_TRUE(host.messages.empty());
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tracora::automation
