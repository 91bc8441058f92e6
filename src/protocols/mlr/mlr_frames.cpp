#include "protocols/mlr/mlr_frames.hpp"

#include <algorithm>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "protocols/common/nmea.hpp"

namespace tracora::protocols::mlr {

namespace {

constexpr std::size_t kFieldChars = 40;
constexpr std::size_t kIdChars = 6;
constexpr std::size_t kDescriptionChars = 22;
constexpr std::size_t kNameFieldChars = 598;
constexpr std::string_view kGpwplPrefix = "$GPWPL,";

std::string StoredField(const std::vector<std::string>& fields, std::size_t index) {
    if (index >= fields.size()) {
        return {};
    }
    std::string_view text = fields[index];
    if (text.starts_with(' ')) {
        text.remove_prefix(1);
    }
    return std::string(text.substr(0, kFieldChars));
}

void VersionParts(std::string_view version, int& major, int& minor) {
    major = 0;
    minor = 0;
    std::size_t at = 0;
    while (at < version.size() && version[at] >= '0' && version[at] <= '9' && major < 10000) {
        major = major * 10 + (version[at++] - '0');
    }
    if (at < version.size() && version[at] == '.') {
        ++at;
        while (at < version.size() && version[at] >= '0' && version[at] <= '9' && minor < 10000) {
            minor = minor * 10 + (version[at++] - '0');
        }
    }
}

std::string TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// Reads "digits[.digits]," of an angle into thousandths of a minute; false with the failure.
bool ParseAngle(std::string_view& rest, int limit, std::int64_t& milliMinutes) {
    std::int64_t whole = 0;
    std::size_t at = 0;
    while (at < rest.size() && rest[at] >= '0' && rest[at] <= '9') {
        whole = whole * 10 + (rest[at++] - '0');
        if (whole > limit) {
            return false;
        }
    }
    if (at == 0) {
        return false;
    }
    std::int64_t fraction = 0;
    std::int64_t scale = 1;
    if (at < rest.size() && rest[at] == '.') {
        ++at;
        while (at < rest.size() && rest[at] >= '0' && rest[at] <= '9') {
            if (scale < 1'000'000'000) {
                fraction = fraction * 10 + (rest[at] - '0');
                scale *= 10;
            }
            ++at;
        }
    }
    if (at >= rest.size() || rest[at] != ',') {
        return false;
    }
    rest.remove_prefix(at + 1);
    const std::int64_t minutes = whole % 100;
    const std::int64_t degrees = whole / 100;
    milliMinutes = degrees * 60000 + minutes * 1000 + (fraction * 1000 + scale / 2) / scale;
    return true;
}

// The hemisphere letter (or an empty field) and its comma; the sign goes to `negative`.
bool ParseHemisphere(std::string_view& rest, char positive, char negative, bool& isNegative) {
    isNegative = false;
    if (!rest.empty() && (rest[0] == positive || rest[0] == negative)) {
        isNegative = rest[0] == negative;
        rest.remove_prefix(1);
    }
    if (rest.empty() || rest[0] != ',') {
        return false;
    }
    rest.remove_prefix(1);
    return true;
}

std::int32_t MilliMinutesToSemicircles(std::int64_t milliMinutes) {
    return DegreesToSemicircles(static_cast<double>(milliMinutes) / 60000.0);
}

std::string Cleaned(std::string_view text, char replacement) {
    std::string out(text);
    for (char& c : out) {
        if (c == ',' || c == '*' || c == '$' || c == '\r' || c == '\n') {
            c = replacement;
        }
    }
    return out;
}

std::string Fitted(std::string text, std::size_t size) {
    text.resize(size, ' ');
    return text;
}

}  // namespace

MlrProduct DecodeProduct(const std::vector<std::string>& fields) {
    MlrProduct product;
    product.text = StoredField(fields, 0);
    product.field2 = StoredField(fields, 1);
    product.field3 = StoredField(fields, 2);
    product.version = StoredField(fields, 3);
    product.field5 = StoredField(fields, 4);
    return product;
}

std::string DisplayName(const MlrProduct& product) {
    if (product.text.starts_with("DGIFLY ")) {
        return "Digifly";
    }
    if (product.text.starts_with("CPILOT ")) {
        return "CPilot";
    }
    if (product.text.starts_with("COMO")) {
        return "CoMo";
    }
    return "MLR";
}

std::string StatusLine(const MlrProduct& product) {
    int major = 0;
    int minor = 0;
    VersionParts(product.version, major, minor);
    return StringPrintf("%s %s SW%d.%02d", DisplayName(product).c_str(), product.field5.c_str(),
                        major, minor);
}

std::string DeviceDescription(const MlrProduct& product) {
    return product.text.substr(0, 80);
}

std::string DeviceIdentifier(const MlrProduct& product) {
    return (DisplayName(product) + ": " + product.field3).substr(0, 50);
}

int VersionNumber(std::string_view version) {
    int major = 0;
    int minor = 0;
    VersionParts(version, major, minor);
    return major * 100 + minor;
}

bool HasGpsClock(const MlrProduct& product) {
    if (!product.text.starts_with("SP24")) {
        return false;
    }
    const int version = VersionNumber(product.version);
    return version < 272 || version >= 990;
}

std::uint32_t TimeOffset(const MlrProduct& product) {
    return kEpochOffset + (HasGpsClock(product) ? kGpsClockLead : 0);
}

TrackPoint ToTrackPoint(const TrackRecord& record, std::uint32_t timeOffset, bool first) {
    TrackPoint point;
    point.time = record.time - timeOffset;
    point.latitude = record.latitude;
    point.longitude = record.longitude;
    point.gpsAltitude = record.altitude;
    point.pressureAltitude = 0;
    point.flags = first ? TrackPoint::kSegmentStart : (record.flag == 1 ? 1U : 0U);
    return point;
}

std::int32_t WaypointAltitude(std::int32_t decimetres) {
    return decimetres < 0 ? (decimetres - 5) / 10 : (decimetres + 5) / 10;
}

Waypoint DecodeWaypointRecord(std::span<const std::uint8_t> bytes, std::uint32_t now) {
    TrackRecord tail;
    DecodeRecordTail(bytes.subspan(kIdChars), tail);
    Waypoint waypoint;
    waypoint.SetId(
        TrimRight(std::string_view(reinterpret_cast<const char*>(bytes.data()), kIdChars)));
    waypoint.latitude = tail.latitude;
    waypoint.longitude = tail.longitude;
    waypoint.altitude = WaypointAltitude(tail.altitude);
    waypoint.time = now;
    waypoint.kind = kWaypointKindPoint;
    return waypoint;
}

void AppendWaypointRecord(std::vector<std::uint8_t>& out, const Waypoint& waypoint,
                          std::uint32_t time) {
    const std::string id = Fitted(std::string(waypoint.Id()), kIdChars);
    out.insert(out.end(), id.begin(), id.end());
    TrackRecord tail;
    tail.time = time;
    tail.latitude = waypoint.latitude;
    tail.longitude = waypoint.longitude;
    tail.altitude = waypoint.altitude * 10;
    AppendRecordTail(out, tail);
}

GpwplResult ParseGpwpl(std::string_view line, std::uint32_t now) {
    GpwplResult result;
    const auto fail = [&result](int code) {
        result.error = GpwplError::kFormat;
        result.code = code;
        return result;
    };
    if (!line.starts_with(kGpwplPrefix)) {
        return fail(1);
    }
    std::string_view rest = line.substr(kGpwplPrefix.size());
    std::int64_t latitude = 0;
    std::int64_t longitude = 0;
    bool south = false;
    bool west = false;
    if (rest.empty() || rest[0] < '0' || rest[0] > '9') {
        return fail(2);
    }
    if (!ParseAngle(rest, 8959, latitude)) {
        return fail(3);
    }
    if (!ParseHemisphere(rest, 'N', 'S', south)) {
        return fail(4);
    }
    if (rest.empty() || rest[0] < '0' || rest[0] > '9') {
        return fail(5);
    }
    if (!ParseAngle(rest, 17959, longitude)) {
        return fail(6);
    }
    if (!ParseHemisphere(rest, 'E', 'W', west)) {
        return fail(7);
    }
    const std::size_t star = rest.find('*');
    if (star == std::string_view::npos) {
        return fail(8);
    }
    const std::string_view name = rest.substr(0, star);
    if (name.size() > kNameFieldChars) {
        return fail(9);
    }
    const std::string_view digits = rest.substr(star + 1);
    int high = 0;
    int low = 0;
    if (digits.size() < 2 || !HexDigitValue(digits[0], high) || !HexDigitValue(digits[1], low) ||
        (digits[0] >= 'a' && digits[0] <= 'f') || (digits[1] >= 'a' && digits[1] <= 'f')) {
        return fail(10);
    }
    if (digits.size() > 2) {
        return fail(11);
    }
    const std::string_view body = line.substr(1, line.size() - 4);
    if (NmeaChecksum(body) != (high << 4 | low)) {
        return fail(12);
    }
    // The ID stands in the first six characters, whatever they hold: a full six-character ID
    // runs straight into the separator.
    const std::string id = TrimRight(name.substr(0, kIdChars));
    if (id.empty()) {
        result.error = GpwplError::kMissingId;
        return result;
    }
    for (const char c : id) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) {
            result.error = GpwplError::kIdCharacter;
            return result;
        }
    }
    Waypoint& w = result.waypoint;
    w.SetId(id);
    if (name.size() > kIdChars + 1) {
        w.SetDescription(TrimRight(name.substr(kIdChars + 1, kDescriptionChars)));
    }
    w.latitude = MilliMinutesToSemicircles(south ? -latitude : latitude);
    w.longitude = MilliMinutesToSemicircles(west ? -longitude : longitude);
    w.altitude = 0;
    w.time = now;
    w.kind = kWaypointKindPoint;
    return result;
}

std::string GpwplSentence(const Waypoint& waypoint) {
    std::string body = "GPWPL,";
    AppendDegreesMinutes(body, SemicirclesToMilliMinutes(waypoint.latitude), 2, 'N', 'S');
    body += ',';
    AppendDegreesMinutes(body, SemicirclesToMilliMinutes(waypoint.longitude), 3, 'E', 'W');
    body += ',';
    body += Fitted(Cleaned(waypoint.Id(), '-'), kIdChars);
    body += '0';
    body += Fitted(Cleaned(waypoint.Description(), ' '), kDescriptionChars);
    return "$" + body + StringPrintf("*%02X\r\n", NmeaChecksum(body));
}

}  // namespace tracora::protocols::mlr
