#include "formats/kml/kml_writer.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "core/geodesy.hpp"
#include "core/save_file.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "core/version.hpp"
#include "formats/common/sha1.hpp"
#include "formats/common/xml_escape.hpp"
#include "formats/igc/igc_writer.hpp"

namespace tracora::kml {
namespace {

constexpr std::size_t kMaxInstrumentLength = 80;

struct KindInfo {
    const char* type;
    const char* name;
    const char* title;  // "%d": the loop flight gap
    std::size_t vertices;
    bool sumLine;
    const char* colour;
    const char* notComputed;  // replaces the placemark when the sum is 0; null: written anyway
};

// In writing order, matching DistanceKind.
constexpr std::array<KindInfo, kDistanceKindCount> kKinds = {{
    {"distance_5_point", "Distance over 5 points", "Greatest distance using 5 points", 5, true,
     "FFFF0000", nullptr},
    {"distance_4_point", "Distance over 4 points", "Greatest distance using 4 points", 4, true,
     "FFFF0000", nullptr},
    {"distance_3_point", "Distance over 3 points", "Greatest distance using 3 points", 3, true,
     "FFFF0000", nullptr},
    {"distance_open", "Open distance", "Greatest distance between any 2 points", 2, false,
     "FF0000FF", nullptr},
    {"distance_out_and_return", "Out-and-return distance",
     "Out-and-return distance (max allowable gap %d)", 3, true, "FFFF0000",
     "<!--Out-and-return not computed-->"},
    {"distance_flat_triangle", "Flat triangle", "Flat triangle (max allowable gap %d)", 5, true,
     "FFFF0000", "<!--Flat triangle not computed-->"},
    {"distance_fai_triangle", "FAI triangle", "FAI triangle (max allowable gap %d)", 5, true,
     "FFFF0000", "<!--FAI triangle not computed-->"},
}};

// The stored form of the hash key; each byte has its position added at run time.
constexpr std::array<unsigned char, 17> kStoredHashKey = {0x54, 0x71, 0x70, 0x5f, 0x4b, 0x3f,
                                                          0x4c, 0x61, 0x2e, 0x6a, 0x59, 0x35,
                                                          0x66, 0x27, 0x40, 0x5a, 0x63};

void Indent(KmlOutput& out, int spaces) {
    for (int i = 0; i < spaces; ++i) {
        out.Append(' ');
    }
}

void Line(KmlOutput& out, int indent, std::string_view text) {
    Indent(out, indent);
    out.AppendLine(text);
}

std::string VersionText() {
    return igc::IgcVersionText(kVersion);
}

// Height in whole metres from decimetres, as every KML coordinate carries it.
std::int32_t HeightMetres(const TrackPoint& p) {
    return (p.gpsAltitude + 5) / 10;
}

std::string CoordinateText(const TrackPoint& p, const char* format) {
    char text[96];
    std::snprintf(text, sizeof text, format, SemicirclesToDegrees(p.longitude),
                  SemicirclesToDegrees(p.latitude), HeightMetres(p));
    return text;
}

std::string TimeText(std::uint32_t time, bool utc) {
    const CalendarTime c = TimeToCalendar(time);
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02d-%02dT%02d:%02d:%02d%s", c.year, c.month, c.day,
                  c.hour, c.minute, c.second, utc ? "Z" : "");
    return text;
}

// The instrument text cut to 80 bytes, never inside a UTF-8 sequence.
std::string_view CutInstrument(std::string_view text) {
    if (text.size() <= kMaxInstrumentLength) {
        return text;
    }
    std::size_t end = kMaxInstrumentLength;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

void WriteStatistics(KmlOutput& out, const TripAnalysis& a) {
    const CalendarTime first = TimeToCalendar(a.firstTime);
    const CalendarTime last = TimeToCalendar(a.lastTime);
    const std::uint32_t d = a.durationSeconds;
    out.AppendLine("Flight statistics");
    out.AppendFormat("Date                 %4d-%02d-%02d\r\n", first.year, first.month, first.day);
    out.AppendFormat("Start/finish         %02d:%02d:%02d - %02d:%02d:%02d\r\n", first.hour,
                     first.minute, first.second, last.hour, last.minute, last.second);
    out.AppendFormat("Duration             %u : %02u : %02u\r\n", d / 3600, (d / 60) % 60, d % 60);
    out.AppendFormat("Max./min. height     %d / %d m\r\n", a.maxHeightMetres, a.minHeightMetres);
    out.AppendFormat("Max. mean/top speed  %d km/h / %d km/h\r\n",
                     static_cast<int>(a.maxMeanSpeedKmh + 0.5),
                     static_cast<int>(a.topSpeedKmh + 0.5));
    out.AppendFormat("Max/min climb rate   %.2f / %.2f m/s over 60s\r\n", a.maxClimbMps,
                     a.minClimbMps);
    out.AppendFormat("Total distance       %.2f km\r\n", a.totalMetres * 0.001);
}

void WriteLineString(KmlOutput& out, int indent, const TripAnalysis& a,
                     std::initializer_list<std::size_t> vertices, const DistanceResult& r) {
    Line(out, indent, "<LineString>");
    Line(out, indent + 2, "<tessellate>1</tessellate>");
    Line(out, indent + 2, "<coordinates>");
    for (const std::size_t v : vertices) {
        Indent(out, indent + 4);
        out.AppendLine(CoordinateText(a.points[r.index[v]], "%.6f,%.6f,%d"));
    }
    Line(out, indent + 2, "</coordinates>");
    Line(out, indent, "</LineString>");
}

void WriteDistancePlacemark(KmlOutput& out, const TripAnalysis& a, std::size_t kindIndex) {
    const KindInfo& kind = kKinds[kindIndex];
    const DistanceResult& r = a.results[kindIndex];
    out.AppendLine("");
    if (kind.notComputed != nullptr && r.sumMetres == 0) {
        Line(out, 4, kind.notComputed);
        return;
    }
    const std::string version = VersionText();
    Line(out, 4, "<Placemark>");
    Indent(out, 6);
    out.AppendFormat("<Metadata src=\"Tracora\" v=\"%s\" type=\"%s\">\r\n", version.c_str(),
                     kind.type);
    Indent(out, 8);
    out.Append("<FsInfo track_idx=\"");
    for (std::size_t v = 0; v < kind.vertices; ++v) {
        out.AppendFormat(v == 0 ? "%zu" : " %zu", r.index[v]);
    }
    out.AppendLine("\" />");
    Line(out, 6, "</Metadata>");
    Indent(out, 6);
    out.AppendFormat("<name>%s</name>\r\n", kind.name);
    Line(out, 6, "<description>");
    Indent(out, 8);
    out.AppendLine("<![CDATA[");
    out.AppendLine("<pre>");
    char title[96];
    std::snprintf(title, sizeof title, kind.title, a.loopFlightGapMetres);
    out.AppendLine(title);
    out.AppendLine("");
    out.AppendLine("Pos.      Time      Latitude         Longitude         Distance");
    for (std::size_t v = 0; v < kind.vertices; ++v) {
        const TrackPoint& p = a.points[r.index[v]];
        const CalendarTime c = TimeToCalendar(p.time);
        const std::string lat = FormatLatitude(SemicirclesToHundredthSeconds(p.latitude));
        const std::string lon = FormatLongitude(SemicirclesToHundredthSeconds(p.longitude));
        out.AppendFormat(" %c %5zu  %02d:%02d:%02d  %s  %s", static_cast<char>('A' + v),
                         r.index[v] + 1, c.hour, c.minute, c.second, lat.c_str(), lon.c_str());
        if (v > 0) {
            out.AppendFormat("  %.2f", r.legMetres[v - 1] * 0.001);
        }
        out.AppendLine("");
    }
    if (kind.sumLine) {
        out.AppendFormat("%50sSum  %.2f\r\n", "", r.sumMetres * 0.001);
    }
    out.AppendLine("</pre>]]>");
    Line(out, 6, "</description>");
    const auto k = static_cast<DistanceKind>(kindIndex);
    if (k == DistanceKind::kFlatTriangle || k == DistanceKind::kFaiTriangle) {
        Line(out, 6, "<MultiGeometry>");
        WriteLineString(out, 6, a, {1, 2, 3, 1}, r);
        WriteLineString(out, 6, a, {0, 4}, r);
        Line(out, 6, "</MultiGeometry>");
    } else if (k == DistanceKind::kOutAndReturn) {
        WriteLineString(out, 6, a, {2, 0, 1}, r);
    } else if (kind.vertices == 5) {
        WriteLineString(out, 6, a, {0, 1, 2, 3, 4}, r);
    } else if (kind.vertices == 4) {
        WriteLineString(out, 6, a, {0, 1, 2, 3}, r);
    } else if (kind.vertices == 3) {
        WriteLineString(out, 6, a, {0, 1, 2}, r);
    } else {
        WriteLineString(out, 6, a, {0, 1}, r);
    }
    Line(out, 6, "<Style>");
    Line(out, 8, "<LineStyle>");
    Indent(out, 10);
    out.AppendFormat("<color>%s</color>\r\n", kind.colour);
    Line(out, 8, "</LineStyle>");
    Line(out, 6, "</Style>");
    Line(out, 4, "</Placemark>");
}

// Writes one FsInfo value list ("%d " each, the last "%d"), hashing every value text and
// breaking the line after every 25th value and after the last.
template <typename ValueOf>
void WriteValueList(KmlOutput& out, formats::Sha1& sha, std::size_t count, ValueOf valueOf) {
    for (std::size_t i = 0; i < count; ++i) {
        char text[24];
        std::snprintf(text, sizeof text, i + 1 < count ? "%d " : "%d", valueOf(i));
        out.Append(text);
        sha.Update(text);
        if ((i + 1) % 25 == 0 || i + 1 == count) {
            out.Append(formats::kCrLf);
        }
    }
}

void WriteTrackPlacemark(KmlOutput& out, const TripAnalysis& a, bool withHeights,
                         const std::optional<std::string_view>& instrument) {
    formats::Sha1 sha;
    const std::array<char, 18> key = FsInfoHashKey();
    sha.Update(std::string_view(key.data(), 17));
    const std::string version = VersionText();
    const std::string indent16(16, ' ');

    out.AppendLine("");
    Line(out, 4, "<Placemark>");
    Indent(out, 6);
    out.AppendFormat("<Metadata src=\"Tracora\" v=\"%s\" type=\"track\">\r\n", version.c_str());
    Indent(out, 8);
    out.Append("<FsInfo time_of_first_point=\"");
    const std::string first = TimeText(a.points.front().time, a.timesAreUtc);
    out.Append(first);
    sha.Update(first);
    out.Append('"');

    if (a.identifiersPresent && (a.civlPilotId >= 0 || a.compPilotId >= 0)) {
        out.Append(formats::kCrLf);
        out.Append(indent16);
        if (a.civlPilotId >= 0) {
            out.AppendFormat("civl_pilot_id=\"%d\"", a.civlPilotId);
            if (a.compPilotId >= 0) {
                out.AppendFormat(" comp_pilot_id=\"%d\"", a.compPilotId);
            }
        } else {
            out.AppendFormat("comp_pilot_id=\"%d\"", a.compPilotId);
        }
    }

    const std::string_view text = instrument ? CutInstrument(*instrument) : "unknown";
    if (!text.empty()) {
        out.Append(formats::kCrLf);
        out.Append(indent16);
        out.Append("instrument=\"");
        out.Append(formats::EscapeXmlAttribute(text));
        sha.Update(text);
        out.Append('"');
    }

    if (a.downloadTime != -1) {
        const std::string downloaded = TimeText(static_cast<std::uint32_t>(a.downloadTime), true);
        out.Append(formats::kCrLf);
        out.Append(indent16);
        out.Append("downloaded=\"");
        out.Append(downloaded);
        sha.Update(downloaded);
        out.Append('"');
    }

    std::size_t hashAt = 0;
    if (a.hashWanted) {
        out.Append(formats::kCrLf);
        out.Append(indent16);
        out.Append("hash=\"");
        hashAt = out.Size();
        out.Append(std::string(40, '0'));
        out.Append('"');
    }
    out.AppendLine(">");

    const std::uint32_t firstTime = a.points.front().time;
    const std::size_t count = a.points.size();
    Line(out, 10, "<SecondsFromTimeOfFirstPoint>");
    WriteValueList(out, sha, count,
                   [&](std::size_t i) { return static_cast<int>(a.points[i].time - firstTime); });
    Line(out, 10, "</SecondsFromTimeOfFirstPoint>");
    if (a.pressureAltitudePresent) {
        Line(out, 10, "<PressureAltitude>");
        WriteValueList(out, sha, count, [&](std::size_t i) {
            return static_cast<int>(a.points[i].pressureAltitude);
        });
        Line(out, 10, "</PressureAltitude>");
    }
    Line(out, 8, "</FsInfo>");
    Line(out, 6, "</Metadata>");
    Line(out, 6, "<name>Tracklog</name>");
    Line(out, 6, "<LineString>");
    Line(out, 8,
         withHeights ? "<altitudeMode>absolute</altitudeMode>"
                     : "<altitudeMode>clampedToGround</altitudeMode>");
    Line(out, 8, "<coordinates>");
    for (std::size_t i = 0; i < count; ++i) {
        const std::string coordinate =
            CoordinateText(a.points[i], i + 1 < count ? "%.6f,%.6f,%d " : "%.6f,%.6f,%d");
        out.Append(coordinate);
        sha.Update(coordinate);
        if ((i + 1) % 5 == 0 || i + 1 == count) {
            out.Append(formats::kCrLf);
        }
    }
    Line(out, 8, "</coordinates>");

    const formats::Sha1::Digest digest = sha.Finish();
    if (a.hashWanted) {
        // The digest bytes in order are the five big-endian words in order.
        std::string hex;
        for (const std::uint8_t b : digest) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(b));
            hex += pair;
        }
        std::string whole = out.Take();
        whole.replace(hashAt, 40, hex);
        out.Append(whole);
    }
    Line(out, 6, "</LineString>");
    Line(out, 4, "</Placemark>");
}

double MetresBetween(const TrackPoint& a, const TrackPoint& b) {
    double metres = 0;
    if (GeoDistance({SemicirclesToRadians(a.latitude), SemicirclesToRadians(a.longitude)},
                    {SemicirclesToRadians(b.latitude), SemicirclesToRadians(b.longitude)},
                    metres) != 0) {
        return 0;
    }
    return metres;
}

template <std::size_t N>
DistanceResult FromPath(const analysis::PathResult<N>& p) {
    DistanceResult r;
    for (std::size_t i = 0; i < N; ++i) {
        r.index[i] = p.index[i];
    }
    for (std::size_t i = 0; i + 1 < N; ++i) {
        r.legMetres[i] = p.legs[i];
    }
    r.sumMetres = p.sum;
    return r;
}

bool ValidIndices(const DistanceResult& r, std::size_t count) {
    return std::all_of(r.index.begin(), r.index.end(), [&](std::size_t i) { return i < count; });
}

int WriteFileAs(const std::filesystem::path& path, std::string_view content, bool overwrite) {
    return overwrite ? ReplaceFileAtomically(path, content) : CreateFileAtomically(path, content);
}

std::string ProposedName(std::uint32_t time) {
    const CalendarTime c = TimeToCalendar(time);
    char name[64];
    std::snprintf(name, sizeof name, "%d-%02d-%02d_%02d-%02d", c.year, c.month, c.day, c.hour,
                  c.minute);
    return name;
}

}  // namespace

std::array<char, 18> FsInfoHashKey() {
    std::array<char, 18> key{};
    for (std::size_t i = 0; i < kStoredHashKey.size(); ++i) {
        key[i] = static_cast<char>(static_cast<unsigned char>(kStoredHashKey[i] + i));
    }
    return key;
}

int AppendDescriptionText(std::string& out, std::string_view text) {
    std::string converted;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') {
                return kTripConversionError;
            }
            if (c == 0x7F) {
                return kTripConversionError;
            }
            if (c == '<') {
                converted += "&lt;";
            } else if (c == '>') {
                converted += "&gt;";
            } else {
                converted += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code = c & 0x07u;
        } else {
            return kTripConversionError;
        }
        if (text.size() - i < length) {
            return kTripConversionError;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return kTripConversionError;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        const bool notChar =
            code > 0x10FFFF || code == 0xFFFE || code == 0xFFFF || (code >= 0x80 && code <= 0x9F);
        if (overlong || surrogate || notChar) {
            return kTripConversionError;
        }
        converted.append(text.substr(i, length));
        i += length;
    }
    out += converted;
    return 0;
}

TripAnalysis MakeTripAnalysis(std::span<const TrackPoint> points,
                              const analysis::FlightStatistics& statistics,
                              const analysis::TripAnalysis& optimisation,
                              std::int32_t loopFlightGapMetres) {
    TripAnalysis a;
    a.points.assign(points.begin(), points.end());
    if (!points.empty()) {
        a.firstTime = points.front().time;
        a.lastTime = points.back().time;
        a.durationSeconds = a.lastTime >= a.firstTime ? a.lastTime - a.firstTime : 0;
    }
    a.minHeightMetres = statistics.lowestMetres;
    a.maxHeightMetres = statistics.highestMetres;
    a.totalMetres = statistics.totalMetres;
    a.topSpeedKmh = statistics.topSpeedKmh;
    a.maxMeanSpeedKmh = statistics.bestMeanSpeedKmh;
    a.meanSpeedKmh = statistics.meanSpeedKmh;
    a.minClimbMps = statistics.lowestClimbMps;
    a.maxClimbMps = statistics.highestClimbMps;
    a.loopFlightGapMetres = loopFlightGapMetres;

    auto& r = a.results;
    r[static_cast<std::size_t>(DistanceKind::kFivePoint)] = FromPath(optimisation.five);
    r[static_cast<std::size_t>(DistanceKind::kFourPoint)] = FromPath(optimisation.four);
    r[static_cast<std::size_t>(DistanceKind::kThreePoint)] = FromPath(optimisation.three);
    r[static_cast<std::size_t>(DistanceKind::kOpen)] = FromPath(optimisation.open);

    DistanceResult outAndReturn;
    const analysis::OutAndReturnResult& o = optimisation.outAndReturn;
    outAndReturn.index = {o.start, o.turn, o.ret, 0, 0};
    outAndReturn.sumMetres = o.score;
    if (o.score > 0 && ValidIndices(outAndReturn, points.size())) {
        outAndReturn.legMetres[0] = o.outMetres;
        outAndReturn.legMetres[1] = MetresBetween(points[o.turn], points[o.ret]);
    }
    r[static_cast<std::size_t>(DistanceKind::kOutAndReturn)] = outAndReturn;

    const auto triangle = [&](const analysis::TriangleResult& t) {
        DistanceResult d;
        d.index = t.index;
        d.sumMetres = t.score;
        if (t.score > 0 && ValidIndices(d, points.size())) {
            d.legMetres[0] = MetresBetween(points[t.index[0]], points[t.index[1]]);
            d.legMetres[1] = t.legs[0];
            d.legMetres[2] = t.legs[1];
            d.legMetres[3] = MetresBetween(points[t.index[3]], points[t.index[4]]);
        }
        return d;
    };
    r[static_cast<std::size_t>(DistanceKind::kFlatTriangle)] = triangle(optimisation.flat);
    r[static_cast<std::size_t>(DistanceKind::kFaiTriangle)] = triangle(optimisation.fai);
    return a;
}

const char* TripFolderError(int status) {
    return status == kTripConversionError ? "Wide character conversion error"
                                          : "Memory allocation error";
}

int WriteTripFolder(KmlOutput& output, TripAnalysis& analysis, std::string_view description,
                    const std::optional<std::string_view>& instrument) {
    try {
        if (analysis.points.empty()) {
            output.Take();
            return kTripMemoryError;
        }
        bool withHeights = false;
        bool invalidTime = false;
        for (const TrackPoint& p : analysis.points) {
            withHeights = withHeights || p.gpsAltitude != 0;
            invalidTime = invalidTime || !IsValidTime(p.time);
        }
        if (invalidTime) {
            std::uint32_t t = 0;
            for (TrackPoint& p : analysis.points) {
                p.time = t;
                t += 5;
            }
            analysis.timesAreUtc = false;
        }
        std::string descriptionText;
        if (AppendDescriptionText(descriptionText, description) != 0) {
            output.Take();
            return kTripConversionError;
        }
        // Vertex indices outside the points would read past the track: such a result is
        // written as not found.
        for (DistanceResult& r : analysis.results) {
            if (!ValidIndices(r, analysis.points.size())) {
                r = DistanceResult{};
            }
        }

        const std::string version = VersionText();
        Line(output, 2, "<Folder>");
        Indent(output, 4);
        output.AppendFormat("<Metadata src=\"Tracora\" v=\"%s\" type=\"trip\"/>\r\n",
                            version.c_str());
        Line(output, 4, "<open>1</open>");
        Line(output, 4, "<name>Trip</name>");
        Indent(output, 4);
        output.Append("<description><![CDATA[");
        output.Append(descriptionText);
        output.Append(formats::kCrLf);
        output.AppendLine("<pre>");
        WriteStatistics(output, analysis);
        output.AppendLine("</pre>]]>");
        Line(output, 4, "</description>");
        for (std::size_t k = 0; k < kDistanceKindCount; ++k) {
            WriteDistancePlacemark(output, analysis, k);
        }
        WriteTrackPlacemark(output, analysis, withHeights, instrument);
        Line(output, 2, "</Folder>");
        return 0;
    } catch (const std::bad_alloc&) {
        output.Take();
        return kTripMemoryError;
    }
}

int BuildGoogleEarthDocument(std::span<const TrackPoint> points, const GoogleEarthOptions& options,
                             std::string& document, std::string& title, std::string& message) {
    if (points.size() < 5) {
        title = "Write GoogleEarth file";
        message = "Too few track positions";
        return -1;
    }
    try {
        const analysis::FlightStatistics statistics = analysis::ComputeFlightStatistics(points);
        analysis::TripAnalysis optimisation;
        analysis::OptimisationOptions optimise;
        optimise.loopFlightGapMetres = options.loopFlightGapMetres;
        optimise.threads = options.threads;
        const analysis::CancelFlag never{0};
        if (analysis::RunDistanceOptimisation(points, optimisation, optimise, {}, never) != 0) {
            title = "Analysing track";
            message = "Memory allocation error";
            return -1;
        }
        TripAnalysis trip =
            MakeTripAnalysis(points, statistics, optimisation, options.loopFlightGapMetres);
        auto [low, high] = std::minmax_element(
            points.begin(), points.end(),
            [](const TrackPoint& x, const TrackPoint& y) { return x.gpsAltitude < y.gpsAltitude; });
        trip.minHeightMetres = HeightMetres(*low);
        trip.maxHeightMetres = HeightMetres(*high);
        trip.hashWanted = options.hashWanted;
        trip.timesAreUtc = options.timesAreUtc;
        trip.pressureAltitudePresent = options.pressureAltitudePresent;

        const CalendarTime c = TimeToCalendar(points.front().time);
        char date[32];
        std::snprintf(date, sizeof date, "%d-%02d-%02d", c.year, c.month, c.day);
        KmlOutput folder;
        const int status = WriteTripFolder(folder, trip, date, options.instrument);
        if (status != 0) {
            title = "Making GoogleEarth track folder";
            message = TripFolderError(status);
            return -1;
        }
        document.assign(kDocumentHead);
        document += folder.View();
        document += kDocumentTail;
        return 0;
    } catch (const std::bad_alloc&) {
        title = "Making GoogleEarth track folder";
        message = "Memory allocation error";
        return -1;
    }
}

int WriteGoogleEarthFile(Host& host, const std::filesystem::path& basePath,
                         std::span<const TrackPoint> points, const GoogleEarthOptions& options) {
    const std::string kTitle = "Write GoogleEarth file";
    std::filesystem::path path = basePath;
    path += ".kml";
    if (path.native().size() > kMaxSavePathLength) {
        host.ShowMessage(kTitle, "File name too long");
        return -1;
    }
    std::string document, title, message;
    if (BuildGoogleEarthDocument(points, options, document, title, message) != 0) {
        host.ShowMessage(title, message);
        return -1;
    }
    const int error = WriteFileAs(path, document, options.overwrite);
    if (error == EEXIST && !options.overwrite) {
        host.ShowMessage(kTitle, "File already exists");
        return -1;
    }
    if (error != 0) {
        host.ShowMessage(kTitle, std::string("File creation error\n") + std::strerror(error));
        return -1;
    }
    return 0;
}

int AppendToLogbook(std::string_view existing, std::string_view folder, std::string& document) {
    // The Document start tag: "<Document" followed by '>' or white space or an attribute.
    std::size_t start = 0;
    while (true) {
        start = existing.find("<Document", start);
        if (start == std::string_view::npos) {
            return -1;
        }
        const std::size_t after = start + 9;
        if (after < existing.size() &&
            (existing[after] == '>' || existing[after] == ' ' || existing[after] == '\t' ||
             existing[after] == '\r' || existing[after] == '\n')) {
            break;
        }
        start = after;
    }
    const std::size_t open = existing.find('>', start);
    const std::size_t close = existing.rfind("</Document>");
    if (open == std::string_view::npos || close == std::string_view::npos || close < open ||
        existing[open - 1] == '/') {
        return -1;
    }
    std::string_view content = existing.substr(open + 1, close - open - 1);
    // The head written anew already opens the document.
    constexpr std::string_view kOpen = "\r\n<open>1</open>\r\n";
    if (content.starts_with(kOpen)) {
        content.remove_prefix(kOpen.size());
    }
    while (!content.empty() && (content.back() == '\r' || content.back() == '\n')) {
        content.remove_suffix(1);
    }
    document.assign(kDocumentHead);
    document += content;
    if (!content.empty()) {
        document += formats::kCrLf;
    }
    document += folder;
    document += kDocumentTail;
    return 0;
}

int SaveLogbookFile(Host& host, Settings& settings, TripAnalysis& analysis,
                    std::string_view description,
                    const std::optional<std::string_view>& instrument) {
    const std::string kTitle = "Save Logbook file";
    if (analysis.points.empty()) {
        return -1;
    }
    KmlOutput folder;
    const int status = WriteTripFolder(folder, analysis, description, instrument);
    if (status != 0) {
        host.ShowMessage("Make GoogleEarth track folder", TripFolderError(status));
        return -1;
    }
    SaveFileRequest request;
    request.title = "Save track for Flybook";
    request.filters = {{"Flybook files (*.kml)", "kml"}, {"All Files", "*"}};
    request.folder = settings.googleDir;
    request.proposedName = ProposedName(analysis.points.front().time);
    std::filesystem::path chosenFolder;
    const std::optional<std::filesystem::path> path = AskSavePath(host, request, &chosenFolder);
    if (!path) {
        return -1;
    }
    settings.googleDir = chosenFolder.string();

    std::string document;
    std::error_code ec;
    const bool exists = std::filesystem::exists(*path, ec);
    bool append = false;
    if (exists) {
        const Answer answer =
            host.AskLabelled(kTitle, "File already exists", QuestionButtons::kYesNoCancel,
                             {"&Append", "&Overwrite", "&Cancel"});
        if (answer == Answer::kCancel) {
            return -1;
        }
        append = answer == Answer::kYes;
    }
    if (append) {
        std::string existing;
        const FileReadStatus read = ReadWholeFile(*path, existing);
        if (read != FileReadStatus::kOk) {
            const char* text = read == FileReadStatus::kEmpty      ? "Existing file is empty"
                               : read == FileReadStatus::kNoMemory ? "File buffer memory allocation"
                               : read == FileReadStatus::kReadError ? "Error reading existing file"
                                                                    : "Error opening existing file";
            host.ShowMessage(kTitle, text);
            return -1;
        }
        if (AppendToLogbook(existing, folder.View(), document) != 0) {
            host.ShowMessage(kTitle, "Error(s) parsing existing file");
            return -1;
        }
    } else {
        document.assign(kDocumentHead);
        document += folder.View();
        document += kDocumentTail;
    }
    const int error = WriteFileAs(*path, document, exists);
    if (error != 0) {
        host.ShowMessage(
            kTitle, std::string(exists ? "Error opening file" : "Error opening new file") + "\n" +
                        std::strerror(error));
        return -1;
    }
    host.ShowMessage("Save Flybook track", analysis.hashWanted ? "Track saved (Signature OK)"
                                                               : "Track saved (NO signature)");
    return 0;
}

std::string KmlWaypointDocument(std::span<const Waypoint> waypoints) {
    KmlOutput out;
    out.AppendLine("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    out.AppendLine("<kml xmlns=\"http://earth.google.com/kml/2.1\">");
    out.AppendLine("  <Document>");
    out.AppendLine("    <Folder>");
    out.AppendLine("      <name>Waypoints</name>");
    for (const Waypoint& w : waypoints) {
        out.AppendLine("      <Placemark>");
        out.Append("        <name>");
        out.Append(formats::EscapeXmlText(w.Id()));
        out.AppendLine("</name>");
        out.Append("        <description>");
        out.Append(formats::EscapeXmlText(w.Description()));
        out.AppendLine("</description>");
        out.AppendLine("        <Point>");
        out.AppendFormat("        <coordinates>%.6f,%.6f,%.6f</coordinates>\r\n",
                         SemicirclesToDegrees(w.longitude), SemicirclesToDegrees(w.latitude),
                         static_cast<double>(w.altitude));
        out.AppendLine("        </Point>");
        out.AppendLine("      </Placemark>");
    }
    out.AppendLine("    </Folder>");
    out.AppendLine("  </Document>");
    out.AppendLine("</kml>");
    return out.Take();
}

int WriteKmlWaypointFile(Host& host, const std::filesystem::path& path,
                         std::span<const Waypoint> waypoints, bool overwrite) {
    const std::string kTitle = "Save GoogleEarth waypoint file";
    std::string document;
    try {
        document = KmlWaypointDocument(waypoints);
    } catch (const std::bad_alloc&) {
        host.ShowMessage(kTitle, "Memory allocation error");
        return -1;
    }
    const int error = WriteFileAs(path, document, overwrite);
    if (error != 0) {
        host.ShowMessage(kTitle, std::string("File write error\n") + std::strerror(error));
        return -1;
    }
    return 0;
}

std::string AnimationTrackDocument(std::span<const TrackPoint> points, bool timesAreUtc) {
    KmlOutput out;
    out.AppendLine("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    out.AppendLine(
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
        "xmlns:gx=\"http://www.google.com/kml/ext/2.2\""
        " xmlns:kml=\"http://www.opengis.net/kml/2.2\" "
        "xmlns:atom=\"http://www.w3.org/2005/Atom\">");
    out.AppendLine("<Document>");
    out.AppendLine("  <name>Track</name>");
    out.AppendLine("  <Style id=\"multiTrack_n\">");
    out.AppendLine("    <IconStyle>");
    out.AppendLine("      <Icon>");
    out.AppendLine(
        "        "
        "<href>http://earth.google.com/images/kml-icons/track-directional/track-0.png</href>");
    out.AppendLine("      </Icon>");
    out.AppendLine("    </IconStyle>");
    out.AppendLine("    <LineStyle>");
    out.AppendLine("      <color>99ffac59</color>");
    out.AppendLine("      <width>6</width>");
    out.AppendLine("    </LineStyle>");
    out.AppendLine("  </Style>");
    out.AppendLine("  <StyleMap id=\"multiTrack\">");
    out.AppendLine("    <Pair>");
    out.AppendLine("      <key>normal</key>");
    out.AppendLine("      <styleUrl>#multiTrack_n</styleUrl>");
    out.AppendLine("    </Pair>");
    out.AppendLine("    <Pair>");
    out.AppendLine("      <key>highlight</key>");
    out.AppendLine("      <styleUrl>#multiTrack_h</styleUrl>");
    out.AppendLine("    </Pair>");
    out.AppendLine("  </StyleMap>");
    out.AppendLine("  <Style id=\"multiTrack_h\">");
    out.AppendLine("    <IconStyle>");
    out.AppendLine("      <scale>1.2</scale>");
    out.AppendLine("      <Icon>");
    out.AppendLine(
        "        "
        "<href>http://earth.google.com/images/kml-icons/track-directional/track-0.png</href>");
    out.AppendLine("      </Icon>");
    out.AppendLine("    </IconStyle>");
    out.AppendLine("    <LineStyle>");
    out.AppendLine("      <color>99ffac59</color>");
    out.AppendLine("      <width>8</width>");
    out.AppendLine("    </LineStyle>");
    out.AppendLine("  </Style>");
    out.AppendLine("  <Placemark>");
    out.AppendLine("    <name>Pilot</name>");
    out.AppendLine("    <styleUrl>#multiTrack</styleUrl>");
    out.AppendLine("    <gx:balloonVisibility>1</gx:balloonVisibility>");
    out.AppendLine("    <gx:Track>");
    out.AppendLine("      <altitudeMode>absolute</altitudeMode>");
    for (const TrackPoint& p : points) {
        const CalendarTime c = TimeToCalendar(p.time);
        out.AppendFormat("      <when>%d-%02d-%02dT%02d:%02d:%02d%s</when>\r\n", c.year, c.month,
                         c.day, c.hour, c.minute, c.second, timesAreUtc ? "Z" : "");
    }
    for (const TrackPoint& p : points) {
        out.AppendFormat("      <gx:coord>%.6f %.6f %d</gx:coord>\r\n",
                         SemicirclesToDegrees(p.longitude), SemicirclesToDegrees(p.latitude),
                         HeightMetres(p));
    }
    out.Append("    </gx:Track>\r\n  </Placemark>\r\n</Document>\r\n</kml>\r\n");
    return out.Take();
}

int SaveAnimationTrack(AppState& state, Host& host, std::span<const std::size_t> selection,
                       bool trackViewShown) {
    const std::string kTitle = "Save track animation file";
    if (state.busy.load()) {
        return -1;
    }
    if (!trackViewShown) {
        host.ShowMessage(kTitle, std::string(kIncorrectViewMode));
        return -1;
    }
    if (!state.trackLog.Loaded()) {
        return 0;
    }
    std::vector<TrackPoint> points;
    const long long count = CopySelection(state, host, selection, points);
    if (count < 0) {
        host.ShowMessage(kTitle, "Memory allocation error");
        return -1;
    }
    if (count < 2) {
        host.ShowMessage(kTitle, "Less than 2 positions selected");
        return -1;
    }
    std::string document;
    try {
        document = AnimationTrackDocument(points, state.trackLog.timeIsUtc);
    } catch (const std::bad_alloc&) {
        host.ShowMessage(kTitle, "Memory allocation error");
        return -1;
    }
    SaveFileRequest request;
    request.title = "Save kml animation track";
    request.filters = {{"GoogleEarth files (*.kml)", "kml"}, {"All Files", "*"}};
    request.folder = state.settings.googleDir;
    request.proposedName = ProposedName(points.front().time);
    std::filesystem::path chosenFolder;
    const std::optional<std::filesystem::path> path = AskSavePath(host, request, &chosenFolder);
    if (!path) {
        return -1;
    }
    state.settings.googleDir = chosenFolder.string();
    std::error_code ec;
    const bool exists = std::filesystem::exists(*path, ec);
    if (exists && host.Ask(kTitle, "File already exists, delete ?", QuestionButtons::kYesNo) !=
                      Answer::kYes) {
        return -1;
    }
    const int error = WriteFileAs(*path, document, exists);
    if (error != 0) {
        host.ShowMessage(kTitle, std::string("Could not create file\n") + std::strerror(error));
        return -1;
    }
    host.SetStatus(path->filename().string() + " written");
    return 0;
}

}  // namespace tracora::kml
