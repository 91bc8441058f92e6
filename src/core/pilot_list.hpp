// The competition roster: one entry per pilot with the IDs the output files are named by and the
// instruments the pilot has used, and the pilot the current track log belongs to.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tracora {

inline constexpr std::size_t kPilotEntryNameChars = 80;  // characters, not bytes
inline constexpr std::size_t kDeviceIdBytes = 50;
inline constexpr std::size_t kDeviceSlots = 4;
// The current pilot's name keeps at most this many characters.
inline constexpr std::size_t kCurrentPilotNameChars = 60;

struct PilotEntry {
    std::string name;  // UTF-8
    int civlId = -1;   // -1 = none
    int competitionId = -1;
    std::array<std::string, kDeviceSlots> devices;  // empty slot: empty text

    friend bool operator==(const PilotEntry&, const PilotEntry&) = default;
};

struct PilotList {
    std::vector<PilotEntry> pilots;
};

// Whom the current track log belongs to: set by the pilot selection (or a command line), used
// for the names of the competition output files.
struct CurrentPilot {
    std::string name;  // UTF-8, at most kCurrentPilotNameChars characters
    int competitionId = -1;
    int civlId = -1;

    friend bool operator==(const CurrentPilot&, const CurrentPilot&) = default;
};

// `text` cut after `chars` UTF-8 characters (a byte that is not a continuation byte starts one).
std::string CutUtf8Characters(std::string_view text, std::size_t chars);
// `text` cut to at most `bytes` bytes without splitting a UTF-8 character.
std::string CutUtf8Bytes(std::string_view text, std::size_t bytes);

// Remembers instrument `deviceId` with the first pilot named `pilotName`: nothing when the
// pilot already has it, all four slots are taken, no pilot has that name or the ID is empty;
// otherwise the first empty slot takes it (cut to kDeviceIdBytes). True when a slot was filled.
bool AssignDeviceToPilot(PilotList& list, std::string_view pilotName, std::string_view deviceId);

// The index of the first pilot with CIVL ID `civlId`, else the first with competition ID
// `competitionId` (a negative ID matches nobody); -1 when none matches.
int FindPilotByIds(const PilotList& list, int civlId, int competitionId);

}  // namespace tracora
