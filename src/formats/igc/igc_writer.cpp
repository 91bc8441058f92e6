#include "formats/igc/igc_writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "core/version.hpp"
#include "formats/common/coordinate_text.hpp"
#include "formats/common/text_buffer.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_security.hpp"

namespace tracora::igc {
namespace {

using formats::TextBuffer;

constexpr double kMetresToFeet = 3.28084;
constexpr int kMaxEnl = 999;
// Altitudes beyond what five characters hold would shift every later field of the B-record.
constexpr int kMinAltitude = -9999;
constexpr int kMaxAltitude = 99999;

int ClampAltitude(long long metres) {
    return static_cast<int>(std::clamp<long long>(metres, kMinAltitude, kMaxAltitude));
}

int EnlValue(float depth) {
    if (!(depth >= 0)) {
        return 0;  // negative or not a number
    }
    const double feet = std::trunc(static_cast<double>(depth) * kMetresToFeet + 0.5);
    return feet >= kMaxEnl ? kMaxEnl : static_cast<int>(feet);
}

// Writes `value` with at least `width` digits, zeros in front, as "%0*u" does.
char* PutDigits(char* out, unsigned value, int width) {
    // The fields of a B-record: two or three digits that fit their width.
    if (width == 2 && value < 100) {
        out[0] = static_cast<char>('0' + value / 10);
        out[1] = static_cast<char>('0' + value % 10);
        return out + 2;
    }
    if (width == 3 && value < 1000) {
        out[0] = static_cast<char>('0' + value / 100);
        out[1] = static_cast<char>('0' + value / 10 % 10);
        out[2] = static_cast<char>('0' + value % 10);
        return out + 3;
    }
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = count; i < width; ++i) {
        *out++ = '0';
    }
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

// "%05d": five characters, a minus sign and four digits below zero.
char* PutAltitude(char* out, int metres) {
    if (metres < 0) {
        *out++ = '-';
        return PutDigits(out, static_cast<unsigned>(-metres), 4);
    }
    return PutDigits(out, static_cast<unsigned>(metres), 5);
}

char* PutAngle(char* out, std::int32_t semicircles, int degreeWidth, char positive, char negative) {
    const formats::DegreeMinutes angle =
        formats::SplitMilliMinutes(formats::SemicirclesToMilliMinutes(semicircles));
    out = PutDigits(out, static_cast<unsigned>(angle.degrees), degreeWidth);
    out = PutDigits(out, static_cast<unsigned>(angle.minutes), 2);
    out = PutDigits(out, static_cast<unsigned>(angle.thousandths), 3);
    *out++ = semicircles < 0 ? negative : positive;
    return out;
}

constexpr std::size_t kMaxBRecord = 64;

// "B%02d%02d%02d%02d%02d%03d%c%03d%02d%03d%cA%05d%05d" and, with ENL, "%03d" more. Returns
// the end of the text (no line end, no NUL).
char* WriteBRecord(char* out, const TrackPoint& point, bool withEnl) {
    // The time base starts at midnight UTC and has no leap seconds.
    const std::uint32_t timeOfDay = point.time % 86400u;
    *out++ = 'B';
    out = PutDigits(out, timeOfDay / 3600u, 2);
    out = PutDigits(out, timeOfDay / 60u % 60u, 2);
    out = PutDigits(out, timeOfDay % 60u, 2);
    out = PutAngle(out, point.latitude, 2, 'N', 'S');
    out = PutAngle(out, point.longitude, 3, 'E', 'W');
    *out++ = 'A';
    out = PutAltitude(out, ClampAltitude(point.pressureAltitude));
    // Decimetres to whole metres, rounding halves up; below sea level is written as 0.
    const int gps = point.gpsAltitude < 0
                        ? 0
                        : ClampAltitude((static_cast<long long>(point.gpsAltitude) + 5) / 10);
    out = PutAltitude(out, gps);
    if (withEnl) {
        out = PutDigits(out, static_cast<unsigned>(EnlValue(point.depth)), 3);
    }
    return out;
}

// Appends a line and feeds it to the checksum when it is covered.
void Line(TextBuffer& buffer, SecurityChecksum* checksum, std::string_view text) {
    const std::size_t start = buffer.Size();
    buffer.AppendLine(text);
    if (checksum != nullptr) {
        checksum->Update(buffer.View().substr(start));
    }
}

void HeaderLine(TextBuffer& buffer, std::string_view label, std::string_view value) {
    buffer.Append(label);
    buffer.AppendLine(value);
}

void Encode(std::span<const TrackPoint> points, const IgcHeaderTexts& header,
            const IgcEncodeOptions& options, TextBuffer& buffer) {
    // The headers, the B records (at most kMaxBRecord characters and CR LF each) and the
    // closing lines.
    buffer.Reserve(4096 + points.size() * (kMaxBRecord + 2));
    SecurityChecksum checksum;
    // The lines the security record covers are summed only when one is written.
    SecurityChecksum* const covered =
        options.wantSecurityRecord && options.gRecordEligible ? &checksum : nullptr;

    std::string a = "AXTR";
    a += header.frSerial;
    a += ' ';
    a += header.instrument;
    Line(buffer, covered, a);

    const CalendarTime first = TimeToCalendar(points.front().time);
    char date[32];
    std::snprintf(date, sizeof date, "HFDTE%02d%02d%02d", first.day, first.month, first.year % 100);
    Line(buffer, covered, date);

    HeaderLine(buffer, "HOPLTPILOT: ", header.pilot);
    HeaderLine(buffer, "HOGTYGLIDERTYPE: ", header.gliderType);
    HeaderLine(buffer, "HOGIDGLIDERID: ", header.gliderId);
    buffer.AppendLine("HODTM100GPSDATUM: WGS-84");
    HeaderLine(buffer, "HOCIDCOMPETITIONID: ", header.competitionId);
    HeaderLine(buffer, "HOCCLCOMPETITION CLASS: ", header.gliderClass);
    HeaderLine(buffer, "HOSITSite: ", header.site);

    if (options.wantEnl) {
        Line(buffer, covered, "I013638ENL");
    }
    char line[kMaxBRecord];
    for (const TrackPoint& point : points) {
        char* end = WriteBRecord(line, point, options.wantEnl);
        *end++ = '\r';
        *end++ = '\n';
        const std::string_view text(line, static_cast<std::size_t>(end - line));
        buffer.Append(text);
        if (covered != nullptr) {
            covered->Update(text);
        }
    }

    Line(buffer, covered, "LXTR Tracora version " + IgcVersionText(kVersion));
    if (options.converted) {
        Line(buffer, covered,
             "LXTR Converted from a file, not downloaded: the source's security record does "
             "not cover this file");
        for (const std::string& carried : options.carriedLines) {
            Line(buffer, covered, carried);
        }
    } else {
        const CalendarTime& d = options.downloadTime;
        char downloaded[96];
        std::snprintf(downloaded, sizeof downloaded, "LXTR Downloaded %d-%02d-%02d  %02d:%02d:%02d",
                      d.year, d.month, d.day, d.hour, d.minute, d.second);
        Line(buffer, covered, downloaded);
    }

    if (options.wantSecurityRecord && options.gRecordEligible) {
        const std::array<char, 16> digits = SecurityRecordDigits(checksum.Register());
        buffer.Append('G');
        buffer.AppendLine(std::string_view(digits.data(), digits.size()));
    }
}

}  // namespace

std::string IgcBRecord(const TrackPoint& point, bool withEnl) {
    char line[kMaxBRecord];
    return std::string(line, static_cast<std::size_t>(WriteBRecord(line, point, withEnl) - line));
}

std::string IgcVersionText(std::string_view version) {
    int parts[2] = {0, 0};
    std::size_t part = 0;
    for (const char c : version) {
        if (c == '.') {
            if (++part == 2) {
                break;
            }
        } else if (c >= '0' && c <= '9' && parts[part] < 100000) {
            parts[part] = parts[part] * 10 + (c - '0');
        }
    }
    const int number = parts[0] * 100 + parts[1];
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d", number / 100, number % 100);
    return text;
}

long long EncodeIgc(std::span<const TrackPoint> points, const IgcHeaderTexts& header,
                    const IgcEncodeOptions& options, std::string& out, bool& securityWritten) {
    out.clear();
    securityWritten = options.gRecordEligible;
    if (points.empty()) {
        return -1;
    }
    try {
        TextBuffer buffer;
        Encode(points, header, options, buffer);
        out = buffer.Take();
    } catch (const std::bad_alloc&) {
        out.clear();
        return -1;
    }
    return static_cast<long long>(out.size());
}

long long EncodeConvertedIgc(std::string_view sourceText, std::span<const TrackPoint> points,
                             std::string& out) {
    const IgcSourceHeader source = ReadIgcSourceHeader(sourceText);
    IgcHeaderTexts header;
    header.pilot = source.pilot;
    header.gliderType = source.gliderType;
    header.gliderId = source.gliderId;
    header.competitionId = source.competitionId;
    header.gliderClass = source.gliderClass;
    header.site = source.site;
    std::vector<std::string> carried;
    if (!source.aRecord.empty()) {
        carried.push_back("LXTR Source A record: " + source.aRecord);
    }
    carried.insert(carried.end(), source.lRecords.begin(), source.lRecords.end());
    IgcEncodeOptions options;
    options.converted = true;
    options.carriedLines = carried;
    bool securityWritten = false;
    return EncodeIgc(points, header, options, out, securityWritten);
}

}  // namespace tracora::igc
