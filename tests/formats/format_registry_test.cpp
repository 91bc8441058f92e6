// The format registry: every record is complete and consistent, and every format that reads and
// writes gives back what it wrote.
#include "formats/format_registry.hpp"

#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/formats_support.hpp"

namespace tracora::formats {
namespace {

using testing::FixturePath;
using testing::ReadFixture;

bool IsLowerWord(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
            return false;
        }
    }
    return true;
}

TEST(FormatRegistry, RecordsAreCompleteAndUnique) {
    std::set<std::string> ids;
    // An extension belongs to one format, or to formats that read by content with one reader
    // (the waypoint files .wpt of several programs).
    std::map<std::string, FormatReader> extensions;
    ASSERT_FALSE(AllFormats().empty());
    for (const FormatRecord* format : AllFormats()) {
        ASSERT_NE(format, nullptr);
        SCOPED_TRACE(std::string(format->id));
        EXPECT_TRUE(IsLowerWord(format->id));
        EXPECT_TRUE(ids.insert(std::string(format->id)).second) << "id listed twice";
        EXPECT_FALSE(format->name.empty());
        EXPECT_FALSE(format->extensions.empty());
        for (const std::string_view extension : format->extensions) {
            EXPECT_TRUE(IsLowerWord(extension)) << extension;
            const auto [it, added] = extensions.emplace(std::string(extension), format->read);
            EXPECT_TRUE(added || (it->second != nullptr && it->second == format->read))
                << "extension ." << extension << " claimed twice";
        }
        EXPECT_TRUE(format->holds.track || format->holds.waypoints || format->holds.airspace);
        // A direction is set exactly when its function is there.
        EXPECT_EQ(format->directions.read, format->read != nullptr);
        EXPECT_EQ(format->directions.write, format->write != nullptr);
        EXPECT_TRUE(format->directions.read || format->directions.write);
        EXPECT_TRUE(!format->writesAnalysis || format->directions.write);
    }
}

TEST(FormatRegistry, FindsFormatsByIdAndExtensionInAnyCase) {
    for (const FormatRecord* format : AllFormats()) {
        SCOPED_TRACE(std::string(format->id));
        std::string upper(format->id);
        for (char& c : upper) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        EXPECT_EQ(FindFormat(format->id), format);
        EXPECT_EQ(FindFormat(upper), format);
        for (const std::string_view extension : format->extensions) {
            // The extension names the first format that claims it.
            const FormatRecord* first = nullptr;
            for (const FormatRecord* other : AllFormats()) {
                for (const std::string_view known : other->extensions) {
                    if (first == nullptr && known == extension) {
                        first = other;
                    }
                }
            }
            EXPECT_EQ(FormatForPath("/some/folder/flight." + std::string(extension)), first);
            std::string shouted = "FLIGHT." + std::string(extension);
            for (char& c : shouted) {
                c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            }
            EXPECT_EQ(FormatForPath(shouted), first);
            if (first != format) {
                EXPECT_EQ(first->read, format->read) << "." << extension;
            }
        }
    }
    EXPECT_EQ(FindFormat(""), nullptr);
    EXPECT_EQ(FindFormat("no-such-format"), nullptr);
    EXPECT_EQ(FormatForPath("flight"), nullptr);
    EXPECT_EQ(FormatForPath("flight.no-such-extension"), nullptr);
    EXPECT_EQ(FormatForPath("igc"), nullptr);
}

// A document without the time of its writing: the OziExplorer track's fifth line names the
// moment the file was made, which two writes a second apart do not share.
std::string WithoutWriteTime(std::string_view id, std::string_view document) {
    std::string text(document);
    if (id == "ozi-track") {
        const std::string mark = "\r\n0,2,255,";
        const std::size_t at = text.find(mark);
        if (at != std::string::npos) {
            const std::size_t from = at + mark.size();
            const std::size_t end = text.find(',', from);
            if (end != std::string::npos)
                text.erase(from, end - from);
        }
    }
    return text;
}

// A track that a format reads back writes the same document again.
TEST(FormatRegistry, FormatsThatReadAndWriteRoundTrip) {
    const std::string sample = ReadFixture(FixturePath("igc/marcourt.igc"));
    int tried = 0;
    for (const FormatRecord* format : AllFormats()) {
        if (!format->directions.read || !format->directions.write || format->writesAnalysis ||
            !format->holds.track) {
            continue;
        }
        SCOPED_TRACE(std::string(format->id));
        ++tried;
        // A first document of the format, from the sample track.
        const ReadResult source = FindFormat("igc")->read(sample);
        ASSERT_GT(source.status, 0) << source.message;
        WriteInput input;
        input.track = source.track;
        input.waypoints = source.waypoints;
        input.downloadTime = CalendarTime{2024, 6, 1, 12, 0, 0, 0};
        TextBuffer first;
        std::string message;
        ASSERT_EQ(format->write(input, first, message), 0) << message;

        const ReadResult back = format->read(first.View());
        ASSERT_EQ(back.status, source.status) << back.message;
        ASSERT_EQ(back.track.size(), source.track.size());
        WriteInput again = input;
        again.track = back.track;
        again.waypoints = back.waypoints;
        TextBuffer second;
        ASSERT_EQ(format->write(again, second, message), 0) << message;
        EXPECT_EQ(WithoutWriteTime(format->id, second.View()),
                  WithoutWriteTime(format->id, first.View()));
        for (std::size_t i = 0; i < back.track.size(); ++i) {
            EXPECT_EQ(back.track[i].time, source.track[i].time) << i;
        }
    }
    EXPECT_GE(tried, 1);
}

// Airspaces that a format reads back write the same document again.
TEST(FormatRegistry, AirspaceFormatsRoundTrip) {
    const std::string sample = ReadFixture(FixturePath("real/openair/germany-2026-03.txt"));
    int tried = 0;
    for (const FormatRecord* format : AllFormats()) {
        if (!format->holds.airspace || !format->directions.read || !format->directions.write) {
            continue;
        }
        SCOPED_TRACE(std::string(format->id));
        ++tried;
        const ReadResult source = FindFormat("openair")->read(sample);
        ASSERT_GT(source.status, 0) << source.message;
        WriteInput input;
        input.airspaces = source.airspaces;
        TextBuffer first;
        std::string message;
        ASSERT_EQ(format->write(input, first, message), 0) << message;
        const ReadResult back = format->read(first.View());
        ASSERT_EQ(back.status, source.status) << back.message;
        ASSERT_EQ(back.airspaces.size(), source.airspaces.size());
        for (std::size_t i = 0; i < back.airspaces.size(); ++i) {
            EXPECT_EQ(back.airspaces[i].name, source.airspaces[i].name);
            EXPECT_EQ(back.airspaces[i].segments.size(), source.airspaces[i].segments.size());
        }
        WriteInput again;
        again.airspaces = back.airspaces;
        TextBuffer second;
        ASSERT_EQ(format->write(again, second, message), 0) << message;
        EXPECT_EQ(second.View(), first.View());
    }
    EXPECT_GE(tried, 1);
}

TEST(FormatRegistry, ReadersReportWhatTheyCouldNotRead) {
    for (const FormatRecord* format : AllFormats()) {
        if (!format->directions.read) {
            continue;
        }
        SCOPED_TRACE(std::string(format->id));
        const ReadResult result = format->read("not a file of any format\r\n");
        EXPECT_LT(result.status, 0);
        EXPECT_FALSE(result.message.empty());
        EXPECT_TRUE(result.track.empty());
    }
}

TEST(FormatRegistry, WritersReportWhatTheyCouldNotWrite) {
    // The KML trip document needs the flight's analysis, which the documents library adds.
    const FormatRecord* kml = FindFormat("kml");
    ASSERT_NE(kml, nullptr);
    std::vector<TrackPoint> points(5);
    WriteInput input;
    input.track = points;
    TextBuffer out;
    std::string message;
    EXPECT_EQ(kml->write(input, out, message), -1);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(out.Size(), 0u);
}

}  // namespace
}  // namespace tracora::formats
