#include "automation/automation_runner.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "automation/automation_parser.hpp"
#include "core/scripted_host.hpp"

namespace tracora::automation {
namespace {

namespace fs = std::filesystem;
using device::AccessFunction;
using device::GpsAccessJob;

// 2014-05-17 10:00:00 UTC in receiver seconds (Unix 1400320800 less 631065600).
constexpr std::uint32_t kMay17 = 769255200;
constexpr const char* kRawIgc =
    "AFLY123 Flytec Compeo\r\nHFDTE170514\r\nB1000004630250N00707500EA0100001000\r\n";

// An instrument routine that delivers a fixed IGC text, as the IGC-delivering families do.
int DeliverIgc(GpsAccessJob& job) {
    TrackPoint p;
    p.time = kMay17;
    job.track.points = {p};
    job.track.rawIgc.text = kRawIgc;
    job.track.sourceKind = kSourceKindFlytec;
    return 0;
}

// A short flight along a meridian, one fix every 10 s, climbing.
int DeliverFlight(GpsAccessJob& job) {
    for (std::int32_t i = 0; i < 30; ++i) {
        TrackPoint p;
        p.time = kMay17 + 10u * static_cast<std::uint32_t>(i);
        p.latitude = 552000000 + i * 20000;
        p.longitude = 83000000;
        p.gpsAltitude = 10000 + 30 * i;
        job.track.points.push_back(p);
    }
    job.track.timeIsUtc = true;
    return 0;
}

int FailToConnect(GpsAccessJob& job) {
    job.Error("Could not open serial port (sure it's the right one ?)", "Connecting to GPS");
    return -1;
}

class RunnerTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("tracora-runner-" + std::to_string(::getpid()));
    device::DispatchTable table{};
    AppState state;
    testing::ScriptedHost host;
    device::HostJobSink sink{host};
    std::atomic<bool>& busy = state.busy;
    std::function<std::uint32_t()> clock;  // the runner's clock when set

    void SetUp() override {
        fs::create_directories(dir);
        Cell(GpsProtocol::kFlytec) = DeliverIgc;
        Cell(GpsProtocol::kFlymaster) = FailToConnect;
    }
    void TearDown() override { fs::remove_all(dir); }
    device::JobRoutine& Cell(GpsProtocol protocol) {
        return table[static_cast<std::size_t>(AccessFunction::kReadTrackLog)]
                    [static_cast<std::size_t>(ProtocolNumber(protocol))];
    }

    // Runs one command line to its end as the program does; returns the exit code.
    int RunLine(const std::string& line) {
        std::optional<AutomationRequest> request;
        AutomationEnvironment environment;
        environment.runtimeDir = dir.string();
        if (ParseCommandLine(line, host, environment, request) != 0 || !request) {
            return 2;
        }
        state.automation = std::move(request);
        device::JobLayer jobs(table, state.trace, sink, busy);
        AutomationRunner runner(state, host, jobs);
        if (clock) {
            runner.SetClock(clock);
        }
        bool done = false;
        state.onJobMessage = [&](JobMessage, bool success) {
            runner.Complete(success);
            done = true;
        };
        if (runner.Run() == 0 && runner.Waiting()) {
            jobs.Join();
            for (auto& task : host.posted) {
                task();
            }
            host.posted.clear();
            EXPECT_TRUE(done);
        }
        return runner.ExitCode();
    }
    std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(RunnerTest, IgcLogIntoAFolderTakesTheFirstFreeFlightNumber) {
    const std::string line = "/GPS=IQCOMPEO /COM=/dev/null /IGC_LOG=" + dir.string() + "/ /EXIT";
    ASSERT_EQ(RunLine(line), 0);
    const fs::path first = dir / "2014-05-17-xxx-123-01.igc";
    EXPECT_EQ(Read(first), kRawIgc);  // the instrument's text, byte for byte
    EXPECT_TRUE(state.trackLog.saved);
    ASSERT_EQ(RunLine(line), 0);
    EXPECT_EQ(Read(dir / "2014-05-17-xxx-123-02.igc"), kRawIgc);
    // OVERWRITE writes the first name again.
    std::ofstream(first) << "stale";
    ASSERT_EQ(RunLine(line + " /OVERWRITE"), 0);
    EXPECT_EQ(Read(first), kRawIgc);
    EXPECT_FALSE(fs::exists(dir / "2014-05-17-xxx-123-03.igc"));
}

TEST_F(RunnerTest, NoFreeFlightNumberIsAnError) {
    for (int n = 1; n <= 35; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "2014-05-17-xxx-123-%02d.igc", n);
        std::ofstream(dir / name) << "taken";
    }
    EXPECT_EQ(RunLine("/GPS=IQCOMPEO /COM=/dev/null /IGC_LOG=" + dir.string() + "/ /EXIT"), 1);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().title, "Save IGC log");
    EXPECT_EQ(host.messages.back().text, "No free flight number available");
    // The user must see the error: the request no longer closes the program.
    EXPECT_FALSE(state.automation->exitWhenDone);
}

TEST_F(RunnerTest, NamedFileWithDateIsCreatedOnlyWhenFree) {
    const std::string line =
        "/GPS=IQCOMPEO /COM=/dev/null /IGC_LOG=" + dir.string() + "/$date.igc /EXIT";
    ASSERT_EQ(RunLine(line), 0);
    EXPECT_EQ(Read(dir / "20140517.igc"), kRawIgc);
    // Taken: the question is asked and No keeps the file; the run fails.
    std::ofstream(dir / "20140517.igc") << "mine";
    EXPECT_EQ(RunLine(line), 1);
    ASSERT_FALSE(host.questions.empty());
    EXPECT_EQ(host.questions.back().text, "File already exists, overwrite ?");
    EXPECT_EQ(Read(dir / "20140517.igc"), "mine");
    // Hidden runs never ask.
    const std::size_t asked = host.questions.size();
    EXPECT_EQ(RunLine(line + " /WIN=0"), 1);
    EXPECT_EQ(host.questions.size(), asked);
    EXPECT_EQ(Read(dir / "20140517.igc"), "mine");
}

TEST_F(RunnerTest, FailedJobWritesNothingAndExitsWith1) {
    EXPECT_EQ(RunLine("/GPS=FLYMASTER /COM=/dev/null /IGC_LOG=" + dir.string() + "/ /EXIT"), 1);
    EXPECT_TRUE(fs::is_empty(dir));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, "Could not open serial port (sure it's the right one ?)");
}

TEST_F(RunnerTest, OtherInstrumentsGetAnEncodedLogUnderTheirOwnName) {
    Cell(GpsProtocol::kGarmin) = DeliverIgc;
    ASSERT_EQ(RunLine("/GPS=GARMIN /COM=/dev/null /IGC_LOG=" + dir.string() + "/ /PILOT=Jo /EXIT"),
              0);
    const std::string text = Read(dir / "2014-05-17-xtr-000-01.igc");
    // Written by this program, not the instrument's text: header, the one fix, a security line.
    EXPECT_EQ(text.rfind("A", 0), 0u);
    EXPECT_NE(text.find("HFDTE170514"), std::string::npos);
    EXPECT_NE(text.find("\r\nB100000"), std::string::npos);
    EXPECT_NE(text.find("Jo"), std::string::npos);
    EXPECT_EQ(host.LastStatus(), "1 positions written");
}

TEST_F(RunnerTest, KmlLogIsWrittenUnderTheDateOfTheFlight) {
    Cell(GpsProtocol::kGarmin) = DeliverFlight;
    ASSERT_EQ(RunLine("/GPS=GARMIN /COM=/dev/null /KML_LOG=" + dir.string() + "/$date.kml /EXIT"),
              0);
    const std::string text = Read(dir / "20140517.kml");
    EXPECT_EQ(text.rfind("<?xml", 0), 0u);
    EXPECT_NE(text.find("</Document>"), std::string::npos);
    EXPECT_NE(text.find("<Metadata src=\"Tracora\""), std::string::npos);
    EXPECT_TRUE(state.trackLog.saved);
}

// The flight of DeliverFlight with the pilot IDs its instrument's ID waypoints carried.
int DeliverFlightWithIds(GpsAccessJob& job) {
    job.competitionId = 12;
    job.civlId = 4711;
    const int result = DeliverFlight(job);
    job.track.gRecordEligible = true;
    return result;
}

TEST_F(RunnerTest, CompetitionLogNamesItsFilesAndNeverWritesThemTwice) {
    Cell(GpsProtocol::kGarmin) = DeliverFlightWithIds;
    // 2014-05-17 11:22:33 UTC.
    clock = [] { return kMay17 + 4953u; };
    state.settings.logFilter = 0;
    const fs::path comp = dir / "comp";
    const std::string line = "/GPS=GARMIN /COM=/dev/null /COMP_LOG=IGC /COMP_DIR=" + comp.string() +
                             " /PILOT=\"Ann Lee\" /EXIT";
    ASSERT_EQ(RunLine(line), 0) << (host.messages.empty() ? "" : host.messages.back().text);
    const fs::path base = comp / "Ann Lee.20140517-112233.4711.12";
    const std::string kml = Read(base.string() + ".kml");
    const std::string igc = Read(base.string() + ".igc");
    EXPECT_NE(kml.find("civl_pilot_id=\"4711\" comp_pilot_id=\"12\""), std::string::npos) << kml;
    EXPECT_NE(kml.find("downloaded=\"2014-05-17T11:22:33Z\""), std::string::npos) << kml;
    EXPECT_NE(igc.find("HOPLTPILOT: Ann Lee\r\n"), std::string::npos) << igc;
    EXPECT_EQ(host.LastStatus(), base.string() + ".kml: File saved, signature OK");
    // The same download again in the same second: both files are left as they are.
    ASSERT_EQ(RunLine(line), 0);
    EXPECT_EQ(Read(base.string() + ".kml"), kml);
    EXPECT_EQ(Read(base.string() + ".igc"), igc);
    EXPECT_EQ(host.LastStatus(), base.string() + ".kml: already processed");
    EXPECT_EQ(std::distance(fs::directory_iterator(comp), fs::directory_iterator()), 2);
}

TEST_F(RunnerTest, CompetitionLogTakesThePilotOfTheListFromTheInstrumentsIds) {
    Cell(GpsProtocol::kGarmin) = DeliverFlightWithIds;
    clock = [] { return kMay17 + 4953u; };
    state.settings.logFilter = 0;
    state.pilotList.pilots = {PilotEntry{"Other", 1, 2, {}},
                              PilotEntry{"Smith, John", 4711, 99, {}}};
    const fs::path comp = dir / "comp";
    ASSERT_EQ(
        RunLine("/GPS=GARMIN /COM=/dev/null /COMP_LOG=KML /COMP_DIR=" + comp.string() + " /EXIT"),
        0);
    // The CIVL ID 4711 of the instrument is the listed pilot's: his name and IDs name the file.
    EXPECT_TRUE(fs::exists(comp / "Smith, John.20140517-112233.4711.99.kml"));
    EXPECT_FALSE(fs::exists(comp / "Smith, John.20140517-112233.4711.99.igc"));
}

}  // namespace
}  // namespace tracora::automation
