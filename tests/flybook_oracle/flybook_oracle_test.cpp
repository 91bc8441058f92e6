// The Flybook document of a read-all download: three flights on the Flytec emulator give one
// document with three trip folders, well-formed for xmllint, each flight read back with the fixes
// of its IGC file. Expected counts and times come from the IGC files' B records.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_state.hpp"
#include "core/scripted_host.hpp"
#include "core/test_files.hpp"
#include "documents/flybook_document.hpp"
#include "formats/kml/kml_reader.hpp"
#include "oracle/oracle_tools.hpp"
#include "protocols/flytec_harness.hpp"

namespace tracora::documents {
namespace {

using oracles::kXmllintPackage;
using oracles::OracleInstalled;
using protocols::test_support::FlytecSessionTest;
using protocols::test_support::ReadFixture;

// Receiver seconds of the first fixes (HFDTE and first B record, calendar.timegm).
constexpr std::uint32_t kMarcourtStart = 983961251;  // 2021-03-06 10:34:11
constexpr std::uint32_t kTznStart = 1097216807;      // 2024-10-07 06:26:47

std::size_t BRecords(const std::string& igc) {
    std::size_t n = igc.starts_with("B") ? 1 : 0;
    for (std::size_t at = igc.find("\nB"); at != std::string::npos; at = igc.find("\nB", at + 1)) {
        ++n;
    }
    return n;
}

int Xmllint(const std::filesystem::path& path, std::string& output) {
    FILE* pipe = ::popen(("xmllint --noout '" + path.string() + "' 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    return ::pclose(pipe);
}

TEST_F(FlytecSessionTest, ReadAllFlightsMakeOneFlybookDocumentWithATripFolderEach) {
    ASSERT_TRUE(OracleInstalled("xmllint", kXmllintPackage));
    const char* const files[] = {"20241007TZN.igc", "xctrack-2022-04-07.igc", "marcourt.igc"};
    protocols::flytec::FlytecEmulatorConfig config;
    for (const char* name : files) {
        config.flights.push_back(ReadFixture(name));
    }
    StartEmulator(std::move(config));
    device::JobStart start = Start(device::AccessFunction::kReadTrackLog);
    start.protocol = GpsProtocol::kReadAllFlytec;
    const auto& out = Run(std::move(start));
    ASSERT_GE(out.result, 0);

    AppState state;
    state.settings = DefaultSettings();
    state.settings.logFilter = 0;
    TrackLog& log = state.trackLog;
    log.points = out.track.points;
    log.gRecordEligible = out.track.gRecordEligible;
    log.timeIsUtc = out.track.timeIsUtc;
    log.hasPressureAltitude = out.track.hasPressureAltitude;
    log.instrumentDescription = out.track.instrumentDescription;
    log.productName = out.track.productName;

    const std::filesystem::path folder = testing::FreshTestFolder("tracora-flybook");
    testing::ScriptedHost host;
    host.saveChoices.push_back(FileDialogResult{folder / "season", 1});
    EXPECT_EQ(SaveFlybookDocument(state, host), 3);
    ASSERT_FALSE(host.fileDialogs.empty());
    EXPECT_EQ(host.fileDialogs[0].title, "Save track for Flybook");
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().title, "Save Flybook track");
    EXPECT_EQ(host.messages.back().text, "File written");
    EXPECT_EQ(state.settings.trackLogDir, folder.string());

    const std::filesystem::path path = folder / "season.kml";
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string document = text.str();
    EXPECT_TRUE(document.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>"));
    std::string lint;
    EXPECT_EQ(Xmllint(path, lint), 0) << lint;

    // In time order: marcourt (2021), the XC Track flight (2022), the TZN flight (2024).
    const kml::KmlTracks tracks = kml::FindKmlTracks(document);
    ASSERT_EQ(tracks.status, 3) << tracks.message;
    const std::size_t expected[] = {BRecords(ReadFixture("marcourt.igc")),
                                    BRecords(ReadFixture("xctrack-2022-04-07.igc")),
                                    BRecords(ReadFixture("20241007TZN.igc"))};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const kml::KmlTrackRead read = kml::DecodeKmlTrack(tracks.tracks[i]);
        EXPECT_EQ(static_cast<std::size_t>(read.status), expected[i]) << read.message;
        EXPECT_EQ(read.signature,
                  log.gRecordEligible ? kml::kKmlSignatureOk : kml::kKmlSignatureNone);
        if (i == 0) {
            EXPECT_EQ(read.points.front().time, kMarcourtStart);
        }
        if (i == 2) {
            EXPECT_EQ(read.points.front().time, kTznStart);
        }
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tracora::documents
