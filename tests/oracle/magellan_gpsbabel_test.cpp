// The Magellan emulator proven by gpsbabel as the independent client: its track log read by
// `gpsbabel -t -i magellan` has the fixes gpsbabel reads from the IGC file itself, its
// waypoints read by `gpsbabel -w`, and waypoints gpsbabel uploads are what our session reads
// back from the unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "formats/igc/igc_reader.hpp"
#include "oracle/oracle_tools.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/magellan/magellan_emulator.hpp"

namespace tracora::protocols::magellan {
namespace {

std::string Fixture(const std::string& name) {
    return std::string(TRACORA_FIXTURES_DIR) + "/" + name;
}

// The standard output of a shell command (stderr joined).
std::string Capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    std::string text;
    if (!pipe)
        return text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        text.append(buffer, n);
    return text;
}

// The rows of a unicsv output without the running number in front.
std::vector<std::string> Rows(const std::string& text) {
    std::vector<std::string> rows;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        rows.push_back(line.substr(line.find(',') + 1));
    }
    return rows;
}

class MagellanGpsbabelOracle : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(oracles::OracleInstalled("gpsbabel", oracles::kGpsbabelPackage));
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
    }
    void TearDown() override {
        if (emulator)
            emulator->Stop();
    }
    MagellanEmulator& StartEmulator(MagellanEmulatorConfig config) {
        emulator = std::make_unique<MagellanEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<MagellanEmulator> emulator;
};

class MagellanTrackOracle : public MagellanGpsbabelOracle,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(MagellanTrackOracle, GpsbabelReadsTheFixesOfTheIgcFile) {
    const std::string path = Fixture(std::string("igc/") + GetParam());
    std::string text;
    ASSERT_EQ(ReadWholeFile(path, text), FileReadStatus::kOk);
    igc::IgcParseResult parsed;
    ASSERT_GT(igc::ParseIgc(text, parsed), 0);
    MagellanEmulatorConfig config;
    config.track = parsed.points;
    StartEmulator(std::move(config));
    const std::vector<std::string> fromUnit = Rows(
        Capture("gpsbabel -t -i magellan,baud=9600 -f " + pty.SlavePath() + " -o unicsv -F -"));
    // gpsbabel's own reading of the file: the GPS altitudes are its last track.
    const std::vector<std::string> fromFile =
        Rows(Capture("gpsbabel -t -i igc -f '" + path + "' -o unicsv -F -"));
    ASSERT_FALSE(fromUnit.empty());
    ASSERT_GE(fromFile.size(), fromUnit.size());
    const std::size_t gpsTrack = fromFile.size() - fromUnit.size();
    for (std::size_t i = 0; i < fromUnit.size(); ++i) {
        // A fix without a GPS altitude has none in gpsbabel's reading of the file; the unit
        // writes 0 for it.
        std::string expected = fromFile[gpsTrack + i];
        const std::size_t altitude = expected.find(',', expected.find(',') + 1) + 1;
        if (expected.compare(altitude, 1, ",") == 0)
            expected.insert(altitude, "0.0");
        ASSERT_EQ(fromUnit[i], expected) << GetParam() << " fix " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, MagellanTrackOracle,
                         ::testing::Values("marcourt.igc", "20241007TZN.igc",
                                           "xctrack-2022-04-07.igc"));

TEST_F(MagellanGpsbabelOracle, GpsbabelReadsTheWaypoints) {
    MagellanEmulatorConfig config;
    config.waypoints = BuiltInWaypoints();
    StartEmulator(std::move(config));
    const std::vector<std::string> rows = Rows(
        Capture("gpsbabel -w -i magellan,baud=9600 -f " + pty.SlavePath() + " -o unicsv -F -"));
    // Positions in thousandths of a minute: 46 deg 31.250 min is 46.520833 deg.
    EXPECT_EQ(rows,
              (std::vector<std::string>{
                  "46.520833,7.675000,\"FIESCH\",1050.0,\"Fiesch landing\",\"crossed square\"",
                  "46.531383,7.617500,\"KUEBOD\",2212.0,\"Kuehboden\",\"crossed square\"",
                  "46.500000,7.258333,\"BRIG\",678.0,\"Brig\",\"crossed square\"",
                  "45.996667,6.353333,\"LAUSAN\",495.0,\"Lausanne\",\"crossed square\""}));
}

TEST_F(MagellanGpsbabelOracle, WaypointsGpsbabelUploadsReadBackInOurSession) {
    MagellanEmulator& emu = StartEmulator(MagellanEmulatorConfig{});
    const std::string said = Capture("gpsbabel -w -i gpx -f " + Fixture("magellan/upload.gpx") +
                                     " -o magellan,baud=9600 -F " + pty.SlavePath());
    ASSERT_EQ(said, "");
    // gpsbabel switches the handshake on and waits for every acknowledgement.
    const std::vector<std::string> received = emu.Received();
    ASSERT_FALSE(received.empty());
    EXPECT_NE(std::find(received.begin(), received.end(), "PMGNCMD,HANDON"), received.end());
    ASSERT_EQ(emu.Uploads().size(), 3u);

    DebugTrace trace;
    device::test_support::RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    layer.SetPortName(pty.SlavePath());
    layer.SetOpenAttempts(4);
    device::JobStart start;
    start.function = device::AccessFunction::kReadWaypoints;
    start.protocol = GpsProtocol::kMagellan;
    std::vector<Waypoint> read;
    int result = 999;
    start.completion = [&](device::GpsAccessJob& job) {
        result = job.result;
        read = job.waypoints;
    };
    ASSERT_EQ(layer.StartGpsJob(std::move(start)), 0);
    layer.Join();
    ASSERT_EQ(result, 0);
    ASSERT_EQ(read.size(), 3u);
    struct Expected {
        const char* id;
        const char* description;
        double latitude, longitude;
        int altitude;
    };
    const Expected expected[] = {{"TOP1", "Launch west", 46.504167, 7.258333, 1234},
                                 {"LOW2", "Below the sea", -33.5, -70.25, -12},
                                 {"EDGE3", "Near the date line", 0.016667, 179.983333, 5}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(read[i].Id(), expected[i].id);
        EXPECT_EQ(read[i].Description(), expected[i].description);
        // The unit keeps thousandths of a minute (1.7e-5 degrees).
        EXPECT_NEAR(read[i].latitude * (180.0 / 2147483648.0), expected[i].latitude, 1e-5);
        EXPECT_NEAR(read[i].longitude * (180.0 / 2147483648.0), expected[i].longitude, 1e-5);
        EXPECT_EQ(read[i].altitude, expected[i].altitude);
    }
}

}  // namespace
}  // namespace tracora::protocols::magellan
