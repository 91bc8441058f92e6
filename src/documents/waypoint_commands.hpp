// The waypoint file commands: "Read waypoint file" with its questions, "Save waypoints" in any
// waypoint format of the registry, and the whole-file read the command line shares.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/app_state.hpp"
#include "core/host.hpp"
#include "formats/format_record.hpp"

namespace tracora::documents {

// The formats waypoints are saved in, in the order the save dialog lists them.
std::vector<const formats::FormatRecord*> WaypointSaveFormats();

// Reads the whole file at `path` and its waypoints; `interactive` asks the "Modify waypoint ID"
// question through `host` (otherwise such a name fails the read). Every failure is shown under
// `title`: "Error opening waypoint file", "File is empty", "File buffer memory allocation",
// "Waypoint file read error", or the reader's own message under the reader's title. Returns
// the count (> 0), or 0 / negative with nothing in `out`.
int ReadWaypointsFromFile(Host& host, const std::filesystem::path& path, bool interactive,
                          const std::string& title, std::vector<Waypoint>& out);

// "Read waypoint file": refused while a device job runs; the open dialog (starting in the
// waypoint folder, on `openFilter`, which the command keeps up to date); the read; then the
// waypoints installed (appended or replacing the list as the user says). Returns the count
// read, 0 when nothing changed.
int ReadWaypointFileCommand(AppState& state, Host& host, int& openFilter);

// "Save waypoints": the waypoints at `rows` (indexes into the list) in the format chosen in the
// save dialog. Returns the count written, 0 when nothing was.
int SaveWaypointsCommand(AppState& state, Host& host, std::span<const std::size_t> rows);

// The document of `format` for `waypoints`; 0, or -1 with `message` set.
int WaypointDocument(const formats::FormatRecord& format, std::span<const Waypoint> waypoints,
                     std::string& document, std::string& message);

// What an instrument that shows one name per waypoint gets in it: the waypoint as it is
// (normal), its description or, when that is empty, its ID (only name), the ID, a blank and the
// description (ID and name), or the ID (only ID).
enum class WaypointUploadMode { kNormal, kOnlyName, kIdAndName, kOnlyId };

// Puts into every description the text `mode` sends (cut at the field's 40 characters).
void PrepareUploadNames(WaypointUploadMode mode, std::span<Waypoint> waypoints);

inline constexpr const char* kReadWaypointFileTitle = "Read waypoint file";
inline constexpr const char* kSaveWaypointsTitle = "Save waypoints";
inline constexpr const char* kUploadWaypointsTitle = "Upload waypoints";

}  // namespace tracora::documents
