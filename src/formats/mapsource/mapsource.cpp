#include "formats/mapsource/mapsource.hpp"

#include <cmath>
#include <cstring>
#include <new>

#include "core/strings.hpp"
#include "formats/common/text_encoding.hpp"

namespace tracora::mapsource {
namespace {

constexpr std::string_view kMagic{"MsRcd\0", 6};
constexpr std::size_t kPointBytes = 31;
// Altitudes at or beyond this are MapSource's mark of none (it writes 1e25).
constexpr double kNoAltitude = 1e6;

// A bounded reader of one record's data: every step is checked against the record's end.
class Cursor {
public:
    Cursor(std::string_view bytes, std::size_t begin, std::size_t end)
        : bytes_(bytes), position_(begin), end_(end) {}

    bool Skip(std::size_t count) {
        if (end_ - position_ < count) {
            return false;
        }
        position_ += count;
        return true;
    }
    bool Byte(std::uint8_t& value) {
        if (position_ >= end_) {
            return false;
        }
        value = static_cast<std::uint8_t>(bytes_[position_++]);
        return true;
    }
    bool Word(std::uint32_t& value) {
        if (end_ - position_ < 4) {
            return false;
        }
        value = 0;
        for (int k = 3; k >= 0; --k) {
            value = (value << 8) |
                    static_cast<std::uint8_t>(bytes_[position_ + static_cast<std::size_t>(k)]);
        }
        position_ += 4;
        return true;
    }
    bool Double(double& value) {
        std::uint32_t low = 0, high = 0;
        if (!Word(low) || !Word(high)) {
            return false;
        }
        const std::uint64_t bits = (static_cast<std::uint64_t>(high) << 32) | low;
        std::memcpy(&value, &bits, sizeof value);
        return true;
    }
    // A NUL-terminated text, the NUL inside the record.
    bool Text(std::string_view& text) {
        const std::size_t nul = bytes_.find('\0', position_);
        if (nul == std::string_view::npos || nul >= end_) {
            return false;
        }
        text = bytes_.substr(position_, nul - position_);
        position_ = nul + 1;
        return true;
    }
    std::size_t Position() const { return position_; }
    bool AtEnd() const { return position_ == end_; }

private:
    std::string_view bytes_;
    std::size_t position_;
    std::size_t end_;
};

struct Record {
    char type = 0;
    std::size_t dataBegin = 0;
    std::size_t dataEnd = 0;
};

std::string FormatError(std::size_t offset) {
    return StringPrintf("File format error at %08xh", static_cast<unsigned>(offset));
}

// Walks the records after the version and the one following it, up to the 'V' record; each
// record goes to `take`, which returns false with `message` set to end the walk.
template <typename Take>
int WalkRecords(std::string_view bytes, char& version, std::string& message, Take take) {
    if (bytes.size() < kMagic.size()) {
        message = FormatError(0);
        return -1;
    }
    if (bytes.substr(0, kMagic.size()) != kMagic) {
        message = "Not a MapSource file";
        return -1;
    }
    std::size_t position = kMagic.size();
    auto next = [&](Record& record) {
        Cursor head(bytes, position, bytes.size());
        std::uint32_t length = 0;
        std::uint8_t type = 0;
        if (!head.Word(length) || !head.Byte(type) || bytes.size() - head.Position() < length) {
            message = FormatError(position);
            return false;
        }
        record.type = static_cast<char>(type);
        record.dataBegin = head.Position();
        record.dataEnd = record.dataBegin + length;
        position = record.dataEnd;
        return true;
    };
    Record record;
    if (!next(record) || record.type != 'D' || record.dataEnd - record.dataBegin < 2) {
        if (record.type != 'D' || message.empty()) {
            message = "Not a MapSource file";
        }
        return -1;
    }
    version = bytes[record.dataBegin];
    if (version < 'd' || version > 'i') {
        message = "Unsupported MapSource version";
        return -1;
    }
    // The record after the version is passed over whatever it is.
    if (!next(record)) {
        return -1;
    }
    for (;;) {
        if (!next(record)) {
            return -1;
        }
        if (record.type == 'V') {
            if (record.dataEnd != bytes.size()) {
                message = FormatError(record.dataEnd);
                return -1;
            }
            return 0;
        }
        if (!take(record)) {
            return -1;
        }
    }
}

bool ReadTrackRecord(std::string_view bytes, const Record& record, MapSourceRead& result,
                     std::string& message) {
    Cursor in(bytes, record.dataBegin, record.dataEnd);
    std::string_view name;
    std::uint32_t count = 0;
    if (!in.Text(name) || !in.Skip(5) || !in.Word(count) ||
        record.dataEnd - record.dataBegin != kPointBytes * count + name.size() + 10) {
        message = FormatError(in.Position());
        return false;
    }
    result.points.reserve(result.points.size() + count);
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint32_t latitude = 0, longitude = 0, time = 0;
        std::uint8_t hasAltitude = 0, hasTime = 0;
        double altitude = 0;
        if (!in.Word(latitude) || !in.Word(longitude) || !in.Byte(hasAltitude) ||
            !in.Double(altitude) || !in.Byte(hasTime) || !in.Word(time) || !in.Skip(9)) {
            message = FormatError(in.Position());
            return false;
        }
        TrackPoint point;
        point.latitude = static_cast<std::int32_t>(latitude);
        point.longitude = static_cast<std::int32_t>(longitude);
        if (hasAltitude == 1 && std::fabs(altitude) < kNoAltitude) {
            point.gpsAltitude = static_cast<std::int32_t>(std::trunc(altitude)) * 10;
        }
        if (hasTime == 1 && time >= kUnixToReceiverEpoch) {
            point.time = time - kUnixToReceiverEpoch;
        }
        point.flags = k == 0 ? TrackPoint::kSegmentStart : 0;
        result.points.push_back(point);
    }
    return true;
}

bool ReadWaypointRecord(std::string_view bytes, const Record& record, char version,
                        MapSourceRead& result, std::string& message) {
    Cursor in(bytes, record.dataBegin, record.dataEnd);
    std::string_view name, text, comment;
    std::uint32_t latitude = 0, longitude = 0;
    std::uint8_t hasAltitude = 0;
    double altitude = 0;
    const std::size_t skipAfterText = version == 'd' ? 17 : version == 'i' ? 22 : 18;
    const std::size_t skipAtEnd = version == 'd' ? 12 : 17;
    bool ok = in.Text(name) && in.Skip(4) && in.Text(text) && in.Skip(skipAfterText) &&
              in.Word(latitude) && in.Word(longitude) && in.Byte(hasAltitude) &&
              in.Double(altitude) && in.Text(comment) && in.Skip(17) && in.Skip(4);
    for (int k = 0; ok && k < 3; ++k) {
        ok = in.Text(text);
    }
    if (!ok || !in.Skip(skipAtEnd) || !in.AtEnd()) {
        message = FormatError(in.Position());
        return false;
    }
    Waypoint waypoint;
    waypoint.SetId(waypoints::FirstCharacters(formats::TextAsUtf8(name), 6));
    waypoint.SetDescription(waypoints::FirstCharacters(formats::TextAsUtf8(comment), 40));
    waypoint.latitude = static_cast<std::int32_t>(latitude);
    waypoint.longitude = static_cast<std::int32_t>(longitude);
    if (hasAltitude == 1 && std::fabs(altitude) < kNoAltitude) {
        waypoint.altitude = static_cast<std::int32_t>(std::trunc(altitude));
    }
    waypoint.time = 0;
    waypoint.kind = 0;
    result.waypoints.push_back(waypoint);
    return true;
}

MapSourceRead Read(std::string_view bytes, bool track) {
    MapSourceRead result;
    char version = 0;
    try {
        const int status = WalkRecords(bytes, version, result.message, [&](const Record& record) {
            if (track && record.type == 'T') {
                return ReadTrackRecord(bytes, record, result, result.message);
            }
            if (!track && record.type == 'W') {
                return ReadWaypointRecord(bytes, record, version, result, result.message);
            }
            return true;
        });
        if (status < 0) {
            result.points.clear();
            result.waypoints.clear();
            result.status = -1;
            return result;
        }
    } catch (const std::bad_alloc&) {
        result = MapSourceRead();
        result.status = -1;
        result.message = track ? "Track log memory allocation" : "Waypoint memory allocation";
        return result;
    }
    result.status = static_cast<int>(track ? result.points.size() : result.waypoints.size());
    return result;
}

void PutWord(std::string& out, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        out.push_back(static_cast<char>((value >> (8 * k)) & 0xFF));
    }
}

void PutDouble(std::string& out, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    PutWord(out, static_cast<std::uint32_t>(bits));
    PutWord(out, static_cast<std::uint32_t>(bits >> 32));
}

void PutText(std::string& out, std::string_view utf8) {
    std::string latin1 = waypoints::Utf8ToLatin1(utf8);
    // A NUL inside would end the text early and shift every field after it.
    for (char& c : latin1) {
        if (c == '\0') {
            c = ' ';
        }
    }
    out += latin1;
    out.push_back('\0');
}

// A record: its length, type and data.
void PutRecord(std::string& out, char type, std::string_view data) {
    PutWord(out, static_cast<std::uint32_t>(data.size()));
    out.push_back(type);
    out += data;
}

formats::ReadResult ReadMps(std::string_view bytes) {
    formats::ReadResult result;
    MapSourceRead track = ReadMapSourceTrack(bytes);
    if (track.status < 0) {
        result.status = -1;
        result.message = std::move(track.message);
        return result;
    }
    MapSourceRead wpts = ReadMapSourceWaypoints(bytes);
    if (wpts.status < 0) {
        result.status = -1;
        result.message = std::move(wpts.message);
        return result;
    }
    if (track.points.empty() && wpts.waypoints.empty()) {
        result.status = -1;
        result.message = "No positions found";
        return result;
    }
    result.track = std::move(track.points);
    result.waypoints = std::move(wpts.waypoints);
    result.status = static_cast<int>(result.track.size() + result.waypoints.size());
    result.timesAreUtc = true;
    return result;
}

int WriteMps(const formats::WriteInput& input, formats::TextBuffer& out, std::string& message) {
    try {
        out.Append(MapSourceDocument(input.track, input.waypoints));
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
    return 0;
}

constexpr std::string_view kExtensions[] = {"mps"};

}  // namespace

MapSourceRead ReadMapSourceTrack(std::string_view bytes) {
    return Read(bytes, true);
}

MapSourceRead ReadMapSourceWaypoints(std::string_view bytes) {
    return Read(bytes, false);
}

waypoints::WaypointReadResult ReadMapSourceWaypointFile(std::string_view bytes) {
    MapSourceRead read = ReadMapSourceWaypoints(bytes);
    waypoints::WaypointReadResult result;
    result.title = kMapSourceReadTitle;
    result.status = read.status;
    result.message = std::move(read.message);
    result.waypoints = std::move(read.waypoints);
    return result;
}

std::string MapSourceDocument(std::span<const TrackPoint> points,
                              std::span<const Waypoint> waypoints) {
    std::string out;
    out.reserve(100 + points.size() * kPointBytes + waypoints.size() * 140);
    out.append(kMagic);
    PutRecord(out, 'D', std::string_view("i\0", 2));
    PutRecord(out, 'A',
              std::string_view("\xF8\x01SQA\0Nov  6 2003\0"
                               "16:01:32\0",
                               27));
    for (const Waypoint& w : waypoints) {
        std::string data;
        PutText(data, w.Id());
        data.append(4, '\0');
        data.append(5, '\0');
        data.append(12, '\xFF');
        data.append(2, '\0');
        data.append(4, '\xFF');
        PutWord(data, static_cast<std::uint32_t>(w.latitude));
        PutWord(data, static_cast<std::uint32_t>(w.longitude));
        data.push_back(1);
        PutDouble(data, static_cast<double>(w.altitude));
        PutText(data, w.Description());
        data.append(17, '\0');
        PutWord(data, 18);
        data.append(20, '\0');
        PutRecord(out, 'W', data);
    }
    if (!points.empty()) {
        std::string data;
        PutText(data, "Tracora track log source   ");
        data.push_back(1);
        data.append(4, '\0');
        PutWord(data, static_cast<std::uint32_t>(points.size()));
        for (const TrackPoint& p : points) {
            PutWord(data, static_cast<std::uint32_t>(p.latitude));
            PutWord(data, static_cast<std::uint32_t>(p.longitude));
            data.push_back(1);
            PutDouble(data, p.gpsAltitude * 0.1);
            data.push_back(1);
            PutWord(data, p.time + kUnixToReceiverEpoch);
            data.append(9, '\0');
        }
        PutRecord(out, 'T', data);
    }
    PutRecord(out, 'V', std::string_view("\0\1", 2));
    return out;
}

const formats::FormatRecord kMapSourceFormat{
    .id = "mapsource",
    .name = "MapSource files",
    .extensions = kExtensions,
    .holds = {.track = true, .waypoints = true},
    .directions = {.read = true, .write = true},
    .read = &ReadMps,
    .write = &WriteMps,
};

}  // namespace tracora::mapsource
