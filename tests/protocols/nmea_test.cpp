#include "protocols/common/nmea.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tracora::protocols {
namespace {

TEST(Nmea, ChecksumIsTheXorBetweenDollarAndStar) {
    // The requests' checksums as the instrument family documents them.
    EXPECT_EQ(NmeaChecksum("PBRSNP,"), 0x21);
    EXPECT_EQ(NmeaChecksum("PBRTL,"), 0x74);
    EXPECT_EQ(NmeaChecksum("PBRIGC,"), 0x21);
    EXPECT_EQ(NmeaChecksum("PBRWPS,"), 0x38);
    EXPECT_EQ(BuildNmeaSentence("PBRTR,05"), "$PBRTR,05*6F\r\n");
    EXPECT_EQ(BuildNmeaSentence(""), "$*00\r\n");
}

TEST(Nmea, SplitChecksAndCutsTheSentence) {
    struct Case {
        std::string sentence;
        std::size_t maxFields;
        int result;
        std::vector<std::string> fields;
    } cases[] = {
        {"$PBRSNP,COMPEO+,TEST PILOT,1234,1.22*5E",
         5,
         5,
         {"$PBRSNP", "COMPEO+", "TEST PILOT", "1234", "1.22"}},
        // Lower-case checksum digits are accepted.
        {"$PBRTR,05*6f", 5, 2, {"$PBRTR", "05"}},
        // Fields beyond the maximum are dropped; empty fields count.
        {"$PBRSNP,COMPEO+,TEST PILOT,1234,1.22*5E", 3, 3, {"$PBRSNP", "COMPEO+", "TEST PILOT"}},
        {"$A,,*41", 5, 3, {"$A", "", ""}},
        {"PBRTR,05*6F", 5, kNmeaNoDollar, {}},
        {"", 5, kNmeaNoDollar, {}},
        {"$PBRTR,05*6G", 5, kNmeaBadChecksumDigit, {}},
        {"$PBRTR,05*6", 5, kNmeaBadChecksumDigit, {}},
        {"$PBRTR,05*6F ", 5, kNmeaTrailingText, {}},
        {"$PBRTR,05*6E", 5, kNmeaChecksumMismatch, {}},
        {"$PBRTR,05", 5, kNmeaNoStar, {}},
        // The text ends at a NUL byte, star and all.
        {std::string("$PBRTR,0\0*6F", 12), 5, kNmeaNoStar, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> fields{"stale"};
        EXPECT_EQ(SplitNmeaSentence(c.sentence, fields, c.maxFields), c.result) << c.sentence;
        if (c.result > 0) {
            EXPECT_EQ(fields, c.fields) << c.sentence;
        }
    }
}

}  // namespace
}  // namespace tracora::protocols
