#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/time_base.hpp"
#include "core/version.hpp"
#include "formats/common/line_reader.hpp"
#include "formats/formats_support.hpp"
#include "formats/igc/igc_names.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_security.hpp"
#include "formats/igc/igc_writer.hpp"

namespace tracora::igc {
namespace {

using testing::FixturePath;
using testing::ReadFixture;

// Seconds from the UNIX epoch to the receiver epoch, 1989-12-31 00:00:00 UTC.
constexpr std::int64_t kUnixToReceiver = 631065600;

double Degrees(std::int32_t semicircles) {
    return semicircles * (180.0 / 2147483648.0);
}

std::vector<std::string> Split(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.emplace_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

// Real files: the small ones beside the hand-made fixtures, the others in real/igc.
std::filesystem::path RealFile(const std::string& name) {
    const std::filesystem::path local = FixturePath("igc/" + name);
    if (std::filesystem::exists(local)) {
        return local;
    }
    return FixturePath("real/igc/" + name);
}

// Every fix sampled in the fixture (every 100th, the last, both sides of every date change)
// as gpsbabel and igc-parser read it: time, position, altitudes, and the count of fixes.
TEST(IgcReader, RealFilesAgreeWithGpsbabelAndIgcParser) {
    const std::string table = ReadFixture(FixturePath("igc/oracle_fixes.tsv"));
    ASSERT_FALSE(table.empty());
    formats::LineReader lines(table);
    std::string_view line;
    std::map<std::string, IgcParseResult> parsed;
    int filesChecked = 0;
    int fixesChecked = 0;
    while (lines.Next(line)) {
        const std::vector<std::string> f = Split(line);
        const std::filesystem::path path = RealFile(f[1]);
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        if (f[0] == "count") {
            IgcParseResult& result = parsed[f[1]];
            ASSERT_GT(ParseIgc(ReadFixture(path), result), 0) << f[1] << ": " << result.error;
            EXPECT_EQ(result.points.size(), std::stoul(f[2])) << f[1];
            EXPECT_EQ(result.points.size(), std::stoul(f[3])) << f[1];
            ++filesChecked;
            continue;
        }
        const IgcParseResult& result = parsed[f[1]];
        const std::size_t index = std::stoul(f[2]);
        ASSERT_LT(index, result.points.size()) << f[1];
        const TrackPoint& p = result.points[index];
        const std::string where = f[1] + " fix " + f[2];
        EXPECT_EQ(static_cast<std::int64_t>(p.time) + kUnixToReceiver, std::stoll(f[3])) << where;
        // gpsbabel reads the fixed fields as we do.
        EXPECT_NEAR(Degrees(p.latitude), std::stod(f[4]), 1e-6) << where;
        EXPECT_NEAR(Degrees(p.longitude), std::stod(f[5]), 1e-6) << where;
        // igc-parser adds the extra digits of LAD/LOD extensions: within a thousandth minute.
        EXPECT_NEAR(Degrees(p.latitude), std::stod(f[6]), 1.0 / 60000) << where;
        EXPECT_NEAR(Degrees(p.longitude), std::stod(f[7]), 1.0 / 60000) << where;
        EXPECT_EQ(p.pressureAltitude, std::stoi(f[8])) << where;
        EXPECT_EQ(p.gpsAltitude, std::stoi(f[9]) * 10) << where;
        EXPECT_EQ(p.flags, index == 0 ? 1u : 0u) << where;
        ++fixesChecked;
    }
    EXPECT_GE(filesChecked, 6);
    EXPECT_GE(fixesChecked, 20);
}

TEST(IgcReader, MidnightRolloverAndStepBack) {
    IgcParseResult result;
    ASSERT_EQ(ParseIgc(ReadFixture(FixturePath("igc/midnight-rollover.igc")), result), 4);
    // 2023-12-31 23:59:58 UTC = UNIX 1704067198.
    EXPECT_EQ(result.points[0].time, 1704067198 - kUnixToReceiver);
    EXPECT_EQ(result.points[2].time - result.points[1].time, 2u);
    EXPECT_EQ(result.manufacturer, "XYZ");
    EXPECT_EQ(result.serial, "123");

    ASSERT_EQ(ParseIgc(ReadFixture(FixturePath("igc/step-back-in-time.igc")), result), 2);
    // 2014-07-05 12:00:00 UTC = UNIX 1404561600; then 11:30:00 of the same day.
    EXPECT_EQ(result.points[0].time, 1404561600 - kUnixToReceiver);
    EXPECT_EQ(result.points[1].time, 1404561600 - 1800 - kUnixToReceiver);
    // 46 deg 12.346 S, 7 deg 12.346 W.
    EXPECT_NEAR(Degrees(result.points[1].latitude), -(46 + 12.346 / 60), 1e-7);
    EXPECT_NEAR(Degrees(result.points[1].longitude), -(7 + 12.346 / 60), 1e-7);
}

TEST(IgcReader, ReadsALastLineWithoutLineEndAndTheLongDateForm) {
    IgcParseResult result;
    ASSERT_EQ(ParseIgc(ReadFixture(FixturePath("igc/last-line-without-lf.igc")), result), 2);
    EXPECT_EQ(result.points[1].pressureAltitude, -12);
    EXPECT_EQ(result.points[1].gpsAltitude, 10510);
    EXPECT_EQ(result.serial, "000");
    EXPECT_EQ(result.points[0].time, 1404561600 - kUnixToReceiver);
}

TEST(IgcReader, ErrorTexts) {
    const std::string a = "AXTR\r\n";
    const std::string date = "HFDTE050714\r\n";
    const std::string b = "B1200004612345N00712345EA0100001050";
    struct Case {
        std::string text;
        std::string error;  // empty: accepted
    };
    auto withB = [&](std::string record) { return a + date + record + "\r\n"; };
    const Case cases[] = {
        {a + date + b + "\r\n", ""},
        {a + date + date + b, "Multiple date lines"},
        {a + "HFDTEDATE:050714,01\r\n" + b, ""},
        {a + "HFDTEDATE:050714\r\n" + b, ""},
        {a + "HFDTE05071\r\n" + b, "Date error 1 on line 2"},
        {a + "HFDTE0507145\r\n" + b, "Date error 1 on line 2"},
        {a + "HFDTE320714\r\n" + b, "Date error 1 on line 2"},
        {a + "HFDTE001314\r\n" + b, "Date error 1 on line 2"},
        {a + "HFDTE051314\r\n" + b, "Date error 1 on line 2"},
        {a + "HFDTEDATE:050714,\r\n" + b, "Date error 1 on line 2"},
        {a + "HFDTEDATE:050714;01\r\n" + b, "Date error 1 on line 2"},
        {a + a + date + b, "Multiple A-records"},
        {"AXT\r\n" + date + b, "Too short A-record"},
        {"AX-R\r\n" + date + b, "Bad IGC manufacturer found in the A-record"},
        {"AXTRAB\r\n" + date + b, "Bad serial number found in the A-record"},
        {"AXTRAB#\r\n" + date + b, "Bad serial number found in the A-record"},
        {a + b + "\r\n" + date, "Missing date line"},
        {date + b + "\r\n", "No A-record found"},
        {a + date, "No positions found"},
        {withB("B1x00004612345N00712345EA0100001050"), "Pos. error 1 on line 3"},
        {withB("B2400004612345N00712345EA0100001050"), "Pos. error 2 on line 3"},
        {withB("B12x0004612345N00712345EA0100001050"), "Pos. error 3 on line 3"},
        {withB("B1260004612345N00712345EA0100001050"), "Pos. error 4 on line 3"},
        {withB("B12000x4612345N00712345EA0100001050"), "Pos. error 5 on line 3"},
        {withB("B1200604612345N00712345EA0100001050"), "Pos. error 6 on line 3"},
        {withB("B120000x612345N00712345EA0100001050"), "Pos. error 7 on line 3"},
        {withB("B1200009012345N00712345EA0100001050"), "Pos. error 8 on line 3"},
        {withB("B12000046123x5N00712345EA0100001050"), "Pos. error 9 on line 3"},
        {withB("B1200004660001N00712345EA0100001050"), "Pos. error 10 on line 3"},
        {withB("B1200004660000N00712345EA0100001050"), ""},
        {withB("B1200004612345X00712345EA0100001050"), "Pos. error 11 on line 3"},
        {withB("B1200004612345N0x712345EA0100001050"), "Pos. error 12 on line 3"},
        {withB("B1200004612345N18012345EA0100001050"), "Pos. error 13 on line 3"},
        {withB("B1200004612345N007123x5EA0100001050"), "Pos. error 14 on line 3"},
        {withB("B1200004612345N00760001EA0100001050"), "Pos. error 15 on line 3"},
        {withB("B1200004612345N00712345XA0100001050"), "Pos. error 16 on line 3"},
        {withB("B1200004612345N00712345E"), "Pos. error 17 on line 3"},
        {withB("B1200004612345N00712345EA01x0001050"), "Pos. error 18 on line 3"},
        {withB("B1200004612345N00712345EA010000105"), "Pos. error 18 on line 3"},
        {withB("B1200004612345N00712345EA-1x0001050"), "Pos. error 18 on line 3"},
        {withB("B1200004612345N00712345EV-0100-0010"), ""},
        {withB("B12"), "Pos. error 3 on line 3"},
    };
    for (const Case& c : cases) {
        IgcParseResult result;
        const int count = ParseIgc(c.text, result);
        // The specified text, then the detail in words after ": ".
        if (c.error.empty()) {
            EXPECT_EQ(result.error, "") << c.text;
        } else {
            EXPECT_TRUE(result.error == c.error || result.error.starts_with(c.error + ": "))
                << c.text << ": " << result.error;
        }
        EXPECT_EQ(count > 0, c.error.empty()) << c.text;
        if (!c.error.empty()) {
            EXPECT_TRUE(result.points.empty());
        }
    }
}

// The reasons a pilot reads, and line ends of every kind.
TEST(IgcReader, FaultsSayWhatIsWrongAndLoneCrEndsLines) {
    const std::string a = "AXTR\r\n";
    const std::string date = "HFDTE050714\r\n";
    const std::string b = "B1200004612345N00712345EA0100001050";
    const struct {
        std::string text;
        std::string error;  // exact; empty: read
    } cases[] = {
        {a + date + "B1260004612345N00712345EA0100001050\r\n",
         "Pos. error 4 on line 3: the minutes of the time are above 59"},
        {a + date + "B1200004612345N00712345XA0100001050\r\n",
         "Pos. error 16 on line 3: the longitude has no E or W"},
        {a + b + "\r\n" + date,
         "Missing date line: the date (HFDTE) line comes after the first position, on line 2; it "
         "must come before the positions"},
        {a + b + "\r\n",
         "Missing date line: the file has no date (HFDTE) line before its first position, on line "
         "2"},
        {a + date, "No positions found"},
        {"AXTR\rHFDTE050714\r" + b + "\r" + b + "\r", ""},
        {"AXTR\nHFDTE050714\n" + b + "\n" + b, ""},
        {"AXTR\rHFDTE050714\r" + b + "\rB1260004612345N00712345EA0100001050\r",
         "Pos. error 4 on line 4: the minutes of the time are above 59"},
    };
    for (const auto& c : cases) {
        IgcParseResult result;
        const int count = ParseIgc(c.text, result);
        EXPECT_EQ(result.error, c.error) << c.text;
        if (c.error.empty()) {
            EXPECT_EQ(count, 2) << c.text;
        }
    }
}

TEST(IgcReader, RawIgcDetails) {
    const std::string text = ReadFixture(FixturePath("igc/marcourt.igc"));
    RawIgcDetails details;
    ASSERT_EQ(ReadRawIgcDetails(text, details), 0);
    EXPECT_EQ(details.manufacturer, "XSX");  // AXSX004 SKYTRAXX
    EXPECT_EQ(details.serial, "004");
    // HFDTE060321, first fix 10:34:11 UTC: UNIX 1615026851.
    EXPECT_EQ(details.firstTime, 1615026851 - kUnixToReceiver);
    EXPECT_EQ(ReadRawIgcDetails("AXTR\r\n", details), -1);
}

TrackPoint Point(int hour, int minute, int second, std::int32_t latitude, std::int32_t longitude,
                 std::int32_t pressure, std::int32_t gpsDm, float depth = 0) {
    CalendarTime c;
    c.year = 2014;
    c.month = 7;
    c.day = 5;
    c.hour = hour;
    c.minute = minute;
    c.second = second;
    TrackPoint p;
    p.time = CalendarToTime(c);
    p.latitude = latitude;
    p.longitude = longitude;
    p.pressureAltitude = pressure;
    p.gpsAltitude = gpsDm;
    p.depth = depth;
    return p;
}

// Semicircles of half a degree: 2^31 / 360, rounded.
constexpr std::int32_t kHalfDegree = 5965232;

TEST(IgcWriter, BRecordFields) {
    struct Case {
        TrackPoint point;
        bool enl;
        std::string line;
    };
    const Case cases[] = {
        {Point(1, 2, 3, -kHalfDegree, kHalfDegree, -12, -5), false,
         "B0102030030000S00030000EA-001200000"},
        {Point(23, 59, 59, kHalfDegree, -kHalfDegree, 1234, 12345), false,
         "B2359590030000N00030000WA0123401235"},
        {Point(12, 0, 0, 0, 0, 0, 14, 400.0f), true, "B1200000000000N00000000EA0000000001999"},
        {Point(12, 0, 0, 0, 0, 0, 15, -1.0f), true, "B1200000000000N00000000EA0000000002000"},
        // 10 m is 32.8084 ft.
        {Point(12, 0, 0, 0, 0, 0, 0, 10.0f), true, "B1200000000000N00000000EA0000000000033"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IgcBRecord(c.point, c.enl), c.line);
    }
}

TEST(IgcWriter, RecordOrderAndEmptyHeaders) {
    const std::vector<TrackPoint> points = {Point(10, 0, 0, 0, 0, 100, 1000)};
    IgcEncodeOptions options;
    options.downloadTime = CalendarTime{2014, 7, 6, 8, 9, 10, 0};
    std::string text;
    bool written = true;
    ASSERT_GT(EncodeIgc(points, {}, options, text, written), 0);
    EXPECT_FALSE(written);
    EXPECT_EQ(text,
              "AXTR \r\n"
              "HFDTE050714\r\n"
              "HOPLTPILOT: \r\n"
              "HOGTYGLIDERTYPE: \r\n"
              "HOGIDGLIDERID: \r\n"
              "HODTM100GPSDATUM: WGS-84\r\n"
              "HOCIDCOMPETITIONID: \r\n"
              "HOCCLCOMPETITION CLASS: \r\n"
              "HOSITSite: \r\n"
              "B1000000000000N00000000EA0010000100\r\n"
              "LXTR Tracora version " +
                  IgcVersionText(kVersion) +
                  "\r\n"
                  "LXTR Downloaded 2014-07-06  08:09:10\r\n");
    EXPECT_EQ(IgcVersionText("4.85.0"), "4.85");
    EXPECT_EQ(IgcVersionText("0.1.0"), "0.01");
    std::string none;
    EXPECT_EQ(EncodeIgc({}, {}, options, none, written), -1);
}

std::string SignedSample() {
    const std::vector<TrackPoint> points = {
        Point(10, 0, 0, 551234567, 81234567, 1000, 10500, 3.0f),
        Point(10, 0, 1, 551234667, 81234667, 1001, 10510, 4.0f),
        Point(10, 0, 2, 551234767, 81234767, 1002, 10520, 5.0f),
    };
    IgcHeaderTexts header;
    header.pilot = "Jane Doe";
    header.gliderType = "Wing 3";
    header.instrument = "Vario 2 & co";
    header.frSerial = "AB1";
    IgcEncodeOptions options;
    options.gRecordEligible = true;
    options.wantSecurityRecord = true;
    options.wantEnl = true;
    options.downloadTime = CalendarTime{2014, 7, 6, 8, 9, 10, 0};
    std::string text;
    bool written = false;
    EXPECT_GT(EncodeIgc(points, header, options, text, written), 0);
    EXPECT_TRUE(written);
    return text;
}

// Replaces the first occurrence of `from` by `to`.
std::string Edit(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

TEST(IgcSecurity, WrittenRecordPassesAndSignedLinesAreCovered) {
    const std::string text = SignedSample();
    ASSERT_NE(text.find("\r\nG"), std::string::npos);
    ASSERT_NE(text.find("I013638ENL\r\n"), std::string::npos);
    EXPECT_EQ(VerifyIgcSecurity(text), kSecurityPassed);
    struct Case {
        std::string from, to;
        int expected;
    };
    const Case cases[] = {
        {"AXTRAB1", "AXTRAB2", kSecurityFailed},
        {"Vario 2 & co", "Vario 2 & cO", kSecurityFailed},
        {"HFDTE050714", "HFDTE050715", kSecurityFailed},
        {"I013638ENL", "I013638ENM", kSecurityFailed},
        {"A0100001050", "A0100001051", kSecurityFailed},
        {"0100001050010", "0100001050011", kSecurityFailed},  // the ENL digits (3 m = 010)
        {"LXTR Downloaded 2014", "LXTR Downloaded 2015", kSecurityFailed},
        {"LXTR Tracora", "LXTR tracora", kSecurityFailed},
        {"HOPLTPILOT: Jane Doe", "HOPLTPILOT: John Roe", kSecurityPassed},
        {"HOGTYGLIDERTYPE: Wing 3", "HOGTYGLIDERTYPE: Wing 4 long name", kSecurityPassed},
        {"HOSITSite: ", "HOSITSite: Annecy", kSecurityPassed},
        {"HFDTE050714\r\n", "HFDTE050714\r\n\r\n", kSecurityFailed},  // an added blank line
        {"\r\nB", "\nB", kSecurityFailed},
        {"\r\nLXTR Tracora", "\r\nLPLT extra line\r\nLXTR Tracora", kSecurityPassed},
        {"\r\nLXTR Tracora", "\r\nXZZ unknown record\r\nLXTR Tracora", kSecurityFailed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VerifyIgcSecurity(Edit(text, c.from, c.to)), c.expected) << c.to;
    }
    const std::size_t g = text.find("\r\nG") + 2;
    std::string lower = text;
    for (std::size_t i = g + 1; i < g + 17; ++i) {
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
    }
    if (lower != text) {
        EXPECT_EQ(VerifyIgcSecurity(lower), kSecurityFailed);
    }
    EXPECT_EQ(VerifyIgcSecurity(text.substr(0, g)), kSecurityNoRecord);
    EXPECT_EQ(VerifyIgcSecurity(text + "\r\n\n"), kSecurityPassed);
    EXPECT_EQ(VerifyIgcSecurity(text + "x"), kSecurityFailed);
    EXPECT_EQ(VerifyIgcSecurity(text.substr(0, text.size() - 3)), kSecurityFailed);
    EXPECT_EQ(VerifyIgcSecurity(""), kSecurityNoRecord);
    EXPECT_EQ(VerifyIgcSecurity(std::string("A\0B\r\n", 5)), kSecurityFailed);
}

TEST(IgcSecurity, NotWrittenForFilesOrWithoutRequest) {
    const std::vector<TrackPoint> points = {Point(10, 0, 0, 0, 0, 0, 0)};
    IgcEncodeOptions options;
    options.wantSecurityRecord = true;
    std::string text;
    bool written = true;
    ASSERT_GT(EncodeIgc(points, {}, options, text, written), 0);
    EXPECT_FALSE(written);
    EXPECT_EQ(VerifyIgcSecurity(text), kSecurityNoRecord);
    options.gRecordEligible = true;
    options.wantSecurityRecord = false;
    ASSERT_GT(EncodeIgc(points, {}, options, text, written), 0);
    EXPECT_TRUE(written);
    EXPECT_EQ(VerifyIgcSecurity(text), kSecurityNoRecord);
}

// Our reader gives back what our writer wrote, including the date and the extension-free
// fields.
TEST(IgcWriter, ReadBackByOurReader) {
    const std::string text = SignedSample();
    IgcParseResult result;
    ASSERT_EQ(ParseIgc(text, result), 3);
    EXPECT_EQ(result.manufacturer, "XTR");
    EXPECT_EQ(result.serial, "AB1");
    EXPECT_EQ(result.points[1].pressureAltitude, 1001);
    EXPECT_EQ(result.points[1].gpsAltitude, 10510);
}

}  // namespace
}  // namespace tracora::igc

namespace tracora::igc {
namespace {

TEST(IgcNames, ProposedNames) {
    const CalendarTime date{2014, 7, 5, 10, 0, 0, 0};
    EXPECT_EQ(IgcProposedName(IgcNameStyle::kLong, date, "XTR", "AB1", 2),
              "2014-07-05-XTR-AB1-02.igc");
    EXPECT_EQ(IgcProposedName(IgcNameStyle::kShort, date, "XTR", "AB1", 2), "475XAB12.igc");
    const CalendarTime late{2019, 12, 31, 0, 0, 0, 0};
    EXPECT_EQ(IgcProposedName(IgcNameStyle::kShort, late, "XSX", "004", 35), "9CVX004Z.igc");
    EXPECT_EQ(IgcProposedName(IgcNameStyle::kShort, late, "XSX", "004", 10), "9CVX004A.igc");
    EXPECT_EQ(IgcProposedName(IgcNameStyle::kLong, late, "XSX", "004", 10),
              "2019-12-31-XSX-004-10.igc");
    EXPECT_EQ(IgcProposedName(IgcNameStyle::kNone, late, "XSX", "004", 10), "");
}

TEST(IgcNames, ParameterChecks) {
    struct Case {
        const char* pilot;
        const char* flight;
        const char* serial;
        const char* error;  // nullptr: accepted
        int number;
    };
    const Case cases[] = {
        {"Jane", "1", "AB1", nullptr, 1},
        {"Jane", " +35 ", "ab1", nullptr, 35},
        {"Jane", "- 3", "AB1", "Bad flight number input", 0},
        {"Jane", "-3", "AB1", "Flight number out of range", 0},
        {"   ", "1", "AB1", "Missing pilot name", 0},
        {"Jane", "", "AB1", "Missing flight number", 0},
        {"Jane", "  ", "AB1", "Missing flight number", 0},
        {"Jane", "1x", "AB1", "Bad flight number input", 0},
        {"Jane", "+", "AB1", "Bad flight number input", 0},
        {"Jane", "36", "AB1", "Flight number out of range", 0},
        {"Jane", "0", "AB1", "Flight number out of range", 0},
        {"Jane", "1", "", "Missing FR serial number", 0},
        {"Jane", "1", "AB", "FR serial number string too short", 0},
        {"Jane", "1", "A-1", "FR serial number not alpha-numeric", 0},
    };
    for (const Case& c : cases) {
        int flight = 0;
        const char* error = CheckIgcParameters(c.pilot, c.flight, c.serial, flight);
        EXPECT_STREQ(error, c.error) << c.pilot << "|" << c.flight << "|" << c.serial;
        if (c.error == nullptr) {
            EXPECT_EQ(flight, c.number);
        }
    }
    EXPECT_EQ(NormaliseBlanks("  Jane   van  Doe "), "Jane van Doe");
}

}  // namespace
}  // namespace tracora::igc
