#include "documents/olc_file.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/igc/igc_names.hpp"

namespace tracora::olc {

namespace {

constexpr Region kRegions[] = {
    {"", "   Unknown"},
    {"AF", "AF Africa"},
    {"AR", "AR Argentina"},
    {"AT", "AT Austria / Osterreich"},
    {"AU", "AU Australia"},
    {"BE", "BE Belgium"},
    {"BG", "BG Bulgaria"},
    {"BR", "BR Brazil"},
    {"CA", "CA Canada"},
    {"CH", "CH Switzerland / Schweiz"},
    {"CZ", "CZ Czech Republic"},
    {"DE", "DE Germany / Deutchland"},
    {"DK", "DK Denmark / Danmark"},
    {"ES", "ES Spain / Espana"},
    {"FI", "FI Finland / Suomi"},
    {"FR", "FR France"},
    {"GR", "GR Greece / Ellas or Ellada"},
    {"HR", "HR Croatia / Hrvatska"},
    {"HU", "HU Hungary / Magyarorszag"},
    {"IS", "IS Iceland / Island"},
    {"IT", "IT Italy / Italia"},
    {"JP", "JP Japan"},
    {"KR", "KR Korea"},
    {"LT", "LT Lithuania / Lietuvos Respublik"},
    {"LU", "LU Luxembourg"},
    {"MK", "MK Macedonia / Makedonija"},
    {"MX", "MX Mexico"},
    {"NL", "NL Netherlands / Nederland"},
    {"NO", "NO Norway / Norge"},
    {"PL", "PL Poland / Polska"},
    {"PT", "PT Portugal"},
    {"RU", "RU Russian Federation / Russia"},
    {"SE", "SE Sweden / Sverige"},
    {"SI", "SI Slovenia / Slovenija"},
    {"TR", "TR Turkey / Turkiye"},
    {"UK", "UK United Kingdom"},
    {"US", "US USA"},
    {"ZA", "ZA South Africa / RSA"},
};

constexpr GliderClass kClasses[] = {
    {1, "Flexible wing"},      {2, "Rigid wing"},          {3, "Paraglider (open)"},
    {4, "Paraglider (sport)"}, {5, "Paraglider (tandem)"},
};

// Days from 1601-01-01 to the receiver epoch (1989-12-31).
constexpr std::uint32_t kReceiverEpochDay = 142078;

bool Blank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

// "d.m.yy" with '.', '/' or '-' between the numbers and a year of two or four digits; false
// when it is not a date.
bool ParseBirthDate(std::string_view text, int& day, int& month, int& year) {
    int values[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int field = 0;
    text = TrimBlanks(text);
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits[field] > 4) {
                return false;
            }
            values[field] = values[field] * 10 + (c - '0');
        } else if ((c == '.' || c == '/' || c == '-') && field < 2 && digits[field] > 0) {
            ++field;
        } else {
            return false;
        }
    }
    if (field != 2 || digits[0] > 2 || digits[1] > 2 || (digits[2] != 2 && digits[2] != 4)) {
        return false;
    }
    day = values[0];
    month = values[1];
    year = values[2] % 100;
    return day >= 1 && day <= 31 && month >= 1 && month <= 12;
}

// Hemisphere, degrees, minutes and thousandths of a minute of an angle in semicircles.
struct Sexagesimal {
    char hemisphere;
    int degrees, minutes, thousandths;
};

Sexagesimal Split(std::int32_t semicircles, char positive, char negative) {
    const double degrees = SemicirclesToDegrees(semicircles);
    const auto total = static_cast<long long>(std::llround(std::fabs(degrees) * 60000.0));
    return {degrees < 0 ? negative : positive, static_cast<int>(total / 60000),
            static_cast<int>(total / 1000 % 60), static_cast<int>(total % 1000)};
}

std::string TimeOfDay(std::uint32_t seconds) {
    return StringPrintf("%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

// "major.minor[.patch]" as major and minor.
void VersionNumbers(std::string_view version, int& major, int& minor) {
    major = std::atoi(std::string(version).c_str());
    const std::size_t dot = version.find('.');
    minor =
        dot == std::string_view::npos ? 0 : std::atoi(std::string(version.substr(dot + 1)).c_str());
}

}  // namespace

std::span<const Region> Regions() {
    return kRegions;
}

std::span<const GliderClass> GliderClasses() {
    return kClasses;
}

const char* CheckPilotData(PilotData& data, int& flight) {
    if (Blank(data.firstName)) {
        return "Missing first name";
    }
    if (Blank(data.lastName)) {
        return "Missing last name";
    }
    if (Blank(data.birthDate)) {
        return "Missing birth date";
    }
    int day = 0;
    int month = 0;
    int year = 0;
    if (!ParseBirthDate(data.birthDate, day, month, year)) {
        return "Bad birth date format";
    }
    data.birthDate = StringPrintf("%02d.%02d.%02d", day, month, year);
    bool known = false;
    for (const GliderClass& c : kClasses) {
        known = known || c.number == data.gliderClass;
    }
    if (!known) {
        return "Combo box read error";
    }
    if (Blank(data.gliderType)) {
        return "Missing glider type";
    }
    if (Blank(data.startPlace)) {
        return "Missing start place";
    }
    return igc::CheckFlightNumber(data.flightNumber, flight);
}

std::string EncodeValue(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '!' || c == '$' || c == '(' || c == ')' ||
                          c == '*' || c == ',' || c == '-' || c == '.' || c == '_';
        if (keep) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

Flight BestResultFlight(std::span<const TrackPoint> points, const analysis::OlcResults& results,
                        igc::IgcNameStyle style, std::string_view manufacturer,
                        std::string_view serial, int flight) {
    Flight what;
    what.igcFileName = igc::IgcProposedName(style, TimeToCalendar(points.front().time),
                                            manufacturer, serial, flight);
    const auto indices = results.Indices(results.best);
    for (std::size_t v = 0; v < 5; ++v) {
        what.points[v] = points[indices[v]];
    }
    return what;
}

bool CarriesSecurityRecord(std::string_view igcText) {
    return igcText.starts_with("G") || igcText.find("\nG") != std::string_view::npos;
}

std::string BuildOlcText(const PilotData& data, const Flight& what, std::string_view version) {
    const TrackPoint& start = what.points[0];
    const TrackPoint& finish = what.points[4];
    const std::uint32_t startOfDay = start.time % 86400;
    std::uint32_t finishOfDay = finish.time % 86400;
    if (finishOfDay <= startOfDay) {
        finishOfDay += 86400;
    }
    std::string text = "OLCvnolc=" + EncodeValue(data.firstName);
    text += "&na=" + EncodeValue(data.lastName);
    text += "&geb=" + EncodeValue(data.birthDate);
    text += "&gty=" + EncodeValue(data.gliderType);
    text += "&sta=" + EncodeValue(data.startPlace);
    text += "&region=" + EncodeValue(data.regionCode);
    text += "&gid=" + EncodeValue(data.callSign);
    text += StringPrintf("&klasse=%d", data.gliderClass);
    text += "&igcfn=" + EncodeValue(what.igcFileName);
    text += "&flugzeug=1";
    text += StringPrintf("&ft=%u", start.time / 86400 + kReceiverEpochDay);
    text += "&s0=" + EncodeValue(TimeOfDay(startOfDay));
    for (int w = 0; w < 5; ++w) {
        const TrackPoint& p = what.points[static_cast<std::size_t>(w)];
        const Sexagesimal lat = Split(p.latitude, 'N', 'S');
        const Sexagesimal lon = Split(p.longitude, 'E', 'W');
        text += StringPrintf("&w%dbh=%c&w%dbg=%d&w%dbm=%02d&w%dbmd=%03d", w, lat.hemisphere, w,
                             lat.degrees, w, lat.minutes, w, lat.thousandths);
        text += StringPrintf("&w%dlh=%c&w%dlg=%d&w%dlm=%02d&w%dlmd=%03d", w, lon.hemisphere, w,
                             lon.degrees, w, lon.minutes, w, lon.thousandths);
    }
    text += "&s4=" + EncodeValue(TimeOfDay(finishOfDay));
    int major = 0;
    int minor = 0;
    VersionNumbers(version, major, minor);
    text += StringPrintf("&software=Tracora%d%02d", major, minor);
    if (!what.igcText.empty()) {
        text += "&IGCigcIGC=" + EncodeValue(what.igcText);
    }
    return text;
}

}  // namespace tracora::olc
