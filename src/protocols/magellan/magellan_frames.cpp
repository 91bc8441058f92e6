#include "protocols/magellan/magellan_frames.hpp"

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/common/coordinate_text.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/upload_names.hpp"

namespace tracora::protocols::magellan {

namespace {

// The fields of a body after its identifier; `missing` tells a field that is not there from an
// empty one.
class Fields {
public:
    explicit Fields(std::string_view body) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = body.find(',', start);
            parts_.push_back(body.substr(
                start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
    }
    // Field i (1 = the first after the identifier).
    bool Has(std::size_t i) const { return i < parts_.size(); }
    std::string_view operator[](std::size_t i) const { return Has(i) ? parts_[i] : ""; }

private:
    std::vector<std::string_view> parts_;
};

// An unsigned decimal number "123" or "123.4567": the integer part and the fraction as
// numerator / 10^digits (at most 9 digits are kept). False for anything else.
struct Decimal {
    std::uint64_t whole = 0;
    std::uint64_t fraction = 0;
    std::uint64_t scale = 1;
};

bool ParseDecimalText(std::string_view text, Decimal& out) {
    out = Decimal{};
    std::size_t i = 0;
    std::size_t wholeDigits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++wholeDigits) {
        if (wholeDigits >= 12)
            return false;
        out.whole = out.whole * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    if (wholeDigits == 0)
        return false;
    if (i == text.size())
        return true;
    if (text[i] != '.')
        return false;
    ++i;
    for (std::size_t kept = 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        if (kept < 9) {
            out.fraction = out.fraction * 10 + static_cast<std::uint64_t>(text[i] - '0');
            out.scale *= 10;
            ++kept;
        }
    }
    return true;
}

// "ddmm.mmm" (or "dddmm.mmm") below `limit` degrees into semicircles. 0, -1 not a position,
// -2 beyond the limit.
int ParseAngle(std::string_view text, int limit, std::int32_t& semicircles) {
    Decimal value;
    if (!ParseDecimalText(text, value))
        return -1;
    const std::uint64_t degrees = value.whole / 100;
    const std::uint64_t wholeMinutes = value.whole % 100;
    if (wholeMinutes >= 60)
        return -1;
    if (degrees >= static_cast<std::uint64_t>(limit))
        return -2;
    // Thousandths of a minute are the instrument's resolution: those convert exactly as an
    // IGC file's do; finer fractions go through degrees.
    const std::uint64_t thousandths = value.fraction * 1000;
    if (thousandths % value.scale == 0) {
        const auto milliMinutes = static_cast<std::int32_t>(degrees * 60000 + wholeMinutes * 1000 +
                                                            thousandths / value.scale);
        semicircles = formats::MilliMinutesToSemicircles(milliMinutes);
    } else {
        const double minutes =
            static_cast<double>(wholeMinutes) +
            static_cast<double>(value.fraction) / static_cast<double>(value.scale);
        semicircles = DegreesToSemicircles(static_cast<double>(degrees) + minutes / 60.0);
    }
    return 0;
}

// A signed whole altitude ("00123", "-0012"). False for anything else.
bool ParseAltitude(std::string_view text, long long& out) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    Decimal value;
    // Some units write a fraction; it is dropped as the whole metres are kept.
    if (!ParseDecimalText(text, value) || value.whole > 1'000'000)
        return false;
    out = negative ? -static_cast<long long>(value.whole) : static_cast<long long>(value.whole);
    return true;
}

// The position and altitude fields shared by track points and waypoints: fields 1-6. 0 or the
// negated error number; the altitude in `altitude`, its unit in `feet`.
int ParsePositionFields(const Fields& f, std::int32_t& latitude, std::int32_t& longitude,
                        long long& altitude, bool& feet) {
    int rc = ParseAngle(f[1], 90, latitude);
    if (rc == -1)
        return -2;
    if (rc == -2)
        return -3;
    if (!f.Has(2))
        return -4;
    if (f[2] != "N" && f[2] != "S")
        return -5;
    if (f[2] == "S")
        latitude = -latitude;
    if (!f.Has(3))
        return -6;
    rc = ParseAngle(f[3], 180, longitude);
    if (rc == -1)
        return -9;
    if (rc == -2)
        return -8;
    if (!f.Has(4))
        return -7;
    if (f[4] != "E" && f[4] != "W")
        return -10;
    if (f[4] == "W")
        longitude = -longitude;
    if (!f.Has(5))
        return -11;
    // A unit below sea level writes its altitude with a sign ("-0012").
    if (!ParseAltitude(f[5], altitude))
        return -12;
    if (!f.Has(6))
        return -13;
    if (f[6] != "M" && f[6] != "F")
        return -14;
    feet = f[6] == "F";
    return 0;
}

long long RoundedFeet(long long feet, double factor) {
    const double value = static_cast<double>(feet) * factor;
    return static_cast<long long>(value < 0 ? value - 0.5 : value + 0.5);
}

int DigitsValue(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

bool AllDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// "hhmmss" with an optional fraction: seconds of the day (a fraction of 0.5 s or more rounds
// up). False for anything else.
bool ParseTimeOfDay(std::string_view text, std::uint32_t& seconds) {
    Decimal value;
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    if (whole.size() != 6 || !AllDigits(whole) || !ParseDecimalText(text, value))
        return false;
    const int hour = DigitsValue(whole, 0, 2);
    const int minute = DigitsValue(whole, 2, 2);
    const int second = DigitsValue(whole, 4, 2);
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    seconds = static_cast<std::uint32_t>(hour * 3600 + minute * 60 + second);
    if (value.fraction * 2 >= value.scale && value.fraction != 0)
        ++seconds;
    return true;
}

std::string AngleField(std::int32_t semicircles, int degreeDigits, char positive, char negative) {
    const std::int32_t milliMinutes = formats::SemicirclesToMilliMinutes(semicircles);
    const formats::DegreeMinutes parts = formats::SplitMilliMinutes(milliMinutes);
    return StringPrintf("%0*d%02d.%03d,%c", degreeDigits, parts.degrees, parts.minutes,
                        parts.thousandths, parts.negative ? negative : positive);
}

}  // namespace

int SentenceReceiver::Feed(std::uint8_t byte) {
    switch (state_) {
        case State::kIdle:
            if (byte == '$') {
                body_.clear();
                xor_ = 0;
                state_ = State::kBody;
            }
            return 1;
        case State::kBody:
            if (byte == '*') {
                state_ = State::kDigit1;
                return 1;
            }
            if (body_.size() < kMaxBody)
                body_ += static_cast<char>(byte);
            xor_ ^= byte;
            return 1;
        case State::kDigit1:
        case State::kDigit2: {
            int value = 0;
            if (!HexDigitValue(static_cast<char>(byte), value)) {
                state_ = State::kIdle;
                return kBadChecksumDigit;
            }
            if (state_ == State::kDigit1) {
                received_ = value << 4;
                state_ = State::kDigit2;
            } else {
                received_ |= value;
                state_ = State::kCr;
            }
            return 1;
        }
        case State::kCr:
            if (byte != '\r') {
                state_ = State::kIdle;
                return kBadCarriageReturn;
            }
            state_ = State::kLf;
            return 1;
        case State::kLf:
            state_ = State::kIdle;
            if (byte != '\n')
                return kBadLineFeed;
            return received_ == xor_ ? 0 : kBadCarriageReturn;
    }
    return 1;
}

std::string_view SentenceName(std::string_view body) {
    return body.substr(0, body.find(','));
}

bool IsEndOfDownload(std::string_view body) {
    const Fields f(body);
    return f[0] == "PMGNCMD" && f[1] == "END";
}

int ParseVersion(std::string_view body, VersionAnswer& out) {
    const Fields f(body);
    if (f[0] != "PMGNVER" || !f.Has(2))
        return -1;
    Decimal product;
    Decimal version;
    if (!ParseDecimalText(f[1], product) || product.scale != 1 || product.whole > 0xFFFFFFFFu ||
        !ParseDecimalText(f[2], version) || version.whole > 1'000'000)
        return -1;
    out.productId = static_cast<unsigned>(product.whole);
    out.version100 = static_cast<int>(
        std::lround((static_cast<double>(version.whole) +
                     static_cast<double>(version.fraction) / static_cast<double>(version.scale)) *
                    100.0));
    out.versionText = std::string(f[2]);
    // The description may hold commas of its own: it is the rest of the body.
    std::size_t at = body.find(',');
    for (int commas = 1; commas < 3 && at != std::string_view::npos; ++commas)
        at = body.find(',', at + 1);
    out.description = at == std::string_view::npos ? "" : std::string(body.substr(at + 1, 60));
    return 0;
}

std::string InstrumentDescription(const VersionAnswer& version) {
    return (version.description + ", SW " + version.versionText).substr(0, 80);
}

std::string_view TrackLogRefusal(const VersionAnswer& version) {
    if (version.productId == 24 && version.version100 < 314)
        return "E200 Model does not support time in track log";
    if (version.productId == 30 && version.version100 < 201)
        return "E200 Model does not support date in track log";
    return {};
}

int ParseTrackPoint(std::string_view body, TrackPoint& out) {
    const Fields f(body);
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    long long altitude = 0;
    bool feet = false;
    if (const int rc = ParsePositionFields(f, latitude, longitude, altitude, feet); rc != 0)
        return rc;
    if (!f.Has(7))
        return -15;
    std::uint32_t secondOfDay = 0;
    if (!ParseTimeOfDay(f[7], secondOfDay))
        return -16;
    if (!f.Has(8))
        return -17;
    if (f[8] != "A")
        return 0;  // no fix: skipped
    if (!f.Has(9))
        return -18;
    if (!f.Has(10))
        return -19;
    const std::string_view date = f[10];
    if (date.empty() || date.size() > 6 || !AllDigits(date))
        return -20;
    const int ddmmyy = DigitsValue(date, 0, date.size());
    if (ddmmyy > 999999)
        return -21;
    CalendarTime calendar;
    calendar.day = ddmmyy / 10000;
    calendar.month = ddmmyy / 100 % 100;
    calendar.year = 2000 + ddmmyy % 100;
    // A day or month out of range would give a time in another month: the date is wrong.
    if (calendar.day < 1 || calendar.day > 31 || calendar.month < 1 || calendar.month > 12)
        return -20;
    out = TrackPoint{};
    out.time = CalendarToTime(calendar) + secondOfDay;
    out.latitude = latitude;
    out.longitude = longitude;
    const long long decimetres = feet ? RoundedFeet(altitude, 3.048) : altitude * 10;
    out.gpsAltitude = static_cast<std::int32_t>(decimetres);
    return 1;
}

int ParseWaypoint(std::string_view body, Waypoint& out) {
    const Fields f(body);
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    long long altitude = 0;
    bool feet = false;
    if (const int rc = ParsePositionFields(f, latitude, longitude, altitude, feet); rc != 0)
        return rc;
    if (!f.Has(7))
        return -15;
    std::string id(f[7]);
    if (id.empty() || id.size() > 6)
        return -16;
    for (char& c : id) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
            return -16;
    }
    out.latitude = latitude;
    out.longitude = longitude;
    out.altitude = static_cast<std::int32_t>(feet ? RoundedFeet(altitude, 0.3048) : altitude);
    out.SetId(id);
    out.SetDescription(f.Has(8) ? waypoints::ConvertWaypointComment(f[8]) : std::string());
    return 0;
}

std::string LatitudeField(std::int32_t semicircles) {
    return AngleField(semicircles, 2, 'N', 'S');
}

std::string LongitudeField(std::int32_t semicircles) {
    return AngleField(semicircles, 3, 'E', 'W');
}

std::string Sentence(std::string_view body) {
    return BuildNmeaSentence(body);
}

std::string WaypointUploadSentence(const Waypoint& waypoint) {
    const std::string body = "PMGNWPL," + LatitudeField(waypoint.latitude) + "," +
                             LongitudeField(waypoint.longitude) + "," +
                             StringPrintf("%04d", waypoint.altitude) + ",M," +
                             BlankSentenceDelimiters(waypoint.Id()) + "," +
                             BlankSentenceDelimiters(waypoint.Description());
    return Sentence(body);
}

std::string TrackPointSentence(const TrackPoint& point) {
    const CalendarTime t = TimeToCalendar(point.time);
    const int metres = point.gpsAltitude / 10;
    return Sentence("PMGNTRK," + LatitudeField(point.latitude) + "," +
                    LongitudeField(point.longitude) + "," + StringPrintf("%05d", metres) + ",M," +
                    StringPrintf("%02d%02d%02d.00", t.hour, t.minute, t.second) + ",A,," +
                    StringPrintf("%02d%02d%02d", t.day, t.month, t.year % 100));
}

std::string WaypointSentence(const Waypoint& waypoint) {
    return Sentence("PMGNWPL," + LatitudeField(waypoint.latitude) + "," +
                    LongitudeField(waypoint.longitude) + "," +
                    StringPrintf("%07d", waypoint.altitude) + ",M," +
                    BlankSentenceDelimiters(waypoint.Id()) + "," +
                    BlankSentenceDelimiters(waypoint.Description()) + ",a");
}

std::string VersionSentence(unsigned productId, std::string_view version,
                            std::string_view description) {
    return Sentence(StringPrintf("PMGNVER,%u,", productId) + std::string(version) + "," +
                    std::string(description));
}

}  // namespace tracora::protocols::magellan
