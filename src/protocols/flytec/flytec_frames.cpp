#include "protocols/flytec/flytec_frames.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/product_data.hpp"
#include "protocols/common/upload_names.hpp"

namespace tracora::protocols::flytec {

namespace {

constexpr std::string_view kWaypointIdentifier = "PBRWPS,";
constexpr std::size_t kShortNameMax = 6;
constexpr std::size_t kLongNameMax = 17;
constexpr int kAltitudeCharsMax = 5;

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

bool IsDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

int UpperHexValue(std::uint8_t byte) {
    if (IsDigit(byte)) {
        return byte - '0';
    }
    if (byte >= 'A' && byte <= 'F') {
        return byte - 'A' + 10;
    }
    return -1;
}

struct ModelName {
    std::string_view contains;
    std::string_view display;
};

constexpr ModelName kModels[] = {
    {"5020", "5020"},
    {"5030", "5030"},
    {"6020", "6020"},
    {"6030", "6030"},
    {"COMPEO+", "Compeo+"},
    {"COMPEO", "Compeo"},
    {"COMPETINO+", "Competino+"},
    {"COMPETINO", "Competino"},
    {"GALILEO", "Galileo"},
};

// Products whose track list depends on the software version: above `minimumExcluded`.
struct TrackListRule {
    std::string_view product;
    std::string_view aboveVersion;  // empty: always
};

constexpr TrackListRule kTrackListRules[] = {
    {"COMPETINO", "1.13"}, {"5020", "1.13"},    {"COMPEO", "2.19"},
    {"5030", "2.19"},      {"GALILEO", "2.19"}, {"COMPEO+", ""},
    {"6030", ""},          {"COMPETINO+", ""},  {"6020", ""},
};

}  // namespace

std::string TrackRequest(int index) {
    return "\x11" + BuildNmeaSentence(StringPrintf("PBRTR,%02d", index));
}

int DecodeProductData(const std::vector<std::string>& fields, FlytecProduct& out) {
    if (fields.size() < 5) {
        return -1;
    }
    FlytecProduct product;
    product.product = UpperCase(NormaliseSpaces(fields[1], 16));
    product.userName = NormaliseSpaces(fields[2], 40);
    product.serial = NormaliseSpaces(fields[3], 7);
    product.software = NormaliseSpaces(fields[4], 6);
    if (product.userName.empty()) {
        return -1;
    }
    out = std::move(product);
    return 0;
}

std::string_view FlytecModelName(std::string_view productText) {
    for (const ModelName& model : kModels) {
        if (productText.find(model.contains) != std::string_view::npos) {
            return model.display;
        }
    }
    return "Unknown";
}

bool HasTrackList(std::string_view productText, std::string_view software) {
    for (const TrackListRule& rule : kTrackListRules) {
        if (productText == rule.product) {
            return rule.aboveVersion.empty() || software > rule.aboveVersion;
        }
    }
    return false;
}

std::string DeviceDescription(const FlytecProduct& product) {
    std::string text = std::string(FlytecModelName(product.product)) + " SN" + product.serial +
                       " SW" + product.software;
    return text.substr(0, 80);
}

std::string DeviceIdentifier(const FlytecProduct& product) {
    std::string text = std::string(FlytecModelName(product.product)) + ": " + product.serial;
    return text.substr(0, 50);
}

// ---------------------------------------------------------------- waypoint answers

void FlytecWaypointParser::Reset() {
    state_ = State::kWaitDollar;
    matched_ = 0;
    xor_ = 0;
}

int FlytecWaypointParser::Fail(int code) {
    Reset();
    return code;
}

void FlytecWaypointParser::StartAngle() {
    value_ = 0;
    fraction_ = 0;
    fractionDigits_ = 0;
}

int FlytecWaypointParser::AngleByte(std::uint8_t byte, bool fraction, long long maxBeforeDigit,
                                    int tooLong, int badBefore, int badAfter, double& radians,
                                    State next, State fractionState) {
    if (IsDigit(byte)) {
        if (fraction) {
            if (fractionDigits_ >= kMaxFractionDigits) {
                return Fail(badAfter);
            }
            fraction_ = fraction_ * 10 + (byte - '0');
            ++fractionDigits_;
        } else {
            if (value_ > maxBeforeDigit) {
                return Fail(tooLong);
            }
            value_ = value_ * 10 + (byte - '0');
        }
        return 1;
    }
    if (byte == '.' && !fraction) {
        state_ = fractionState;
        return 1;
    }
    if (byte == ',') {
        const double minutes = static_cast<double>(value_ % 100) +
                               static_cast<double>(fraction_) / std::pow(10.0, fractionDigits_);
        const double degrees = static_cast<double>(value_ / 100) + minutes / 60.0;
        radians = degrees / kRadiansToDegrees;
        state_ = next;
        return 1;
    }
    return Fail(fraction ? badAfter : badBefore);
}

int FlytecWaypointParser::Feed(std::uint8_t byte) {
    if (state_ != State::kWaitDollar && state_ != State::kChecksumHigh &&
        state_ != State::kChecksumLow && state_ != State::kCr && state_ != State::kLf) {
        xor_ = static_cast<std::uint8_t>(xor_ ^ byte);
    }
    switch (state_) {
        case State::kWaitDollar:
            if (byte == '$') {
                xor_ = 0;
                matched_ = 0;
                state_ = State::kMatchIdentifier;
            }
            return 1;
        case State::kMatchIdentifier:
            if (byte != static_cast<std::uint8_t>(kWaypointIdentifier[matched_])) {
                Reset();
                if (byte == '$') {
                    state_ = State::kMatchIdentifier;
                }
                return 1;
            }
            if (++matched_ == kWaypointIdentifier.size()) {
                fields_ = FlytecWaypointFields{};
                StartAngle();
                state_ = State::kLatitude;
            }
            return 1;
        case State::kLatitude:
        case State::kLatitudeFraction:
            return AngleByte(byte, state_ == State::kLatitudeFraction, 895, -1, -2, -3,
                             fields_.latitude, State::kLatitudeHemisphere,
                             State::kLatitudeFraction);
        case State::kLatitudeHemisphere:
            if (byte == ',') {
                StartAngle();
                state_ = State::kLongitude;
            } else if (byte == 'N' || byte == 'S') {
                if (byte == 'S') {
                    fields_.latitude = -fields_.latitude;
                }
                state_ = State::kLatitudeComma;
            } else {
                return Fail(-4);
            }
            return 1;
        case State::kLatitudeComma:
            if (byte != ',') {
                return Fail(-5);
            }
            StartAngle();
            state_ = State::kLongitude;
            return 1;
        case State::kLongitude:
        case State::kLongitudeFraction:
            return AngleByte(byte, state_ == State::kLongitudeFraction, 1795, -6, -7, -8,
                             fields_.longitude, State::kLongitudeHemisphere,
                             State::kLongitudeFraction);
        case State::kLongitudeHemisphere:
            if (byte == ',') {
                state_ = State::kShortName;
            } else if (byte == 'E' || byte == 'W') {
                if (byte == 'W') {
                    fields_.longitude = -fields_.longitude;
                }
                state_ = State::kLongitudeComma;
            } else {
                return Fail(-9);
            }
            return 1;
        case State::kLongitudeComma:
            if (byte != ',') {
                return Fail(-10);
            }
            state_ = State::kShortName;
            return 1;
        case State::kShortName:
            if (byte == '\r' || byte == '\n') {
                return Fail(-11);
            }
            if (byte == '*') {
                // The sentence ends here: no long name, altitude 0. The '*' is not summed.
                xor_ = static_cast<std::uint8_t>(xor_ ^ byte);
                state_ = State::kChecksumHigh;
                return 1;
            }
            if (byte == ',') {
                state_ = State::kLongName;
                return 1;
            }
            if (fields_.shortName.size() >= kShortNameMax) {
                return Fail(-12);
            }
            fields_.shortName += static_cast<char>(byte);
            return 1;
        case State::kLongName:
            if (byte == '\r' || byte == '\n') {
                return Fail(-13);
            }
            if (byte == ',') {
                altitudeChars_ = 0;
                altitudeNegative_ = false;
                state_ = State::kAltitudeFirst;
                return 1;
            }
            if (fields_.longName.size() >= kLongNameMax) {
                return Fail(-14);
            }
            fields_.longName += static_cast<char>(byte);
            return 1;
        case State::kAltitudeFirst:
            if (byte == '-') {
                altitudeNegative_ = true;
            } else if (IsDigit(byte)) {
                fields_.altitude = byte - '0';
            } else {
                return Fail(-15);
            }
            altitudeChars_ = 1;
            state_ = State::kAltitude;
            return 1;
        case State::kAltitude:
            if (byte == '*') {
                xor_ = static_cast<std::uint8_t>(xor_ ^ byte);
                if (altitudeNegative_) {
                    fields_.altitude = -fields_.altitude;
                }
                state_ = State::kChecksumHigh;
                return 1;
            }
            if (!IsDigit(byte)) {
                return Fail(-15);
            }
            if (++altitudeChars_ > kAltitudeCharsMax) {
                return Fail(-16);
            }
            fields_.altitude = fields_.altitude * 10 + (byte - '0');
            return 1;
        case State::kChecksumHigh: {
            const int digit = UpperHexValue(byte);
            if (digit < 0) {
                return Fail(-17);
            }
            checksum_ = digit * 16;
            state_ = State::kChecksumLow;
            return 1;
        }
        case State::kChecksumLow: {
            const int digit = UpperHexValue(byte);
            if (digit < 0) {
                return Fail(-18);
            }
            checksum_ += digit;
            state_ = State::kCr;
            return 1;
        }
        case State::kCr:
            if (byte != '\r') {
                return Fail(-19);
            }
            if (checksum_ != xor_) {
                return Fail(-20);
            }
            state_ = State::kLf;
            return 1;
        case State::kLf:
            if (byte != '\n') {
                return Fail(-21);
            }
            Reset();
            return 0;
    }
    return 1;
}

Waypoint ToWaypoint(const FlytecWaypointFields& fields, std::uint32_t time) {
    Waypoint waypoint;
    waypoint.latitude = RadiansToSemicircles(fields.latitude);
    waypoint.longitude = RadiansToSemicircles(fields.longitude);
    waypoint.altitude = fields.altitude;
    std::string id = fields.shortName;
    if (id.empty()) {
        id = UpperCase(fields.longName.substr(0, fields.longName.find(' '))).substr(0, 6);
    }
    if (id.empty()) {
        id = "Z";
    }
    waypoint.SetId(id);
    waypoint.SetDescription(UpperCase(fields.longName));
    waypoint.time = time;
    waypoint.kind = kWaypointKindPoint;
    return waypoint;
}

std::string WaypointUploadSentence(const Waypoint& waypoint, std::string_view name) {
    std::string body = "PBRWPR,";
    AppendDegreesMinutes(body, SemicirclesToMilliMinutes(waypoint.latitude), 2, 'N', 'S');
    body += ',';
    AppendDegreesMinutes(body, SemicirclesToMilliMinutes(waypoint.longitude), 3, 'E', 'W');
    body += ",,";
    body += FixedWidthName(BlankSentenceDelimiters(name), kLongNameMax);
    body += StringPrintf(",%04d", std::clamp(waypoint.altitude, 0, 9999));
    return "\x11" + BuildNmeaSentence(body);
}

// ---------------------------------------------------------------- the instrument's side

std::string ProductAnswer(const FlytecProduct& product) {
    return BuildNmeaSentence("PBRSNP," + product.product + "," + product.userName + "," +
                             product.serial + "," + product.software);
}

std::string TrackListAnswer(int count, int index, const CalendarTime& start,
                            std::uint32_t durationSeconds) {
    return BuildNmeaSentence(StringPrintf(
        "PBRTL,%02d,%02d,%02d.%02d.%02d,%02d:%02d:%02d,%02u:%02u:%02u", count, index, start.day,
        start.month, start.year % 100, start.hour, start.minute, start.second,
        durationSeconds / 3600, durationSeconds / 60 % 60, durationSeconds % 60));
}

std::string WaypointAnswer(std::int32_t latitudeMilliMinutes, std::int32_t longitudeMilliMinutes,
                           std::string_view shortName, std::string_view longName, int altitude) {
    std::string body = "PBRWPS,";
    AppendDegreesMinutes(body, latitudeMilliMinutes, 2, 'N', 'S');
    body += ',';
    AppendDegreesMinutes(body, longitudeMilliMinutes, 3, 'E', 'W');
    body += ',';
    body += shortName;
    body += ',';
    body += longName;
    body += StringPrintf(",%d", altitude);
    return BuildNmeaSentence(body);
}

int DecodeWaypointUpload(std::string_view sentence, UploadedWaypoint& out) {
    std::vector<std::string> fields;
    if (SplitNmeaSentence(sentence, fields, 8) != 8 || fields[0] != "$PBRWPR") {
        return -1;
    }
    if (fields[2].size() != 1 || fields[4].size() != 1 || !fields[5].empty()) {
        return -1;
    }
    UploadedWaypoint upload;
    upload.latitude = fields[1];
    upload.northSouth = fields[2][0];
    upload.longitude = fields[3];
    upload.eastWest = fields[4][0];
    upload.name = fields[6];
    int altitude = 0;
    for (const char c : fields[7]) {
        if (!IsDigit(static_cast<std::uint8_t>(c))) {
            return -1;
        }
        altitude = altitude * 10 + (c - '0');
        if (altitude > 99999) {
            return -1;
        }
    }
    upload.altitude = altitude;
    out = std::move(upload);
    return 0;
}

}  // namespace tracora::protocols::flytec
