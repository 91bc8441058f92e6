// The airspace records: one airspace ("CTR") with its boundary segments, and the list the
// program holds. Positions are latitude and longitude in degrees, radii in metres.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tracora {

struct DegreePosition {
    double latitude = 0;
    double longitude = 0;
};

enum class CtrSegmentKind : int {
    kPoint = 0,
    kArcByEndpoints = 1,
    kArcByAngles = 2,
    kCircle = 3,
};

// '+' clockwise, '-' counter-clockwise.
inline constexpr char kClockwise = '+';
inline constexpr char kCounterClockwise = '-';

// One piece of an airspace boundary. Which fields count depends on the kind:
//   kPoint: `position`.
//   kArcByEndpoints: `centre`, `start`, `end`, `direction`.
//   kArcByAngles: `centre`, `radiusMetres`, `startBearing`, `endBearing` (degrees), `direction`.
//   kCircle: `centre`, `radiusMetres`.
struct CtrSegment {
    CtrSegmentKind kind = CtrSegmentKind::kPoint;
    DegreePosition position;
    DegreePosition centre;
    DegreePosition start;
    DegreePosition end;
    std::int32_t radiusMetres = 0;
    double startBearing = 0;
    double endBearing = 0;
    char direction = kClockwise;
};

// The class codes of the OpenAir class texts; every other text is kCtrClassOther.
inline constexpr int kCtrClassCount = 13;
inline constexpr int kCtrClassOther = 12;
// "A", "B", "C", "D", "E", "P", "Q", "R", "W", "CTR", "CTZ", "GP", "?" by code.
std::string_view CtrClassName(int code);
// The code of a class text, ignoring case; kCtrClassOther when it names none.
int CtrClassCode(std::string_view text);

struct CtrArea {
    static constexpr std::size_t kMaxName = 50;
    static constexpr std::size_t kMaxLimitText = 50;
    static constexpr std::size_t kMaxClassText = 10;
    static constexpr std::int32_t kDefaultWarningDistance = 200;

    std::string name;
    std::string ceiling;  // the OpenAir AH text
    std::string floor;    // the OpenAir AL text (the instruments' "remark")
    std::string classText;
    int classCode = 0;   // 0 while no class was read
    int sourceLine = 0;  // where the airspace started in its text
    bool selected = false;
    std::int32_t warningDistance = kDefaultWarningDistance;  // metres
    std::int32_t floorValue = 0;
    std::int32_t ceilingValue = 0;
    std::vector<CtrSegment> segments;
};

struct CtrList {
    std::vector<CtrArea> areas;
};

// The value of a floor or ceiling text: leading digits as a number ("1500ft" gives 1500), "FL"
// in either case with optional blanks and digits gives the digits x 100, "UNLIMITED" in any
// case 999999, anything else 0. Leading blanks are skipped.
std::int32_t AirspaceLimitValue(std::string_view text);

// `text` cut to at most `limit` bytes, never inside a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t limit);

}  // namespace tracora
