// "Save IGC log from GPS": the raw text byte for byte under the recorder's own name.
#include "documents/igc_commands.hpp"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "core/scripted_host.hpp"
#include "core/test_files.hpp"
#include "formats/formats_support.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_security.hpp"

namespace tracora::igc {
namespace {

using tracora::testing::FixturePath;
using tracora::testing::ReadFixture;
using tracora::testing::ScriptedHost;

class RawIgcSave : public ::testing::Test {
protected:
    void SetUp() override {
        folder = tracora::testing::FreshTestFolder("tracora-igc-save");
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

class IgcFileWrite : public RawIgcSave {
protected:
    void SetUp() override {
        RawIgcSave::SetUp();
        IgcParseResult parsed;
        ASSERT_GT(ParseIgc(state.trackLog.rawIgc.text, parsed), 0);
        state.trackLog.points = parsed.points;
        state.trackLog.rawIgc.text.clear();
        parameters.pilot = "  Ann   Pilot ";
        parameters.flightNumber = "2";
        parameters.frSerial = "AB1";
        parameters.gliderType = "Wing";
        parameters.shortName = true;
        parameters.addEnl = true;
    }
    IgcFileParameters parameters;
};

TEST_F(IgcFileWrite, InstrumentsLogIsSignedAndTheValuesAreKept) {
    state.trackLog.gRecordEligible = true;
    state.trackLog.instrumentDescription = "Recorder 1";
    const std::filesystem::path target = folder / "flight.igc";
    host.saveChoices.push_back(FileDialogResult{target, 1});
    EXPECT_EQ(WriteIgcTrackLogFile(state, host, state.trackLog.points, parameters),
              IgcWriteOutcome::kWritten);
    // Short name: year 2021 -> 1, March -> 3, 6th -> 6, serial AB1, flight 2.
    EXPECT_EQ(host.fileDialogs.back().proposedName, "136XAB12.igc");
    const std::string text = ReadFixture(target);
    EXPECT_TRUE(text.starts_with("AXTRAB1 Recorder 1\r\n"));
    EXPECT_NE(text.find("HOPLTPILOT: Ann Pilot\r\n"), std::string::npos);
    EXPECT_EQ(VerifyIgcSecurity(text), kSecurityPassed);
    // With ENL every B record carries three more digits: 35 + 3 characters.
    const std::size_t b = text.find("\r\nB") + 2;
    EXPECT_EQ(text.find("\r\n", b) - b, 38u);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.LastStatus(), "221 positions written");
    EXPECT_EQ(state.settings.igcPilotName, "  Ann   Pilot ");
    EXPECT_EQ(state.settings.igcGliderType, "Wing");
    EXPECT_EQ(state.settings.igcSaveMask, 1 | 4);
    EXPECT_EQ(state.settings.igcAddEnl, 1);
    EXPECT_TRUE(state.trackLog.saved);
    const IgcFileParameters back = IgcFileDefaults(state.settings, "AB1");
    EXPECT_EQ(back.flightNumber, "2");
    EXPECT_TRUE(back.shortName);
    EXPECT_FALSE(back.longName);
}

TEST_F(IgcFileWrite, RefusalsAndAKeptFileLeaveTheDialogOpen) {
    parameters.frSerial = "AB";
    EXPECT_EQ(WriteIgcTrackLogFile(state, host, state.trackLog.points, parameters),
              IgcWriteOutcome::kStayOpen);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Checking IGC parameters");
    EXPECT_EQ(host.messages[0].text, "FR serial number string too short");
    EXPECT_TRUE(host.fileDialogs.empty());

    parameters.frSerial = "AB1";
    const std::filesystem::path target = folder / "flight.igc";
    std::ofstream(target) << "older";
    host.saveChoices.push_back(FileDialogResult{target, 1});
    host.answers.push_back(Answer::kNo);
    EXPECT_EQ(WriteIgcTrackLogFile(state, host, state.trackLog.points, parameters),
              IgcWriteOutcome::kStayOpen);
    EXPECT_EQ(ReadFixture(target), "older");
    EXPECT_FALSE(state.trackLog.saved);
    EXPECT_NE(state.settings.igcGliderType, "Wing");

    // A log from a file: written, and the missing security record is said.
    host.saveChoices.push_back(FileDialogResult{target, 1});
    host.answers.push_back(Answer::kYes);
    EXPECT_EQ(WriteIgcTrackLogFile(state, host, state.trackLog.points, parameters),
              IgcWriteOutcome::kWritten);
    EXPECT_EQ(host.messages.back().title, "Security record NOT included");
    EXPECT_EQ(host.messages.back().text, "Track log source is not valid for G-record");
    EXPECT_EQ(VerifyIgcSecurity(ReadFixture(target)), kSecurityNoRecord);
}

TEST_F(IgcFileWrite, PointsToWriteAskForASinglePositionAndPassTheVarioFilter) {
    std::vector<TrackPoint> points;
    const std::vector<std::size_t> one{5};
    host.answers.push_back(Answer::kNo);
    EXPECT_EQ(PrepareIgcPoints(state, host, one, points), -1);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, "Only one position selected, continue ?");
    host.answers.push_back(Answer::kYes);
    EXPECT_EQ(PrepareIgcPoints(state, host, one, points), 0);
    EXPECT_EQ(points.size(), 1u);

    // A spike of 500 m in one second is above a 10 m/s limit.
    state.settings.varioFilter = 10;
    state.trackLog.points[50].gpsAltitude += 5000;
    EXPECT_EQ(PrepareIgcPoints(state, host, {}, points), 0);
    EXPECT_EQ(points.size(), 220u);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().title, "Write IGC track log file");
    EXPECT_EQ(host.messages.back().text, "1 positions have been removed due to vario filtering");
}

}  // namespace
}  // namespace tracora::igc
