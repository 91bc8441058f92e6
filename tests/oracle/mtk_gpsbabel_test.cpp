// The MTK emulator proven by gpsbabel as the independent client: its log downloaded by
// `gpsbabel -i mtk` (and `-i m241` for the Holux layout) and its log image decoded by
// `-i mtk-bin` and `-i m241-bin` have the fixes gpsbabel reads from the IGC file itself, and
// `-i mtk,erase_only` empties the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "formats/igc/igc_reader.hpp"
#include "oracle/oracle_tools.hpp"
#include "protocols/mtk/mtk_emulator.hpp"
#include "protocols/mtk/mtk_frames.hpp"

namespace tracora::protocols::mtk {
namespace {

namespace fs = std::filesystem;

std::string Capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    std::string text;
    if (!pipe)
        return text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        text.append(buffer, n);
    return text;
}

// "latitude,longitude,altitude,date,time" of each unicsv row; the logger's output has a name
// and a fix column besides, which are dropped.
std::vector<std::string> Fixes(const std::string& text) {
    std::vector<std::string> rows;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    std::vector<std::string> header;
    {
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) {
            if (!cell.empty() && cell.back() == '\r')
                cell.pop_back();
            header.push_back(cell);
        }
    }
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> cells;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');)
            cells.push_back(cell);
        std::string kept;
        for (std::size_t i = 0; i < cells.size() && i < header.size(); ++i) {
            if (header[i] == "Latitude" || header[i] == "Longitude" || header[i] == "Altitude" ||
                header[i] == "Date" || header[i] == "Time")
                kept += (kept.empty() ? "" : ",") + cells[i];
        }
        rows.push_back(kept);
    }
    return rows;
}

// Whether two fixes agree: exactly in the standard layout; in the Holux one the positions as
// closely as a float holds them (half its step, and gpsbabel's six decimals), the rest exactly.
::testing::AssertionResult SameFix(const std::string& got, const std::string& expected,
                                   bool holux) {
    if (!holux || got == expected) {
        if (got == expected)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << got << " != " << expected;
    }
    double gotLat = 0, gotLon = 0, lat = 0, lon = 0;
    char gotRest[64] = {}, rest[64] = {};
    if (std::sscanf(got.c_str(), "%lf,%lf,%63s", &gotLat, &gotLon, gotRest) != 3 ||
        std::sscanf(expected.c_str(), "%lf,%lf,%63s", &lat, &lon, rest) != 3)
        return ::testing::AssertionFailure() << "unreadable: " << got << " / " << expected;
    const auto close = [](double a, double b) {
        return std::fabs(a - b) <= std::fabs(b) * 6e-8 + 1e-6;
    };
    if (close(gotLat, lat) && close(gotLon, lon) && std::string(gotRest) == rest)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got << " != " << expected;
}

class MtkGpsbabelOracle : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(oracles::OracleInstalled("gpsbabel", oracles::kGpsbabelPackage));
        // gpsbabel keeps its download in data.bin of the temporary folder and resumes from
        // it: each test gets a folder of its own.
        char pattern[] = "/tmp/tracora-mtk-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
    }
    void TearDown() override {
        if (emulator)
            emulator->Stop();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    MtkEmulator& StartEmulator(const std::string& igc, bool holux) {
        source = std::string(TRACORA_FIXTURES_DIR) + "/igc/" + igc;
        std::string text;
        EXPECT_EQ(ReadWholeFile(source, text), FileReadStatus::kOk);
        igc::IgcParseResult parsed;
        EXPECT_GT(igc::ParseIgc(text, parsed), 0);
        MtkEmulatorConfig config;
        config.track = parsed.points;
        config.holux = holux;
        emulator = std::make_unique<MtkEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }
    std::string Babel(const std::string& arguments) {
        return Capture("TMPDIR='" + folder.string() + "' gpsbabel " + arguments);
    }
    // gpsbabel's own reading of the IGC file: its GPS altitudes are the last track.
    std::vector<std::string> HeldFixes(std::size_t count) {
        const std::vector<std::string> all =
            Fixes(Capture("gpsbabel -t -i igc -f '" + source + "' -o unicsv -F -"));
        EXPECT_GE(all.size(), count);
        return {all.end() - static_cast<std::ptrdiff_t>(std::min(count, all.size())), all.end()};
    }

    fs::path folder;
    std::string source;
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<MtkEmulator> emulator;
};

TEST_P(MtkGpsbabelOracle, DownloadHasTheFixesOfTheIgcFile) {
    const bool holux = GetParam();
    StartEmulator("marcourt.igc", holux);
    const std::string format = holux ? "m241" : "mtk";
    const std::vector<std::string> got =
        Fixes(Babel("-t -i " + format + " -f " + pty.SlavePath() + " -o unicsv -F -"));
    ASSERT_EQ(got.size(), 221u);
    const std::vector<std::string> held = HeldFixes(got.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_TRUE(SameFix(got[i], held[i], holux)) << "fix " << i;
}

TEST_P(MtkGpsbabelOracle, LogImageHasTheFixesOfTheIgcFile) {
    const bool holux = GetParam();
    for (const char* name : {"marcourt.igc", "20241007TZN.igc", "xctrack-2022-04-07.igc"}) {
        source = std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name;
        std::string text;
        ASSERT_EQ(ReadWholeFile(source, text), FileReadStatus::kOk);
        igc::IgcParseResult parsed;
        ASSERT_GT(igc::ParseIgc(text, parsed), 0);
        // The image the emulator serves.
        const std::vector<std::uint8_t> image = BuildLog(parsed.points, holux);
        const fs::path bin = folder / "image.bin";
        {
            std::ofstream out(bin, std::ios::binary);
            out.write(reinterpret_cast<const char*>(image.data()),
                      static_cast<std::streamsize>(image.size()));
        }
        const std::string format = holux ? "m241-bin" : "mtk-bin";
        const std::vector<std::string> got =
            Fixes(Babel("-t -i " + format + " -f '" + bin.string() + "' -o unicsv -F -"));
        const std::vector<std::string> held = HeldFixes(got.size());
        ASSERT_EQ(got.size(), parsed.points.size()) << name;
        ASSERT_EQ(got.size(), held.size()) << name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            // A fix without a GPS altitude has none in gpsbabel's reading of the file; the
            // logger keeps 0 for it.
            std::string expected = held[i];
            const std::size_t altitude = expected.find(',', expected.find(',') + 1) + 1;
            if (expected.compare(altitude, 1, ",") == 0)
                expected.insert(altitude, "0.0");
            ASSERT_TRUE(SameFix(got[i], expected, holux)) << name << " fix " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, MtkGpsbabelOracle, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Holux" : "Standard"; });

TEST_F(MtkGpsbabelOracle, EraseOnlyEmptiesTheLog) {
    MtkEmulator& emu = StartEmulator("marcourt.igc", false);
    ASSERT_FALSE(emu.Image().empty());
    Babel("-t -i mtk,erase_only -f " + pty.SlavePath() + " -o unicsv -F -");
    EXPECT_TRUE(emu.Image().empty());
    EXPECT_TRUE(emu.LoggingOn());
    const std::vector<std::string> received = emu.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), "PMTK182,6,1"), received.end());
}

}  // namespace
}  // namespace tracora::protocols::mtk
