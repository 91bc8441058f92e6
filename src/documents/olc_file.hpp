// The online-contest submission file (.olc): the pilot's data, the flight's date and the five
// points of its best result, and optionally the flight's IGC text, as one line of URL-encoded
// fields. Also the lists the dialog offers (regions, classes) and the checks of its values.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "analysis/olc_optimisation.hpp"
#include "core/track_log.hpp"
#include "formats/igc/igc_names.hpp"

namespace tracora::olc {

struct Region {
    const char* code;   // two letters; empty for the first entry
    const char* label;  // "DE Germany / Deutchland"
};
// The first entry is the unknown region: empty code, label "   Unknown".
std::span<const Region> Regions();

struct GliderClass {
    int number;  // 1-5, as the file writes it
    const char* name;
};
std::span<const GliderClass> GliderClasses();

// What the pilot enters in the dialog (remembered in the settings).
struct PilotData {
    std::string firstName, lastName;
    std::string birthDate;  // "dd.mm.yy"
    int gliderClass = 3;    // GliderClasses() number
    std::string gliderType;
    std::string callSign;  // optional
    std::string startPlace;
    std::string regionCode;    // empty: unknown
    std::string flightNumber;  // 1-35, as typed
};

inline constexpr const char* kUserInputTitle = "User information input";
inline constexpr const char* kSaveOlcTitle = "Save OLC data";

// Checks the values in the dialog's order and writes the birth date back as "dd.mm.yy" (it
// may be typed "d.m.yy", "dd/mm/yyyy" ...) and the flight number into `flight`. nullptr when
// all are good, else the message ("Missing first name", "Bad birth date format", "Flight
// number out of range" ...; title kUserInputTitle).
const char* CheckPilotData(PilotData& data, int& flight);

// A value in the file's encoding: letters, digits and ! $ ( ) * , - . _ stay as they are; every
// other byte, '&' and '+' included (they would end a field or turn into a blank), becomes '%'
// and two upper-case hexadecimal digits.
std::string EncodeValue(std::string_view text);

// The flight as the file describes it.
struct Flight {
    std::string igcFileName;             // the name the flight's IGC file has or is proposed
    std::array<TrackPoint, 5> points{};  // the best result's A to E
    std::string igcText;                 // appended as the IGCigcIGC field when not empty
};

// The flight of the best result of `results` over `points`, named as its IGC file in `style`
// (the first fix's date, the recorder's codes, the flight number); no IGC text yet.
Flight BestResultFlight(std::span<const TrackPoint> points, const analysis::OlcResults& results,
                        igc::IgcNameStyle style, std::string_view manufacturer,
                        std::string_view serial, int flight);

// Whether an IGC text carries a security record (a G line).
bool CarriesSecurityRecord(std::string_view igcText);

// The file's one line (without a line end) for `data` (checked) and `flight`; `version` is the
// program's "major.minor[.patch]".
std::string BuildOlcText(const PilotData& data, const Flight& what, std::string_view version);

}  // namespace tracora::olc
