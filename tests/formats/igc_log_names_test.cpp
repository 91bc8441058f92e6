// The names a command line's IGC log gets in a folder.
#include <gtest/gtest.h>

#include <string>

#include "formats/igc/igc_names.hpp"

namespace tracora::igc {
namespace {

TEST(IgcLogNames, GeneratedForTheCommandLine) {
    struct Case {
        IgcNameKind kind;
        CalendarTime date;
        const char* serial;
        int flight;
        const char* name;
    };
    const Case cases[] = {
        {IgcNameKind::kEncodedLog,
         {2014, 5, 17, 10, 0, 0, 0},
         "000",
         1,
         "2014-05-17-xtr-000-01.igc"},
        {IgcNameKind::kEncodedLog,
         {2014, 5, 17, 10, 0, 0, 0},
         "000",
         2,
         "2014-05-17-xtr-000-02.igc"},
        {IgcNameKind::kRawLog, {2009, 1, 2, 0, 0, 0, 0}, "A7K", 35, "2009-01-02-xxx-A7K-35.igc"},
        {IgcNameKind::kRawLog, {2014, 12, 31, 0, 0, 0, 0}, "123", 10, "2014-12-31-xxx-123-10.igc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IgcLogName(c.kind, c.date, c.serial, c.flight), c.name);
    }
    EXPECT_EQ(kMaxFlightNumber, 35);
}

TEST(IgcLogNames, PathLength) {
    const CalendarTime may17{2014, 5, 17, 10, 0, 0, 0};
    std::string path;
    ASSERT_EQ(IgcLogPath(R"(c:\logs\)", IgcNameKind::kEncodedLog, may17, "000", 1, path), 0);
    EXPECT_EQ(path, R"(c:\logs\2014-05-17-xtr-000-01.igc)");
    // The generated name has 25 characters; a path of 260 or more is refused.
    const std::string fits(234, 'd');
    ASSERT_EQ(IgcLogPath(fits, IgcNameKind::kRawLog, may17, "ABC", 3, path), 0);
    EXPECT_EQ(path.size(), 259u);
    EXPECT_EQ(path, fits + "2014-05-17-xxx-ABC-03.igc");
    std::string untouched = "untouched";
    EXPECT_EQ(IgcLogPath(std::string(235, 'd'), IgcNameKind::kRawLog, may17, "ABC", 3, untouched),
              -1);
    EXPECT_EQ(untouched, "untouched");
}

}  // namespace
}  // namespace tracora::igc
