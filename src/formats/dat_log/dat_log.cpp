#include "formats/dat_log/dat_log.hpp"

#include <cstdint>
#include <new>

#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::dat {
namespace {

constexpr std::uint64_t kValidationModulus = 1431655777u;

std::uint32_t WordAt(std::string_view bytes, std::size_t index) {
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[index * 4 + k]);
    }
    return value;
}

DatRead Fail(const char* message) {
    DatRead result;
    result.status = -1;
    result.message = message;
    return result;
}

formats::ReadResult ReadDat(std::string_view bytes) {
    if (!LooksLikePositionLog(bytes)) {
        return waypoints::ReadWaypointFileOfRegistry(bytes);
    }
    formats::ReadResult result;
    DatRead read;
    try {
        read = ReadDatTrack(bytes);
    } catch (const std::bad_alloc&) {
        read = Fail("Track log memory allocation");
    }
    if (read.status <= 0) {
        result.status = -1;
        result.message = std::move(read.message);
        return result;
    }
    result.status = read.status;
    result.track = std::move(read.points);
    result.timesAreUtc = true;
    return result;
}

constexpr std::string_view kExtensions[] = {"dat"};

}  // namespace

bool LooksLikePositionLog(std::string_view bytes) {
    if (bytes.size() < 16 || bytes.size() % 4 != 0 ||
        (static_cast<std::uint8_t>(bytes[12]) & 0x80) == 0) {
        return false;
    }
    const std::uint64_t words = bytes.size() / 4;
    const std::uint64_t expected =
        static_cast<std::uint64_t>(WordAt(bytes, 2)) * (bytes[4] != 0 ? 4u : 3u) + 5u;
    return words == expected || words == expected + 1;
}

formats::ReadResult ReadDatFileOfRegistry(std::string_view bytes) {
    return ReadDat(bytes);
}

DatRead ReadDatTrack(std::string_view bytes) {
    if (bytes.size() < 16) {
        return Fail("File header too small");
    }
    if (bytes.size() % 4 != 0) {
        return Fail("File size not a multiple of 4");
    }
    const std::uint64_t count = WordAt(bytes, 2);
    if (count == 0) {
        return Fail("Zero track positions");
    }
    if ((static_cast<std::uint8_t>(bytes[12]) & 0x80) == 0) {
        return Fail("Bad DWORD number 4");
    }
    const bool withAltitude = bytes[4] != 0;
    const std::uint64_t perRecord = withAltitude ? 4 : 3;
    const std::uint64_t words = bytes.size() / 4;
    // In 64 bits: a count near 2^32 / 3 cannot wrap to the size of a small file.
    const std::uint64_t expected = count * perRecord + 5;
    if (words != expected && words != expected + 1) {
        return Fail("File size not consistent with track positions");
    }
    const std::size_t summed = static_cast<std::size_t>(expected);  // header, records, sum word
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < summed; ++k) {
        sum += WordAt(bytes, k);
    }
    if (sum != 0) {
        return Fail("Checksum verification failed");
    }
    if (words == expected + 1) {
        std::uint64_t remainder = 0;
        for (std::size_t k = 0; k < summed; ++k) {
            remainder = ((remainder << 32) | WordAt(bytes, k)) % kValidationModulus;
        }
        const std::uint32_t check =
            WordAt(bytes, summed) + 1u + static_cast<std::uint32_t>(remainder);
        if (check != 0) {
            return Fail("Data validation failed");
        }
    }
    UtmPosition utm;
    utm.zone = static_cast<std::uint8_t>(bytes[14]);
    utm.band = bytes[15];
    DatRead result;
    result.points.resize(static_cast<std::size_t>(count));
    for (std::size_t k = 0; k < result.points.size(); ++k) {
        const std::size_t first = 4 + k * static_cast<std::size_t>(perRecord);
        TrackPoint& point = result.points[k];
        point.flags = k == 0 ? TrackPoint::kSegmentStart : 0;
        point.time = WordAt(bytes, first);
        utm.easting = WordAt(bytes, first + 1);
        utm.northing = WordAt(bytes, first + 2);
        GeoPoint position;
        FromUtm(utm, position);
        point.latitude = RadiansToSemicircles(position.latitude);
        point.longitude = RadiansToSemicircles(position.longitude);
        if (withAltitude) {
            // The low 24 bits, sign-extended.
            const std::uint32_t field = WordAt(bytes, first + 3) & 0xFFFFFFu;
            point.gpsAltitude = static_cast<std::int32_t>(field ^ 0x800000u) - 0x800000;
        }
    }
    result.status = static_cast<int>(result.points.size());
    return result;
}

const formats::FormatRecord kDatFormat{
    .id = "dat",
    .name = "Position log files",
    .extensions = kExtensions,
    .holds = {.track = true},
    .directions = {.read = true, .write = false},
    .read = &ReadDatFileOfRegistry,
    .write = nullptr,
};

}  // namespace tracora::dat
