// The pilot list reader on any bytes: FS and RACE databases, comma-separated text. A read either
// fails with a message and no pilots, or gives pilots that each have a name within the limits
// and IDs of -1 or more; the export of what was read reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "competition/pilot_list_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tracora::competition::PilotListRead read;
    const int count = tracora::competition::ReadPilotListText(text, read);
    if (count < 0) {
        if (read.message.empty() || !read.pilots.empty()) {
            std::abort();
        }
        return 0;
    }
    if (count == 0 || static_cast<std::size_t>(count) != read.pilots.size()) {
        std::abort();
    }
    for (const tracora::PilotEntry& pilot : read.pilots) {
        if (pilot.name.empty() || pilot.name.size() > 4 * tracora::kPilotEntryNameChars ||
            pilot.civlId < -1 || pilot.competitionId < -1) {
            std::abort();
        }
        for (const std::string& device : pilot.devices) {
            if (device.size() > tracora::kDeviceIdBytes) {
                std::abort();
            }
        }
    }
    return 0;
}
