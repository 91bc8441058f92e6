#include "formats/kml/kml_writer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/version.hpp"
#include "formats/common/sha1.hpp"
#include "formats/common/xml_escape.hpp"
#include "formats/igc/igc_writer.hpp"
#include "formats/kml/kml_reader.hpp"

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

}  // namespace

std::int32_t KmlHeightMetres(const TrackPoint& p) {
    return HeightMetres(p);
}

bool ResultWithinTrack(const DistanceResult& r, std::size_t count) {
    return std::all_of(r.index.begin(), r.index.end(), [&](std::size_t i) { return i < count; });
}

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
            if (!ResultWithinTrack(r, analysis.points.size())) {
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

int WriteTripDocument(KmlOutput& output, TripAnalysis& analysis,
                      const std::optional<std::string_view>& instrument, std::string& message) {
    if (analysis.points.empty()) {
        message = TripFolderError(kTripMemoryError);
        return -1;
    }
    try {
        // The description is the date of the first position, before any renumbering.
        const CalendarTime c = TimeToCalendar(analysis.points.front().time);
        char date[32];
        std::snprintf(date, sizeof date, "%d-%02d-%02d", c.year, c.month, c.day);
        KmlOutput folder;
        const int status = WriteTripFolder(folder, analysis, date, instrument);
        if (status != 0) {
            message = TripFolderError(status);
            return -1;
        }
        output.Append(kDocumentHead);
        output.Append(folder.View());
        output.Append(kDocumentTail);
        return 0;
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
}

int AppendToLogbook(std::string_view existing, std::string_view folder, std::string& document) {
    std::size_t start = 0;
    std::size_t end = 0;
    if (LocateKmlDocument(existing, start, end) != 0) {
        return -1;
    }
    std::string_view content = existing.substr(start, end - start);
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
        // A waypoint without a name could not be read back: an empty ID is written "-".
        out.Append(w.Id().empty() ? std::string("-") : formats::EscapeXmlText(w.Id()));
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

}  // namespace tracora::kml
