// "Save IGC log from GPS": the raw text byte for byte under the recorder's own name.
#include "formats/igc/igc_commands.hpp"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "core/scripted_host.hpp"
#include "formats/formats_support.hpp"

namespace tracora::igc {
namespace {

using tracora::testing::FixturePath;
using tracora::testing::ReadFixture;
using tracora::testing::ScriptedHost;

class RawIgcSave : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() / "tracora-raw-igc-save";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        // As a download from a recorder that delivers IGC text leaves the log.
        state.trackLog.rawIgc.text = ReadFixture(FixturePath("igc/marcourt.igc"));
        state.trackLog.points.resize(3);
        state.settings.igcSaveMask = 1 | 8;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    AppState state;
    ScriptedHost host;
    std::filesystem::path folder;
};

TEST_F(RawIgcSave, WritesTheRawTextUnderTheRecordersName) {
    // The recorder's A record is "AXSX004": manufacturer XSX, serial 004; first fix 2021-03-06.
    struct Case {
        IgcNameStyle style;
        const char* flight;
        const char* proposed;
        std::int32_t maskBits;
    };
    const Case cases[] = {
        {IgcNameStyle::kLong, "3", "2021-03-06-XSX-004-03.igc", 2},
        {IgcNameStyle::kShort, " 12 ", "136X004C.igc", 4},
        {IgcNameStyle::kNone, "35", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proposed);
        const std::filesystem::path target = folder / ("out" + std::to_string(c.maskBits));
        host.saveChoices.push_back(FileDialogResult{target, 1});
        EXPECT_EQ(SaveRawIgcLog(state, host, {c.flight, c.style}), RawIgcSaveOutcome::kWritten);
        EXPECT_EQ(host.fileDialogs.back().proposedName, c.proposed);
        EXPECT_EQ(host.fileDialogs.back().title, "Save track log");
        // ".igc" added to a typed name without extension; the bytes are the recorder's.
        EXPECT_EQ(ReadFixture(target.string() + ".igc"), state.trackLog.rawIgc.text);
        EXPECT_EQ(state.settings.igcFlightNo, c.flight);
        EXPECT_EQ(state.settings.igcSaveMask, 1 | 8 | c.maskBits);
        EXPECT_EQ(state.settings.igcDir, folder.string());
        EXPECT_TRUE(state.trackLog.saved);
        state.trackLog.saved = false;
    }
    EXPECT_TRUE(host.messages.empty());
    const RawIgcSaveRequest back = RawIgcSaveDefaults(state.settings);
    EXPECT_EQ(back.flightNumber, "35");
    EXPECT_EQ(back.style, IgcNameStyle::kNone);
}

TEST_F(RawIgcSave, RefusedValuesKeepTheDialogOpen) {
    struct Case {
        const char* flight;
        const char* message;
    };
    const Case cases[] = {
        {"", "Missing flight number"},
        {"x1", "Bad flight number input"},
        {"36", "Flight number out of range"},
        {"0", "Flight number out of range"},
    };
    for (const Case& c : cases) {
        host.messages.clear();
        EXPECT_EQ(SaveRawIgcLog(state, host, {c.flight, IgcNameStyle::kLong}),
                  RawIgcSaveOutcome::kFieldError);
        ASSERT_EQ(host.messages.size(), 1u) << c.flight;
        EXPECT_EQ(host.messages[0].title, "IGC file parameter check");
        EXPECT_EQ(host.messages[0].text, c.message);
    }
    EXPECT_TRUE(host.fileDialogs.empty());
    EXPECT_FALSE(state.trackLog.saved);
}

TEST_F(RawIgcSave, ExistingFileNeedsYesAndNoRawLogIsSaid) {
    const std::filesystem::path target = folder / "flight.igc";
    std::ofstream(target) << "older";
    state.settings.igcFlightNo = "7";
    host.saveChoices.push_back(FileDialogResult{target, 1});
    host.answers.push_back(Answer::kNo);
    EXPECT_EQ(SaveRawIgcLog(state, host, {"1", IgcNameStyle::kLong}), RawIgcSaveOutcome::kClosed);
    EXPECT_EQ(ReadFixture(target), "older");
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, "File already exists, overwrite ?");
    EXPECT_EQ(state.settings.igcFlightNo, "7");  // kept until a save succeeds

    host.saveChoices.push_back(FileDialogResult{target, 1});
    host.answers.push_back(Answer::kYes);
    EXPECT_EQ(SaveRawIgcLog(state, host, {"1", IgcNameStyle::kLong}), RawIgcSaveOutcome::kWritten);
    EXPECT_EQ(ReadFixture(target), state.trackLog.rawIgc.text);

    state.trackLog.rawIgc.text.clear();
    EXPECT_EQ(SaveRawIgcLog(state, host, {"1", IgcNameStyle::kLong}), RawIgcSaveOutcome::kClosed);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().title, "Save IGC log");
    EXPECT_EQ(host.messages.back().text, "No raw IGC log stored");
}

}  // namespace
}  // namespace tracora::igc
