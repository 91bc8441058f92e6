// Waypoint files: detection and every reader, asked and not asked about names, and every
// writer over what was read, read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/format_registry.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace waypoints = tracora::waypoints;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    waypoints::WaypointReadOptions options;
    // The answers cycle through all four, chosen by the input's length.
    int turn = static_cast<int>(size % 4);
    options.askModifyId = [&turn](std::string_view) {
        return static_cast<tracora::ModifyIdAnswer>(turn++ % 4);
    };
    const waypoints::WaypointReadResult asked = waypoints::ReadWaypointText(text, options);
    if (asked.status < 0 && (asked.message.empty() || !asked.waypoints.empty())) {
        std::abort();  // a failure has its message and keeps nothing
    }
    if (asked.status > 0 && static_cast<std::size_t>(asked.status) != asked.waypoints.size()) {
        std::abort();
    }
    const tracora::formats::ReadResult read = waypoints::ReadWaypointFileOfRegistry(text);
    if (read.status <= 0) {
        return 0;
    }
    for (const tracora::formats::FormatRecord* format : tracora::formats::AllFormats()) {
        if (!format->holds.waypoints || !format->directions.write || !format->directions.read) {
            continue;
        }
        tracora::formats::WriteInput input;
        input.waypoints = read.waypoints;
        input.downloadTime = {2024, 6, 1, 12, 0, 0, 0};
        tracora::formats::TextBuffer out;
        std::string message;
        if (format->write(input, out, message) != 0) {
            std::abort();
        }
        // Every waypoint written reads back.
        const tracora::formats::ReadResult back = format->read(out.View());
        if (back.status != read.status) {
            std::abort();
        }
    }
    return 0;
}
