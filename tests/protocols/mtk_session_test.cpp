// The MTK logger family: its sentences and log memory, and the real session routines run
// through the device layer against the MTK emulator over a pseudo-terminal, with the kit's
// faults.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/igc/igc_reader.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/mtk/mtk_emulator.hpp"
#include "protocols/mtk/mtk_frames.hpp"

namespace tracora::protocols::mtk {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;

std::vector<TrackPoint> FixturePoints(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
              FileReadStatus::kOk);
    igc::IgcParseResult parsed;
    EXPECT_GT(igc::ParseIgc(text, parsed), 0) << name;
    return parsed.points;
}

std::string WithChecksum(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body)
        sum ^= static_cast<unsigned char>(c);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", sum);
    return "$" + body + "*" + digits + "\r\n";
}

// ---------------------------------------------------------------- sentences

TEST(MtkFrames, CommandsCarryTheirChecksums) {
    EXPECT_EQ(kFirmwareRequest, WithChecksum("PMTK605"));
    EXPECT_EQ(kLogStatusRequest, WithChecksum("PMTK182,2,7"));
    EXPECT_EQ(kStopLogging, WithChecksum("PMTK182,5"));
    EXPECT_EQ(kMemoryUsedRequest, WithChecksum("PMTK182,2,8"));
    EXPECT_EQ(kStartLogging, WithChecksum("PMTK182,4"));
    EXPECT_EQ(kEraseCommand, WithChecksum("PMTK182,6,1"));
    EXPECT_EQ(ChunkRequest(0x1A200), WithChecksum("PMTK182,7,0001A200,00000100"));
}

TEST(MtkFrames, AnswersAreRecognisedOnlyWhole) {
    auto line = [](const std::string& body) {
        std::string s = WithChecksum(body);
        return s.substr(0, s.size() - 2);
    };
    struct Case {
        std::string sentence;
        AnswerKind kind;
        std::uint32_t value;
    };
    const Case cases[] = {
        {line("PMTK705,AXN_1.0,0001,LOGGER"), AnswerKind::kFirmware, 0},
        {line("PMTK705,AXN_1.0"), AnswerKind::kNone, 0},
        {line("PMTK182,3,7,2"), AnswerKind::kLogStatus, 2},
        {line("PMTK182,3,8,0001A2F0"), AnswerKind::kMemoryUsed, 0x1A2F0},
        {line("PMTK182,3,8,XYZ"), AnswerKind::kNone, 0},
        {line("PMTK001,182,5,3"), AnswerKind::kAck, 0},
        {line("PMTK001,604,3"), AnswerKind::kNone, 0},
        {line("PMTK182,8,00000100,00FFa0"), AnswerKind::kChunk, 0x100},
        {line("PMTK182,8,00000100,00F"), AnswerKind::kNone, 0},
        {line("PMTK182,3,7,2") + "X", AnswerKind::kNone, 0},  // text after the checksum
        {"$PMTK182,3,7,2*00", AnswerKind::kNone, 0},          // wrong checksum
    };
    for (const Case& c : cases) {
        const Answer answer = DecodeAnswer(c.sentence);
        EXPECT_EQ(answer.kind, c.kind) << c.sentence;
        if (c.kind != AnswerKind::kNone && c.kind != AnswerKind::kFirmware &&
            c.kind != AnswerKind::kAck) {
            EXPECT_EQ(answer.value, c.value) << c.sentence;
        }
    }
    EXPECT_TRUE(DecodeAnswer("$PMTK182,3,7,2*00").badChecksum);
    const Answer chunk = DecodeAnswer(line("PMTK182,8,00000100,00FFa0"));
    EXPECT_EQ(chunk.bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xA0}));
    const Answer ack = DecodeAnswer(line("PMTK001,182,5,3"));
    EXPECT_EQ(ack.ackSubcommand, 5);
    const Answer firmware = DecodeAnswer(line("PMTK705,AXN_1.0,0001,LOGGER"));
    EXPECT_EQ(firmware.firmware1, "AXN_1.0");
    EXPECT_EQ(firmware.firmware2, "0001");
}

// ---------------------------------------------------------------- log memory, built by hand

// A log image written byte by byte as the logger's documentation lays it out.
class Image {
public:
    // One sector header at the current end.
    void Header(std::uint16_t count, std::uint32_t mask) {
        base_ = bytes.size();
        bytes.resize(base_ + 0x200, 0xFF);
        Put(base_, count, 2);
        Put(base_ + 2, mask, 4);
        Put(base_ + 6, 0x0106, 2);
        Put(base_ + 8, 50, 2);
        for (const std::size_t at : {0x0Au, 0x0Cu, 0x0Eu, 0x10u, 0x12u})
            Put(base_ + at, 0, 2);
        bytes[base_ + 0x1FA] = '*';
        for (std::size_t i = 0x1FC; i < 0x200; ++i)
            bytes[base_ + i] = 0xBB;
    }
    // A record of UTC, validity, latitude, longitude and height in the given layout.
    void Record(std::uint32_t utc, std::uint16_t valid, double lat, double lon, float height,
                bool holux, bool withValid = true) {
        const std::size_t start = bytes.size();
        Append(utc, 4);
        if (withValid)
            Append(valid, 2);
        if (holux) {
            Append(std::bit_cast<std::uint32_t>(static_cast<float>(lat)), 4);
            Append(std::bit_cast<std::uint32_t>(static_cast<float>(lon)), 4);
            Append(std::bit_cast<std::uint32_t>(height) >> 8, 3);
        } else {
            Append(std::bit_cast<std::uint64_t>(lat), 8);
            Append(std::bit_cast<std::uint64_t>(lon), 8);
            Append(std::bit_cast<std::uint32_t>(height), 4);
        }
        std::uint8_t sum = 0;
        for (std::size_t i = start; i < bytes.size(); ++i)
            sum ^= bytes[i];
        if (!holux)
            bytes.push_back('*');
        bytes.push_back(sum);
    }
    void Setting(std::uint8_t type, std::uint32_t value) {
        bytes.insert(bytes.end(), 7, 0xAA);
        bytes.push_back(type);
        Append(value, 4);
        bytes.insert(bytes.end(), 4, 0xBB);
    }
    void Text(const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
    // Pads to the sector's end with erased flash.
    void CloseSector() { bytes.resize(base_ + 0x10000, 0xFF); }

    std::vector<std::uint8_t> bytes;

private:
    void Put(std::size_t at, std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    void Append(std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    std::size_t base_ = 0;
};

constexpr std::uint32_t kStandardMask = 0x1F;  // UTC, validity, latitude, longitude, height
// 2021-06-07 12:00:00 UTC in Unix seconds and in receiver seconds.
constexpr std::uint32_t kUnix = 1623067200;
constexpr std::uint32_t kReceiver = kUnix - 631065600;

double Degrees(std::int32_t semicircles) {
    return semicircles * (180.0 / 2147483648.0);
}

// Half a float's step at this angle (24 bits of mantissa), plus the semicircle's rounding.
double FloatTolerance(std::int32_t semicircles) {
    return std::fabs(Degrees(semicircles)) * 6.0e-8 + 1e-7;
}

TEST(MtkLog, StandardRecordsBecomePoints) {
    Image image;
    image.Header(0xFFFF, kStandardMask);
    image.Record(kUnix, 2, 46.5, 7.25, 1234.56f, false);
    image.Record(kUnix + 1, 1, 46.6, 7.26, 1235.0f, false);  // no fix: skipped
    image.Record(kUnix + 2, 2, -33.95, -70.365, -12.5f, false);
    const std::size_t used = image.bytes.size();
    image.CloseSector();
    const LogResult log = ParseLog(image.bytes, used);
    ASSERT_EQ(log.status, LogStatus::kOk);
    ASSERT_EQ(log.points.size(), 2u);
    EXPECT_EQ(log.points[0].flags, 1u);
    EXPECT_EQ(log.points[0].time, kReceiver);
    EXPECT_EQ(log.points[0].latitude, 554766609);  // 46.5 deg x 2^31 / 180
    EXPECT_EQ(log.points[0].longitude, 86495869);  // 7.25 deg
    EXPECT_EQ(log.points[0].gpsAltitude, 12345);   // truncated decimetres
    EXPECT_EQ(log.points[1].flags, 0u);
    EXPECT_EQ(log.points[1].time, kReceiver + 2);
    EXPECT_NEAR(Degrees(log.points[1].latitude), -33.95, 1e-7);
    EXPECT_NEAR(Degrees(log.points[1].longitude), -70.365, 1e-7);
    EXPECT_EQ(log.points[1].gpsAltitude, -125);  // toward zero
}

TEST(MtkLog, HoluxLayoutAndSettingRecordsChangeTheRecords) {
    Image image;
    image.Header(0xFFFF, kStandardMask);
    image.Text("HOLUXGR241LOGGER    ");
    image.Record(kUnix, 2, 46.5, 7.25, 1000.0f, true);
    // From here on no validity field: 4 + 4 + 4 + 3 bytes and the checksum.
    image.Setting(2, 0x1D);
    image.Record(kUnix + 5, 0, 46.75, 7.5, 1500.0f, true, false);
    const std::size_t used = image.bytes.size();
    image.CloseSector();
    const LogResult log = ParseLog(image.bytes, used);
    ASSERT_EQ(log.status, LogStatus::kOk) << log.badDataCode;
    ASSERT_EQ(log.points.size(), 2u);
    EXPECT_NEAR(Degrees(log.points[0].latitude), 46.5, 1e-6);
    EXPECT_EQ(log.points[0].gpsAltitude, 10000);
    EXPECT_EQ(log.points[1].time, kReceiver + 5);
    EXPECT_NEAR(Degrees(log.points[1].longitude), 7.5, 1e-6);
    EXPECT_EQ(log.points[1].gpsAltitude, 15000);
}

TEST(MtkLog, EmptySectorsAreSkippedAndClosedOnesCounted) {
    Image image;
    image.Header(1, kStandardMask);
    image.Record(kUnix, 2, 46.5, 7.25, 100.0f, false);
    image.Record(kUnix + 1, 2, 46.5, 7.25, 100.0f, false);  // beyond the sector's count
    image.CloseSector();
    image.bytes.resize(image.bytes.size() + 0x10000, 0xFF);  // an erased sector
    image.Header(0xFFFF, kStandardMask);
    image.Record(kUnix + 2, 2, 46.5, 7.25, 100.0f, false);
    const std::size_t used = image.bytes.size();
    image.CloseSector();
    const LogResult log = ParseLog(image.bytes, used);
    ASSERT_EQ(log.status, LogStatus::kOk);
    ASSERT_EQ(log.points.size(), 2u);
    EXPECT_EQ(log.points[1].time, kReceiver + 2);
}

TEST(MtkLog, DamagedMemoryIsRefused) {
    struct Case {
        const char* name;
        std::size_t damageAt;  // from the first record
        std::uint8_t value;
        LogStatus status;
        int code;
    };
    const std::size_t record = 4 + 2 + 8 + 8 + 4;
    const Case cases[] = {
        {"no star", record, 'x', LogStatus::kBadData, 2},
        {"checksum", record + 1, 0x00, LogStatus::kBadData, 3},
    };
    for (const Case& c : cases) {
        Image image;
        image.Header(0xFFFF, kStandardMask);
        image.Record(kUnix, 2, 46.5, 7.25, 100.0f, false);
        const std::size_t used = image.bytes.size();
        image.CloseSector();
        image.bytes[0x200 + c.damageAt] = c.value;
        const LogResult log = ParseLog(image.bytes, used);
        EXPECT_EQ(log.status, c.status) << c.name;
        EXPECT_EQ(log.badDataCode, c.code) << c.name;
        EXPECT_TRUE(log.points.empty()) << c.name;
    }
    Image image;
    image.Header(0xFFFF, kStandardMask);
    image.Record(kUnix, 2, 46.5, 7.25, 100.0f, false);
    const std::size_t used = image.bytes.size();
    image.CloseSector();
    std::vector<std::uint8_t> noMarker = image.bytes;
    noMarker[0x1FD] = 0;
    EXPECT_EQ(ParseLog(noMarker, used).status, LogStatus::kBadHeader);
    std::vector<std::uint8_t> setting = image.bytes;
    setting[0x0A] = 1;  // a setting that must be 0
    EXPECT_EQ(ParseLog(setting, used).status, LogStatus::kBadHeader);
    // A record that would run past the sector's end.
    Image full;
    full.Header(0xFFFF, kStandardMask);
    full.bytes.resize(0x10000 - 10, 0x00);
    full.bytes.resize(0x10000, 0x00);
    EXPECT_EQ(ParseLog(full.bytes, 0x10000).status, LogStatus::kBadData);
    // Only erased memory: no point.
    EXPECT_EQ(ParseLog(std::vector<std::uint8_t>(0x10000, 0xFF), 0x10000).status,
              LogStatus::kNoPoints);
}

// The open sector is read up to the first empty record; bytes after the used size that a
// download never filled (zeros in a buffer) must not be taken for records.
TEST(MtkLog, BytesBeyondTheUsedSizeAreNeverRead) {
    Image image;
    image.Header(0xFFFF, kStandardMask);
    image.Record(kUnix, 2, 46.5, 7.25, 100.0f, false);
    const std::size_t used = image.bytes.size();
    image.bytes.resize(0x10000, 0x00);
    const LogResult log = ParseLog(image.bytes, used);
    ASSERT_EQ(log.status, LogStatus::kOk);
    EXPECT_EQ(log.points.size(), 1u);
}

TEST(MtkLog, BuiltLogsReadBack) {
    const std::vector<TrackPoint> held = FixturePoints("20241007TZN.igc");
    for (const bool holux : {false, true}) {
        const std::vector<std::uint8_t> image = BuildLog(held, holux);
        std::vector<std::uint8_t> memory = image;
        memory.resize((memory.size() + 0xFFFF) / 0x10000 * 0x10000, 0xFF);
        const LogResult log = ParseLog(memory, image.size());
        ASSERT_EQ(log.status, LogStatus::kOk);
        ASSERT_EQ(log.points.size(), held.size());
        for (std::size_t i = 0; i < held.size(); ++i) {
            ASSERT_EQ(log.points[i].time, held[i].time) << i;
            ASSERT_EQ(log.points[i].gpsAltitude, held[i].gpsAltitude) << i;
            if (holux) {
                // Float positions: as close as a float holds them.
                ASSERT_NEAR(Degrees(log.points[i].latitude), Degrees(held[i].latitude),
                            FloatTolerance(held[i].latitude));
                ASSERT_NEAR(Degrees(log.points[i].longitude), Degrees(held[i].longitude),
                            FloatTolerance(held[i].longitude));
            } else {
                ASSERT_EQ(log.points[i].latitude, held[i].latitude) << i;
                ASSERT_EQ(log.points[i].longitude, held[i].longitude) << i;
            }
        }
    }
}

// ---------------------------------------------------------------- sessions

struct Outcome {
    int result = 999;
    DownloadedTrackLog track;
    std::string productName, productText;
};

class MtkSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        layer.SetPortName(pty.SlavePath());
        layer.SetOpenAttempts(2);
    }
    void TearDown() override {
        layer.WaitForJobEnd();
        if (emulator)
            emulator->Stop();
    }

    MtkEmulator& StartEmulator(MtkEmulatorConfig config) {
        emulator = std::make_unique<MtkEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }

    static MtkEmulatorConfig Flight(const std::string& name, bool holux = false) {
        MtkEmulatorConfig config;
        config.track = FixturePoints(name);
        config.holux = holux;
        config.stallMs = 2000;
        return config;
    }

    device::JobStart Start(AccessFunction function, int parameter = 0) {
        device::JobStart start;
        start.function = function;
        start.protocol = GpsProtocol::kMtk;
        start.parameter = parameter;
        start.completion = [this](device::GpsAccessJob& job) {
            outcome.result = job.result;
            outcome.track = std::move(job.track);
            outcome.productName = job.productName;
            outcome.productText = job.productText;
        };
        return start;
    }

    const Outcome& Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        EXPECT_FALSE(layer.Running());
        return outcome;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<MtkEmulator> emulator;
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    Outcome outcome;
};

TEST_F(MtkSessionTest, DownloadIsTheHeldFlightFixByFix) {
    MtkEmulator& emu = StartEmulator(Flight("marcourt.igc"));
    const Outcome& out = Run(Start(AccessFunction::kReadTrackLog));
    ASSERT_EQ(out.result, 0) << (sink.Errors().empty() ? "" : sink.Errors()[0].text);
    const std::vector<TrackPoint> held = FixturePoints("marcourt.igc");
    ASSERT_EQ(out.track.points.size(), held.size());
    for (std::size_t i = 0; i < held.size(); ++i) {
        ASSERT_EQ(out.track.points[i].flags, i == 0 ? 1u : 0u) << i;
        ASSERT_EQ(out.track.points[i].time, held[i].time) << i;
        ASSERT_EQ(out.track.points[i].latitude, held[i].latitude) << i;
        ASSERT_EQ(out.track.points[i].longitude, held[i].longitude) << i;
        ASSERT_EQ(out.track.points[i].gpsAltitude, held[i].gpsAltitude) << i;
        ASSERT_EQ(out.track.points[i].pressureAltitude, 0) << i;
    }
    EXPECT_EQ(out.track.sourceKind, 10);
    EXPECT_EQ(out.track.protocol, 15);
    EXPECT_TRUE(out.track.timeIsUtc);
    EXPECT_TRUE(out.track.gRecordEligible);
    EXPECT_FALSE(out.track.hasPressureAltitude);
    EXPECT_EQ(out.productName, "Pentagram");
    EXPECT_EQ(out.productText, "Pentagram: AXN_1.0-B_1.3_C01,0001");
    EXPECT_TRUE(sink.SawStatus(std::to_string(held.size()) + " points received"));
    // The bar counts the bytes of the used memory, read to its end.
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
    EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()), "38400 8N1");
    // Logging was on: stopped for the download and started again.
    const std::vector<std::string> received = emu.Received();
    ASSERT_GE(received.size(), 5u);
    EXPECT_EQ(received[0], "PMTK605");
    EXPECT_EQ(received[1], "PMTK182,2,7");
    EXPECT_EQ(received[2], "PMTK182,5");
    EXPECT_EQ(received[3], "PMTK182,2,8");
    EXPECT_EQ(received[4], "PMTK182,7,00000000,00000100");
    EXPECT_EQ(received.back(), "PMTK182,4");
    EXPECT_TRUE(emu.LoggingOn());
}

TEST_F(MtkSessionTest, HoluxLogAtTheFastSpeed) {
    StartEmulator(Flight("20241007TZN.igc", true));
    const Outcome& out = Run(Start(AccessFunction::kReadTrackLog, 115200));
    ASSERT_EQ(out.result, 0) << (sink.Errors().empty() ? "" : sink.Errors()[0].text);
    const std::vector<TrackPoint> held = FixturePoints("20241007TZN.igc");
    ASSERT_EQ(out.track.points.size(), held.size());
    for (std::size_t i = 0; i < held.size(); ++i) {
        ASSERT_EQ(out.track.points[i].time, held[i].time) << i;
        ASSERT_NEAR(Degrees(out.track.points[i].latitude), Degrees(held[i].latitude),
                    FloatTolerance(held[i].latitude));
        ASSERT_NEAR(Degrees(out.track.points[i].longitude), Degrees(held[i].longitude),
                    FloatTolerance(held[i].longitude));
        ASSERT_EQ(out.track.points[i].gpsAltitude, held[i].gpsAltitude) << i;
    }
    EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()), "115200 8N1");
}

TEST_F(MtkSessionTest, LoggingThatWasOffStaysOff) {
    MtkEmulatorConfig config = Flight("marcourt.igc");
    config.logStatus = 0;
    MtkEmulator& emu = StartEmulator(std::move(config));
    ASSERT_EQ(Run(Start(AccessFunction::kReadTrackLog)).result, 0);
    for (const std::string& body : emu.Received())
        EXPECT_NE(body, "PMTK182,4");
    EXPECT_FALSE(emu.LoggingOn());
}

TEST_F(MtkSessionTest, EraseEmptiesTheLog) {
    MtkEmulator& emu = StartEmulator(Flight("marcourt.igc"));
    ASSERT_EQ(Run(Start(AccessFunction::kEraseTrackLogs)).result, 0)
        << (sink.Errors().empty() ? "" : sink.Errors()[0].text);
    EXPECT_TRUE(sink.SawStatus("Erasing (30)"));
    EXPECT_TRUE(sink.SawStatus("Erase completed"));
    EXPECT_TRUE(emu.Image().empty());
    EXPECT_TRUE(emu.LoggingOn());
    const std::vector<std::string> received = emu.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), "PMTK182,6,1"), received.end());
}

struct FaultCase {
    const char* name;
    AccessFunction function;
    std::vector<std::pair<MtkStep, MtkFault>> faults;
    const char* error;  // nullptr: the job succeeds
    const char* title;
};

class MtkFaultTest : public MtkSessionTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MtkFaultTest, EndsWithItsMessageOrRecovers) {
    const FaultCase& c = GetParam();
    MtkEmulator& emu = StartEmulator(Flight("marcourt.igc"));
    for (const auto& [step, fault] : c.faults)
        emu.ArmFault(step, fault);
    const Outcome& out = Run(Start(c.function));
    const auto errors = sink.Errors();
    if (c.error == nullptr) {
        EXPECT_EQ(out.result, 0);
        EXPECT_TRUE(errors.empty()) << errors[0].text;
        EXPECT_EQ(out.track.points.size(), FixturePoints("marcourt.igc").size());
        return;
    }
    EXPECT_LT(out.result, 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, c.error);
    EXPECT_EQ(errors[0].title, c.title);
    EXPECT_TRUE(out.track.points.empty());
}

constexpr auto kTrack = AccessFunction::kReadTrackLog;
using S = MtkStep;
using F = MtkFault;

INSTANTIATE_TEST_SUITE_P(
    Faults, MtkFaultTest,
    ::testing::Values(
        FaultCase{"ProductSilence",
                  kTrack,
                  {{S::kProduct, F::kSilence}, {S::kProduct, F::kSilence}},
                  "No product data received",
                  "Get product information"},
        FaultCase{"ProductSilenceOnceIsAskedAgain",
                  kTrack,
                  {{S::kProduct, F::kSilence}},
                  nullptr,
                  nullptr},
        FaultCase{"ProductCut",
                  kTrack,
                  {{S::kProduct, F::kCut}},
                  "COM port read error",
                  "Get product information"},
        FaultCase{"StatusSilence",
                  kTrack,
                  {{S::kStatus, F::kSilence}},
                  "No logging status response",
                  "Get logging status"},
        FaultCase{"StopSilence",
                  kTrack,
                  {{S::kStop, F::kSilence}},
                  "No response received",
                  "Turn off logging"},
        FaultCase{"MemorySilence",
                  kTrack,
                  {{S::kMemory, F::kSilence}},
                  "No response received",
                  "Get memory used"},
        FaultCase{
            "ZeroMemory", kTrack, {{S::kMemory, F::kZero}}, "Zero used memory", "Get memory used"},
        FaultCase{"ChunkForAnotherAddressIsAskedAgain",
                  kTrack,
                  {{S::kChunk, F::kWrongAddress}},
                  nullptr,
                  nullptr},
        FaultCase{
            "ChunkChecksumIsAskedAgain", kTrack, {{S::kChunk, F::kBadChecksum}}, nullptr, nullptr},
        FaultCase{"ChunkGarbageIsSkipped", kTrack, {{S::kChunk, F::kGarbage}}, nullptr, nullptr},
        // A logger frozen for longer than three chunk requests wait.
        FaultCase{"ChunkStall",
                  kTrack,
                  {{S::kChunk, F::kStall}},
                  "No response for data chunk",
                  "Read log data"},
        FaultCase{"ChunkForAnotherAddressThreeTimes",
                  kTrack,
                  {{S::kChunk, F::kWrongAddress},
                   {S::kChunk, F::kWrongAddress},
                   {S::kChunk, F::kWrongAddress}},
                  "No response for data chunk",
                  "Read log data"},
        FaultCase{
            "ChunkCut", kTrack, {{S::kChunk, F::kCut}}, "COM port read error", "Read log data"},
        FaultCase{"BadHeader",
                  kTrack,
                  {{S::kChunk, F::kBadHeader}},
                  "Bad header block",
                  "Parse log data"},
        FaultCase{"BadRecord",
                  kTrack,
                  {{S::kChunk, F::kBadRecord}},
                  "Bad data block (3)",
                  "Parse log data"},
        FaultCase{"StartSilence",
                  kTrack,
                  {{S::kStart, F::kSilence}},
                  "No response received",
                  "Turn on logging"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tracora::protocols::mtk
