// tracora-cli: the command-line tool for scripts and terminal users.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_report.hpp"
#include "cli/airspace_command.hpp"
#include "cli/cli_common.hpp"
#include "cli/curves_command.hpp"
#include "cli/instruments_command.hpp"
#include "cli/olc_command.hpp"
#include "cli/waypoints_command.hpp"
#include "core/file_io.hpp"
#include "core/geodesy.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "core/version.hpp"
#include "device/port_names.hpp"
#include "documents/track_documents.hpp"
#include "formats/format_registry.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_security.hpp"
#include "formats/igc/igc_writer.hpp"
#include "formats/kml/kml_reader.hpp"

namespace {

using tracora::AngleKind;
using tracora::GeoPoint;

constexpr const char* kUsage =
    "Usage: tracora-cli COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  distance LAT1 LON1 LAT2 LON2   geodesic distance on the WGS-84 ellipsoid\n"
    "  utm LAT LON                    UTM zone, band, easting and northing\n"
    "  ports                          the serial ports of this machine\n"
    "  instruments                    the instrument families and what works with each\n"
    "  verify FILE.igc|FILE.kml       check the IGC file's security record, or the\n"
    "                                 keyed hash of every track of a KML document\n"
    "  formats                        the file formats: id, name, extensions, what\n"
    "                                 they hold, whether they read and write\n"
    "  convert [--force] [--from NAME] [--to NAME] [--csv-columns LIST] IN OUT\n"
    "                                 read IN in one format and write OUT in another;\n"
    "                                 the extensions choose the formats, --from and\n"
    "                                 --to (a format's id) where they do not. A track\n"
    "                                 written as KML is the trip document with the\n"
    "                                 flight's analysis. Waypoint files are read by\n"
    "                                 their content (every kind of .wpt), their names\n"
    "                                 converted without asking. --force replaces OUT;\n"
    "                                 --csv-columns adds CSV columns (abstime, reltime,\n"
    "                                 reldist, accdist, bearing, bearing400, speed, vario;\n"
    "                                 speed=N and the like look back over N positions)\n"
    "  analyse FILE.igc [--json] [--gap METRES] [--no-filter] [--noloopopt]\n"
    "          [--exact] [--exact-rules trip|olc] [--exact-no-seed]\n"
    "                                 flight statistics and distance optimisation;\n"
    "                                 --exact adds the proven optimum over every fix\n"
    "                                 (trip rules, or the online contest's), started\n"
    "                                 from the two-stage results unless --exact-no-seed\n"
    "  olc FILE.igc [--json] [--exact] [--olc OUT.olc [--with-igc] [--force] PILOT...]\n"
    "                                 online-contest scoring: free distance, free and\n"
    "                                 FAI triangles, the best result; --exact adds the\n"
    "                                 proven optimum over every fix, which the best\n"
    "                                 result and the file then follow; --olc writes the\n"
    "                                 submission file (PILOT: --first --last --birth\n"
    "                                 --class --glider --site [--call --region\n"
    "                                 --flight]; pilot, glider and site default to the\n"
    "                                 IGC header's)\n"
    "  curves FILE.igc --kind vario|glide|polar [--interval N] [--svg OUT [--force]]\n"
    "                                 the climb rate or the glide slope second by\n"
    "                                 second (with their extremes), or the polar;\n"
    "                                 --svg writes the plot\n"
    "  airspace FILE [--json [--segments]] [--gpx OUT] [--no-arcs OUT]\n"
    "               [--script OUT] [--segment-error METRES] [--force]\n"
    "                                 an OpenAir file: its airspaces, their outlines\n"
    "                                 as JSON (degrees; --segments adds the records),\n"
    "                                 the GPX export, the OpenAir text without arcs\n"
    "                                 and the web-map script\n"
    "  waypoints FILE [--json] [--strict-names]\n"
    "                                 a waypoint file of any format as the program\n"
    "                                 reads it (names converted without asking unless\n"
    "                                 --strict-names)\n"
    "\n"
    "Angles are decimal degrees (46.5), degrees and minutes (46 30.25) or degrees,\n"
    "minutes and seconds (46 30 15.5), with N/S/E/W or a sign in front; quote\n"
    "angles that contain blanks.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 when the command failed (also when a format cannot\n"
    "be read or written), 2 on a usage error.\n";

using tracora::cli::UsageError;

bool ParsePoint(const char* latitude, const char* longitude, GeoPoint& point) {
    if (tracora::ParseAngle(latitude, AngleKind::kLatitude, point.latitude) != 0) {
        std::fprintf(stderr, "tracora-cli: bad latitude '%s'\n", latitude);
        return false;
    }
    if (tracora::ParseAngle(longitude, AngleKind::kLongitude, point.longitude) != 0) {
        std::fprintf(stderr, "tracora-cli: bad longitude '%s'\n", longitude);
        return false;
    }
    return true;
}

int Distance(const std::vector<const char*>& args) {
    if (args.size() != 4)
        return UsageError("distance needs LAT1 LON1 LAT2 LON2");
    GeoPoint a, b;
    if (!ParsePoint(args[0], args[1], a) || !ParsePoint(args[2], args[3], b))
        return 2;
    double metres = 0;
    if (tracora::GeoDistance(a, b, metres) != 0) {
        std::fprintf(stderr,
                     "tracora-cli: the distance does not converge (nearly antipodal points)\n");
        return 1;
    }
    std::printf("%.3f m (%.3f km)\n", metres, metres / 1000.0);
    return 0;
}

int Utm(const std::vector<const char*>& args) {
    if (args.size() != 2)
        return UsageError("utm needs LAT LON");
    GeoPoint p;
    if (!ParsePoint(args[0], args[1], p))
        return 2;
    int zone = 0;
    tracora::UtmPosition utm;
    tracora::ToUtm(p, zone, utm);
    std::printf("%s %s %s\n", tracora::FormatUtmZone(utm.zone, utm.band).c_str(),
                tracora::FormatUtmMetres(utm.easting).c_str(),
                tracora::FormatUtmMetres(utm.northing).c_str());
    return 0;
}

int Ports(const std::vector<const char*>& args) {
    if (!args.empty())
        return UsageError("ports takes no arguments");
    std::vector<tracora::device::SerialPortInfo> ports;
    tracora::device::ListComPorts(ports);
    if (ports.empty()) {
        std::puts("No serial ports found.");
        return 0;
    }
    for (const tracora::device::SerialPortInfo& port : ports) {
        std::string line = port.path;
        if (!port.product.empty())
            line += "  " + port.product;
        if (!port.byIdPath.empty())
            line += "  (" + port.byIdPath + ")";
        std::puts(line.c_str());
    }
    return 0;
}

// The whole file, or an error on stderr.
bool ReadFile(const char* path, std::string& text) {
    int errorNumber = 0;
    const tracora::FileReadStatus status = tracora::ReadWholeFile(path, text, &errorNumber);
    if (status == tracora::FileReadStatus::kOk) {
        return true;
    }
    std::fprintf(stderr, "tracora-cli: %s: %s\n", path,
                 tracora::FileReadErrorText(status, errorNumber).c_str());
    return false;
}

// A KML document by its extension or, whatever its name, by its first character.
bool LooksLikeKml(std::string_view path, std::string_view text) {
    if (path.size() >= 4 && tracora::EqualsIgnoringCase(path.substr(path.size() - 4), ".kml")) {
        return true;
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '<';
}

int Verify(const std::vector<const char*>& args) {
    if (args.size() != 1) {
        return UsageError("verify needs FILE.igc or FILE.kml");
    }
    std::string text;
    if (!ReadFile(args[0], text)) {
        return 1;
    }
    if (LooksLikeKml(args[0], text)) {
        const tracora::kml::KmlCheck check = tracora::kml::CheckKmlText(text);
        for (const std::string& line : check.lines) {
            if (check.good) {
                std::printf("%s\n", line.c_str());
            } else {
                std::fprintf(stderr, "tracora-cli: %s: %s\n", args[0], line.c_str());
            }
        }
        if (!check.good) {
            std::fprintf(stderr, "tracora-cli: %s: KML check FAILED\n", args[0]);
        }
        return check.good ? 0 : 1;
    }
    const int result = tracora::igc::VerifyIgcSecurity(text);
    if (result == tracora::igc::kSecurityPassed) {
        std::printf("%s\n", tracora::igc::kSecurityPassedText);
        return 0;
    }
    std::fprintf(stderr, "tracora-cli: %s: %s\n", args[0],
                 result == tracora::igc::kSecurityNoRecord ? tracora::igc::kNoSecurityRecordText
                                                           : tracora::igc::kSecurityFailedText);
    return 1;
}

// The format a --from/--to NAME or the file's extension names: the format, or a usage error
// (exit 2) when neither names a known one.
const tracora::formats::FormatRecord* ChooseFormat(const char* name, const char* path,
                                                   const char* option, std::string& error) {
    if (name != nullptr) {
        const tracora::formats::FormatRecord* format = tracora::formats::FindFormat(name);
        if (format == nullptr) {
            error = "unknown format '" + std::string(name) + "' ('tracora-cli formats' lists them)";
        }
        return format;
    }
    const tracora::formats::FormatRecord* format = tracora::formats::FormatForPath(path);
    if (format == nullptr) {
        error = std::string(path) + ": the extension names no format; give " + option + " NAME";
    }
    return format;
}

// "abstime,speed=5": the optional CSV columns named; bearing, speed and vario may give the
// positions they look back over (1 to 3600, 1 when not given). False for an unknown name or a
// bad number.
bool ParseCsvColumns(std::string_view list, tracora::formats::CsvColumns& columns) {
    using Columns = tracora::formats::CsvColumns;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view name = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        std::string_view number;
        const std::size_t equals = name.find('=');
        const bool numbered = equals != std::string_view::npos;
        if (numbered) {
            number = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        static constexpr struct {
            std::string_view name;
            bool Columns::*column;
            int Columns::*span;
        } kColumns[] = {{"abstime", &Columns::absTime, nullptr},
                        {"reltime", &Columns::relTime, nullptr},
                        {"reldist", &Columns::relDist, nullptr},
                        {"accdist", &Columns::accDist, nullptr},
                        {"bearing", &Columns::bearing, &Columns::bearingSpan},
                        {"bearing400", &Columns::bearing400, &Columns::bearingSpan},
                        {"speed", &Columns::speed, &Columns::speedSpan},
                        {"vario", &Columns::vario, &Columns::varioSpan}};
        bool known = false;
        for (const auto& column : kColumns) {
            if (name != column.name) {
                continue;
            }
            columns.*column.column = true;
            known = true;
            if (!numbered) {
                continue;
            }
            int value = 0;
            const auto [end, error] =
                std::from_chars(number.data(), number.data() + number.size(), value);
            if (column.span == nullptr || number.empty() || error != std::errc() ||
                end != number.data() + number.size() || value < 1 || value > 3600) {
                return false;
            }
            columns.*column.span = value;
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

tracora::formats::WriteInput WithCsvColumns(const tracora::formats::ReadResult& read,
                                            const tracora::formats::CsvColumns& columns) {
    tracora::formats::WriteInput input =
        tracora::documents::ConvertedFileInput(read, tracora::CurrentCalendarTime());
    input.csvColumns = columns;
    if (columns.bearing400) {
        input.csvColumns.bearing = true;
    }
    return input;
}

int Convert(const std::vector<const char*>& arguments) {
    std::vector<const char*> args;
    bool force = false;
    const char* from = nullptr;
    const char* to = nullptr;
    tracora::formats::CsvColumns csvColumns;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        if (arg == "--force" || arg == "-f") {
            force = true;
        } else if (arg == "--csv-columns") {
            if (i + 1 >= arguments.size() || !ParseCsvColumns(arguments[++i], csvColumns)) {
                return UsageError(
                    "--csv-columns needs a list of abstime, reltime, reldist, accdist, bearing, "
                    "bearing400, speed, vario (bearing, speed and vario may add =N, 1 to 3600)");
            }
        } else if (arg == "--from" || arg == "--to") {
            if (i + 1 >= arguments.size()) {
                return UsageError((std::string(arg) + " needs a format NAME").c_str());
            }
            (arg == "--from" ? from : to) = arguments[++i];
        } else {
            args.push_back(arguments[i]);
        }
    }
    if (args.size() != 2) {
        return UsageError("convert needs IN and OUT");
    }
    std::string error;
    const tracora::formats::FormatRecord* in = ChooseFormat(from, args[0], "--from", error);
    if (in == nullptr) {
        return UsageError(error.c_str());
    }
    const tracora::formats::FormatRecord* out = ChooseFormat(to, args[1], "--to", error);
    if (out == nullptr) {
        return UsageError(error.c_str());
    }
    if (!in->directions.read) {
        std::fprintf(stderr, "tracora-cli: %s: %.*s cannot be read\n", args[0],
                     static_cast<int>(in->name.size()), in->name.data());
        return 1;
    }
    if (!out->directions.write) {
        std::fprintf(stderr, "tracora-cli: %s: %.*s cannot be written\n", args[1],
                     static_cast<int>(out->name.size()), out->name.data());
        return 1;
    }
    const bool shared = (in->holds.track && out->holds.track) ||
                        (in->holds.waypoints && out->holds.waypoints) ||
                        (in->holds.airspace && out->holds.airspace);
    if (!shared) {
        std::fprintf(stderr, "tracora-cli: %s: %.*s holds nothing %.*s holds\n", args[1],
                     static_cast<int>(out->name.size()), out->name.data(),
                     static_cast<int>(in->name.size()), in->name.data());
        return 1;
    }
    // Never write over the input, also not through another name of the same file.
    struct stat inputInfo {};
    struct stat outputInfo {};
    if (::stat(args[0], &inputInfo) == 0 && ::stat(args[1], &outputInfo) == 0 &&
        inputInfo.st_dev == outputInfo.st_dev && inputInfo.st_ino == outputInfo.st_ino) {
        std::fprintf(stderr,
                     "tracora-cli: %s: this is the input file %s; convert never writes over its "
                     "input (give another OUT)\n",
                     args[1], args[0]);
        return 1;
    }
    std::string text;
    if (!ReadFile(args[0], text)) {
        return 1;
    }
    const tracora::formats::ReadResult read = in->read(text);
    if (read.status <= 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s\n", args[0], read.message.c_str());
        return 1;
    }
    std::string document;
    std::string title;
    std::string message;
    if (in->id == "igc" && out->id == "igc") {
        // IGC to IGC keeps what the source holds and says it is a conversion.
        if (tracora::igc::EncodeConvertedIgc(text, read.track, document) <= 0) {
            std::fprintf(stderr, "tracora-cli: %s: Memory allocation error\n", args[0]);
            return 1;
        }
    } else if (tracora::documents::BuildTrackDocument(*out, WithCsvColumns(read, csvColumns),
                                                      tracora::DefaultSettings().loopFlightGap,
                                                      document, title, message) != 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s\n", args[0], message.c_str());
        return 1;
    }
    const int written = force ? tracora::ReplaceFileAtomically(args[1], document)
                              : tracora::CreateFileAtomically(args[1], document);
    if (written == EEXIST) {
        std::fprintf(stderr, "tracora-cli: %s: File already exists (--force replaces it)\n",
                     args[1]);
        return 1;
    }
    if (written != 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s\n", args[1], std::strerror(written));
        return 1;
    }
    if (in->holds.track && out->holds.track) {
        std::fprintf(stderr, "%zu positions written\n", read.track.size());
    } else if (in->holds.waypoints && out->holds.waypoints) {
        std::fprintf(stderr, "%zu waypoints written\n", read.waypoints.size());
    } else {
        std::fprintf(stderr, "%zu CTRs written\n", read.airspaces.size());
    }
    return 0;
}

// The registry: one line per format.
int Formats(const std::vector<const char*>& args) {
    if (!args.empty()) {
        return UsageError("formats takes no arguments");
    }
    struct Row {
        std::string id, name, extensions, holds, directions;
    };
    std::vector<Row> rows;
    const auto add = [](std::string& list, bool on, const char* word) {
        if (on) {
            list += (list.empty() ? "" : ",") + std::string(word);
        }
    };
    // The columns are as wide as their longest entry (at least the widths of the first list).
    int idWidth = 6, nameWidth = 16, extensionWidth = 12;
    for (const tracora::formats::FormatRecord* format : tracora::formats::AllFormats()) {
        Row row{std::string(format->id), std::string(format->name), "", "", ""};
        for (const std::string_view extension : format->extensions) {
            row.extensions += (row.extensions.empty() ? "." : ",.") + std::string(extension);
        }
        add(row.holds, format->holds.track, "track");
        add(row.holds, format->holds.waypoints, "waypoints");
        add(row.holds, format->holds.airspace, "airspace");
        add(row.directions, format->directions.read, "read");
        add(row.directions, format->directions.write, "write");
        idWidth = std::max(idWidth, static_cast<int>(row.id.size()));
        nameWidth = std::max(nameWidth, static_cast<int>(row.name.size()));
        extensionWidth = std::max(extensionWidth, static_cast<int>(row.extensions.size()));
        rows.push_back(std::move(row));
    }
    std::printf("%-*s %-*s %-*s %-26s %s\n", idWidth, "ID", nameWidth, "NAME", extensionWidth,
                "EXTENSIONS", "HOLDS", "DIRECTIONS");
    for (const Row& row : rows) {
        std::printf("%-*s %-*s %-*s %-26s %s\n", idWidth, row.id.c_str(), nameWidth,
                    row.name.c_str(), extensionWidth, row.extensions.c_str(), row.holds.c_str(),
                    row.directions.c_str());
    }
    return 0;
}

// The flight statistics and the trip analysis of an IGC file, filtered as for the statistics.
int Analyse(const std::vector<const char*>& arguments) {
    const char* path = nullptr;
    bool json = false;
    tracora::Settings settings = tracora::DefaultSettings();
    tracora::analysis::OptimisationOptions options;
    options.loopFlightGapMetres = settings.loopFlightGap;
    bool exact = false;
    bool exactSeeded = true;
    tracora::analysis::ExactOptions exactOptions;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--no-filter") {
            settings.logFilter = 0;
            settings.varioFilter = 0;
        } else if (arg == "--noloopopt") {
            options.noLoopOpt = true;
        } else if (arg == "--exact") {
            exact = true;
        } else if (arg == "--exact-no-seed") {
            exact = true;
            exactSeeded = false;
        } else if (arg == "--exact-rules" && i + 1 < arguments.size()) {
            const std::string_view rules = arguments[++i];
            if (rules == "trip") {
                exactOptions.rules = tracora::analysis::ExactRules::Trip;
            } else if (rules == "olc") {
                exactOptions.rules = tracora::analysis::ExactRules::Olc;
            } else {
                return UsageError("--exact-rules needs trip or olc");
            }
            exact = true;
        } else if (arg == "--gap" && i + 1 < arguments.size()) {
            char* end = nullptr;
            const long gap = std::strtol(arguments[++i], &end, 10);
            if (*end != '\0' || gap < 0 || gap > 1000000) {
                return UsageError("--gap needs whole metres");
            }
            options.loopFlightGapMetres = static_cast<std::int32_t>(gap);
        } else if (path == nullptr && !arg.starts_with("-")) {
            path = arguments[i];
        } else {
            return UsageError("analyse needs FILE.igc [--json] [--gap METRES]");
        }
    }
    if (path == nullptr) {
        return UsageError("analyse needs FILE.igc");
    }
    std::string text;
    tracora::igc::IgcParseResult parsed;
    if (!tracora::cli::ReadIgcFlight(path, text, parsed)) {
        return 1;
    }
    tracora::analysis::AnalysisReport report;
    std::string error;
    exactOptions.loopFlightGapMetres = options.loopFlightGapMetres;
    exactOptions.seeded = exactSeeded;
    if (tracora::analysis::AnalyseTrack(parsed.points, settings, options, report, error,
                                        exact ? &exactOptions : nullptr) != 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s\n", path, error.c_str());
        return 1;
    }
    const std::string out =
        json ? tracora::analysis::ReportJson(report) : tracora::analysis::ReportText(report);
    std::fputs(out.c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return UsageError("no command given");
    const std::string_view command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "-V" || command == "--version") {
        std::printf("tracora-cli %s\n", tracora::kVersion);
        return 0;
    }
    const std::vector<const char*> args(argv + 2, argv + argc);
    if (command == "distance")
        return Distance(args);
    if (command == "utm") {
        return Utm(args);
    }
    if (command == "ports") {
        return Ports(args);
    }
    if (command == "instruments")
        return tracora::cli::Instruments(args);
    if (command == "verify") {
        return Verify(args);
    }
    if (command == "convert") {
        return Convert(args);
    }
    if (command == "formats") {
        return Formats(args);
    }
    if (command == "analyse") {
        return Analyse(args);
    }
    if (command == "olc") {
        return tracora::cli::Olc(args);
    }
    if (command == "curves") {
        return tracora::cli::Curves(args);
    }
    if (command == "airspace") {
        return tracora::cli::Airspace(args);
    }
    if (command == "waypoints") {
        return tracora::cli::Waypoints(args);
    }
    return UsageError(("unknown command '" + std::string(command) + "'").c_str());
}
