// The Flybook document of a read-all download: a trip folder for every flight long enough,
// signed when the log came straight from an instrument that marks its logs.
#include "documents/flybook_document.hpp"

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "core/file_io.hpp"
#include "core/scripted_host.hpp"
#include "core/test_files.hpp"
#include "core/time_base.hpp"
#include "formats/kml/kml_reader.hpp"

namespace tracora::documents {
namespace {

using tracora::testing::CountOccurrences;

// `count` points 3 s apart from `hour`:00 on 2024-06-01, climbing, the first starting a segment.
void AddFlight(TrackLog& log, int hour, std::size_t count) {
    const std::uint32_t start = CalendarToTime(CalendarTime{2024, 6, 1, hour, 0, 0, 0});
    for (std::size_t i = 0; i < count; ++i) {
        TrackPoint p;
        p.flags = i == 0 ? TrackPoint::kSegmentStart : 0;
        p.time = start + static_cast<std::uint32_t>(i) * 3;
        p.latitude = 554766609 + static_cast<std::int32_t>(i) * 2500;
        p.longitude = 89478485 + static_cast<std::int32_t>(i) * 1500;
        p.gpsAltitude = 12000 + static_cast<std::int32_t>(i) * 10;
        p.pressureAltitude = 1190 + static_cast<std::int32_t>(i);
        log.points.push_back(p);
    }
}

TEST(FlybookDocument, OneTripFolderPerFlightOfTenOrMorePoints) {
    TrackLog log;
    AddFlight(log, 9, 12);
    AddFlight(log, 11, 9);  // too short: left out
    AddFlight(log, 13, 10);
    log.gRecordEligible = true;
    log.timeIsUtc = true;
    log.hasPressureAltitude = true;
    log.instrumentDescription = "Flytec 6030 SN 4711";
    Settings settings = DefaultSettings();
    settings.logFilter = 0;
    std::string document, title, message;
    ASSERT_EQ(BuildFlybookDocument(log, settings, document, title, message), 2) << message;
    EXPECT_TRUE(
        document.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n"
                             "<open>1</open>\r\n  <Folder>"));
    EXPECT_TRUE(document.ends_with("  </Folder>\r\n</Document>\r\n"));
    EXPECT_EQ(CountOccurrences(document, "<name>Trip</name>"), 2u);
    // The folder's description is the instrument's.
    EXPECT_EQ(CountOccurrences(document, "<description><![CDATA[Flytec 6030 SN 4711\r\n"), 2u);

    const kml::KmlTracks tracks = kml::FindKmlTracks(document);
    ASSERT_EQ(tracks.status, 2);
    const kml::KmlTrackRead first = kml::DecodeKmlTrack(tracks.tracks[0]);
    const kml::KmlTrackRead second = kml::DecodeKmlTrack(tracks.tracks[1]);
    EXPECT_EQ(first.status, 12);
    EXPECT_EQ(second.status, 10);
    EXPECT_EQ(second.points.front().time, log.points[21].time);
    EXPECT_EQ(first.signature, kml::kKmlSignatureOk);
    EXPECT_EQ(second.signature, kml::kKmlSignatureOk);
    EXPECT_EQ(first.instrument, "Flytec 6030 SN 4711");

    // Not from an instrument that marks its logs: no hash.
    log.gRecordEligible = false;
    ASSERT_EQ(BuildFlybookDocument(log, settings, document, title, message), 2);
    EXPECT_EQ(document.find("hash="), std::string::npos);
}

TEST(FlybookDocument, NothingLongEnoughIsSaidAndNothingIsAsked) {
    AppState state;
    state.settings = DefaultSettings();
    AddFlight(state.trackLog, 9, 9);
    testing::ScriptedHost host;
    EXPECT_EQ(SaveFlybookDocument(state, host), 0);
    EXPECT_TRUE(host.fileDialogs.empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Save track for Flybook");
    EXPECT_EQ(host.messages[0].text, "No track log with at least 10 positions");
}

TEST(FlybookDocument, ExistingFileIsReplacedOnlyAfterYes) {
    const auto folder = testing::FreshTestFolder("tracora-flybook-doc");
    AppState state;
    state.settings = DefaultSettings();
    state.settings.logFilter = 0;
    AddFlight(state.trackLog, 9, 15);
    testing::ScriptedHost host;
    {
        std::FILE* f = std::fopen((folder / "book.kml").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("mine", f);
        std::fclose(f);
    }
    host.saveChoices.push_back(FileDialogResult{folder / "book", 1});
    host.answers.push_back(Answer::kNo);
    EXPECT_EQ(SaveFlybookDocument(state, host), 0);
    std::string kept;
    ASSERT_EQ(ReadWholeFile(folder / "book.kml", kept), FileReadStatus::kOk);
    EXPECT_EQ(kept, "mine");
    host.saveChoices.push_back(FileDialogResult{folder / "book", 1});
    host.answers.push_back(Answer::kYes);
    EXPECT_EQ(SaveFlybookDocument(state, host), 1);
    ASSERT_EQ(ReadWholeFile(folder / "book.kml", kept), FileReadStatus::kOk);
    EXPECT_EQ(CountOccurrences(kept, "<name>Trip</name>"), 1u);
    EXPECT_EQ(host.messages.back().text, "File written");
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tracora::documents
