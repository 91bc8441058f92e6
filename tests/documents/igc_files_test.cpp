// The IGC file reads and the security check of a chosen file, with their messages.
#include "documents/igc_files.hpp"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/formats_support.hpp"
#include "formats/igc/igc_security.hpp"
#include "formats/igc/igc_writer.hpp"

namespace tracora::igc {
namespace {

using testing::FixturePath;
using testing::ReadFixture;
using testing::RecordingHost;

// A log written as from an instrument: it carries the security record.
std::string SignedSample() {
    std::vector<TrackPoint> points(3);
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].time = 771000000u + static_cast<std::uint32_t>(i);
        points[i].latitude = 551234567 + static_cast<std::int32_t>(i) * 100;
        points[i].longitude = 81234567;
        points[i].gpsAltitude = 10500;
    }
    IgcHeaderTexts header;
    header.frSerial = "AB1";
    IgcEncodeOptions options;
    options.gRecordEligible = true;
    options.wantSecurityRecord = true;
    std::string text;
    bool written = false;
    EXPECT_GT(EncodeIgc(points, header, options, text, written), 0);
    EXPECT_TRUE(written);
    return text;
}

TEST(IgcReader, ReadIgcTextKeepsTheTextOrShowsTheError) {
    RecordingHost host;
    TrackReadResult read;
    const std::string text = ReadFixture(FixturePath("igc/marcourt.igc"));
    ASSERT_EQ(ReadIgcText(host, text, read), 221);
    EXPECT_EQ(read.rawIgc.text, text);
    EXPECT_TRUE(read.timeIsUtc);
    EXPECT_TRUE(read.hasPressureAltitude);
    EXPECT_TRUE(host.messages.empty());

    TrackReadResult failed;
    EXPECT_EQ(ReadIgcText(host, "AXTR\r\n", failed), -1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Reading IGC log file");
    EXPECT_EQ(host.messages[0].text, "No positions found");
    EXPECT_TRUE(failed.rawIgc.Empty());
}

TEST(IgcVerify, FileMessages) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "tracora-verify-test.igc";
    {
        std::ofstream out(path, std::ios::binary);
        out << SignedSample();
    }
    RecordingHost host;
    EXPECT_EQ(VerifyIgcFile(host, path), kSecurityPassed);
    EXPECT_EQ(VerifyIgcFile(host, FixturePath("igc/marcourt.igc")), kSecurityFailed);
    EXPECT_EQ(VerifyIgcFile(host, path.string() + ".absent"), -2);
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0].title, "Security check");
    EXPECT_EQ(host.messages[0].text, "Security check PASSED");
    EXPECT_EQ(host.messages[1].text, "Security check FAILED");
    EXPECT_EQ(host.messages[2].text.rfind("Error opening track log file\n", 0), 0u);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace tracora::igc
