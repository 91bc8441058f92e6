#include "protocols/common/igc_download.hpp"

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"

namespace tracora::protocols {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsAlphanumeric(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The digits of line[offset, offset + count) as a number; false when a character is missing
// or not a digit.
bool FixedDigits(std::string_view line, std::size_t offset, std::size_t count, int& value) {
    if (offset + count > line.size()) {
        return false;
    }
    int v = 0;
    for (std::size_t i = offset; i < offset + count; ++i) {
        if (!IsDigit(line[i])) {
            return false;
        }
        v = v * 10 + (line[i] - '0');
    }
    value = v;
    return true;
}

// A signed decimal in a fixed-width field, blanks allowed around it ("-0012", "  345").
bool SignedField(std::string_view field, int& value) {
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    int v = 0;
    while (i < field.size() && IsDigit(field[i])) {
        v = v * 10 + (field[i] - '0');
        ++i;
    }
    if (i == digitsStart) {
        return false;
    }
    while (i < field.size() && field[i] == ' ') {
        ++i;
    }
    if (i != field.size()) {
        return false;
    }
    value = negative ? -v : v;
    return true;
}

int ParseARecord(std::string_view line, IgcDownloadState& state) {
    if (line.size() < 7) {
        return -28;
    }
    for (std::size_t i = 1; i <= 6; ++i) {
        if (!IsAlphanumeric(line[i])) {
            return -29;
        }
    }
    state.manufacturer.assign(line.substr(1, 3));
    state.loggerId.assign(line.substr(4, 3));
    return 0;
}

int ParseHRecord(std::string_view line, IgcDownloadState& state) {
    if (line.size() < 11 || !line.starts_with("HFDTE")) {
        return 0;
    }
    // The newer form names the field: "HFDTEDATE:ddmmyy,nn".
    const std::size_t at = line.substr(5).starts_with("DATE:") ? 10 : 5;
    int day = 0;
    int month = 0;
    int year = 0;
    if (!FixedDigits(line, at + 4, 2, year)) {
        return -1;
    }
    if (!FixedDigits(line, at + 2, 2, month)) {
        return -2;
    }
    if (month == 0 || month > 12) {
        return -3;
    }
    if (!FixedDigits(line, at, 2, day)) {
        return -4;
    }
    if (day == 0 || day > 31) {
        return -5;
    }
    CalendarTime midnight;
    midnight.year = 2000 + year;
    midnight.month = month;
    midnight.day = day;
    state.date = CalendarToTime(midnight);
    state.dayOffset = 0;
    state.previousTimeOfDay = 0;
    return 0;
}

// Degrees, minutes and thousandths of minutes at `offset` (degree digits `degreeDigits`) with
// the hemisphere letter after them. `codes` are the negative codes for thousandths, minutes,
// degrees, degree range and hemisphere.
int ParseAngle(std::string_view line, std::size_t offset, std::size_t degreeDigits, int maxDegrees,
               char positive, char negative, const int (&codes)[5], double& degrees) {
    int whole = 0;
    int minutes = 0;
    int thousandths = 0;
    if (!FixedDigits(line, offset + degreeDigits + 2, 3, thousandths)) {
        return codes[0];
    }
    if (!FixedDigits(line, offset + degreeDigits, 2, minutes)) {
        return codes[1];
    }
    if (!FixedDigits(line, offset, degreeDigits, whole)) {
        return codes[2];
    }
    if (whole > maxDegrees) {
        return codes[3];
    }
    const char hemisphere = line[offset + degreeDigits + 5];
    if (hemisphere != positive && hemisphere != negative) {
        return codes[4];
    }
    degrees = whole + (minutes + thousandths / 1000.0) / 60.0;
    if (hemisphere == negative) {
        degrees = -degrees;
    }
    return 0;
}

int ParseBRecord(std::string_view line, IgcDownloadState& state) {
    if (line.size() < 35) {
        return -24;
    }
    if (state.points.size() == state.points.capacity()) {
        state.points.reserve(state.points.empty() ? IgcDownloadState::kFirstCapacity
                                                  : state.points.capacity() * 2);
    }
    int pressureAltitude = 0;
    int gpsAltitude = 0;
    if (!SignedField(line.substr(25, 5), pressureAltitude) ||
        !SignedField(line.substr(30, 5), gpsAltitude)) {
        return -7;
    }
    static constexpr int kLongitudeCodes[5] = {-8, -9, -10, -11, -12};
    static constexpr int kLatitudeCodes[5] = {-13, -14, -15, -16, -17};
    double longitude = 0;
    double latitude = 0;
    if (const int rc = ParseAngle(line, 15, 3, 179, 'E', 'W', kLongitudeCodes, longitude);
        rc != 0) {
        return rc;
    }
    if (const int rc = ParseAngle(line, 7, 2, 89, 'N', 'S', kLatitudeCodes, latitude); rc != 0) {
        return rc;
    }
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    if (!FixedDigits(line, 5, 2, seconds)) {
        return -18;
    }
    if (seconds > 59) {
        return -19;
    }
    if (!FixedDigits(line, 3, 2, minutes)) {
        return -20;
    }
    if (minutes > 59) {
        return -21;
    }
    if (!FixedDigits(line, 1, 2, hours)) {
        return -22;
    }
    if (hours > 23) {
        return -23;
    }
    if (state.date == 0) {
        return -25;
    }
    const int timeOfDay = (hours * 60 + minutes) * 60 + seconds;
    TrackPoint point;
    if (state.points.empty()) {
        state.dayOffset = 0;
        state.trackStart = state.date + static_cast<std::uint32_t>(timeOfDay);
        point.flags = TrackPoint::kSegmentStart;
    } else if (state.previousTimeOfDay - timeOfDay >= 3600) {
        state.dayOffset += 86400;
    }
    state.previousTimeOfDay = timeOfDay;
    point.time = state.date + state.dayOffset + static_cast<std::uint32_t>(timeOfDay);
    point.latitude = RadiansToSemicircles(latitude / kRadiansToDegrees);
    point.longitude = RadiansToSemicircles(longitude / kRadiansToDegrees);
    point.gpsAltitude = gpsAltitude * 10;
    point.pressureAltitude = pressureAltitude;
    state.points.push_back(point);
    return 0;
}

}  // namespace

int ParseIgcDownloadLine(std::string_view line, IgcDownloadState& state) {
    if (line.empty()) {
        return 0;
    }
    switch (line[0]) {
        case 'A':
            return ParseARecord(line, state);
        case 'H':
            return ParseHRecord(line, state);
        case 'G':
            ++state.gRecordCount;
            return 0;
        case 'B':
            return ParseBRecord(line, state);
        default:
            return 0;
    }
}

IgcReceiver::IgcReceiver() {
    line_.reserve(kMaxLineLength + 1);
}

void IgcReceiver::StartTrack() {
    state_ = IgcDownloadState{};
    line_.clear();
    formatCode_ = 0;
    badByte_ = 0;
    lineFeeds_ = 1;
}

IgcReceiver::Event IgcReceiver::Feed(std::uint8_t byte) {
    raw_ += static_cast<char>(byte);
    if (line_.empty()) {
        if (byte == '\n') {
            ++lineFeeds_;
            return Event::kNone;
        }
        if (byte == '\r') {
            return Event::kNone;
        }
        if (byte >= 'A' && byte <= 'Z') {
            line_ += static_cast<char>(byte);
            return Event::kNone;
        }
        badByte_ = byte;
        return Event::kBadRecordType;
    }
    if (line_.size() > kMaxLineLength) {
        return Event::kLineTooLong;
    }
    if (byte != '\n') {
        line_ += static_cast<char>(byte);
        return Event::kNone;
    }
    ++lineFeeds_;
    const int rc = ParseIgcDownloadLine(line_, state_);
    line_.clear();
    if (rc < 0) {
        formatCode_ = -rc;
        return Event::kFormatError;
    }
    return Event::kLineParsed;
}

namespace {

// "302 positions, the last at 10:41:07 UTC" (or without positions).
std::string ReceivedText(const IgcDownloadState& state) {
    if (state.points.empty()) {
        return "before the first position";
    }
    const std::uint32_t t = state.points.back().time % 86400;
    return StringPrintf("after %zu position%s, the last at %02u:%02u:%02u UTC", state.points.size(),
                        state.points.size() == 1 ? "" : "s", t / 3600, t / 60 % 60, t % 60);
}

}  // namespace

std::string IncompleteTrackText(const IgcReceiver& receiver, std::uint32_t listedDurationSeconds) {
    const IgcDownloadState& state = receiver.State();
    std::string why;
    if (receiver.InsideLine() && receiver.PendingLine().front() != 'G') {
        why = "in the middle of a line, " + ReceivedText(state);
    } else if (listedDurationSeconds > 0 && !state.points.empty()) {
        const std::uint32_t span = state.points.back().time - state.points.front().time;
        if (span + kListedDurationToleranceSeconds < listedDurationSeconds) {
            const std::uint32_t missing = (listedDurationSeconds - span + 59) / 60;
            why = ReceivedText(state) + ", " +
                  (missing < 60 ? StringPrintf("%u min", missing)
                                : StringPrintf("%u h %02u min", missing / 60, missing % 60)) +
                  " before the end of the flight in its list";
        }
    }
    if (why.empty()) {
        return why;
    }
    return "Incomplete transfer: the instrument stopped sending " + why +
           ". Nothing was saved; check the cable and download again.";
}

}  // namespace tracora::protocols
