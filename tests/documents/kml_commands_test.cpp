// The commands that save KML documents: the logbook, the waypoint file and the Google Earth
// file, with their dialogs and questions.
#include "documents/kml_commands.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/null_host.hpp"
#include "core/test_files.hpp"
#include "kml/trip_builder.hpp"

namespace tracora::kml {
namespace {

using test_trips::TripOf;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class LogbookHost : public NullHost {
public:
    void ShowMessage(const std::string& title, const std::string& text) override {
        messages.push_back(title + ": " + text);
    }
    Answer Ask(const std::string&, const std::string& text, QuestionButtons) override {
        questions.push_back(text);
        return answer;
    }
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override {
        proposed = request.proposedName;
        return FileDialogResult{path, 1};
    }
    std::filesystem::path path;
    Answer answer = Answer::kNo;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::string proposed;
};

std::filesystem::path TempDir(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tracora_kml_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(Logbook, AppendKeepsEarlierFlightsOverwriteAndCancel) {
    const auto dir = TempDir("logbook");
    LogbookHost host;
    host.path = dir / "book.kml";
    Settings settings;
    struct Step {
        const char* description;
        Answer answer;
        int status;
        std::size_t folders;
        std::vector<std::string> inOrder;
    };
    const Step steps[] = {
        {"first flight", Answer::kNo, 0, 1, {"first flight"}},
        {"second flight", Answer::kYes, 0, 2, {"first flight", "second flight"}},
        {"third flight", Answer::kYes, 0, 3, {"first flight", "second flight", "third flight"}},
        {"cancelled", Answer::kCancel, -1, 3, {"first flight", "third flight"}},
        {"replacement", Answer::kNo, 0, 1, {"replacement"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.description);
        host.answer = s.answer;
        TripAnalysis a = TripOf(5, 100);
        EXPECT_EQ(SaveLogbookFile(host, settings, a, s.description, std::nullopt), s.status);
        const std::string file = ReadFile(host.path);
        EXPECT_EQ(tracora::testing::CountOccurrences(file, "<Folder>"), s.folders);
        EXPECT_EQ(tracora::testing::CountOccurrences(file, "<Document>"), 1u);
        EXPECT_EQ(tracora::testing::CountOccurrences(file, "<open>1</open>\r\n"), 1u + s.folders);
        EXPECT_TRUE(file.starts_with(std::string(kDocumentHead)));
        EXPECT_TRUE(file.ends_with("  </Folder>\r\n</Document>\r\n"));
        std::size_t at = 0;
        for (const std::string& d : s.inOrder) {
            at = file.find(d, at);
            EXPECT_NE(at, std::string::npos) << d;
        }
    }
    EXPECT_EQ(host.proposed, "2024-06-01_10-00");
    EXPECT_EQ(host.messages.back(), "Save Flybook track: Track saved (NO signature)");
    EXPECT_EQ(host.questions.back(), "File already exists");
    EXPECT_EQ(settings.googleDir, dir.string());
    std::filesystem::remove_all(dir);
}

TEST(Logbook, UnreadableExistingFileIsLeftAsItWas) {
    const auto dir = TempDir("logbook_bad");
    LogbookHost host;
    host.path = dir / "book.kml";
    Settings settings;
    struct Case {
        std::string content;
        std::string message;
    };
    const Case cases[] = {
        {"not a logbook", "Save Logbook file: Error(s) parsing existing file"},
        {"<Document/>", "Save Logbook file: Error(s) parsing existing file"},
        {"", "Save Logbook file: Existing file is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        std::ofstream(host.path, std::ios::binary) << c.content;
        host.answer = Answer::kYes;
        TripAnalysis a = TripOf(5, 100);
        EXPECT_EQ(SaveLogbookFile(host, settings, a, "x", std::nullopt), -1);
        EXPECT_EQ(host.messages.back(), c.message);
        EXPECT_EQ(ReadFile(host.path), c.content);
    }
    std::filesystem::remove_all(dir);
}

TEST(WaypointFile, RefusesToReplaceUnasked) {
    Waypoint w;
    w.SetId("A&B<1");
    w.latitude = 554766609;
    w.longitude = 89478485;
    const std::string doc = KmlWaypointDocument(std::span<const Waypoint>(&w, 1));
    const auto dir = TempDir("waypoints");
    LogbookHost host;
    const auto path = dir / "w.kml";
    std::ofstream(path) << "old";
    EXPECT_EQ(WriteKmlWaypointFile(host, path, std::span<const Waypoint>(&w, 1), false), -1);
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(WriteKmlWaypointFile(host, path, std::span<const Waypoint>(&w, 1), true), 0);
    EXPECT_EQ(ReadFile(path), doc);
    std::filesystem::remove_all(dir);
}

TEST(GoogleEarthFile, TooFewPointsAndExistingFile) {
    const auto dir = TempDir("ge");
    LogbookHost host;
    GoogleEarthOptions options;
    const std::vector<TrackPoint> four = TripOf(4, 100).points;
    EXPECT_EQ(WriteGoogleEarthFile(host, dir / "f", four, options), -1);
    EXPECT_EQ(host.messages.back(), "Write GoogleEarth file: Too few track positions");
    EXPECT_FALSE(std::filesystem::exists(dir / "f.kml"));

    std::ofstream(dir / "g.kml") << "old";
    const std::vector<TrackPoint> ten = TripOf(10, 100).points;
    EXPECT_EQ(WriteGoogleEarthFile(host, dir / "g", ten, options), -1);
    EXPECT_EQ(host.messages.back(), "Write GoogleEarth file: File already exists");
    EXPECT_EQ(ReadFile(dir / "g.kml"), "old");
    options.overwrite = true;
    EXPECT_EQ(WriteGoogleEarthFile(host, dir / "g", ten, options), 0);
    const std::string doc = ReadFile(dir / "g.kml");
    EXPECT_TRUE(doc.starts_with(std::string(kDocumentHead) + "  <Folder>\r\n"));
    EXPECT_TRUE(doc.ends_with("  </Folder>\r\n</Document>\r\n"));
    EXPECT_NE(doc.find("<description><![CDATA[2024-06-01\r\n"), std::string::npos);
    EXPECT_NE(doc.find("instrument=\"unknown\""), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tracora::kml
