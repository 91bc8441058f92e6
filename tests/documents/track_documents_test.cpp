// Tracks written in the registry's formats, and the open dialog's list of track formats.
#include "documents/track_documents.hpp"

#include <string>

#include <gtest/gtest.h>

#include "documents/trip_record.hpp"
#include "formats/format_registry.hpp"
#include "formats/formats_support.hpp"

namespace tracora::documents {
namespace {

using testing::FixturePath;
using testing::ReadFixture;
using testing::RecordingHost;

TEST(ReadableTrackFormats, TheRegistrysTrackReadersInOrder) {
    std::vector<std::string> expected;
    for (const formats::FormatRecord* format : formats::AllFormats()) {
        if (format->holds.track && format->directions.read) {
            expected.emplace_back(format->name);
        }
    }
    std::vector<std::string> offered;
    for (const TrackFileFormat& format : ReadableTrackFormats()) {
        offered.push_back(format.filter.name);
    }
    EXPECT_EQ(offered, expected);
    ASSERT_FALSE(ReadableTrackFormats().empty());
    EXPECT_EQ(ReadableTrackFormats().front().filter.name, "IGC files");
    EXPECT_EQ(ReadableTrackFormats().front().filter.extension, "igc");

    // The IGC reader keeps the file's text and says why a file could not be read.
    RecordingHost host;
    TrackReadResult read;
    const std::string text = ReadFixture(FixturePath("igc/marcourt.igc"));
    EXPECT_EQ(ReadableTrackFormats().front().reader(host, text, read), 221);
    EXPECT_EQ(read.rawIgc.text, text);
    TrackReadResult failed;
    EXPECT_EQ(ReadableTrackFormats().front().reader(host, "AXTR\r\n", failed), -1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "No positions found");
}

TEST(BuildTrackDocument, KmlIsTheTripDocumentOfTheConversion) {
    const formats::FormatRecord& igc = *formats::FindFormat("igc");
    const formats::FormatRecord& kml = *formats::FindFormat("kml");
    const formats::ReadResult read = igc.read(ReadFixture(FixturePath("igc/marcourt.igc")));
    ASSERT_GT(read.status, 0);
    std::string document, title, message;
    ASSERT_EQ(BuildTrackDocument(kml, ConvertedFileInput(read, CalendarTime{}), 800, document,
                                 title, message),
              0)
        << message;
    std::string expected;
    ASSERT_EQ(kml::BuildGoogleEarthDocument(read.track, kml::IgcConversionOptions(800), expected,
                                            title, message),
              0);
    EXPECT_EQ(document, expected);

    // Too few positions for the analysis: the analysis's message, nothing written.
    formats::ReadResult few = read;
    few.track.resize(4);
    document.clear();
    EXPECT_EQ(BuildTrackDocument(kml, ConvertedFileInput(few, CalendarTime{}), 800, document, title,
                                 message),
              -1);
    EXPECT_EQ(message, "Too few track positions");
    EXPECT_TRUE(document.empty());
}

}  // namespace
}  // namespace tracora::documents

namespace tracora::documents {
namespace {

// The open dialog's GPX reader: one track read at once, several offered by the time of their
// first point, the chosen one kept, Cancel reads nothing.
TEST(ReadableTrackFormats, GpxAsksWhichTrackToRead) {
    class SelectingHost : public testing::RecordingHost {
    public:
        std::optional<int> SelectTrack(const std::vector<std::string>& tracks) override {
            offered = tracks;
            return choice;
        }
        std::vector<std::string> offered;
        std::optional<int> choice;
    };
    const TrackFileFormat* gpx = nullptr;
    for (const TrackFileFormat& format : ReadableTrackFormats()) {
        if (format.filter.extension == "gpx") {
            gpx = &format;
        }
    }
    ASSERT_NE(gpx, nullptr);
    const std::string text = ReadFixture(FixturePath("tracks/two-segments.gpx"));
    SelectingHost host;
    host.choice = 1;
    TrackReadResult read;
    ASSERT_EQ(gpx->reader(host, text, read), 1);
    EXPECT_EQ(host.offered,
              (std::vector<std::string>{"2024-06-01   08:00:00", "2024-06-01   14:00:00",
                                        "2024-06-01   14:05:01"}));
    EXPECT_TRUE(read.timeIsUtc);
    EXPECT_EQ(read.points.at(0).time, 12571u * 86400u + 14 * 3600u);
    host.choice.reset();
    TrackReadResult cancelled;
    EXPECT_EQ(gpx->reader(host, text, cancelled), -1);
    EXPECT_TRUE(cancelled.points.empty());
    EXPECT_TRUE(host.messages.empty());
    // A document of one track is read without asking; a bad one says why.
    SelectingHost quiet;
    const std::string one =
        "<?xml version=\"1.0\"?><gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>"
        "2024-06-01T00:00:00Z</time></trkpt></trkseg></trk></gpx>";
    TrackReadResult single;
    EXPECT_EQ(gpx->reader(quiet, one, single), 1);
    EXPECT_TRUE(quiet.offered.empty());
    EXPECT_EQ(gpx->reader(quiet, "<?xml version=\"1.0\"?><gpx></gpx>", single), -1);
    ASSERT_EQ(quiet.messages.size(), 1u);
    EXPECT_EQ(quiet.messages[0].title, "Parsing track log file");
    EXPECT_EQ(quiet.messages[0].text, "No tracks found");
}

}  // namespace
}  // namespace tracora::documents
