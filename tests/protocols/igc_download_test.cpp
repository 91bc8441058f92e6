#include "protocols/common/igc_download.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tracora::protocols {
namespace {

// Receiver seconds of midnight, 2019-06-15 UTC (calendar.timegm minus the 1989-12-31 epoch).
constexpr std::uint32_t kJune15 = 929491200;

IgcDownloadState Dated() {
    IgcDownloadState state;
    EXPECT_EQ(ParseIgcDownloadLine("HFDTE150619\r", state), 0);
    EXPECT_EQ(state.date, kJune15);
    return state;
}

TEST(ParseIgcDownloadLine, DateHeaderInBothForms) {
    const char* forms[] = {"HFDTE150619\r", "HFDTE150619", "HFDTEDATE:150619,01\r",
                           "HFDTEDATE:150619\r"};
    for (const char* line : forms) {
        IgcDownloadState state;
        state.dayOffset = 86400;
        state.previousTimeOfDay = 5000;
        EXPECT_EQ(ParseIgcDownloadLine(line, state), 0) << line;
        EXPECT_EQ(state.date, kJune15) << line;
        EXPECT_EQ(state.dayOffset, 0u) << line;
        EXPECT_EQ(state.previousTimeOfDay, 0) << line;
    }
}

TEST(ParseIgcDownloadLine, RecordErrorsHaveTheirCodes) {
    struct Case {
        const char* line;
        int code;
    } cases[] = {
        {"HFDTE1506XX\r", -1},
        {"HFDTEDATE:1506XX,01\r", -1},
        {"HFDTE15XX19\r", -2},
        {"HFDTE150019\r", -3},
        {"HFDTE151319\r", -3},
        {"HFDTEXX0619\r", -4},
        {"HFDTE000619\r", -5},
        {"HFDTE320619\r", -5},
        {"HFDTE1506\r", 0},  // shorter than 11 characters: not used
        {"HFPLTPILOT:someone\r", 0},
        {"B1034115012954N00530990EA0016100331\r", 0},
        {"B1034115012954N00530990EA001610033", -24},
        // The CR counts towards the length; the altitude then holds it.
        {"B1034115012954N00530990EA001610033\r", -7},
        {"B1034115012954N00530990EA00161XXXXX\r", -7},
        {"B1034115012954N00530990EAXXXXX00331\r", -7},
        {"B1034115012954N00530990EA-0012-0012\r", 0},
        {"B1034115012954N00530X90EA0016100331\r", -8},
        {"B1034115012954N005X0990EA0016100331\r", -9},
        {"B1034115012954N0X530990EA0016100331\r", -10},
        {"B1034115012954N18030990EA0016100331\r", -11},
        {"B1034115012954N00530990XA0016100331\r", -12},
        {"B10341150129X4N00530990EA0016100331\r", -13},
        {"B103411501X954N00530990EA0016100331\r", -14},
        {"B1034115X12954N00530990EA0016100331\r", -15},
        {"B1034119012954N00530990EA0016100331\r", -16},
        {"B1034115012954X00530990EA0016100331\r", -17},
        {"B10341X5012954N00530990EA0016100331\r", -18},
        {"B1034605012954N00530990EA0016100331\r", -19},
        {"B10X4115012954N00530990EA0016100331\r", -20},
        {"B1060115012954N00530990EA0016100331\r", -21},
        {"BX034115012954N00530990EA0016100331\r", -22},
        {"B2434115012954N00530990EA0016100331\r", -23},
        {"AXSX\r", -28},
        {"AXS\r", -28},
        {"AXSX0-4\r", -29},
        {"LXCT anything\r", 0},
    };
    for (const Case& c : cases) {
        IgcDownloadState state = Dated();
        EXPECT_EQ(ParseIgcDownloadLine(c.line, state), c.code) << c.line;
    }
}

TEST(ParseIgcDownloadLine, BRecordBeforeTheDateIsRefused) {
    IgcDownloadState state;
    EXPECT_EQ(ParseIgcDownloadLine("B1034115012954N00530990EA0016100331\r", state), -25);
    EXPECT_TRUE(state.points.empty());
}

TEST(ParseIgcDownloadLine, BRecordBecomesAPoint) {
    IgcDownloadState state = Dated();
    // 33 deg 57.120 min S, 70 deg 21.900 min W; pressure -12 m, GPS 2100 m.
    ASSERT_EQ(ParseIgcDownloadLine("B1200003357120S07021900WA-001202100\r\n", state), 0);
    ASSERT_EQ(state.points.size(), 1u);
    const TrackPoint& p = state.points[0];
    EXPECT_EQ(p.time, kJune15 + 12 * 3600);
    EXPECT_EQ(p.latitude, -405063138);   // round(-33.952 * 2^31 / 180)
    EXPECT_EQ(p.longitude, -839487149);  // round(-70.365 * 2^31 / 180)
    EXPECT_EQ(p.pressureAltitude, -12);
    EXPECT_EQ(p.gpsAltitude, 21000);
    EXPECT_EQ(p.flags, TrackPoint::kSegmentStart);
    EXPECT_EQ(p.depth, 0.0f);
    EXPECT_EQ(state.trackStart, kJune15 + 12 * 3600);
}

TEST(ParseIgcDownloadLine, MidnightCrossingAddsADay) {
    IgcDownloadState state = Dated();
    ASSERT_EQ(ParseIgcDownloadLine("B2359504600000N00700000EA0100001000\r", state), 0);
    ASSERT_EQ(ParseIgcDownloadLine("B0000054600000N00700000EA0100001000\r", state), 0);
    // Less than an hour back is no new day.
    ASSERT_EQ(ParseIgcDownloadLine("B0000014600000N00700000EA0100001000\r", state), 0);
    ASSERT_EQ(state.points.size(), 3u);
    EXPECT_EQ(state.points[1].time - state.points[0].time, 15u);
    EXPECT_EQ(state.points[1].time, kJune15 + 86400 + 5);
    EXPECT_EQ(state.points[2].time, kJune15 + 86400 + 1);
    EXPECT_EQ(state.points[1].flags, 0u);
}

TEST(ParseIgcDownloadLine, ARecordAndGRecords) {
    IgcDownloadState state;
    EXPECT_EQ(ParseIgcDownloadLine("AXSX004 SKYTRAXX\r", state), 0);
    EXPECT_EQ(state.manufacturer, "XSX");
    EXPECT_EQ(state.loggerId, "004");
    EXPECT_EQ(ParseIgcDownloadLine("G0123456789ABCDEF\r", state), 0);
    EXPECT_EQ(ParseIgcDownloadLine("G0123456789ABCDEF\r", state), 0);
    EXPECT_EQ(state.gRecordCount, 2);
}

// Feeds text byte by byte; returns the events other than kNone.
std::vector<IgcReceiver::Event> FeedAll(IgcReceiver& receiver, std::string_view text) {
    std::vector<IgcReceiver::Event> events;
    for (const char c : text) {
        const IgcReceiver::Event e = receiver.Feed(static_cast<std::uint8_t>(c));
        if (e != IgcReceiver::Event::kNone) {
            events.push_back(e);
        }
    }
    return events;
}

TEST(IgcReceiver, KeepsEveryByteAndSkipsEmptyLines) {
    IgcReceiver receiver;
    const std::string text =
        "AXSX004\r\n\r\nHFDTE150619\r\n\nB1200004600000N00700000EA0100001000\r\n";
    const auto events = FeedAll(receiver, text);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(receiver.RawText(), text);
    EXPECT_EQ(receiver.State().points.size(), 1u);
    // A second track starts afresh but the raw text goes on.
    receiver.StartTrack();
    EXPECT_TRUE(receiver.State().points.empty());
    EXPECT_TRUE(receiver.State().manufacturer.empty());
    FeedAll(receiver, "AXSX004\n");
    EXPECT_EQ(receiver.RawText(), text + "AXSX004\n");
}

TEST(IgcReceiver, LineLengthLimit) {
    // Record letter and 80 characters with CR LF is the longest line; one more is refused.
    const std::string longest = "L" + std::string(79, 'X') + "\r\n";
    const std::string tooLong = "L" + std::string(80, 'X') + "\r\n";
    IgcReceiver ok;
    EXPECT_EQ(FeedAll(ok, longest), std::vector{IgcReceiver::Event::kLineParsed});
    IgcReceiver bad;
    EXPECT_EQ(FeedAll(bad, tooLong), std::vector{IgcReceiver::Event::kLineTooLong});
}

TEST(IgcReceiver, LineStartMustBeARecordLetter) {
    for (const char* text : {"1BAD\r\n", "aXSX004\r\n", " AXSX004\r\n"}) {
        IgcReceiver receiver;
        const auto events = FeedAll(receiver, text);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.front(), IgcReceiver::Event::kBadRecordType);
        EXPECT_EQ(receiver.BadByte(), static_cast<std::uint8_t>(text[0]));
    }
}

TEST(IgcReceiver, FormatErrorCarriesTheCode) {
    IgcReceiver receiver;
    EXPECT_EQ(FeedAll(receiver, "B1200004600000N00700000EA0100001000\r\n"),
              std::vector{IgcReceiver::Event::kFormatError});
    EXPECT_EQ(receiver.FormatCode(), 25);
}

// A track that ended on silence: whole, or cut off by a frozen unit. The flight below spans
// 10:00:00 to 10:20:00 (1,200 s); the tolerance against the listed duration is 300 s.
TEST(IgcReceiver, TrackEndedBySilenceIsWholeOrSaysWhereItWasCut) {
    const std::string flight =
        "AXXXABC\r\nHFDTE150619\r\n"
        "B1000004616358N01328371EA013080141600505\r\n"
        "B1020004616358N01328371EA013080141600505\r\n";
    struct Case {
        const char* name;
        std::string tail;      // bytes after the flight
        std::uint32_t listed;  // listed duration, 0 = no list
        const char* expected;  // the start of the text, or "" for whole
    };
    const Case cases[] = {
        {"whole, no list", "", 0, ""},
        {"whole, as listed", "", 1200, ""},
        {"listed 5 min longer", "", 1500, ""},
        {"listed 5 min 1 s longer", "", 1501,
         "Incomplete transfer: the instrument stopped sending after 2 positions, the last at "
         "10:20:00 UTC, 6 min before the end of the flight in its list. Nothing was saved"},
        {"cut in a B record", "B10200146", 0,
         "Incomplete transfer: the instrument stopped sending in the middle of a line, after 2 "
         "positions, the last at 10:20:00 UTC. Nothing was saved"},
        {"cut before the LF", "LXXX comment\r", 1200,
         "Incomplete transfer: the instrument stopped sending in the middle of a line"},
        {"G record without its line end", "G0A1B2C3D4E5F", 1200, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IgcReceiver receiver;
        receiver.StartTrack();
        for (const char ch : flight + c.tail) {
            ASSERT_NE(receiver.Feed(static_cast<std::uint8_t>(ch)),
                      IgcReceiver::Event::kFormatError);
        }
        const std::string text = IncompleteTrackText(receiver, c.listed);
        EXPECT_TRUE(text.starts_with(c.expected)) << text;
        EXPECT_EQ(text.empty(), std::string_view(c.expected).empty()) << text;
    }
}

}  // namespace
}  // namespace tracora::protocols
