#include "protocols/flymaster/flymaster_frames.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/product_data.hpp"
#include "protocols/common/upload_names.hpp"

namespace tracora::protocols::flymaster {

namespace {

constexpr std::size_t kUploadNameWidth = 16;
// Semicircles per 1/60,000 degree: 2^31 / (180 x 60,000).
constexpr double kWireToSemicircles = 198.8410785185;
constexpr std::int32_t kMaxLatitude = 5'400'000;
constexpr std::int32_t kMaxLongitude = 10'800'000;

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::int32_t ReadI32(const std::vector<std::uint8_t>& data, std::size_t at) {
    const std::uint32_t value = static_cast<std::uint32_t>(data[at]) |
                                static_cast<std::uint32_t>(data[at + 1]) << 8 |
                                static_cast<std::uint32_t>(data[at + 2]) << 16 |
                                static_cast<std::uint32_t>(data[at + 3]) << 24;
    return static_cast<std::int32_t>(value);
}

std::int16_t ReadI16(const std::vector<std::uint8_t>& data, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(data[at] | data[at + 1] << 8));
}

void PutI32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        data[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void PutI16(std::vector<std::uint8_t>& data, std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    data[at] = static_cast<std::uint8_t>(v & 0xFF);
    data[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A NUL-terminated text of the block, at most `size` bytes.
std::string BlockText(const std::vector<std::uint8_t>& data, std::size_t at, std::size_t size) {
    std::string out;
    for (std::size_t i = at; i < at + size && i < data.size() && data[i] != 0; ++i) {
        out += static_cast<char>(data[i]);
    }
    return out;
}

void PutText(std::vector<std::uint8_t>& data, std::size_t at, std::size_t size,
             std::string_view text) {
    for (std::size_t i = 0; i < size && i < text.size(); ++i) {
        data[at + i] = static_cast<std::uint8_t>(text[i]);
    }
}

// Both '*' and ',' would shift or end the instrument's fields.
std::string SetField(std::string_view text, std::size_t width) {
    std::string out(text.substr(0, width));
    for (char& c : out) {
        if (c == ',' || c == '*' || c == '$' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

// SplitNmeaSentence's codes as the waypoint answers number them.
int ChecksumCode(int split) {
    switch (split) {
        case kNmeaNoStar:
            return 4;
        case kNmeaBadChecksumDigit:
            return 1;
        case kNmeaTrailingText:
            return 2;
        case kNmeaChecksumMismatch:
        case kNmeaNoDollar:
            return 3;
        default:
            return 0;
    }
}

}  // namespace

std::string LowerHexSentence(std::string_view body) {
    return StringPrintf("$%.*s*%02x\r\n", static_cast<int>(body.size()), body.data(),
                        NmeaChecksum(body));
}

// ---------------------------------------------------------------- product data

FlymasterProduct DecodeProductData(const std::vector<std::string>& fields) {
    FlymasterProduct product;
    if (fields.size() >= 5) {
        product.model = fields[1].substr(0, 40);
        product.serial = fields[3].substr(0, 39);
        product.software = fields[4].substr(0, 10);
    }
    return product;
}

bool IsB1Nav(const FlymasterProduct& product) {
    return product.model == "B1NAV";
}

std::string DeviceDescription(const FlymasterProduct& product) {
    return "Flymaster " + product.model + "  SN" + product.serial + "  SW" + product.software;
}

std::string DeviceIdentifier(const FlymasterProduct& product) {
    return ("Flymaster: " + product.serial).substr(0, 50);
}

// ---------------------------------------------------------------- track download

std::string TrackRequest(std::uint32_t start) {
    const CalendarTime c = TimeToCalendar(start);
    return LowerHexSentence(StringPrintf("PFMDNL,%02d%02d%02d%02d%02d%02d,", c.year - 2000, c.month,
                                         c.day, c.hour, c.minute, c.second));
}

void PacketReceiver::Reset() {
    state_ = State::kHunt;
    data_.clear();
}

PacketReceiver::Event PacketReceiver::Feed(std::uint8_t byte) {
    const bool isType = byte >= kFlightInfoPacket && byte <= kEndPacket;
    switch (state_) {
        case State::kHunt:
            if (isType) {
                type_ = byte;
                state_ = State::kCandidate;
            }
            return Event::kNone;
        case State::kCandidate:
            if (byte == type_) {
                if (type_ == kEndPacket) {
                    Reset();
                    return Event::kEnd;
                }
                state_ = State::kLength;
            } else if (isType) {
                type_ = byte;
            } else {
                state_ = State::kHunt;
            }
            return Event::kNone;
        case State::kLength:
            length_ = byte;
            xor_ = byte;
            data_.clear();
            state_ = length_ == 0 ? State::kChecksum : State::kData;
            return Event::kNone;
        case State::kData:
            data_.push_back(byte);
            xor_ = static_cast<std::uint8_t>(xor_ ^ byte);
            if (data_.size() == length_) {
                state_ = State::kChecksum;
            }
            return Event::kNone;
        case State::kChecksum:
            state_ = State::kHunt;
            return byte == xor_ ? Event::kPacket : Event::kBadChecksum;
    }
    return Event::kNone;
}

std::int32_t PressureAltitude(std::int32_t pressureTenthsHpa) {
    const double hpa = std::fabs(pressureTenthsHpa * 0.1);
    return static_cast<std::int32_t>(44307.69 * (1.0 - std::pow(hpa / 1013.25, 0.190284)) + 0.5);
}

TrackPoint ToTrackPoint(const WirePosition& position) {
    TrackPoint point;
    point.latitude = RoundHalfAwayFromZero(position.latitude * kWireToSemicircles);
    point.longitude = -RoundHalfAwayFromZero(position.longitude * kWireToSemicircles);
    point.gpsAltitude = position.gpsAltitude * 10;
    point.pressureAltitude = PressureAltitude(position.pressure);
    point.time = position.time + kInstrumentEpoch;
    return point;
}

const char* TrackErrorText(int code) {
    switch (code) {
        case kShortFlightInfo:
            return "E205 Bad flight info block length";
        case kShortKeyPosition:
            return "E205 Bad key track position block length";
        case kLatitudeRange:
            return "E205 Latitude outside valid range";
        case kLongitudeRange:
            return "E205 Longitude value outside valid range";
        case kMissingKeyPosition:
            return "E205 Missing key track position block";
        case kBadDeltaLength:
            return "E205 Bad track position block length";
        case kMissingFlightInfo:
            return "E205 Missing flight info block";
        default:
            return "E205 Unknown data block";
    }
}

void TrackDecoder::Add() {
    TrackPoint point = ToTrackPoint(position_);
    if (points_.empty()) {
        point.flags = TrackPoint::kSegmentStart;
    }
    points_.push_back(point);
}

int TrackDecoder::Packet(std::uint8_t type, const std::vector<std::uint8_t>& data) {
    switch (type) {
        case kFlightInfoPacket: {
            if (data.size() < kFlightInfoSize) {
                return kShortFlightInfo;
            }
            info_.firmwareMajor = data[0];
            info_.firmwareMinor = data[1];
            info_.serial = static_cast<std::uint32_t>(ReadI32(data, 4));
            info_.competitionNumber = BlockText(data, 8, 7);
            info_.pilotName = BlockText(data, 16, 14);
            info_.glider = BlockText(data, 46, b1nav_ ? 7 : 14);
            hasInfo_ = true;
            return 0;
        }
        case kKeyPositionPacket: {
            if (data.size() < kKeyPositionSize) {
                return kShortKeyPosition;
            }
            WirePosition p;
            p.latitude = ReadI32(data, 0);
            p.longitude = ReadI32(data, 4);
            if (p.latitude < -kMaxLatitude || p.latitude > kMaxLatitude) {
                return kLatitudeRange;
            }
            if (p.longitude < -kMaxLongitude || p.longitude > kMaxLongitude) {
                return kLongitudeRange;
            }
            p.gpsAltitude = ReadI16(data, 8);
            p.pressure = ReadI16(data, 10);
            p.time = static_cast<std::uint32_t>(ReadI32(data, 12));
            position_ = p;
            hasKey_ = true;
            Add();
            return 0;
        }
        case kDeltaPositionPacket: {
            if (!hasKey_) {
                return kMissingKeyPosition;
            }
            if (data.empty() || data.size() % kDeltaRecordSize != 0) {
                return kBadDeltaLength;
            }
            for (std::size_t at = 0; at < data.size(); at += kDeltaRecordSize) {
                // The running values stay within a few records of a key position on a real
                // instrument; line noise is kept from overflowing them.
                const auto step = [](std::int32_t value, std::uint8_t delta) {
                    const long long next =
                        static_cast<long long>(value) + static_cast<std::int8_t>(delta);
                    return static_cast<std::int32_t>(
                        std::clamp<long long>(next, std::numeric_limits<std::int32_t>::min(),
                                              std::numeric_limits<std::int32_t>::max()));
                };
                position_.latitude = step(position_.latitude, data[at]);
                position_.longitude = step(position_.longitude, data[at + 1]);
                position_.gpsAltitude = step(position_.gpsAltitude, data[at + 2]);
                position_.pressure = step(position_.pressure, data[at + 3]);
                position_.time += data[at + 4];
                Add();
            }
            return 0;
        }
        case kEndPacket:
            if (!hasInfo_) {
                return kMissingFlightInfo;
            }
            ended_ = true;
            return 0;
        default:
            return kUnknownPacket;
    }
}

// ---------------------------------------------------------------- waypoints

int ParseWaypointAnswer(std::string_view line, FlymasterWaypointFields& out) {
    std::vector<std::string> fields;
    const int split = SplitNmeaSentence(line, fields, 8);
    if (split < 0) {
        return ChecksumCode(split);
    }
    if (split < 7) {
        return 5;
    }
    FlymasterWaypointFields w;
    if (ParseDecimal(fields[1], w.latitude) != 0) {
        return 6;
    }
    if (fields[2] == "S") {
        w.latitude = -w.latitude;
    } else if (fields[2] != "N") {
        return 7;
    }
    if (ParseDecimal(fields[3], w.longitude) != 0) {
        return 8;
    }
    if (fields[4] == "W") {
        w.longitude = -w.longitude;
    } else if (fields[4] != "E") {
        return 9;
    }
    if (ParseDecimal(fields[5], w.altitude) != 0) {
        return 10;
    }
    w.name = NormaliseSpaces(fields[6], fields[6].size());
    if (w.name.empty()) {
        return 11;
    }
    w.airfield = split >= 8 && fields[7] == "1";
    out = w;
    return 0;
}

Waypoint ToWaypoint(const FlymasterWaypointFields& fields, std::uint32_t time) {
    Waypoint waypoint;
    waypoint.latitude = DegreesToSemicircles(fields.latitude);
    waypoint.longitude = DegreesToSemicircles(fields.longitude);
    waypoint.altitude = static_cast<std::int32_t>(
        std::clamp(std::lround(fields.altitude), -1'000'000L, 1'000'000L));
    waypoint.SetId(UpperCase(fields.name.substr(0, fields.name.find(' '))).substr(0, 6));
    waypoint.SetDescription(fields.name);
    waypoint.time = time;
    waypoint.kind = fields.airfield ? kWaypointKindAirfield : kWaypointKindPoint;
    return waypoint;
}

std::string UploadNameField(std::string_view name) {
    return FixedWidthName(BlankSentenceDelimiters(name), kUploadNameWidth);
}

std::string WaypointUploadSentence(const Waypoint& waypoint, std::string_view name) {
    std::string body = "PFMWPR,";
    AppendDegreesMinutes(body, SemicirclesToMilliMinutes(waypoint.latitude), 2, 'N', 'S');
    body += ',';
    AppendDegreesMinutes(body, SemicirclesToMilliMinutes(waypoint.longitude), 3, 'E', 'W');
    body += ",,";
    body += UploadNameField(name);
    body += StringPrintf(",%04d", std::clamp(waypoint.altitude, 0, 9999));
    if (waypoint.kind == kWaypointKindAirfield) {
        body += ",1";
    }
    return BuildNmeaSentence(body);
}

namespace {

std::string ExpectedAckName(std::string_view sentName) {
    std::string out = UpperCase(sentName);
    for (char& c : out) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = ' ';
        }
    }
    return out;
}

}  // namespace

int CheckUploadAnswer(std::string_view line, std::string_view software, std::string_view sentName) {
    std::vector<std::string> fields;
    const int split = SplitNmeaSentence(line, fields, 4);
    if (split < 0) {
        return ChecksumCode(split);
    }
    if (software == "1.14") {
        if (split < 2) {
            return 5;
        }
        return fields[1] == sentName ? 0 : 7;
    }
    if (split < 3) {
        return 5;
    }
    if (fields[1] != "ACK") {
        return 6;
    }
    return fields[2] == ExpectedAckName(sentName) ? 0 : 7;
}

// ---------------------------------------------------------------- pilot data

std::string PilotDataSentence(std::string_view pilot, std::string_view competitionNumber,
                              std::string_view gliderBrand, std::string_view gliderModel) {
    return LowerHexSentence("PFMPLT," + SetField(pilot, 14) + "," + SetField(competitionNumber, 7) +
                            "," + SetField(gliderBrand, 14) + "," + SetField(gliderModel, 14) +
                            ",");
}

std::string AltitudeAlarmSentence(int metres) {
    return LowerHexSentence(StringPrintf("PFMALT,%d,", metres));
}

std::string PilotIdsSentence(int competitionId, int civlId, std::string_view pilot) {
    const auto id = [](int value) {
        return value < 0 ? std::string() : std::to_string(value).substr(0, 7);
    };
    return LowerHexSentence("PFMIDS," + id(competitionId) + "," + id(civlId) + "," +
                            SetField(pilot, 14));
}

// ---------------------------------------------------------------- the instrument's side

std::string ProductAnswer(const FlymasterProduct& product) {
    return BuildNmeaSentence("PBRSNP," + product.model + ",," + product.serial + "," +
                             product.software);
}

std::string FlightListAnswer(int count, int index, const CalendarTime& start,
                             std::uint32_t durationSeconds) {
    return BuildNmeaSentence(StringPrintf(
        "PFMLST,%03d,%03d,%02d.%02d.%02d,%02d:%02d:%02d,%02u:%02u:%02u", count, index, start.day,
        start.month, start.year % 100, start.hour, start.minute, start.second,
        durationSeconds / 3600, durationSeconds / 60 % 60, durationSeconds % 60));
}

std::string WaypointAnswer(double latitude, double longitude, int altitude, std::string_view name,
                           bool airfield) {
    std::string body =
        StringPrintf("PFMWPL,%.6f,%c,%.6f,%c,%d,", std::fabs(latitude), latitude < 0 ? 'S' : 'N',
                     std::fabs(longitude), longitude < 0 ? 'W' : 'E', altitude);
    body += name;
    body += airfield ? ",1" : ",0";
    return BuildNmeaSentence(body);
}

std::string UploadAnswer(std::string_view software, std::string_view sentName) {
    if (software == "1.14") {
        return BuildNmeaSentence("PFMWPR," + std::string(sentName));
    }
    return BuildNmeaSentence("PFMWPR,ACK," + ExpectedAckName(sentName));
}

std::string EncodePacket(std::uint8_t type, const std::vector<std::uint8_t>& data) {
    std::string out;
    out += static_cast<char>(type);
    out += static_cast<char>(type);
    if (type == kEndPacket) {
        return out;
    }
    auto sum = static_cast<std::uint8_t>(data.size());
    out += static_cast<char>(sum);
    for (const std::uint8_t byte : data) {
        out += static_cast<char>(byte);
        sum = static_cast<std::uint8_t>(sum ^ byte);
    }
    out += static_cast<char>(sum);
    return out;
}

std::vector<std::uint8_t> EncodeFlightInfo(const FlightInfo& info) {
    std::vector<std::uint8_t> data(kFlightInfoSize, 0);
    data[0] = static_cast<std::uint8_t>(info.firmwareMajor);
    data[1] = static_cast<std::uint8_t>(info.firmwareMinor);
    PutI32(data, 4, info.serial);
    PutText(data, 8, 7, info.competitionNumber);
    PutText(data, 16, 14, info.pilotName);
    PutText(data, 46, 14, info.glider);
    return data;
}

std::vector<std::uint8_t> EncodeKeyPosition(const WirePosition& position) {
    std::vector<std::uint8_t> data(kKeyPositionSize, 0);
    PutI32(data, 0, static_cast<std::uint32_t>(position.latitude));
    PutI32(data, 4, static_cast<std::uint32_t>(position.longitude));
    PutI16(data, 8, position.gpsAltitude);
    PutI16(data, 10, position.pressure);
    PutI32(data, 12, position.time);
    return data;
}

std::vector<std::string> TrackPackets(const StoredFlight& flight) {
    std::vector<std::string> packets;
    packets.push_back(EncodePacket(kFlightInfoPacket, EncodeFlightInfo(flight.info)));
    constexpr std::size_t kMaxRecords = 42;  // 252 data bytes
    std::vector<std::uint8_t> deltas;
    const auto flush = [&] {
        if (!deltas.empty()) {
            packets.push_back(EncodePacket(kDeltaPositionPacket, deltas));
            deltas.clear();
        }
    };
    const auto fits = [](long long d) { return d >= -128 && d <= 127; };
    for (std::size_t i = 0; i < flight.positions.size(); ++i) {
        const WirePosition& p = flight.positions[i];
        if (i > 0) {
            const WirePosition& q = flight.positions[i - 1];
            const long long dLat = static_cast<long long>(p.latitude) - q.latitude;
            const long long dLon = static_cast<long long>(p.longitude) - q.longitude;
            const long long dAlt = static_cast<long long>(p.gpsAltitude) - q.gpsAltitude;
            const long long dPressure = static_cast<long long>(p.pressure) - q.pressure;
            const long long dTime = static_cast<long long>(p.time) - q.time;
            if (fits(dLat) && fits(dLon) && fits(dAlt) && fits(dPressure) && dTime >= 0 &&
                dTime <= 255) {
                deltas.push_back(static_cast<std::uint8_t>(dLat & 0xFF));
                deltas.push_back(static_cast<std::uint8_t>(dLon & 0xFF));
                deltas.push_back(static_cast<std::uint8_t>(dAlt & 0xFF));
                deltas.push_back(static_cast<std::uint8_t>(dPressure & 0xFF));
                deltas.push_back(static_cast<std::uint8_t>(dTime));
                deltas.push_back(0);
                if (deltas.size() == kMaxRecords * kDeltaRecordSize) {
                    flush();
                }
                continue;
            }
        }
        flush();
        packets.push_back(EncodePacket(kKeyPositionPacket, EncodeKeyPosition(p)));
    }
    flush();
    return packets;
}

std::int32_t PressureForAltitude(std::int32_t metres) {
    const double estimate =
        10132.5 * std::pow(std::max(0.0, 1.0 - metres / 44307.69), 1.0 / 0.190284);
    const auto centre = static_cast<std::int32_t>(std::lround(estimate));
    std::int32_t best = centre;
    std::int32_t bestError = std::numeric_limits<std::int32_t>::max();
    for (std::int32_t p = centre - 8; p <= centre + 8; ++p) {
        if (p <= 0 || p > 32767) {
            continue;
        }
        const std::int32_t error = std::abs(PressureAltitude(p) - metres);
        if (error < bestError) {
            best = p;
            bestError = error;
        }
    }
    return std::clamp(best, 1, 32767);
}

namespace {

bool Digits(std::string_view text, std::size_t offset, std::size_t count, int& value) {
    if (offset + count > text.size()) {
        return false;
    }
    int v = 0;
    for (std::size_t i = offset; i < offset + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + (text[i] - '0');
    }
    value = v;
    return true;
}

std::string HeaderValue(std::string_view line) {
    const std::size_t colon = line.find(':');
    std::string_view value =
        colon == std::string_view::npos ? line.substr(5) : line.substr(colon + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) {
        value.remove_suffix(1);
    }
    return NormaliseSpaces(value, value.size());
}

}  // namespace

bool FlightFromIgc(std::string_view igc, StoredFlight& out) {
    StoredFlight flight;
    flight.info.firmwareMajor = 2;
    flight.info.firmwareMinor = 5;
    flight.info.serial = 4321;
    bool haveDate = false;
    std::uint32_t midnight = 0;
    std::uint32_t dayOffset = 0;
    int previous = -1;
    while (!igc.empty()) {
        const std::size_t end = igc.find('\n');
        const std::string_view line = igc.substr(0, end);
        igc.remove_prefix(end == std::string_view::npos ? igc.size() : end + 1);
        if (line.starts_with("HFDTE") && !haveDate) {
            const std::size_t at = line.substr(5).starts_with("DATE:") ? 10 : 5;
            int day = 0;
            int month = 0;
            int year = 0;
            if (Digits(line, at, 2, day) && Digits(line, at + 2, 2, month) &&
                Digits(line, at + 4, 2, year)) {
                CalendarTime date;
                date.year = 2000 + year;
                date.month = month;
                date.day = day;
                midnight = CalendarToTime(date);
                haveDate = true;
            }
        } else if (line.starts_with("HFPLT")) {
            flight.info.pilotName = HeaderValue(line).substr(0, 14);
        } else if (line.starts_with("HFGTY")) {
            flight.info.glider = HeaderValue(line).substr(0, 14);
        } else if (line.starts_with("HFCID")) {
            flight.info.competitionNumber = HeaderValue(line).substr(0, 7);
        } else if (line.starts_with("B") && haveDate && line.size() >= 35) {
            int h = 0, m = 0, s = 0, latD = 0, latM = 0, lonD = 0, lonM = 0, pAlt = 0, gAlt = 0;
            if (!Digits(line, 1, 2, h) || !Digits(line, 3, 2, m) || !Digits(line, 5, 2, s) ||
                !Digits(line, 7, 2, latD) || !Digits(line, 9, 5, latM) ||
                !Digits(line, 15, 3, lonD) || !Digits(line, 18, 5, lonM)) {
                continue;
            }
            const auto signedDigits = [&](std::size_t at, int& value) {
                if (line[at] == '-') {
                    int v = 0;
                    if (!Digits(line, at + 1, 4, v)) {
                        return false;
                    }
                    value = -v;
                    return true;
                }
                return Digits(line, at, 5, value);
            };
            if (!signedDigits(25, pAlt) || !signedDigits(30, gAlt)) {
                continue;
            }
            const int timeOfDay = (h * 60 + m) * 60 + s;
            if (previous >= 0 && timeOfDay < previous) {
                dayOffset += 86400;
            }
            previous = timeOfDay;
            WirePosition p;
            p.latitude = latD * 60000 + latM;
            if (line[14] == 'S') {
                p.latitude = -p.latitude;
            }
            p.longitude = lonD * 60000 + lonM;
            // East is negative on the wire.
            if (line[23] != 'W') {
                p.longitude = -p.longitude;
            }
            p.gpsAltitude = gAlt;
            p.pressure = PressureForAltitude(pAlt);
            p.time =
                midnight + dayOffset + static_cast<std::uint32_t>(timeOfDay) - kInstrumentEpoch;
            flight.positions.push_back(p);
        }
    }
    if (!haveDate || flight.positions.empty()) {
        return false;
    }
    out = std::move(flight);
    return true;
}

}  // namespace tracora::protocols::flymaster
