#include "protocols/common/flight_list.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocols/common/nmea.hpp"
#include "protocols/common/remaining_time.hpp"
#include "protocols/common/track_joiner.hpp"
#include "protocols/common/upload_names.hpp"

namespace tracora::protocols {
namespace {

TEST(FlightList, Dates) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"06.03.21", true},  {"31.12.99", true},    {"29.02.24", true},  {"29.02.23", false},
        {"30.02.24", false}, {"31.04.21", false},   {"31.06.21", false}, {"31.09.21", false},
        {"31.11.21", false}, {"31.10.21", true},    {"00.03.21", false}, {"32.03.21", false},
        {"01.00.21", false}, {"01.13.21", false},   {"1.03.21", false},  {"06.03.21 ", false},
        {"06-03-21", false}, {"06.03.2021", false},
    };
    for (const Case& c : cases) {
        CalendarTime date;
        EXPECT_EQ(ParseFlightDate(c.text, date), c.ok) << c.text;
    }
    CalendarTime date;
    ASSERT_TRUE(ParseFlightDate("06.03.21", date));
    EXPECT_EQ(date.year, 2021);
    EXPECT_EQ(date.month, 3);
    EXPECT_EQ(date.day, 6);
}

TEST(FlightList, Times) {
    struct Case {
        const char* text;
        bool ok;
        int h, m, s;
    } cases[] = {
        {"10:34:11", true, 10, 34, 11}, {" 1: 2 : 3 ", true, 1, 2, 3},
        {"23:59:59", true, 23, 59, 59}, {"24:00:00", false, 0, 0, 0},
        {"10:60:00", false, 0, 0, 0},   {"10:00:60", false, 0, 0, 0},
        {"10:00", false, 0, 0, 0},      {"10::00", false, 0, 0, 0},
        {"1x:00:00", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        int h = -1;
        int m = -1;
        int s = -1;
        EXPECT_EQ(ParseClockTime(c.text, h, m, s), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(h * 3600 + m * 60 + s, c.h * 3600 + c.m * 60 + c.s) << c.text;
        }
    }
}

TEST(FlightList, EntryFieldsAndTheirMessages) {
    struct Case {
        const char* sentence;
        int code;
        const char* message;
    } cases[] = {
        {"$PBRTL,02,01,06.03.21,10:34:11,00:03:40", 0, nullptr},
        {"$PBRTL,02,01,06.03.21,10:34:11", kFlightListTooFewFields, "NMEA line parse error"},
        {"$PBRXX,02,01,06.03.21,10:34:11,00:03:40", kFlightListBadIdentifier,
         "Bad NMEA identifier"},
        {"$PBRTL,x,01,06.03.21,10:34:11,00:03:40", kFlightListBadCount,
         "Bad track count parameter"},
        {"$PBRTL,02,,06.03.21,10:34:11,00:03:40", kFlightListBadIndex, "Bad track index parameter"},
        {"$PBRTL,02,01,31.04.21,10:34:11,00:03:40", kFlightListBadDate, "Bad track date parameter"},
        {"$PBRTL,02,01,06.03.21,25:34:11,00:03:40", kFlightListBadTime, "Bad track time parameter"},
        {"$PBRTL,02,01,06.03.21,10:34:11,00:3", kFlightListBadDuration,
         "Bad track duration parameter"},
    };
    for (const Case& c : cases) {
        const std::string sentence = BuildNmeaSentence(std::string(c.sentence).substr(1));
        std::vector<std::string> fields;
        const int split = SplitNmeaSentence(sentence.substr(0, sentence.size() - 2), fields, 6);
        FlightListEntry entry;
        EXPECT_EQ(ParseFlightListFields(split, fields, "$PBRTL", entry), c.code) << c.sentence;
        if (c.message != nullptr) {
            EXPECT_STREQ(FlightListErrorText(c.code), c.message);
        }
    }
    // A sentence that failed its checksum has no fields.
    std::vector<std::string> fields;
    FlightListEntry entry;
    EXPECT_EQ(ParseFlightListFields(kNmeaChecksumMismatch, fields, "$PBRTL", entry),
              kFlightListTooFewFields);
}

TEST(FlightList, OnlyIndexesBelow255AreStored) {
    device::FlightList list;
    FlightListEntry entry;
    entry.start = CalendarTime{2021, 3, 6, 10, 34, 11, 0};
    entry.durationSeconds = 220;
    for (const int index : {0, 254, 255, 1000}) {
        entry.index = index;
        StoreFlightListEntry(list, entry);
    }
    EXPECT_EQ(CountFlights(list), 2);
    EXPECT_EQ(list.start[0], 983961251u);  // 2021-03-06 10:34:11
    EXPECT_EQ(list.start[254], 983961251u);
    EXPECT_EQ(list.duration[254], 220u);
}

TEST(TrackJoiner, JoinsInTimeOrderAndRefusesOverlaps) {
    const auto track = [](std::uint32_t first, std::uint32_t last) {
        std::vector<TrackPoint> points(2);
        points[0].time = first;
        points[0].flags = TrackPoint::kSegmentStart;
        points[1].time = last;
        return points;
    };
    std::vector<TrackPoint> joined;
    ASSERT_EQ(JoinTrack(joined, track(100, 200)), 0);
    ASSERT_EQ(JoinTrack(joined, track(300, 400)), 0);  // behind
    ASSERT_EQ(JoinTrack(joined, track(10, 20)), 0);    // in front
    ASSERT_EQ(joined.size(), 6u);
    const std::uint32_t times[] = {10, 20, 100, 200, 300, 400};
    const std::uint32_t flags[] = {1, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(joined[i].time, times[i]);
        EXPECT_EQ(joined[i].flags, flags[i]) << i;
    }
    for (const auto& [first, last] : {std::pair{5u, 10u}, {400u, 500u}, {150u, 160u}, {0u, 999u}}) {
        EXPECT_EQ(JoinTrack(joined, track(first, last)), -1) << first << "-" << last;
    }
    EXPECT_EQ(joined.size(), 6u);

    std::vector<TrackPoint> kept;
    ASSERT_EQ(JoinTrack(kept, track(300, 400), true), 0);
    ASSERT_EQ(JoinTrack(kept, track(100, 200), true), 0);
    EXPECT_EQ(kept[0].flags, 1u);
    EXPECT_EQ(kept[2].flags, 1u);
}

TEST(RemainingTime, Estimates) {
    struct Case {
        DownloadProgress progress;
        int seconds;
    } cases[] = {
        // 10 s for 100 of 400 points: 30 s to go.
        {{10'000, 400, 100, 0, 0, 0}, 30},
        // 20 s for 600 s of a 3600 s flight: 100 s to go.
        {{20'000, 0, 50, 1000, 1600, 3600}, 100},
        // Past the listed duration: nothing to go.
        {{20'000, 0, 50, 1000, 5000, 3600}, 0},
        // No track time yet: the maximum.
        {{20'000, 0, 1, 1000, 1000, 3600}, 5999},
        // Capped.
        {{1'000'000, 0, 50, 1000, 1001, 3600}, 5999},
        {{10'000, 100, 400, 0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EstimateRemainingSeconds(c.progress), c.seconds);
    }
}

TEST(UploadNames, ModesAndCleaning) {
    Waypoint w;
    w.SetId("ABC");
    w.SetDescription("Long name");
    EXPECT_EQ(UploadName(w, 0), "Long name");
    EXPECT_EQ(UploadName(w, 1), "ABC");
    EXPECT_EQ(UploadName(w, 2), "ABC Long name");
    w.SetDescription("");
    EXPECT_EQ(UploadName(w, 0), "ABC");
    EXPECT_EQ(BlankSentenceDelimiters("a,b*c$d\re\nf"), "a b c d e f");
    EXPECT_EQ(FixedWidthName("abc", 5), "abc  ");
    EXPECT_EQ(FixedWidthName("abcdefg", 5), "abcde");
    // A cut never ends inside a UTF-8 sequence: "abcd" + e-acute does not fit 5 bytes.
    EXPECT_EQ(FixedWidthName("abcd\xC3\xA9", 5), "abcd ");
}

}  // namespace
}  // namespace tracora::protocols
