// The window's track log files: "Set .csv parameters", "Save log as..." in every format that
// writes tracks, "Open log..." of every format that reads them, and the "Select track" dialog.
// Where gpsbabel is installed, it reads what the window wrote.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "app_test_support.hpp"
#include "core/file_io.hpp"
#include "formats/kml/kml_reader.hpp"

namespace tracora::app {
namespace {

namespace fs = std::filesystem;
using test_support::Message;
using test_support::WindowTest;

std::int32_t Semicircles(double degrees) {
    return static_cast<std::int32_t>(std::llround(degrees * 2147483648.0 / 180.0));
}

double Degrees(std::int32_t semicircles) {
    return semicircles * 180.0 / 2147483648.0;
}

std::vector<std::string> Split(const std::string& line, char separator = ',') {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator)) {
        fields.push_back(field);
    }
    if (!line.empty() && line.back() == separator) {
        fields.emplace_back();
    }
    return fields;
}

// The lines of a CR LF text, without their ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// "hh:mm:ss" (and a fraction, dropped) as seconds of the day.
int Seconds(const std::string& time) {
    return std::stoi(time.substr(0, 2)) * 3600 + std::stoi(time.substr(3, 2)) * 60 +
           std::stoi(time.substr(6, 2));
}

bool HaveGpsbabel() {
    return std::system("command -v gpsbabel >/dev/null 2>&1") == 0;
}

// gpsbabel's reading of a file as CSV rows keyed by its column names (times in UTC).
std::vector<std::map<std::string, std::string>> GpsbabelRows(const std::string& format,
                                                             const fs::path& path,
                                                             const std::string& filter = "") {
    const std::string command = "TZ=UTC gpsbabel -t -i " + format + " -f '" + path.string() + "' " +
                                filter + " -o unicsv,utc=0 -F - 2>/dev/null";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    std::vector<std::map<std::string, std::string>> rows;
    const std::vector<std::string> lines = Lines(out);
    if (lines.empty()) {
        return rows;
    }
    const std::vector<std::string> names = Split(lines[0]);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = Split(lines[i]);
        std::map<std::string, std::string> row;
        for (std::size_t k = 0; k < names.size() && k < fields.size(); ++k) {
            row[names[k]] = fields[k];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

class TrackFilesTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        folder = fs::path(TRACORA_SCREENSHOT_DIR).parent_path() / "track_files";
        fs::remove_all(folder);
        fs::create_directories(folder);
    }

    // The 1-based index of the dialog's type named `name`.
    static int FilterIndex(const FileDialogRequest& request, const std::string& name) {
        for (std::size_t i = 0; i < request.filters.size(); ++i) {
            if (request.filters[i].name == name) {
                return static_cast<int>(i) + 1;
            }
        }
        ADD_FAILURE() << "no type " << name;
        return 1;
    }

    // "Save log as..." answered with `name` in `folder` and the type named `type`.
    void SaveAs(const std::string& name, const std::string& type) {
        host.saveDialogHook = [this, name, type](const FileDialogRequest& request) {
            lastSaveRequest = request;
            return std::optional<FileDialogResult>(
                FileDialogResult{folder / name, FilterIndex(request, type)});
        };
        EXPECT_TRUE(window->RunCommand(40116));
    }

    fs::path folder;
    FileDialogRequest lastSaveRequest;
};

// Twelve positions a second apart: still, then at the seventh one 0.01 degree east and 30 m
// higher, still again.
std::vector<TrackPoint> StepEast() {
    std::vector<TrackPoint> points;
    const std::uint32_t start = 12571u * 86400u + 10 * 3600u;  // 2024-06-01 10:00:00 UTC
    for (std::uint32_t i = 0; i < 12; ++i) {
        TrackPoint p;
        p.time = start + i;
        p.latitude = Semicircles(46.5);
        p.longitude = Semicircles(i < 6 ? 7.25 : 7.26);
        p.gpsAltitude = i < 6 ? 10000 : 10300;
        p.pressureAltitude = i < 6 ? 990 : 1020;
        p.flags = i == 0 ? 1 : 0;
        points.push_back(p);
    }
    return points;
}

// The dialog stores the columns and numbers typed (refusing a bad number with the column's
// message), and a CSV save from the window writes exactly those columns.
TEST_F(TrackFilesTest, CsvParametersDialogDecidesTheSavedColumns) {
    state.settings.csvRelTime = 1;  // switched off in the dialog
    int refusals = 0;
    test_support::OnNextModal([&refusals, this](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Set .csv parameters");
        auto box = [&dialog](const char* name) {
            auto* found = dialog.findChild<QCheckBox*>(QString::fromUtf8(name));
            EXPECT_NE(found, nullptr) << name;
            return found;
        };
        auto field = [&dialog](const char* name) {
            auto* found = dialog.findChild<QLineEdit*>(QString::fromUtf8(name));
            EXPECT_NE(found, nullptr) << name;
            return found;
        };
        EXPECT_TRUE(box("relTime")->isChecked());
        box("relTime")->setChecked(false);
        box("absTime")->setChecked(true);
        box("bearing")->setChecked(true);
        box("bearing400")->setChecked(true);
        field("bearingSpan")->setText(QStringLiteral("2"));
        box("speed")->setChecked(true);
        box("vario")->setChecked(true);
        field("varioSpan")->setText(QStringLiteral("3"));
        // A bad number of a column switched on keeps the dialog open.
        for (const char* bad : {"x", "0", "3601", "2.5"}) {
            field("speedSpan")->setText(QString::fromUtf8(bad));
            test_support::Click(dialog, QDialogButtonBox::AcceptRole);
            EXPECT_TRUE(dialog.isVisible()) << bad;
            ++refusals;
        }
        field("speedSpan")->setText(QStringLiteral("5"));
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(window->RunCommand(40187));
    EXPECT_EQ(refusals, 4);
    ASSERT_EQ(messages.size(), 4u);
    for (const Message& message : messages) {
        EXPECT_EQ(message, (Message{"Check csv parameters", "Bad speed input"}));
    }
    EXPECT_EQ(state.settings.csvAbsTime, 1);
    EXPECT_EQ(state.settings.csvRelTime, 0);
    EXPECT_EQ(state.settings.csvRelDist, 0);
    EXPECT_EQ(state.settings.csvAccDist, 0);
    EXPECT_EQ(state.settings.csvBearing, 2);
    EXPECT_EQ(state.settings.csv400deg, 1);
    EXPECT_EQ(state.settings.csvSpeed, 5);
    EXPECT_EQ(state.settings.csvVario, 3);
    messages.clear();

    // Cancel changes nothing, also after a typed number.
    test_support::OnNextModal([](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("speedSpan"))->setText(QStringLiteral("9"));
        test_support::Click(dialog, QDialogButtonBox::RejectRole);
    });
    EXPECT_TRUE(window->RunCommand(40187));
    EXPECT_EQ(state.settings.csvSpeed, 5);

    state.trackLog.points = StepEast();
    state.trackLog.timeIsUtc = true;
    state.trackLog.hasPressureAltitude = true;
    window->RefreshLists();
    SaveAs("steps", "CSV files");
    std::string text;
    ASSERT_EQ(ReadWholeFile(folder / "steps.csv", text), FileReadStatus::kOk);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 13u) << text;
    EXPECT_EQ(lines[0], "Date/time,Latitude,Longitude,H-GPS,H-Baro,AbsTime,Bearing,Speed,Vario");
    // The distance of the step: 0.01 degree along the parallel of 46.5 degrees on the WGS-84
    // ellipsoid (radius of the parallel N cos(latitude)), over 5 s in km/h.
    const double latitude = 46.5 * std::numbers::pi / 180;
    const double e2 = 0.00669437999014;
    const double parallel =
        6378137.0 / std::sqrt(1 - e2 * std::pow(std::sin(latitude), 2)) * std::cos(latitude);
    const double stepKmh = parallel * 0.01 * std::numbers::pi / 180 / 5 * 3.6;
    for (std::size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const std::vector<std::string> fields = Split(lines[i + 1]);
        ASSERT_EQ(fields.size(), 9u) << lines[i + 1];
        EXPECT_EQ(fields[0],
                  "2024-06-01T10:00:" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "Z");
        EXPECT_EQ(fields[3], i < 6 ? "1000" : "1030");
        EXPECT_EQ(fields[5],
                  "1/6/2024  10:00:" + std::string(i < 10 ? "0" : "") + std::to_string(i));
        // Bearing over 2 positions in 400 units: due east (100) at the step and one after.
        EXPECT_EQ(fields[6], i == 6 || i == 7 ? "100" : "0");
        // Speed over 5 positions: the step's distance in 5 s from the step on, for 5 positions.
        if (i >= 6 && i <= 10) {
            EXPECT_NEAR(std::stod(fields[7]), stepKmh, 0.11);
        } else {
            EXPECT_EQ(fields[7], "0.0");
        }
        // Vario over 3 positions: 30 m in 3 s.
        EXPECT_EQ(fields[8], i >= 6 && i <= 8 ? "10.0" : "0.0");
    }
    EXPECT_EQ(state.settings.logExportExt, FilterIndex(lastSaveRequest, "CSV files"));

    if (!HaveGpsbabel()) {
        GTEST_SKIP() << "gpsbabel not installed: the file is not read back";
    }
    const auto rows = GpsbabelRows("unicsv", folder / "steps.csv");
    ASSERT_EQ(rows.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const std::vector<std::string> fields = Split(lines[i + 1]);
        EXPECT_NEAR(std::stod(rows[i].at("Latitude")), 46.5, 1e-6);
        EXPECT_NEAR(std::stod(rows[i].at("Longitude")), i < 6 ? 7.25 : 7.26, 1e-6);
        EXPECT_EQ(rows[i].at("Date"), "2024/06/01");
        EXPECT_EQ(rows[i].at("Time").substr(0, 8), fields[0].substr(11, 8));
        EXPECT_NEAR(std::stod(rows[i].at("Speed")), std::stod(fields[7]), 1e-9);
    }
}

// "Save log as..." offers every format that writes tracks; the chosen type decides and adds
// its extension, and a typed extension of an offered format decides whatever the type.
TEST_F(TrackFilesTest, SaveLogAsWritesEveryTrackFormat) {
    LoadFlight("marcourt.igc");
    state.trackLog.saved = false;
    struct Case {
        const char* name;   // as typed
        const char* type;   // the dialog's type chosen
        const char* file;   // what is written
        const char* babel;  // gpsbabel's reader, or empty
        double resolution;  // of the positions, degrees
        int timeSlack;      // seconds (days and their fraction in OziExplorer files)
    } cases[] = {
        {"by-type", "GPX files", "by-type.gpx", "gpx", 1.01e-6, 0},
        {"by-type", "OziExplorer track files", "by-type.plt", "ozi", 1.01e-6, 1},
        {"by-type", "CSV files", "by-type.csv", "unicsv", 1.01e-6, 0},
        {"by-type", "MapSource files", "by-type.mps", "", 0, 0},
        {"named.gpx", "All files", "named.gpx", "gpx", 1.01e-6, 0},
        {"named.plt", "GPX files", "named.plt", "ozi", 1.01e-6, 1},
        {"named.csv", "All files", "named.csv", "unicsv", 1.01e-6, 0},
    };
    const bool babel = HaveGpsbabel();
    const auto reference = babel ? GpsbabelRows("igc", test_support::Fixture("marcourt.igc"),
                                                "-x track,name=GNSSALTTRK")
                                 : std::vector<std::map<std::string, std::string>>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        messages.clear();
        SaveAs(c.name, c.type);
        EXPECT_TRUE(messages.empty()) << messages.front().text;
        std::string written;
        ASSERT_EQ(ReadWholeFile(folder / c.file, written), FileReadStatus::kOk);
        EXPECT_TRUE(state.trackLog.saved);
        state.trackLog.saved = false;
        if (!babel || std::string(c.babel).empty()) {
            continue;
        }
        const auto rows = GpsbabelRows(c.babel, folder / c.file);
        ASSERT_EQ(rows.size(), reference.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_NEAR(std::stod(rows[i].at("Latitude")), std::stod(reference[i].at("Latitude")),
                        c.resolution)
                << i;
            EXPECT_NEAR(std::stod(rows[i].at("Longitude")), std::stod(reference[i].at("Longitude")),
                        c.resolution)
                << i;
            EXPECT_LE(std::abs(Seconds(rows[i].at("Time")) - Seconds(reference[i].at("Time"))),
                      c.timeSlack)
                << i;
        }
    }
    // The types offered: every track writer but IGC (commands of its own), KML after the
    // others, and "All files" last.
    std::vector<std::string> offered;
    for (const FileFilter& filter : lastSaveRequest.filters) {
        offered.push_back(filter.extension);
    }
    EXPECT_EQ(offered, (std::vector<std::string>{"gpx", "plt", "csv", "mps", "kml", "*"}));
    std::string mapsource;
    ASSERT_EQ(ReadWholeFile(folder / "by-type.mps", mapsource), FileReadStatus::kOk);
    EXPECT_EQ(mapsource.substr(0, 6), std::string("MsRcd\0", 6));

    // Two or more selected rows: only those are written.
    window->List().selectRow(3);
    window->List().selectionModel()->select(
        window->Model(ListView::kTrackLog).index(4, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(window->SelectedRows().size(), 2u);
    SaveAs("two", "OziExplorer track files");
    std::string two;
    ASSERT_EQ(ReadWholeFile(folder / "two.plt", two), FileReadStatus::kOk);
    EXPECT_EQ(Lines(two).size(), 8u) << two;
    EXPECT_FALSE(state.trackLog.saved);

    // Cancel writes nothing; an empty log has nothing to write.
    host.saveDialogHook = [](const FileDialogRequest&) {
        return std::optional<FileDialogResult>();
    };
    EXPECT_TRUE(window->RunCommand(40116));
    state.trackLog = TrackLog{};
    window->RefreshLists();
    messages.clear();
    EXPECT_TRUE(window->RunCommand(40116));
    EXPECT_EQ(messages, (std::vector<Message>{{"Save track log", "No positions"}}));
}

// "Save log as..." with the KML type, or a name ending ".kml": the trip document, its keyed hash
// present for a log straight from an instrument (signature 2 when read back) and absent for one
// read from a file; xmllint finds the document well formed.
TEST_F(TrackFilesTest, SaveLogAsWritesTheSignedKmlTripDocument) {
    LoadFlight("marcourt.igc");
    struct Case {
        const char* name;
        const char* type;
        const char* file;
        bool fromInstrument;
        int signature;
    } cases[] = {
        {"signed", "KML files", "signed.kml", true, kml::kKmlSignatureOk},
        {"typed.kml", "GPX files", "typed.kml", true, kml::kKmlSignatureOk},
        {"unsigned", "KML files", "unsigned.kml", false, kml::kKmlSignatureNone},
    };
    const bool xmllint = std::system("command -v xmllint >/dev/null 2>&1") == 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        messages.clear();
        state.trackLog.gRecordEligible = c.fromInstrument;
        state.trackLog.saved = false;
        SaveAs(c.name, c.type);
        EXPECT_TRUE(messages.empty()) << messages.front().text;
        std::string written;
        ASSERT_EQ(ReadWholeFile(folder / c.file, written), FileReadStatus::kOk);
        EXPECT_TRUE(state.trackLog.saved);
        const kml::KmlTrackRead read = kml::ReadKmlTrack(written);
        ASSERT_GT(read.status, 0) << read.message;
        EXPECT_EQ(read.signature, c.signature);
        EXPECT_EQ(read.points.size(), state.trackLog.points.size());
        if (xmllint) {
            const std::string command =
                "xmllint --noout '" + (folder / c.file).string() + "' 2>/dev/null";
            EXPECT_EQ(std::system(command.c_str()), 0);
        }
    }
    // The type chosen is remembered as the last one offered.
    EXPECT_EQ(state.settings.logExportExt, FilterIndex(lastSaveRequest, "KML files"));
}

// "Open log..." reads every track format by the type chosen, the read-only Magellan track and
// .dat log included.
TEST_F(TrackFilesTest, OpenLogReadsEveryTrackFormat) {
    struct Case {
        const char* fixture;
        const char* type;
        std::size_t count;
        double firstLatitude;
        std::uint32_t firstTime;  // seconds since 1989-12-31 UTC
    } cases[] = {
        // 13-aug-07 07:52:19
        {"real/tracks-other/gpsbabel-20070813_short.plt", "OziExplorer track files", 44, 47.466222,
         6434u * 86400u + 7 * 3600u + 52 * 60u + 19u},
        // 2024-06-01T12:00:00+02:00
        {"tracks/semicolons-no-last-lf.csv", "CSV files", 4, 46.500001,
         12571u * 86400u + 10 * 3600u},
        // 4630.000 N, 01.06.24 10:00:00
        {"tracks/magellan.log", "Magellan track files", 3, 46.5, 12571u * 86400u + 10 * 3600u},
        {"binary/both-i.mps", "MapSource files", 5, 0, 1086170400u},
        {"binary/no-altitudes.dat", "Position log files", 3, 46.5, 1086602400u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        state.trackLog = TrackLog{};
        messages.clear();
        const fs::path path = fs::path(TRACORA_FIXTURES_DIR) / c.fixture;
        host.openDialogHook = [&c, &path](const FileDialogRequest& request) {
            return std::optional<FileDialogResult>(
                FileDialogResult{path, FilterIndex(request, c.type)});
        };
        EXPECT_TRUE(window->RunCommand(40117));
        EXPECT_TRUE(messages.empty()) << messages.front().text;
        ASSERT_EQ(state.trackLog.points.size(), c.count);
        EXPECT_EQ(window->Model(ListView::kTrackLog).rowCount(), static_cast<int>(c.count));
        EXPECT_EQ(state.trackLog.points[0].time, c.firstTime);
        if (c.firstLatitude != 0) {
            EXPECT_NEAR(Degrees(state.trackLog.points[0].latitude), c.firstLatitude, 1e-6);
        }
    }
}

// A GPX file of several tracks asks in the "Select track" dialog, which lists them by the
// time of their first point; the chosen one is read, Cancel reads nothing.
TEST_F(TrackFilesTest, SelectTrackDialogChoosesOneOfSeveral) {
    const fs::path path = fs::path(TRACORA_FIXTURES_DIR) / "tracks" / "two-segments.gpx";
    host.openDialogHook = [&path](const FileDialogRequest& request) {
        return std::optional<FileDialogResult>(
            FileDialogResult{path, FilterIndex(request, "GPX files")});
    };
    QStringList shown;
    test_support::OnNextModal([&shown](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Select track");
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("tracks"));
        ASSERT_NE(list, nullptr);
        for (int row = 0; row < list->count(); ++row) {
            shown << list->item(row)->text();
        }
        // Nothing selected: OK cannot be pressed yet.
        auto* box = dialog.findChild<QDialogButtonBox*>();
        EXPECT_FALSE(box->button(QDialogButtonBox::Ok)->isEnabled());
        list->setCurrentRow(2);
        test_support::Click(dialog, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(window->RunCommand(40117));
    EXPECT_EQ(shown, (QStringList{"2024-06-01   08:00:00", "2024-06-01   14:00:00",
                                  "2024-06-01   14:05:01"}));
    ASSERT_EQ(state.trackLog.points.size(), 1u);
    EXPECT_NEAR(Degrees(state.trackLog.points[0].latitude), -0.6, 1e-6);
    EXPECT_NEAR(Degrees(state.trackLog.points[0].longitude), 179.99, 1e-6);
    EXPECT_TRUE(messages.empty());

    state.trackLog = TrackLog{};
    test_support::OnNextModal([](QDialog& dialog) {
        dialog.findChild<QListWidget*>(QStringLiteral("tracks"))->setCurrentRow(0);
        test_support::Click(dialog, QDialogButtonBox::RejectRole);
    });
    EXPECT_TRUE(window->RunCommand(40117));
    EXPECT_TRUE(state.trackLog.points.empty());
    EXPECT_TRUE(messages.empty());
}

// "Open waypoints..." of a GPX file asks "Modify waypoint ID" for each name that must change:
// Yes converts it, No skips the waypoint, Cancel ends the read without a message.
TEST_F(TrackFilesTest, GpxWaypointNamesAskModifyWaypointId) {
    const fs::path path = folder / "names.gpx";
    {
        std::ofstream out(path, std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<gpx version=\"1.1\" creator=\"hand\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
               "<wpt lat=\"46.5\" lon=\"7.25\"><name>tower 1</name></wpt>\n"
               "<wpt lat=\"46.6\" lon=\"7.35\"><name>OK1</name></wpt>\n"
               "<wpt lat=\"46.7\" lon=\"7.45\"><name>mast 2</name></wpt>\n"
               "</gpx>\n";
    }
    host.openDialogHook = [&path](const FileDialogRequest&) {
        return std::optional<FileDialogResult>(FileDialogResult{path, 1});
    };
    std::vector<Answer> answers{Answer::kYes, Answer::kNo};
    host.askHook = [this, &answers](const std::string& title, const std::string& text) {
        questions.push_back({title, text});
        if (answers.empty()) {
            return Answer::kCancel;
        }
        const Answer next = answers.front();
        answers.erase(answers.begin());
        return next;
    };
    EXPECT_TRUE(window->RunCommand(40047));
    EXPECT_EQ(questions, (std::vector<Message>{{"Modify waypoint ID", "tower 1"},
                                               {"Modify waypoint ID", "mast 2"}}));
    ASSERT_EQ(state.waypoints.items.size(), 2u);
    EXPECT_EQ(state.waypoints.items[0].Id(), "TOWER");
    EXPECT_EQ(state.waypoints.items[1].Id(), "OK1");
    EXPECT_TRUE(messages.empty());

    // Cancel: nothing more is read and nothing is said.
    state.waypoints.items.clear();
    questions.clear();
    EXPECT_TRUE(window->RunCommand(40047));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(state.waypoints.items.empty());
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace tracora::app
