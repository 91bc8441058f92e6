// gpsbabel, an independent Garmin client, against the Garmin emulator over a pseudo-terminal:
// it reads the emulator's track log (compared fix by fix with its own reading of the IGC file
// the emulator holds) and its waypoints, and uploads waypoints into it, under several
// capability arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "oracle/oracle_tools.hpp"
#include "protocols/garmin/garmin_emulator.hpp"

namespace tracora::protocols::garmin {
namespace {

std::string FixturePath(const std::string& name) {
    return std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name;
}

std::string RunCommand(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    std::string text;
    if (!pipe)
        return text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        text.append(buffer, n);
    return text;
}

// The rows of unicsv output as column name -> cell.
std::vector<std::map<std::string, std::string>> UnicsvRows(const std::string& text) {
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    std::vector<std::string> header;
    {
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            header.push_back(cell);
    }
    if (header.empty() || header[0] != "No") {
        ADD_FAILURE() << "gpsbabel said: " << text.substr(0, 300);
        return rows;
    }
    while (std::getline(lines, line)) {
        std::map<std::string, std::string> row;
        std::stringstream cells(line);
        std::size_t i = 0;
        for (std::string cell; std::getline(cells, cell, ',') && i < header.size(); ++i) {
            if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"')
                cell = cell.substr(1, cell.size() - 2);
            row[header[i]] = cell;
        }
        rows.push_back(row);
    }
    return rows;
}

double Degrees(std::int32_t semicircles) {
    return semicircles * (180.0 / 2147483648.0);
}

class GarminGpsbabelOracle : public ::testing::TestWithParam<const char*> {
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
    GarminEmulator& StartEmulator(GarminEmulatorConfig config) {
        emulator = std::make_unique<GarminEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }
    GarminEmulatorConfig Config() {
        GarminEmulatorConfig config;
        const CapabilityPreset* preset = FindCapabilityPreset(GetParam());
        EXPECT_NE(preset, nullptr);
        if (preset != nullptr)
            config.capabilities = preset->entries;
        return config;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<GarminEmulator> emulator;
};

TEST_P(GarminGpsbabelOracle, TrackLogAgreesWithGpsbabelsReadingOfTheIgcFile) {
    const std::string file = "marcourt.igc";
    GarminEmulatorConfig config = Config();
    std::string igc;
    ASSERT_EQ(ReadWholeFile(FixturePath(file), igc), FileReadStatus::kOk);
    std::vector<TrackPoint> points;
    ASSERT_TRUE(FlightFromIgc(igc, points));
    config.flights.push_back(points);
    GarminEmulator& emu = StartEmulator(std::move(config));

    const auto fromUnit =
        UnicsvRows(RunCommand("gpsbabel -t -i garmin -f '" + pty.SlavePath() + "' -o unicsv -F -"));
    auto fromFile =
        UnicsvRows(RunCommand("gpsbabel -t -i igc -f '" + FixturePath(file) + "' -o unicsv -F -"));
    ASSERT_FALSE(fromUnit.empty());
    // gpsbabel reads an IGC file with pressure altitudes as two tracks: pressure, then GPS.
    ASSERT_GE(fromFile.size(), fromUnit.size());
    fromFile.erase(fromFile.begin(), fromFile.begin() + static_cast<std::ptrdiff_t>(
                                                            fromFile.size() - fromUnit.size()));
    ASSERT_EQ(fromUnit.size(), points.size());
    const bool altitude = emu.TrackPointType() != 300;
    for (std::size_t i = 0; i < fromUnit.size(); ++i) {
        auto unit = fromUnit[i];
        auto igcRow = fromFile[i];
        ASSERT_EQ(unit["Date"], igcRow["Date"]) << i;
        ASSERT_EQ(unit["Time"], igcRow["Time"]) << i;
        // Six decimals printed; the semicircles are finer than the IGC file's 0.001 minutes.
        ASSERT_NEAR(std::stod(unit["Latitude"]), std::stod(igcRow["Latitude"]), 1.1e-6) << i;
        ASSERT_NEAR(std::stod(unit["Longitude"]), std::stod(igcRow["Longitude"]), 1.1e-6) << i;
        if (altitude) {
            ASSERT_NEAR(std::stod(unit["Altitude"]), std::stod(igcRow["Altitude"]), 0.05) << i;
        }
    }
}

TEST_P(GarminGpsbabelOracle, WaypointsReadAndWritten) {
    GarminEmulatorConfig config = Config();
    Waypoint a;
    a.SetId("LAUNCH");
    a.SetDescription("TAKEOFF NORTH");
    a.latitude = 554761489;  // 46.5 degrees is 554,766,848 semicircles; this is a bit south
    a.longitude = -87000000;
    a.altitude = 1500;
    Waypoint b;
    b.SetId("LZ2");
    b.SetDescription("LANDING");
    b.latitude = -404509500;
    b.longitude = 842000000;
    b.altitude = 600;
    config.waypoints = {a, b};
    GarminEmulator& emu = StartEmulator(std::move(config));
    const std::uint16_t type = emu.WaypointType();
    const bool altitude = (type >= 108 && type <= 110) || type >= 150;

    const auto rows =
        UnicsvRows(RunCommand("gpsbabel -w -i garmin -f '" + pty.SlavePath() + "' -o unicsv -F -"));
    ASSERT_EQ(rows.size(), 2u);
    const Waypoint* sent[] = {&a, &b};
    for (std::size_t i = 0; i < 2; ++i) {
        auto row = rows[i];
        EXPECT_EQ(row["Name"], std::string(sent[i]->Id())) << i;
        EXPECT_NEAR(std::stod(row["Latitude"]), Degrees(sent[i]->latitude), 1e-6) << i;
        EXPECT_NEAR(std::stod(row["Longitude"]), Degrees(sent[i]->longitude), 1e-6) << i;
        if (altitude) {
            EXPECT_NEAR(std::stod(row["Altitude"]), sent[i]->altitude, 0.5) << i;
        }
    }

    // And gpsbabel uploads a GPX file into the unit.
    const std::string gpx = ::testing::TempDir() + "garmin_upload_" + GetParam() + ".gpx";
    {
        std::ofstream out(gpx);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<gpx version=\"1.1\" creator=\"test\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
               "<wpt lat=\"46.250000\" lon=\"7.125000\"><ele>1500</ele><name>TOP</name>"
               "<cmt>SUMMIT</cmt></wpt>\n"
               "<wpt lat=\"-33.500000\" lon=\"-70.750000\"><ele>600</ele><name>BASE</name>"
               "<cmt>VALLEY</cmt></wpt>\n"
               "</gpx>\n";
    }
    const std::string said =
        RunCommand("gpsbabel -w -i gpx -f '" + gpx + "' -o garmin -F '" + pty.SlavePath() + "'");
    const std::vector<Waypoint> stored = emu.UploadedWaypoints();
    ASSERT_EQ(stored.size(), 2u) << said;
    EXPECT_EQ(stored[0].Id(), "TOP");
    EXPECT_EQ(stored[1].Id(), "BASE");
    EXPECT_NEAR(Degrees(stored[0].latitude), 46.25, 1e-6);
    EXPECT_NEAR(Degrees(stored[0].longitude), 7.125, 1e-6);
    EXPECT_NEAR(Degrees(stored[1].latitude), -33.5, 1e-6);
    EXPECT_NEAR(Degrees(stored[1].longitude), -70.75, 1e-6);
    if (altitude) {
        EXPECT_EQ(stored[0].altitude, 1500);
        EXPECT_EQ(stored[1].altitude, 600);
    }
}

INSTANTIATE_TEST_SUITE_P(Arrays, GarminGpsbabelOracle,
                         ::testing::Values("d108", "d109", "d110", "d103", "d100", "d102", "d150",
                                           "d151", "d154", "d155"));

}  // namespace
}  // namespace tracora::protocols::garmin
