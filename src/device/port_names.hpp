// Port names as users give them ("COM3", "\\.\COM12", "/dev/ttyUSB0") and the list of the
// serial ports this machine has.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tracora::device {

// The user's port table: COM number -> device path.
using PortTable = std::map<int, std::string>;

// The device path for a port name. A name with a '/' is a device path (absolute, or relative
// to the working folder) and is kept as it is. "COMn" or "\\.\COMn" (any letter case, n >= 1,
// surrounding blanks ignored) is the table's path for n when the table has one (an entry that is
// not an absolute path is ignored), else /dev/ttyS(n-1). Anything else gives an empty string.
std::string ResolvePortName(std::string_view name, const PortTable& table);

struct SerialPortInfo {
    std::string path;      // the device node, symbolic links resolved: /dev/ttyUSB0
    std::string byIdPath;  // its stable name under /dev/serial/by-id, when there is one
    std::string product;   // "manufacturer product" as the device reports it, or empty

    bool operator==(const SerialPortInfo&) const = default;
};

// Lists the serial ports: the targets of <devRoot>/serial/by-id/* and the existing
// <devRoot>/ttyUSB*, ttyACM* and ttyS* nodes. A ttyS node counts only when sysfs shows a
// driver bound to it and, where the port type is known, a type other than "unknown" (the
// kernel creates ttyS0-3 whether or not the hardware exists). Each port appears once, in
// natural order (ttyUSB2 before ttyUSB10). Product texts come from the nearest "product" and
// "manufacturer" files above the port's device in sysfs, with control characters replaced.
// Returns the count; `ports` is replaced.
int ListComPorts(std::vector<SerialPortInfo>& ports, const std::filesystem::path& devRoot = "/dev",
                 const std::filesystem::path& sysRoot = "/sys");

// Natural order of names: runs of digits compare by their value, everything else by byte.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace tracora::device
