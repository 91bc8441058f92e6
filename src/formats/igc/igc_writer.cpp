#include "formats/igc/igc_writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "core/version.hpp"
#include "formats/common/coordinate_text.hpp"
#include "formats/common/text_buffer.hpp"
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
    SecurityChecksum checksum;

    std::string a = "AXTR";
    a += header.frSerial;
    a += ' ';
    a += header.instrument;
    Line(buffer, &checksum, a);

    const CalendarTime first = TimeToCalendar(points.front().time);
    char date[32];
    std::snprintf(date, sizeof date, "HFDTE%02d%02d%02d", first.day, first.month, first.year % 100);
    Line(buffer, &checksum, date);

    HeaderLine(buffer, "HOPLTPILOT: ", header.pilot);
    HeaderLine(buffer, "HOGTYGLIDERTYPE: ", header.gliderType);
    HeaderLine(buffer, "HOGIDGLIDERID: ", header.gliderId);
    buffer.AppendLine("HODTM100GPSDATUM: WGS-84");
    HeaderLine(buffer, "HOCIDCOMPETITIONID: ", header.competitionId);
    HeaderLine(buffer, "HOCCLCOMPETITION CLASS: ", header.gliderClass);
    HeaderLine(buffer, "HOSITSite: ", header.site);

    if (options.wantEnl) {
        Line(buffer, &checksum, "I013638ENL");
    }
    for (const TrackPoint& point : points) {
        Line(buffer, &checksum, IgcBRecord(point, options.wantEnl));
    }

    Line(buffer, &checksum, "LXTR Tracora version " + IgcVersionText(kVersion));
    const CalendarTime& d = options.downloadTime;
    char downloaded[96];
    std::snprintf(downloaded, sizeof downloaded, "LXTR Downloaded %d-%02d-%02d  %02d:%02d:%02d",
                  d.year, d.month, d.day, d.hour, d.minute, d.second);
    Line(buffer, &checksum, downloaded);

    if (options.wantSecurityRecord && options.gRecordEligible) {
        const std::array<char, 16> digits = SecurityRecordDigits(checksum.Register());
        buffer.Append('G');
        buffer.AppendLine(std::string_view(digits.data(), digits.size()));
    }
}

}  // namespace

std::string IgcBRecord(const TrackPoint& point, bool withEnl) {
    const CalendarTime time = TimeToCalendar(point.time);
    const formats::DegreeMinutes lat =
        formats::SplitMilliMinutes(formats::SemicirclesToMilliMinutes(point.latitude));
    const formats::DegreeMinutes lon =
        formats::SplitMilliMinutes(formats::SemicirclesToMilliMinutes(point.longitude));
    const int pressure = ClampAltitude(point.pressureAltitude);
    // Decimetres to whole metres, rounding halves up; below sea level is written as 0.
    const int gps = point.gpsAltitude < 0
                        ? 0
                        : ClampAltitude((static_cast<long long>(point.gpsAltitude) + 5) / 10);
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "B%02d%02d%02d%02d%02d%03d%c%03d%02d%03d%cA%05d%05d",
                      time.hour, time.minute, time.second, lat.degrees, lat.minutes,
                      lat.thousandths, point.latitude < 0 ? 'S' : 'N', lon.degrees, lon.minutes,
                      lon.thousandths, point.longitude < 0 ? 'W' : 'E', pressure, gps);
    std::string out(line, static_cast<std::size_t>(std::max(length, 0)));
    if (withEnl) {
        char enl[8];
        std::snprintf(enl, sizeof enl, "%03d", EnlValue(point.depth));
        out += enl;
    }
    return out;
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

}  // namespace tracora::igc
