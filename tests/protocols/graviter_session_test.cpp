// The Graviter family: its frames and memory image, and the real session routines run through
// the device layer against the Graviter emulator, over a pseudo-terminal and over an in-process
// transport, with the kit's faults.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/poll_wait.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "device/wake_event.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/igc/igc_reader.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/graviter/graviter_emulator.hpp"
#include "protocols/graviter/graviter_frames.hpp"

namespace tracora::protocols::graviter {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;

constexpr int kPromptMs = 10'000;
constexpr int kJobDeadlineMs = 120'000;

std::vector<TrackPoint> FixturePoints(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
              FileReadStatus::kOk);
    std::vector<TrackPoint> points;
    EXPECT_TRUE(FlightFromIgc(text, points)) << name;
    return points;
}

TrackPoint Point(std::uint32_t time, std::int32_t latitude, std::int32_t gpsAltitudeDm) {
    TrackPoint point;
    point.time = time;
    point.latitude = latitude;
    point.longitude = -latitude / 2;
    point.gpsAltitude = gpsAltitudeDm;
    point.pressureAltitude = gpsAltitudeDm / 10 - 7;
    return point;
}

// ---------------------------------------------------------------- frames

TEST(GraviterFrames, ProductAnswerHasFiveWordsAndTheMakersTag) {
    struct Case {
        const char* line;
        bool ok;
    };
    const Case cases[] = {{"GRAVITER G2 00417 1.08 ANNA_MUSTER", true},
                          {"GRAVITER  G2 00417   1.08 ANNA", true},
                          {"GRAVITER G2 00417 1.08", false},
                          {"GRAVITER G2 00417 1.08 ANNA EXTRA", false},
                          {"GRAVITAR G2 00417 1.08 ANNA", false},
                          {"", false}};
    for (const Case& c : cases) {
        GraviterProduct product;
        EXPECT_EQ(DecodeProduct(c.line, product) == 0, c.ok) << c.line;
    }
    GraviterProduct product;
    ASSERT_EQ(DecodeProduct("GRAVITER G2 00417 1.08 ANNA_MUSTER", product), 0);
    EXPECT_EQ(product.pilot, "ANNA MUSTER");
    EXPECT_EQ(EncodeProduct(product), "GRAVITER G2 00417 1.08 ANNA_MUSTER");
}

TEST(GraviterFrames, PageAnswerCarriesNumberAndChecksum) {
    Page page{};
    for (std::size_t i = 0; i < page.size(); ++i)
        page[i] = static_cast<std::uint8_t>(i * 7);
    const std::string line = EncodePageAnswer(0x01A2, page);
    ASSERT_EQ(line.size(), 519u);
    EXPECT_EQ(line.substr(0, 7),
              "P01A2"
              "00");
    Page back{};
    EXPECT_EQ(DecodePageAnswer(line, 0x01A2, back), PageStatus::kOk);
    EXPECT_EQ(back, page);
    EXPECT_EQ(DecodePageAnswer(line, 0x01A3, back), PageStatus::kWrongPage);
    std::string damaged = line;
    damaged[100] = damaged[100] == '0' ? '1' : '0';
    EXPECT_EQ(DecodePageAnswer(damaged, 0x01A2, back), PageStatus::kBadChecksum);
    EXPECT_EQ(DecodePageAnswer(line.substr(0, 300), 0x01A2, back), PageStatus::kBadFormat);
    EXPECT_EQ(DecodePageAnswer("E01", 0x01A2, back), PageStatus::kNoSuchPage);
    EXPECT_EQ(PageRequest(0x01A2), "R01A2");
    EXPECT_EQ(ParsePageRequest("R01A2"), std::optional<std::uint16_t>(0x01A2));
    EXPECT_FALSE(ParsePageRequest("R01G2"));
}

TEST(GraviterFrames, NameCommandRefusesWhatTheInstrumentCannotStore) {
    EXPECT_EQ(NameCommand("ANNA MUSTER"), "NANNA MUSTER\r");
    EXPECT_EQ(NameCommand(""), "");
    EXPECT_EQ(NameCommand("A NAME OF SEVENTEEN"), "");
    EXPECT_EQ(NameCommand("J\xC3\xBCrg"), "");
}

TEST(GraviterFrames, ImageKeepsEveryFlightAsASegment) {
    const std::vector<std::vector<TrackPoint>> flights = {
        {Point(1000, 100, 12340), Point(1001, 200, 12350)},
        {Point(5000, -300, 8000), Point(5002, -301, 8010), Point(5004, -302, 8020)}};
    const std::vector<std::uint8_t> image = EncodeImage(flights, true);
    ASSERT_EQ(image.size(), 2 * kPageSize);
    Page page0{};
    std::copy_n(image.begin(), kPageSize, page0.begin());
    ImageHeader header;
    ASSERT_EQ(DecodeHeader(page0, header), 0);
    EXPECT_EQ(header.recordCount, 5u);
    EXPECT_EQ(header.flightStarts, (std::vector<std::uint32_t>{0, 2}));
    const std::vector<TrackPoint> points =
        DecodeRecords(header, std::span<const std::uint8_t>(image).subspan(kPageSize));
    ASSERT_EQ(points.size(), 5u);
    EXPECT_EQ(points[0].flags, 1u);
    EXPECT_EQ(points[1].flags, 0u);
    EXPECT_EQ(points[2].flags, 1u);
    EXPECT_EQ(points[3].time, 5002u);
    EXPECT_EQ(points[3].latitude, -301);
    EXPECT_EQ(points[3].longitude, 150);
    EXPECT_EQ(points[3].gpsAltitude, 8010);
    EXPECT_EQ(points[3].pressureAltitude, 794);
}

TEST(GraviterFrames, HeaderRefusesWhatIsNoImage) {
    Page page{};
    ImageHeader header;
    EXPECT_NE(DecodeHeader(page, header), 0);  // no magic
    const std::vector<std::uint8_t> image = EncodeImage({{Point(1, 1, 1), Point(2, 2, 2)}}, false);
    std::copy_n(image.begin(), kPageSize, page.begin());
    ASSERT_EQ(DecodeHeader(page, header), 0);
    Page flightBeyondRecords = page;
    flightBeyondRecords[32] = 9;  // the first flight must start at record 0
    EXPECT_NE(DecodeHeader(flightBeyondRecords, header), 0);
    Page tooManyFlights = page;
    tooManyFlights[6] = 25;
    EXPECT_NE(DecodeHeader(tooManyFlights, header), 0);
}

// ---------------------------------------------------------------- sessions

// What the job handed to its completion routine.
struct Outcome {
    int result = 999;
    DownloadedTrackLog track;
    std::string productName, instrumentDescription;
};

class GraviterSessionTest : public ::testing::Test {
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

    GraviterEmulator& StartEmulator(GraviterEmulatorConfig config) {
        emulator = std::make_unique<GraviterEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }

    static GraviterEmulatorConfig Flights(const std::vector<std::string>& names) {
        GraviterEmulatorConfig config;
        for (const std::string& name : names)
            config.flights.push_back(FixturePoints(name));
        return config;
    }

    device::JobStart Start(AccessFunction function) {
        device::JobStart start;
        start.function = function;
        start.protocol = GpsProtocol::kGraviter;
        start.completion = [this](device::GpsAccessJob& job) {
            outcome.result = job.result;
            outcome.track = std::move(job.track);
            outcome.productName = job.productName;
            outcome.instrumentDescription = job.instrumentDescription;
        };
        return start;
    }

    const Outcome& Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        EXPECT_FALSE(layer.Running());
        EXPECT_FALSE(busy);
        return outcome;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<GraviterEmulator> emulator;
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    Outcome outcome;
};

TEST_F(GraviterSessionTest, DownloadDeliversEveryFlightAsASegment) {
    StartEmulator(Flights({"marcourt.igc", "20241007TZN.igc"}));
    const Outcome& out = Run(Start(AccessFunction::kReadTrackLog));
    ASSERT_EQ(out.result, 0) << (sink.Errors().empty() ? "" : sink.Errors()[0].text);
    EXPECT_TRUE(sink.Errors().empty());
    std::vector<TrackPoint> expected = FixturePoints("marcourt.igc");
    const std::size_t first = expected.size();
    const std::vector<TrackPoint> second = FixturePoints("20241007TZN.igc");
    expected.insert(expected.end(), second.begin(), second.end());
    ASSERT_EQ(out.track.points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TrackPoint& a = out.track.points[i];
        const TrackPoint& b = expected[i];
        ASSERT_EQ(a.flags, (i == 0 || i == first) ? 1u : 0u) << i;
        ASSERT_EQ(a.time, b.time) << i;
        ASSERT_EQ(a.latitude, b.latitude) << i;
        ASSERT_EQ(a.longitude, b.longitude) << i;
        ASSERT_EQ(a.gpsAltitude, b.gpsAltitude) << i;
        ASSERT_EQ(a.pressureAltitude, b.pressureAltitude) << i;
    }
    EXPECT_EQ(out.track.sourceKind, 6);  // the Graviter source kind
    EXPECT_EQ(out.track.protocol, 5);
    EXPECT_TRUE(out.track.timeIsUtc);
    EXPECT_TRUE(out.track.gRecordEligible);
    EXPECT_TRUE(out.track.hasPressureAltitude);
    EXPECT_TRUE(out.track.rawIgc.Empty());
    EXPECT_EQ(out.productName, "Graviter");
    EXPECT_EQ(out.instrumentDescription, "Graviter G2 SN00417 SW1.08");
    EXPECT_TRUE(sink.SawStatus(std::to_string(expected.size()) + " points received"));
    // The bar counts the records of the memory's header, all of them at the end.
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
    const auto all = static_cast<long long>(expected.size());
    EXPECT_EQ(sink.LastProgress(), std::make_pair(all, all));
    // The line the session chose: 38,400 baud, 8N1, no flow control.
    EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()), "38400 8N1");
    EXPECT_EQ(emulator->Requests().front(), "V");
}

TEST_F(GraviterSessionTest, EmptyMemoryGivesNoPoints) {
    StartEmulator(GraviterEmulatorConfig{});
    const Outcome& out = Run(Start(AccessFunction::kReadTrackLog));
    EXPECT_LT(out.result, 0);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "No points detected");
    EXPECT_TRUE(out.track.points.empty());
}

struct FaultCase {
    const char* name;
    AccessFunction function;
    std::vector<std::pair<GraviterStep, GraviterFault>> faults;
    const char* error;  // nullptr: the job succeeds in spite of the faults
    const char* title;
};

class GraviterFaultTest : public GraviterSessionTest,
                          public ::testing::WithParamInterface<FaultCase> {};

TEST_P(GraviterFaultTest, EndsWithItsMessageOrRecovers) {
    const FaultCase& c = GetParam();
    auto config = Flights({"marcourt.igc"});
    GraviterEmulator& emu = StartEmulator(std::move(config));
    for (const auto& [step, fault] : c.faults)
        emu.ArmFault(step, fault);
    auto start = Start(c.function);
    start.pilotName = "ANNA MUSTER";
    const Outcome& out = Run(std::move(start));
    const auto errors = sink.Errors();
    if (c.error == nullptr) {
        EXPECT_GE(out.result, 0);
        EXPECT_TRUE(errors.empty()) << errors[0].text;
        if (c.function == AccessFunction::kReadTrackLog) {
            EXPECT_EQ(out.track.points.size(), FixturePoints("marcourt.igc").size());
        }
        return;
    }
    EXPECT_LT(out.result, 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, c.error);
    EXPECT_EQ(errors[0].title, c.title);
    EXPECT_TRUE(out.track.points.empty());
}

constexpr auto kTrack = AccessFunction::kReadTrackLog;
constexpr auto kName = AccessFunction::kWritePilotData;
using S = GraviterStep;
using F = GraviterFault;

INSTANTIATE_TEST_SUITE_P(
    Faults, GraviterFaultTest,
    ::testing::Values(
        FaultCase{"ProductSilence",
                  kTrack,
                  {{S::kProduct, F::kSilence}},
                  "E101 No answer from GPS",
                  "Reading product data"},
        FaultCase{
            "ProductGarbageIsSkipped", kTrack, {{S::kProduct, F::kGarbage}}, nullptr, nullptr},
        FaultCase{"ProductCut",
                  kTrack,
                  {{S::kProduct, F::kCutConnection}},
                  "E103 COM port read error",
                  "Reading product data"},
        FaultCase{
            "PageChecksumIsAskedAgain", kTrack, {{S::kPage, F::kBadChecksum}}, nullptr, nullptr},
        FaultCase{"PageSilenceIsAskedAgain", kTrack, {{S::kPage, F::kSilence}}, nullptr, nullptr},
        FaultCase{"PageGarbageIsSkipped", kTrack, {{S::kPage, F::kGarbage}}, nullptr, nullptr},
        FaultCase{
            "PageChecksumThreeTimes",
            kTrack,
            {{S::kPage, F::kBadChecksum}, {S::kPage, F::kBadChecksum}, {S::kPage, F::kBadChecksum}},
            "E204 Checksum error in memory page 0",
            "Read GPS track log"},
        FaultCase{"PageSilenceThreeTimes",
                  kTrack,
                  {{S::kPage, F::kSilence}, {S::kPage, F::kSilence}, {S::kPage, F::kSilence}},
                  "E203 No answer from GPS",
                  "Read GPS track log"},
        FaultCase{"PageCut",
                  kTrack,
                  {{S::kPage, F::kCutConnection}},
                  "E103 COM port read error",
                  "Read GPS track log"},
        FaultCase{"NameStored", kName, {}, nullptr, nullptr},
        FaultCase{"NameSilence",
                  kName,
                  {{S::kName, F::kSilence}},
                  "E403 No answer from GPS",
                  "Write pilot data"},
        FaultCase{"NameDamaged",
                  kName,
                  {{S::kName, F::kBadChecksum}},
                  "E404 Pilot name not stored",
                  "Write pilot data"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(GraviterSessionTest, NameUploadStoresTheName) {
    GraviterEmulator& emu = StartEmulator(GraviterEmulatorConfig{});
    auto start = Start(AccessFunction::kWritePilotData);
    start.pilotName = "ANNA MUSTER";
    EXPECT_EQ(Run(std::move(start)).result, 0);
    EXPECT_EQ(emu.PilotName(), "ANNA MUSTER");
    EXPECT_TRUE(sink.SawStatus("Pilot name stored"));
}

TEST_F(GraviterSessionTest, NameTheInstrumentCannotStoreIsNotSent) {
    GraviterEmulator& emu = StartEmulator(GraviterEmulatorConfig{});
    auto start = Start(AccessFunction::kWritePilotData);
    start.pilotName = "A NAME FAR TOO LONG";
    EXPECT_LT(Run(std::move(start)).result, 0);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "Bad/missing user name");
    EXPECT_TRUE(emu.Requests().empty());
}

TEST_F(GraviterSessionTest, AbortDuringTheDownloadEndsItPromptly) {
    auto config = Flights({"marcourt.igc"});
    config.lineRateBaud = 1200;  // half a second a page
    StartEmulator(std::move(config));
    ASSERT_EQ(layer.StartGpsJob(Start(AccessFunction::kReadTrackLog)), 0);
    ASSERT_TRUE(sink.WaitForStatus("Requesting track log", kJobDeadlineMs));
    const auto aborted = std::chrono::steady_clock::now();
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::milliseconds(kPromptMs));
    EXPECT_LT(outcome.result, 0);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_EQ(sink.Statuses().back(), "Transfer aborted");
    EXPECT_TRUE(outcome.track.points.empty());
}

// ---------------------------------------------------------------- another transport

// An in-process cable: one end of a socket pair is the transport, the emulator's link holds
// the other. The session code runs unchanged, with no serial port at all.
class SocketTransport final : public device::Transport {
public:
    explicit SocketTransport(int fd) : fd_(fd) {}
    int Open(const std::string&) override {
        open_ = true;
        return 0;
    }
    int Configure(const device::LineSettings& line) override {
        lines.push_back(line);
        return 0;
    }
    int Purge() override { return 0; }
    int Read(std::span<std::uint8_t> buffer, int timeoutMs,
             const device::WakeEvent* wake) override {
        const int ready =
            device::detail::PollUntil(fd_, POLLIN, device::detail::DeadlineAfter(timeoutMs),
                                      wake != nullptr ? wake->Fd() : -1);
        if (ready <= 0)
            return ready;
        const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
        return got > 0 ? static_cast<int>(got) : device::kIoLinkLost;
    }
    int Write(std::span<const std::uint8_t> bytes, int, const device::WakeEvent*) override {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())
                   ? static_cast<int>(bytes.size())
                   : device::kIoError;
    }
    using Transport::Write;
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

    static inline std::vector<device::LineSettings> lines;

private:
    int fd_;
    bool open_ = false;
};

int g_sessionEnd = -1;

std::unique_ptr<device::Transport> MakeSocketTransport(device::TransportKind) {
    return std::make_unique<SocketTransport>(g_sessionEnd);
}

TEST(GraviterInProcess, SessionRunsOverAnotherTransport) {
    int ends[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    g_sessionEnd = ends[0];
    UniqueFd sessionEnd(ends[0]);
    device::EmulatorLink link{UniqueFd(ends[1])};
    ASSERT_TRUE(link.Valid());
    GraviterEmulatorConfig config;
    config.flights.push_back(FixturePoints("marcourt.igc"));
    GraviterEmulator emulator(link, config);
    emulator.Start();

    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    layer.SetTransportFactory(MakeSocketTransport);
    layer.SetPortName("/in-process");
    SocketTransport::lines.clear();
    std::size_t points = 0;
    int result = 999;
    device::JobStart start;
    start.function = AccessFunction::kReadTrackLog;
    start.protocol = GpsProtocol::kGraviter;
    start.completion = [&](device::GpsAccessJob& job) {
        result = job.result;
        points = job.track.points.size();
    };
    ASSERT_EQ(layer.StartGpsJob(std::move(start)), 0);
    layer.Join();
    emulator.Stop();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(points, config.flights[0].size());
    ASSERT_FALSE(SocketTransport::lines.empty());
    EXPECT_EQ(SocketTransport::lines[0], (device::LineSettings{38400, false}));
}

}  // namespace
}  // namespace tracora::protocols::graviter
