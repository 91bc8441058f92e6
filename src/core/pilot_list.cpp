#include "core/pilot_list.hpp"

namespace tracora {
namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string CutUtf8Characters(std::string_view text, std::size_t chars) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuation(text[i])) {
            if (seen == chars) {
                return std::string(text.substr(0, i));
            }
            ++seen;
        }
    }
    return std::string(text);
}

std::string CutUtf8Bytes(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return std::string(text);
    }
    std::size_t end = bytes;
    while (end > 0 && IsContinuation(text[end])) {
        --end;
    }
    return std::string(text.substr(0, end));
}

bool AssignDeviceToPilot(PilotList& list, std::string_view pilotName, std::string_view deviceId) {
    if (deviceId.empty()) {
        return false;
    }
    const std::string device = CutUtf8Bytes(deviceId, kDeviceIdBytes);
    for (PilotEntry& pilot : list.pilots) {
        if (pilot.name != pilotName) {
            continue;
        }
        for (const std::string& slot : pilot.devices) {
            if (slot == device) {
                return false;
            }
        }
        for (std::string& slot : pilot.devices) {
            if (slot.empty()) {
                slot = device;
                return true;
            }
        }
        return false;
    }
    return false;
}

int FindPilotByIds(const PilotList& list, int civlId, int competitionId) {
    if (civlId >= 0) {
        for (std::size_t i = 0; i < list.pilots.size(); ++i) {
            if (list.pilots[i].civlId == civlId) {
                return static_cast<int>(i);
            }
        }
    }
    if (competitionId >= 0) {
        for (std::size_t i = 0; i < list.pilots.size(); ++i) {
            if (list.pilots[i].competitionId == competitionId) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

}  // namespace tracora
