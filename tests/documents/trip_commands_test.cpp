// Saving analysed flights as KML: the statistics dialog's logbook save and the conversion of
// IGC files.
#include "documents/kml_commands.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "analysis/flight_statistics.hpp"
#include "core/scripted_host.hpp"
#include "core/test_files.hpp"
#include "documents/igc_files.hpp"

namespace tracora::kml {
namespace {

using tracora::testing::CountOccurrences;
using tracora::testing::ScriptedHost;

std::filesystem::path Fixture(const std::string& name) {
    return std::filesystem::path(TRACORA_FIXTURES_DIR) / "igc" / name;
}

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TripCommands : public ::testing::Test {
protected:
    void SetUp() override {
        folder = tracora::testing::FreshTestFolder("tracora-trip");
        state.settings = DefaultSettings();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
    AppState state;
    ScriptedHost host;
};

TEST(KmlPathForIgc, ReplacesTheIgcExtensionInAnyCase) {
    EXPECT_EQ(KmlPathForIgc("/f/flight.igc"), "/f/flight.kml");
    EXPECT_EQ(KmlPathForIgc("/f/FLIGHT.IGC"), "/f/FLIGHT.kml");
    EXPECT_EQ(KmlPathForIgc("/f/flight"), "/f/flight.kml");
    EXPECT_EQ(KmlPathForIgc("/f/flight.igc.bak"), "/f/flight.igc.bak.kml");
}

TEST_F(TripCommands, ConvertsEveryReadableFileAndCountsThem) {
    std::filesystem::copy_file(Fixture("marcourt.igc"), folder / "marcourt.igc");
    std::ofstream(folder / "broken.igc") << "AXTR\r\nB1200004612345N00712345EA0100001050\r\n";
    host.openManyChoices.push_back(
        {folder / "marcourt.igc", folder / "broken.igc", folder / "absent.igc"});
    EXPECT_EQ(ConvertIgcFilesToKml(state, host), 1);
    EXPECT_EQ(host.fileDialogs.at(0).title, "Convert .igc files to .kml");
    const std::string kml = Read(folder / "marcourt.kml");
    EXPECT_EQ(CountOccurrences(kml, "<name>Trip</name>"), 1u);
    // A file of unknown origin: no hash; 221 fixes, 5 coordinates a line.
    EXPECT_EQ(kml.find("hash="), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "broken.kml"));
    EXPECT_FALSE(std::filesystem::exists(folder / "absent.kml"));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().title, "Convert .igc files to .kml");
    EXPECT_EQ(host.messages.back().text, "1 file(s) converted");
    // The broken and the absent file were each reported on the way.
    EXPECT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(state.settings.igcDir, folder.string());

    // An existing document is replaced only after a Yes.
    std::ofstream(folder / "marcourt.kml") << "mine";
    host.openManyChoices.push_back({folder / "marcourt.igc"});
    host.answers.push_back(Answer::kNo);
    EXPECT_EQ(ConvertIgcFilesToKml(state, host), 0);
    EXPECT_EQ(Read(folder / "marcourt.kml"), "mine");
    EXPECT_EQ(host.messages.back().text, "0 file(s) converted");

    host.openManyChoices.push_back({});
    EXPECT_EQ(ConvertIgcFilesToKml(state, host), -1);
}

// A logbook of two flights: the selection picks the second, which becomes the IGC file beside
// the document; a file without a track is reported and skipped.
TEST_F(TripCommands, KmlFilesConvertToIgcWithTheChosenTrack) {
    const auto trip = [](int hour, std::size_t count) {
        TripAnalysis a;
        CalendarTime start{2024, 6, 1, hour, 0, 0, 0};
        for (std::size_t i = 0; i < count; ++i) {
            TrackPoint p;
            p.time = CalendarToTime(start) + static_cast<std::uint32_t>(i) * 4;
            p.latitude = 554766609 + static_cast<std::int32_t>(i) * 3000;
            p.longitude = 89478485;
            p.gpsAltitude = 10000;
            p.pressureAltitude = 990;
            a.points.push_back(p);
        }
        a.firstTime = a.points.front().time;
        a.lastTime = a.points.back().time;
        a.timesAreUtc = true;
        a.pressureAltitudePresent = true;
        return a;
    };
    KmlOutput first;
    std::string message;
    TripAnalysis morning = trip(9, 7);
    ASSERT_EQ(WriteTripDocument(first, morning, "Flytec", message), 0);
    KmlOutput second;
    TripAnalysis noon = trip(12, 6);
    ASSERT_EQ(WriteTripFolder(second, noon, "x", "Flytec"), 0);
    std::string book;
    ASSERT_EQ(AppendToLogbook(first.View(), second.View(), book), 0);
    std::ofstream(folder / "book.kml", std::ios::binary) << book;
    std::ofstream(folder / "empty.kml", std::ios::binary) << "<?xml version=\"1.0\"?><Document/>";

    host.openManyChoices.push_back({folder / "book.kml", folder / "empty.kml"});
    host.splitChoices.push_back({1});
    EXPECT_EQ(ConvertKmlFilesToIgc(state, host), 1);
    EXPECT_EQ(host.fileDialogs.at(0).title, "Convert .kml files to .igc");
    const std::string igc = Read(folder / "book.igc");
    EXPECT_EQ(CountOccurrences(igc, "\r\nB"), 6u) << igc;
    EXPECT_NE(igc.find("\r\nB120000"), std::string::npos) << igc;
    EXPECT_NE(igc.find("\r\nB120020"), std::string::npos) << igc;
    EXPECT_FALSE(std::filesystem::exists(folder / "empty.igc"));
    ASSERT_GE(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[host.messages.size() - 2].text, "No track log found");
    EXPECT_EQ(host.messages.back().text, "1 file(s) converted");
    EXPECT_EQ(state.settings.trackLogDir, folder.string());
}

TEST_F(TripCommands, LogbookOfAnInstrumentsFlightIsSignedAndMarksTheLogSaved) {
    TrackReadResult read;
    ASSERT_GT(igc::ReadIgcFile(host, Fixture("marcourt.igc"), read), 0);
    TrackLog& log = state.trackLog;
    log.points = read.points;
    log.gRecordEligible = true;
    log.timeIsUtc = true;
    log.hasPressureAltitude = true;
    log.instrumentDescription = "Test & <instrument>";
    log.downloadTime = {2021, 3, 7, 8, 9, 10, 0};
    log.civlPilotId = 4711;

    analysis::StatisticsInput input;
    ASSERT_EQ(analysis::PrepareFlightStatistics(state, host, {}, input), 0);
    analysis::OptimisationResults optimisation;
    analysis::CancelFlag cancel{0};
    ASSERT_EQ(analysis::RunDistanceOptimisation(input.points, optimisation, {}, {}, cancel), 0);

    const TripAnalysis trip = StatisticsTrip(log, input.points, input.statistics, optimisation,
                                             state.settings.loopFlightGap);
    EXPECT_TRUE(trip.hashWanted);
    EXPECT_TRUE(trip.timesAreUtc);
    EXPECT_TRUE(trip.identifiersPresent);
    EXPECT_EQ(trip.civlPilotId, 4711);
    EXPECT_EQ(trip.compPilotId, -1);

    const std::filesystem::path book = folder / "book";
    host.saveChoices.push_back(FileDialogResult{book, 1});
    ASSERT_EQ(SaveStatisticsLogbook(state, host, input.points, input.statistics, optimisation,
                                    "Marcourt"),
              0);
    EXPECT_TRUE(log.saved);
    const std::string kml = Read(folder / "book.kml");
    EXPECT_NE(kml.find("hash=\""), std::string::npos);
    EXPECT_NE(kml.find("downloaded=\"2021-03-07T08:09:10Z\""), std::string::npos);
    EXPECT_NE(kml.find("civl_pilot_id=\"4711\""), std::string::npos);
    EXPECT_NE(kml.find("instrument=\"Test &amp; &lt;instrument&gt;\""), std::string::npos);
    EXPECT_EQ(host.messages.back().text, "Track saved (Signature OK)");

    // The second flight into the same book: the question's buttons say what they do.
    log.saved = false;
    host.saveChoices.push_back(FileDialogResult{folder / "book.kml", 1});
    host.answers.push_back(Answer::kYes);
    ASSERT_EQ(
        SaveStatisticsLogbook(state, host, input.points, input.statistics, optimisation, "Again"),
        0);
    ASSERT_EQ(host.buttonLabels.size(), 1u);
    EXPECT_EQ(host.buttonLabels[0].yes, "&Append");
    EXPECT_EQ(host.buttonLabels[0].no, "&Overwrite");
    EXPECT_EQ(host.buttonLabels[0].cancel, "&Cancel");
    EXPECT_EQ(CountOccurrences(Read(folder / "book.kml"), "<name>Trip</name>"), 2u);
    EXPECT_TRUE(log.saved);
}

}  // namespace
}  // namespace tracora::kml
