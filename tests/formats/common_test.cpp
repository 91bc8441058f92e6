#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/save_file.hpp"
#include "formats/common/coordinate_text.hpp"
#include "formats/common/crc32.hpp"
#include "formats/common/line_reader.hpp"
#include "formats/common/sha1.hpp"
#include "formats/common/text_buffer.hpp"
#include "formats/common/xml_escape.hpp"
#include "formats/formats_support.hpp"

namespace tracora::formats {
namespace {

using testing::FixturePath;
using testing::ReadFixture;
using testing::RecordingHost;

// The recipes of tools/make_hash_fixtures.py.
std::string BuildInput(const std::string& recipe) {
    const std::size_t colon = recipe.find(':');
    const std::string kind = recipe.substr(0, colon);
    const std::string rest = recipe.substr(colon + 1);
    if (kind == "text") {
        return rest;
    }
    if (kind == "repeat") {
        return std::string(std::stoul(rest.substr(2)), rest[0]);
    }
    const std::size_t second = rest.find(':');
    std::string out;
    for (int b = std::stoi(rest.substr(0, second)); b <= std::stoi(rest.substr(second + 1)); ++b) {
        out += static_cast<char>(b);
    }
    return out;
}

// CRC-32 registers from zlib and SHA-1 digests from sha1sum, on the same bytes.
TEST(Hashes, MatchZlibAndSha1sum) {
    const std::string table = ReadFixture(FixturePath("hashes/crc32_sha1.tsv"));
    LineReader lines(table);
    std::string_view line;
    int cases = 0;
    while (lines.Next(line)) {
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = line.find('\t', tab1 + 1);
        const std::string recipe(line.substr(0, tab1));
        const std::string input = BuildInput(recipe);
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08X",
                      static_cast<unsigned>(Crc32Update(kCrc32Start, input)));
        EXPECT_EQ(crc, line.substr(tab1 + 1, tab2 - tab1 - 1)) << recipe;
        EXPECT_EQ(Sha1Hex(Sha1Of(input)), line.substr(tab2 + 1)) << recipe;
        // Fed in pieces of 7 bytes, the digest is the same.
        Sha1 pieces;
        for (std::size_t i = 0; i < input.size(); i += 7) {
            pieces.Update(std::string_view(input).substr(i, 7));
        }
        EXPECT_EQ(Sha1Hex(pieces.Finish()), line.substr(tab2 + 1)) << recipe;
        ++cases;
    }
    EXPECT_GE(cases, 13);
}

TEST(LineReader, KeepsALastLineWithoutLineEnd) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\r\n\r\nb\r", {"a", "", "b"}},
        {"\n", {""}},
    };
    for (const Case& c : cases) {
        LineReader reader(c.text);
        std::vector<std::string> got;
        std::string_view line;
        while (reader.Next(line)) {
            got.emplace_back(line);
            EXPECT_EQ(reader.LineNumber(), got.size());
        }
        EXPECT_EQ(got, c.lines) << c.text;
    }
}

TEST(TextBuffer, WritesCrLfLinesAndLongFormattedText) {
    TextBuffer buffer;
    buffer.AppendLine("first");
    buffer.AppendFormat("%05d|%s", -12, std::string(300, 'x').c_str());
    buffer.AppendLine("");
    EXPECT_EQ(buffer.View(), "first\r\n-0012|" + std::string(300, 'x') + "\r\n");
    const std::string taken = buffer.Take();
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(taken.size(), 7u + 6u + 300u + 2u);
}

TEST(XmlEscape, TextAndAttributes) {
    EXPECT_EQ(EscapeXmlText("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d\"e'f");
    EXPECT_EQ(EscapeXmlAttribute("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
    EXPECT_EQ(EscapeXmlText("plain text"), "plain text");
}

// Thousandths of a minute: 2^31 semicircles are 180 degrees, 10,800,000 thousandths.
TEST(CoordinateText, RoundsHalfAwayFromZero) {
    struct Case {
        std::int32_t semicircles;
        std::int32_t milliMinutes;
    };
    const Case cases[] = {
        {0, 0},
        {-2147483647 - 1, -10800000},
        {2147483647, 10800000},
        {-5965232, -30000},  // half a degree south: 0.5 x 2^31 / 180 = 5965232.36
        {99, 0},             // 0.498 thousandths
        {100, 1},            // 0.503
        {-100, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SemicirclesToMilliMinutes(c.semicircles), c.milliMinutes) << c.semicircles;
    }
    const DegreeMinutes split = SplitMilliMinutes(-30000);
    EXPECT_TRUE(split.negative);
    EXPECT_EQ(split.degrees, 0);
    EXPECT_EQ(split.minutes, 30);
    EXPECT_EQ(split.thousandths, 0);
}

class SaveFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            std::filesystem::temp_directory_path() /
            ("tracora-save-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(SaveFileTest, AppendsTheExtensionAndRemembersTheFolder) {
    RecordingHost host;
    host.saveAnswer = FileDialogResult{folder / "flight", 1};
    SaveFileRequest request{"Save track log",
                            {{"IGC track log files (*.igc)", "igc"}},
                            folder,
                            "2014-07-05-XTR-AB1-02.igc"};
    std::filesystem::path remembered;
    const auto path = AskSavePath(host, request, &remembered);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, folder / "flight.igc");
    EXPECT_EQ(remembered, folder);
    ASSERT_EQ(host.saveRequests.size(), 1u);
    EXPECT_EQ(host.saveRequests[0].proposedName, "2014-07-05-XTR-AB1-02.igc");

    host.saveAnswer = FileDialogResult{folder / "flight.txt", 1};
    EXPECT_EQ(*AskSavePath(host, request), folder / "flight.txt");
    host.saveAnswer = FileDialogResult{folder / "flight", 2};
    EXPECT_EQ(*AskSavePath(host, request), folder / "flight");
}

TEST_F(SaveFileTest, RefusesTooLongNames) {
    RecordingHost host;
    host.saveAnswer = FileDialogResult{folder / std::string(260, 'x'), 1};
    SaveFileRequest request{"Save track log", {{"IGC track log files (*.igc)", "igc"}}, folder, ""};
    EXPECT_FALSE(AskSavePath(host, request));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Error opening file");
    EXPECT_EQ(host.messages[0].text, "Too long file name");
}

TEST_F(SaveFileTest, AsksBeforeReplacingAFile) {
    const std::filesystem::path path = folder / "a.igc";
    RecordingHost host;
    EXPECT_EQ(WriteDocumentFile(host, path, "one", ExistingFile::kAsk, "Write"), kSaveWritten);
    EXPECT_TRUE(host.questions.empty());

    host.answer = Answer::kNo;
    EXPECT_EQ(WriteDocumentFile(host, path, "two", ExistingFile::kAsk, "Write"), kSaveDeclined);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].title, "File creation");
    EXPECT_EQ(host.questions[0].text, "File already exists, overwrite ?");
    EXPECT_EQ(ReadFixture(path), "one");

    host.answer = Answer::kYes;
    EXPECT_EQ(WriteDocumentFile(host, path, "three", ExistingFile::kAsk, "Write"), kSaveWritten);
    EXPECT_EQ(ReadFixture(path), "three");
    EXPECT_EQ(WriteDocumentFile(host, path, "four", ExistingFile::kOverwrite, "Write"),
              kSaveWritten);
    EXPECT_EQ(ReadFixture(path), "four");
    EXPECT_EQ(WriteDocumentFile(host, path, "five", ExistingFile::kRefuse, "Write"), kSaveDeclined);
    EXPECT_EQ(ReadFixture(path), "four");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(SaveFileTest, ReportsAFolderThatCannotBeWritten) {
    RecordingHost host;
    const std::filesystem::path blocker = folder / "file";
    EXPECT_EQ(WriteDocumentFile(host, blocker, "x", ExistingFile::kAsk, "Write"), kSaveWritten);
    EXPECT_EQ(WriteDocumentFile(host, blocker / "inner.igc", "x", ExistingFile::kAsk, "Write"),
              kSaveFailed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Write");
    EXPECT_EQ(host.messages[0].text.rfind("Error opening file\n", 0), 0u);
}

}  // namespace
}  // namespace tracora::formats
