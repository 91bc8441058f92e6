// tracora-cli verify and convert as a user runs them: exit status and messages.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/file_io.hpp"
#include "core/test_files.hpp"
#include "formats/formats_support.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::testing {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { folder = FreshTestFolder("tracora-cli-igc"); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    CliRun Cli(const std::string& arguments) {
        const std::string command = std::string(TRACORA_CLI) + " " + arguments + " >" +
                                    (folder / "out").string() + " 2>" + (folder / "err").string();
        const int raw = std::system(command.c_str());
        CliRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadFixture(folder / "out");
        run.err = ReadFixture(folder / "err");
        return run;
    }

    std::filesystem::path folder;
};

TEST_F(CliTest, ConvertThenVerify) {
    const std::string in = FixturePath("igc/midnight-rollover.igc").string();
    const std::string out = (folder / "copy.igc").string();
    CliRun run = Cli("convert " + in + " " + out);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string first = ReadFixture(out);
    EXPECT_NE(first.find("B0000014612347N00712347EA0100201052\r\n"), std::string::npos);

    // A converted file is not from an instrument: no security record.
    run = Cli("verify " + out);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No security record"), std::string::npos);

    // An existing output is kept unless --force is given.
    run = Cli("convert " + FixturePath("igc/marcourt.igc").string() + " " + out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFixture(out), first);
    run = Cli("convert --force " + FixturePath("igc/marcourt.igc").string() + " " + out);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(ReadFixture(out), first);
}

// A KML document's keyed hash: a signed trip document passes, one changed digit or an
// unsigned document fails.
TEST_F(CliTest, VerifyKmlDocuments) {
    kml::TripAnalysis trip;
    for (std::uint32_t i = 0; i < 12; ++i) {
        TrackPoint p;
        p.time = 1'000'000'000u + i * 3;
        p.latitude = 554766609 + static_cast<std::int32_t>(i) * 4000;
        p.longitude = 89478485 - static_cast<std::int32_t>(i) * 3000;
        p.gpsAltitude = 15000 + static_cast<std::int32_t>(i) * 7;
        trip.points.push_back(p);
    }
    trip.firstTime = trip.points.front().time;
    trip.lastTime = trip.points.back().time;
    trip.hashWanted = true;
    trip.timesAreUtc = true;
    kml::KmlOutput out;
    std::string message;
    ASSERT_EQ(kml::WriteTripDocument(out, trip, "Flytec 6030", message), 0);
    const std::string good = out.Take();
    const std::string path = (folder / "trip.kml").string();
    std::ofstream(path, std::ios::binary) << good;
    CliRun run = Cli("verify " + path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "12 positions read (Signature ok)\n");

    std::string tampered = good;
    const std::size_t coordinates = tampered.find("<coordinates>", tampered.find("</FsInfo>"));
    const std::size_t digit = tampered.find(',', coordinates) - 1;
    tampered[digit] = tampered[digit] == '1' ? '2' : '1';
    // Also when the name does not say KML.
    const std::string other = (folder / "trip.txt").string();
    std::ofstream(other, std::ios::binary) << tampered;
    run = Cli("verify " + other);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("trip.txt: 12 positions read (NO valid signature)"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("trip.txt: KML check FAILED"), std::string::npos);

    std::ofstream(path, std::ios::binary) << "<?xml version=\"1.0\"?><Document/>";
    run = Cli("verify " + path);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No track log found"), std::string::npos) << run.err;
}

TEST_F(CliTest, Failures) {
    struct Case {
        std::string arguments;
        int status;
        std::string err;
    };
    const std::string broken = (folder / "broken.igc").string();
    std::ofstream(broken) << "AXTR\r\nB1200004612345N00712345EA0100001050\r\n";
    const Case cases[] = {
        {"verify", 2, "verify needs FILE.igc"},
        {"verify " + FixturePath("igc/marcourt.igc").string(), 1, "Security check FAILED"},
        {"verify " + (folder / "absent.igc").string(), 1, "cannot read"},
        {"convert " + broken + " " + (folder / "x.igc").string(), 1, "Missing date line"},
        {"convert " + broken + " " + (folder / "x.kml").string(), 1, "Missing date line"},
        {"convert " + broken + " " + (folder / "x.gpx").string(), 1, "Missing date line"},
        {"convert " + broken + " " + (folder / "x.nope").string(), 2,
         "the extension names no format; give --to NAME"},
        {"convert " + broken, 2, "convert needs IN and OUT"},
    };
    for (const Case& c : cases) {
        const CliRun run = Cli(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.arguments << ": " << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "x.igc"));
    EXPECT_FALSE(std::filesystem::exists(folder / "x.kml"));
    EXPECT_FALSE(std::filesystem::exists(folder / "x.gpx"));
}

TEST_F(CliTest, ConvertToKmlWritesTheTripDocument) {
    const std::string in = FixturePath("igc/marcourt.igc").string();
    const std::string out = (folder / "flight.kml").string();
    const CliRun run = Cli("convert " + in + " " + out);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string kml = ReadFixture(out);
    EXPECT_TRUE(kml.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>"));
    EXPECT_NE(kml.find("<name>Trip</name>"), std::string::npos);
    // A file of unknown origin: times without "Z", no hash, pressure altitudes kept.
    EXPECT_NE(kml.find("<FsInfo time_of_first_point=\"2021-03-06T10:34:11\""), std::string::npos);
    EXPECT_EQ(kml.find("hash="), std::string::npos);
    EXPECT_NE(kml.find("<PressureAltitude>"), std::string::npos);
    EXPECT_TRUE(kml.ends_with("</Document>\r\n"));
}

TEST_F(CliTest, FormatsListsTheRegistry) {
    const CliRun run = Cli("formats");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out,
        "ID            NAME                    EXTENSIONS    HOLDS                      "
        "DIRECTIONS\n"
        "igc           IGC files               .igc          track                      "
        "read,write\n"
        "kml           KML files               .kml          track,waypoints            "
        "read,write\n"
        "gpx           GPX files               .gpx          track,waypoints            "
        "read,write\n"
        "ozi-track     OziExplorer track files .plt          track                      "
        "read,write\n"
        "csv           CSV files               .csv          track                      "
        "read,write\n"
        "mapsource     MapSource files         .mps          track,waypoints            "
        "read,write\n"
        "magellan      Magellan track files    .log          track                      read\n"
        "openair       OpenAir files           .txt,.openair airspace                   "
        "read,write\n"
        "ozi-waypoints Ozi files               .wpt          waypoints                  "
        "read,write\n"
        "utm-waypoints UTM files               .wpt          waypoints                  "
        "read,write\n"
        "geo-waypoints Geographical files      .wpt          waypoints                  "
        "read,write\n"
        "seeyou        SeeYou files            .cup          waypoints                  "
        "read,write\n"
        "winpilot      WinPilot files          .dat          waypoints                  "
        "read,write\n"
        "compegps      CompeGPS files          .wpt          waypoints                  "
        "read,write\n"
        "dat           Position log files      .dat          track                      read\n"
        "tnlog         Top Navigator log files .tnl          track                      "
        "read\n");
    EXPECT_EQ(Cli("formats igc").status, 2);
}

// The formats come from the extensions, or from --from and --to where those do not say.
TEST_F(CliTest, ConvertChoosesFormatsByExtensionOrName) {
    const std::string igc = FixturePath("igc/marcourt.igc").string();
    const std::string dat = (folder / "flight.xyz").string();
    std::filesystem::copy_file(igc, dat);
    struct Case {
        std::string arguments;  // OUT is appended
        std::string outName;
        int status;
        std::string err;         // a part of stderr
        std::string startsWith;  // the written file's first bytes; empty: none written
    };
    const std::string kXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>";
    const Case cases[] = {
        {igc, "a.kml", 0, "221 positions written", kXml},
        {igc, "b.IGC", 0, "221 positions written", "AXTR"},
        {"--to kml " + igc, "c.txt", 0, "", kXml},
        {"--to IGC " + igc, "d", 0, "", "AXTR"},
        {"--from igc " + dat, "e.kml", 0, "", kXml},
        {"--from igc --to kml " + dat, "f.out", 0, "", kXml},
        {dat, "g.kml", 2, "flight.xyz: the extension names no format; give --from NAME", ""},
        {igc, "h.nope", 2, "h.nope: the extension names no format; give --to NAME", ""},
        {"--from gpz " + dat, "i.kml", 2, "unknown format 'gpz' ('tracora-cli formats'", ""},
        {"--from gpx " + dat, "i.kml", 1, "flight.xyz: No tags found", ""},
        {"--to nothing " + igc, "j.kml", 2, "unknown format 'nothing'", ""},
        {igc + " --to", "", 2, "--to needs a format NAME", ""},
        {"--from kml " + igc, "k.igc", 1, "marcourt.igc: No tags found", ""},
        {"--to kml --from kml " + igc, "l.kml", 1, "marcourt.igc: No tags found", ""},
    };
    for (const Case& c : cases) {
        const std::string target = c.outName.empty() ? "" : (folder / c.outName).string();
        const CliRun run = Cli("convert " + c.arguments + (target.empty() ? "" : " " + target));
        EXPECT_EQ(run.status, c.status) << c.arguments << ": " << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.arguments << ": " << run.err;
        if (target.empty()) {
            continue;
        }
        if (c.startsWith.empty()) {
            EXPECT_FALSE(std::filesystem::exists(target)) << c.arguments;
        } else {
            EXPECT_TRUE(ReadFixture(target).starts_with(c.startsWith)) << c.arguments;
        }
    }
    // The same document whichever way the format was named.
    EXPECT_EQ(ReadFixture(folder / "c.txt"), ReadFixture(folder / "a.kml"));
    EXPECT_EQ(ReadFixture(folder / "f.out"), ReadFixture(folder / "e.kml"));
}

// convert never writes over its input: not by its name, a symbolic link or a hard link, and
// not with --force either.
TEST_F(CliTest, ConvertRefusesToWriteOverItsInput) {
    const std::filesystem::path in = folder / "flight.igc";
    std::filesystem::copy_file(FixturePath("igc/marcourt.igc"), in);
    const std::string original = ReadFixture(in);
    std::filesystem::create_symlink(in, folder / "link.igc");
    std::filesystem::create_hard_link(in, folder / "hard.igc");
    for (const char* name : {"flight.igc", "link.igc", "hard.igc"}) {
        for (const char* force : {"", "--force "}) {
            const CliRun run =
                Cli(std::string("convert ") + force + in.string() + " " + (folder / name).string());
            EXPECT_EQ(run.status, 1) << name << force;
            EXPECT_NE(run.err.find("convert never writes over its input"), std::string::npos)
                << run.err;
            EXPECT_EQ(ReadFixture(in), original) << name << force;
        }
    }
}

// Something that is not a flight log says what it is instead, and a file far larger than
// any flight is refused before it is read.
TEST_F(CliTest, InputsThatAreNotFlightLogsAreNamed) {
    const std::filesystem::path fifo = folder / "pipe.igc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::filesystem::path huge = folder / "huge.igc";
    { std::ofstream(huge) << "AXTR\r\n"; }
    std::filesystem::resize_file(huge, std::uintmax_t{65} * 1024 * 1024);  // sparse
    const struct {
        std::filesystem::path path;
        std::string err;
    } cases[] = {
        {fifo, "not a regular file (a pipe, a device or a socket)"},
        {folder, "this is a folder, not a file"},
        {huge, "the file is larger than 64 MiB, far beyond any flight log"},
    };
    for (const auto& c : cases) {
        for (const std::string command : {"analyse ", "verify "}) {
            const CliRun run = Cli(command + c.path.string());
            EXPECT_EQ(run.status, 1) << command << c.path;
            EXPECT_NE(run.err.find(c.path.string() + ": " + c.err), std::string::npos) << run.err;
        }
    }
}

// Times that go backwards are removed before the figures, and the report says how many.
TEST_F(CliTest, AnalyseRemovesPositionsGoingBackInTime) {
    // A minute of fixes a second apart, then 2 fixes from a minute earlier, then 2 more.
    std::string text = "AXYZ123\r\nHFDTE050714\r\n";
    const auto fix = [&text](int second, int latitude) {
        char line[64];
        std::snprintf(line, sizeof line, "B12%02d%02d46%05dN00712345EA0100001050\r\n", second / 60,
                      second % 60, latitude);
        text += line;
    };
    for (int s = 0; s < 60; ++s) {
        fix(60 + s, 12345 + 10 * s);
    }
    fix(10, 30000);
    fix(11, 30010);
    fix(120, 12945);
    fix(121, 12955);
    const std::filesystem::path in = folder / "back.igc";
    std::ofstream(in) << text;
    const std::string warning =
        "2 position(s) going backwards in time removed (the first at pos. 61)";
    CliRun run = Cli("analyse --no-filter " + in.string());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(warning), std::string::npos) << run.out;
    run = Cli("analyse --json --no-filter " + in.string());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"warnings\": [\"" + warning + "\"]"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"points_read\": 64, \"points\": 62"), std::string::npos) << run.out;
}

// --exact adds the proven optimum with its proof to both forms; without it the report is the
// same as before, and the exact results never fall below the two-stage ones.
TEST_F(CliTest, AnalyseExactAddsTheProvenOptimum) {
    const std::string flight =
        (std::filesystem::path(TRACORA_FIXTURES_DIR) / "igc/marcourt.igc").string();
    const CliRun plain = Cli("analyse --json --no-filter " + flight);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.find("exact"), std::string::npos) << plain.out;
    const CliRun exact = Cli("analyse --json --no-filter --exact " + flight);
    ASSERT_EQ(exact.status, 0) << exact.err;
    // The two-stage part of the report is unchanged.
    EXPECT_EQ(exact.out.substr(0, plain.out.size() - 2), plain.out.substr(0, plain.out.size() - 2));
    for (const char* kind : {"\"five\": {", "\"flat\": {", "\"fai\": {"}) {
        const std::size_t at =
            exact.out.find(kind, exact.out.find("\"exact\": {\"rules\": \"trip\""));
        ASSERT_NE(at, std::string::npos) << kind << exact.out;
        EXPECT_NE(exact.out.find("\"optimal\": true, \"halted\": false", at), std::string::npos)
            << exact.out;
    }
    const CliRun text = Cli("analyse --no-filter --exact-rules olc " + flight);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("Exact optimum (OLC rules)\n5 points "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("(optimal, "), std::string::npos) << text.out;
    EXPECT_EQ(Cli("analyse --exact-rules fai " + flight).status, 2);
}

// IGC to IGC keeps what the source holds: the header values in the written header, the A
// record and the L records as L records; it claims no download and no security record.
TEST_F(CliTest, IgcToIgcKeepsHeadersAndLRecords) {
    const std::filesystem::path in = folder / "source.igc";
    std::ofstream(in) << "AXSX004 SKYTRAXX\r\nHFDTE060321\r\nHFPLTPILOT:Ludovic Reenaers\r\n"
                         "HFGTYGLIDERTYPE:Alpha 7\r\nHFGIDGLIDERID:D-1234\r\n"
                         "HFCIDCOMPETITIONID:42\r\nHFCCLCOMPETITIONCLASS:Sport\r\n"
                         "HFSITSITE:Marcourt\r\n"
                         "B1034114612345N00712345EA0100001050\r\n"
                         "B1034124612346N00712346EA0100101051\r\n"
                         "LXSX;S1;X0:50.21593,5.51662\r\n"
                         "GC2BBC4BDCF339F17FB7C0F5AF20AAB23\r\n";
    const std::filesystem::path out = folder / "copy.igc";
    const CliRun run = Cli("convert " + in.string() + " " + out.string());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string text = ReadFixture(out);
    for (const char* kept :
         {"HOPLTPILOT: Ludovic Reenaers\r\n", "HOGTYGLIDERTYPE: Alpha 7\r\n",
          "HOGIDGLIDERID: D-1234\r\n", "HOCIDCOMPETITIONID: 42\r\n",
          "HOCCLCOMPETITION CLASS: Sport\r\n", "HOSITSite: Marcourt\r\n",
          "\nLXTR Source A record: AXSX004 SKYTRAXX\r\n", "\nLXSX;S1;X0:50.21593,5.51662\r\n",
          "\nLXTR Converted from a file, not downloaded", "B1034124612346N00712346EA0100101051"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;
    }
    EXPECT_EQ(text.find("Downloaded"), std::string::npos) << text;
    EXPECT_EQ(text.find("\nG"), std::string::npos) << text;
}

// The online-contest scoring from the command line: too few positions, the pilot's values
// checked before the search, no file replaced without --force.
TEST_F(CliTest, OlcRefusesWhatItCannotScoreOrWrite) {
    // Fixes 10 s apart, 1,000 m north each (0.539957 minutes of latitude), no pilot headers.
    std::string text = "AXXXABC\r\nHFDTE060321\r\n";
    const char* const fixes[] = {
        "B1000004600000N00700000EA0130001416", "B1000104600540N00700000EA0130001416",
        "B1000204601080N00700000EA0130001416", "B1000304601620N00700000EA0130001416",
        "B1000404602160N00700000EA0130001416"};
    const std::string four = (folder / "four.igc").string();
    ASSERT_EQ(ReplaceFileAtomically(four, text + fixes[0] + "\r\n" + fixes[1] + "\r\n" + fixes[2] +
                                              "\r\n" + fixes[3] + "\r\n"),
              0);
    CliRun run = Cli("olc " + four);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Number of positions must be 5 or more"), std::string::npos) << run.err;

    for (const char* fix : fixes) {
        text += std::string(fix) + "\r\n";
    }
    const std::string flight = (folder / "five.igc").string();
    ASSERT_EQ(ReplaceFileAtomically(flight, text), 0);
    const std::string olc = (folder / "flight.olc").string();
    run = Cli("olc " + flight + " --olc " + olc + " --first Anna --birth 4.7.81 --class 3" +
              " --glider G --site S");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("User information input: Missing last name"), std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(olc));

    const std::string pilot =
        " --first Anna --last Rossi --birth 4.7.81 --class 3 --glider G --site S --flight 7";
    run = Cli("olc " + flight + " --olc " + olc + pilot);
    EXPECT_EQ(run.status, 0) << run.err;
    // 2021-03-06 is day 153,466 from 1601-01-01; the free distance runs from the first fix to
    // the last: 10:00:00 to 10:00:40.
    const std::string written = ReadFixture(olc);
    EXPECT_TRUE(
        written.starts_with("OLCvnolc=Anna&na=Rossi&geb=04.07.81&gty=G&sta=S&region=&gid="
                            "&klasse=3&igcfn=2021-03-06-XXX-ABC-07.igc&flugzeug=1"
                            "&ft=153466&s0=10%3A00%3A00&w0bh=N&w0bg=46&w0bm=00&w0bmd=000"))
        << written;
    EXPECT_NE(written.find("&s4=10%3A00%3A40&software=Tracora"), std::string::npos) << written;
    EXPECT_TRUE(written.ends_with("\r\n"));
    run = Cli("olc " + flight + " --olc " + olc + pilot);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("File already exists"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFixture(olc), written);
}

// With --exact the proven optimum over every fix follows the two-stage results, and the best
// result follows it; without, the output has no exact part.
TEST_F(CliTest, OlcExactAddsTheProvenOptimum) {
    const std::string flight = FixturePath("real/igc/d3p.igc").string();
    CliRun run = Cli("olc " + flight + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("\"exact\""), std::string::npos);
    run = Cli("olc " + flight + " --json --exact");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::size_t exact = run.out.find("\"exact\": {\"rules\": \"olc\"");
    ASSERT_NE(exact, std::string::npos) << run.out;
    std::size_t optimal = 0;
    for (std::size_t at = exact; (at = run.out.find("\"optimal\": true", at)) != std::string::npos;
         ++at) {
        ++optimal;
    }
    EXPECT_EQ(optimal, 3u) << run.out;
    EXPECT_NE(run.out.find("\"best\": {\"kind\": \"free distance\""), std::string::npos);
}

// A file without one airspace (another format, a wrong file) is not read as an empty list.
TEST_F(CliTest, AirspaceFileWithoutAnAirspaceFails) {
    const std::string json = FixturePath("real/openair/arc-cw-result.json").string();
    const CliRun run = Cli("airspace " + json);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No CTR found"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tracora::testing

namespace tracora::testing {
namespace {

// The optional CSV columns from the command line; an unknown column is a usage error.
TEST_F(CliTest, ConvertWritesTheCsvColumnsAsked) {
    const std::string igc = FixturePath("igc/marcourt.igc").string();
    const std::string csv = (folder / "c.csv").string();
    const CliRun run = Cli("convert --csv-columns reltime,bearing400,vario " + igc + " " + csv);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(ReadFixture(csv).starts_with(
        "Date/time,Latitude,Longitude,H-GPS,H-Baro,RelTime,Bearing,Vario\r\n"
        "2021-03-06T10:34:11Z,50.215900,5.516500,331,161,0:00:00,0,0.0\r\n"));
    const CliRun bad = Cli("convert --csv-columns reltime,colour " + igc + " " + csv + "2");
    EXPECT_EQ(bad.status, 2);
    EXPECT_FALSE(std::filesystem::exists(csv + "2"));
    // The vario over 3 positions: a climb of 30 m in one second shows as 10 m/s at it and at
    // the two positions after it.
    const std::string steps = (folder / "steps.csv").string();
    {
        std::ofstream out(steps, std::ios::binary);
        out << "Date/time,Latitude,Longitude,H-GPS\n";
        for (int i = 0; i < 7; ++i) {
            out << "2024-06-01T10:00:0" << i << "Z,46.5,7.25," << (i < 3 ? 1000 : 1030) << "\n";
        }
    }
    const std::string varios = (folder / "v.csv").string();
    const CliRun spans = Cli("convert --csv-columns vario=3 " + steps + " " + varios);
    ASSERT_EQ(spans.status, 0) << spans.err;
    std::vector<std::string> column;
    std::istringstream lines(ReadFixture(varios));
    for (std::string line; std::getline(lines, line);) {
        column.push_back(line.substr(line.rfind(',') + 1));
    }
    EXPECT_EQ(column, (std::vector<std::string>{"Vario\r", "0.0\r", "0.0\r", "0.0\r", "10.0\r",
                                                "10.0\r", "10.0\r", "0.0\r"}));
    for (const char* list : {"vario=0", "vario=3601", "speed=x", "reltime=2", "bearing="}) {
        SCOPED_TRACE(list);
        EXPECT_EQ(Cli(std::string("convert --csv-columns ") + list + " " + steps + " " + csv + "3")
                      .status,
                  2);
    }
    EXPECT_FALSE(std::filesystem::exists(csv + "3"));
}

}  // namespace
}  // namespace tracora::testing
