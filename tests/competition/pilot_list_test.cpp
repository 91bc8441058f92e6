#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "competition/pilot_list_file.hpp"
#include "competition/pilot_list_reader.hpp"
#include "core/null_host.hpp"
#include "core/pilot_list.hpp"

namespace tracora::competition {
namespace {

std::string Fixture(const std::string& name) {
    std::ifstream in(std::string(TRACORA_FIXTURES_DIR) + "/pilot_lists/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

PilotEntry Pilot(std::string name, int competitionId, int civlId,
                 std::array<std::string, kDeviceSlots> devices = {}) {
    PilotEntry pilot;
    pilot.name = std::move(name);
    pilot.competitionId = competitionId;
    pilot.civlId = civlId;
    pilot.devices = std::move(devices);
    return pilot;
}

TEST(PilotListReader, ReadsTheParticipantsOfAnFsDatabase) {
    PilotListRead read;
    ASSERT_EQ(ReadPilotListText(Fixture("open_2024.fsdb"), read), 5) << read.message;
    EXPECT_EQ(read.kind, PilotListKind::kFsDatabase);
    const std::vector<PilotEntry> expected = {
        Pilot("Smith, John", 12, 4711),
        // No CIVLID of its own: the FsCivlPilot element's id.
        Pilot("Ann-Kathrin M\xC3\xBCller & Co", 13, 12345),
        // Neither id nor CIVL ID: both none, and the pilot is taken.
        Pilot("Jos\xC3\xA9 Ortiz", -1, -1),
        Pilot("Lee <Wing>", 15, 777),
        Pilot("No Civl", 16, -1),
    };
    EXPECT_EQ(read.pilots, expected);
}

TEST(PilotListReader, ReadsTheFsDatabaseWithoutItsByteOrderMark) {
    const std::string text = Fixture("open_2024.fsdb").substr(3);
    PilotListRead read;
    EXPECT_EQ(ReadPilotListText(text, read), 5) << read.message;
}

TEST(PilotListReader, ReadsThePilotsOfARaceDatabase) {
    PilotListRead read;
    ASSERT_EQ(ReadPilotListText(Fixture("race_export.xml"), read), 3) << read.message;
    EXPECT_EQ(read.kind, PilotListKind::kRaceDatabase);
    const std::vector<PilotEntry> expected = {
        Pilot("Maria Rossi", 101, 23456),
        // Only a last name: no leading blank.
        Pilot("Okafor", 102, -1),
        Pilot("Yui Nakamura", -1, 34567),
    };
    EXPECT_EQ(read.pilots, expected);
}

TEST(PilotListReader, ReadsCommaSeparatedText) {
    PilotListRead read;
    ASSERT_EQ(ReadPilotListText(Fixture("roster.csv"), read), 4) << read.message;
    EXPECT_EQ(read.kind, PilotListKind::kCsv);
    const std::vector<PilotEntry> expected = {
        Pilot("Smith, John", 12, 4711, {"FLYTEC 6030 #1234", "", "", ""}),
        // An empty competition ID field and 17 in the CIVL ID field.
        Pilot("Anna Berg", -1, 17),
        // A negative ID is none; the seventh field keeps the rest of the line.
        Pilot("Lee", -1, 8, {"dev1", "dev2", "dev3", "dev,4,extra"}),
        Pilot("Quote \"Q\" Man", -1, -1),
    };
    EXPECT_EQ(read.pilots, expected);
}

std::string FsDocument(const std::string& participants, const std::string& tail = "") {
    return "<?xml version=\"1.0\"?>\r\n<Fs><FsParticipants>" + participants + "</FsParticipants>" +
           tail + "</Fs>\r\n";
}

// `levels` elements open at once: the root and levels - 1 nested below it.
std::string Nested(int levels) {
    std::string open, close;
    for (int i = 1; i < levels; ++i) {
        open += "<x>";
        close += "</x>";
    }
    return FsDocument("<FsParticipant name=\"A\"/>", open + close);
}

struct BadList {
    const char* what;
    std::string text;
    std::string message;
};

TEST(PilotListReader, RefusesBadListsWithTheirMessage) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::vector<BadList> cases = {
        {"stray bytes before the declaration", "xy" + FsDocument("<FsParticipant name=\"A\"/>"),
         "Unknown BOM before opening tag '<?xml>'"},
        {"stray bytes before RACE", "\xEF\xBB<RACE><tblPilot pilLastName=\"A\"/></RACE>",
         "Unknown BOM before opening tag '<RACE>'"},
        {"another first tag", bom + "<Fs></Fs>", "Missing opening tag '<?xml>'"},
        {"20 levels", Nested(20), "Nesting limit exceeded at tag <x>"},
        {"no attributes", FsDocument("<FsParticipant></FsParticipant>"),
         "Missing data for pilot 1 in list"},
        {"no name", FsDocument("<FsParticipant name=\"A\"/><FsParticipant id=\"3\"/>"),
         "Missing name for pilot 2 in list"},
        {"empty name", FsDocument("<FsParticipant name=\"\" id=\"3\"/>"),
         "Missing name for pilot 1 in list"},
        {"negative id", FsDocument("<FsParticipant name=\"A\" id=\"-2\"/>"),
         "Bad/missing comp. ID for pilot 1 in list"},
        {"id not a number", FsDocument("<FsParticipant name=\"A\" id=\"12a\"/>"),
         "Bad/missing comp. ID for pilot 1 in list"},
        {"bad CIVLID", FsDocument("<FsParticipant name=\"A\" CIVLID=\"x\"/>"),
         "Bad CIVL ID for pilot 1 in list"},
        {"bad FsCivlPilot id",
         FsDocument("<FsParticipant name=\"A\"><FsCivlPilot id=\"-1\"/></FsParticipant>"),
         "Bad CIVL ID for pilot 1 in list"},
        {"no participant", FsDocument(""), "No pilots found"},
        {"mismatched tags", "<?xml version=\"1.0\"?><Fs><FsParticipants></Fs>",
         "Tag <FsParticipants> is terminated by </Fs>"},
        {"closing at root", "<?xml version=\"1.0\"?></Fs>",
         "Terminating tag </Fs> encountered at root level"},
        {"open at the end", "<?xml version=\"1.0\"?><Fs><FsParticipants>",
         "Nesting level not zero at end-of-file"},
        {"inside a tag at the end", "<?xml version=\"1.0\"?><Fs><FsPart",
         "End-of-file encountered within a tag"},
        {"data after the last tag", FsDocument("<FsParticipant name=\"A\"/>") + "tail",
         "Data found after last tag"},
        {"data before a tag", "<?xml version=\"1.0\"?><Fs>text<FsParticipants/></Fs>",
         "Data found before tag <FsParticipants>"},
        {"RACE first name too long",
         "<RACE><tblPilot pilFirstName=\"" + std::string(81, 'a') + "\" pilLastName=\"B\"/></RACE>",
         "Name too long for pilot 1 in list"},
        {"RACE without a name", "<RACE><tblPilot pilNumber=\"4\"/></RACE>",
         "Missing name for pilot 1 in list"},
        {"RACE bad number", "<RACE><tblPilot pilLastName=\"B\" pilNumber=\"-4\"/></RACE>",
         "Bad/missing pilot ID for pilot 1 in list"},
        {"RACE bad CIVL ID", "<RACE><tblPilot pilLastName=\"B\" pilIDGlobal=\"1e3\"/></RACE>",
         "Bad/missing CIVL ID for pilot 1 in list"},
        {"CSV header only", "Name,CompId,CivlId\r\n", "No pilots found"},
        {"CSV bad comp ID", "A,1x,2\n", "Bad CompId number"},
        {"CSV bad CIVL ID", "A,1,--2\n", "Bad CivlId number"},
        {"CSV ID beyond 32 bits", "A,99999999999,2\n", "Bad CompId number"},
    };
    for (const BadList& c : cases) {
        PilotListRead read;
        EXPECT_EQ(ReadPilotListText(c.text, read), -1) << c.what;
        EXPECT_EQ(read.message, c.message) << c.what;
        EXPECT_EQ(read.title, kDecodingPilotListTitle) << c.what;
        EXPECT_TRUE(read.pilots.empty()) << c.what;
    }
}

TEST(PilotListReader, AcceptsNineteenLevels) {
    PilotListRead read;
    EXPECT_EQ(ReadPilotListText(Nested(19), read), 1) << read.message;
}

TEST(PilotListReader, CutsNamesToEightyCharacters) {
    std::string name;
    for (int i = 0; i < 85; ++i) {
        name += "\xC3\xA9";  // two bytes, one character
    }
    PilotListRead read;
    ASSERT_EQ(ReadPilotListText(FsDocument("<FsParticipant name=\"" + name + "\"/>"), read), 1);
    EXPECT_EQ(read.pilots[0].name, name.substr(0, 160));
}

TEST(PilotListCsv, ExportThenImportGivesTheSamePilots) {
    const std::vector<PilotEntry> pilots = {
        Pilot("Smith, John", 12, 4711, {"FLYTEC 6030 #1234", "", "dev 3", ""}),
        Pilot("Quote \"Q\" Man", -1, 17),
        Pilot("  Two  Blanks ", 3, -1, {"a,b", "c\"d", "e", "f"}),
        Pilot("M\xC3\xBCller", 0, 0),
    };
    const std::string text = PilotListCsvText(pilots);
    EXPECT_TRUE(text.starts_with("Name,CompId,CivlId,Device1,Device2,Device3,Device4\r\n"));
    EXPECT_NE(text.find("\r\n\"Smith, John\",12,4711,FLYTEC 6030 #1234,,dev 3,\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\nM\xC3\xBCller,0,0,,,,\r\n"), std::string::npos) << text;
    PilotListRead read;
    ASSERT_EQ(ReadPilotListText(text, read), 4) << read.message;
    EXPECT_EQ(read.pilots, pilots);
}

TEST(AssignDeviceToPilot, FillsTheFirstEmptySlotOnce) {
    PilotList list;
    list.pilots = {Pilot("A", 1, 1, {"", "x", "", ""}), Pilot("B", 2, 2),
                   Pilot("C", 3, 3, {"1", "2", "3", "4"})};
    EXPECT_TRUE(AssignDeviceToPilot(list, "A", "dev"));
    EXPECT_EQ(list.pilots[0].devices, (std::array<std::string, 4>{"dev", "x", "", ""}));
    // Known already: nothing changes.
    EXPECT_FALSE(AssignDeviceToPilot(list, "A", "x"));
    EXPECT_FALSE(AssignDeviceToPilot(list, "A", "dev"));
    EXPECT_EQ(list.pilots[0].devices, (std::array<std::string, 4>{"dev", "x", "", ""}));
    // All four taken, unknown pilot, no device: nothing.
    EXPECT_FALSE(AssignDeviceToPilot(list, "C", "5"));
    EXPECT_FALSE(AssignDeviceToPilot(list, "Z", "5"));
    EXPECT_FALSE(AssignDeviceToPilot(list, "B", ""));
    // A long identification is cut to 50 bytes.
    EXPECT_TRUE(AssignDeviceToPilot(list, "B", std::string(60, 'd')));
    EXPECT_EQ(list.pilots[1].devices[0], std::string(50, 'd'));
}

TEST(PilotListFile, AFailedReadKeepsTheOldList) {
    const std::filesystem::path dir =
        std::filesystem::path(testing::TempDir()) / "pilot_list_file_test";
    std::filesystem::create_directories(dir);
    const std::filesystem::path bad = dir / "bad.csv";
    std::ofstream(bad) << "A,x\n";
    PilotList list;
    list.pilots = {Pilot("Old", 1, 2)};
    NullHost host;
    EXPECT_EQ(ReadPilotListFile(host, bad.string(), list, {}), -1);
    EXPECT_EQ(ReadPilotListFile(host, (dir / "absent.csv").string(), list, {}), -1);
    ASSERT_EQ(list.pilots.size(), 1u);
    EXPECT_EQ(list.pilots[0].name, "Old");
    EXPECT_EQ(
        ReadPilotListFile(host, std::string(TRACORA_FIXTURES_DIR) + "/pilot_lists/race_export.xml",
                          list, {}),
        3);
    EXPECT_EQ(list.pilots[0].name, "Maria Rossi");
}

}  // namespace
}  // namespace tracora::competition
