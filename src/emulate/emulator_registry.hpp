// The instrument emulators that tracora-emulate can run, as one table. Each emulator plays the
// instrument's side of the cable over a pseudo-terminal; tests and demos connect the real
// session code to it.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/emulator_link.hpp"

namespace tracora::emulate {

// What an emulator gets from the program: the cable, the slave side for watching the line
// settings the session chose, its own arguments and where to log what happens.
struct EmulatorSession {
    device::EmulatorLink& link;
    int slaveFd = -1;
    std::vector<std::string> args;
    std::FILE* log = stdout;
};

// Runs until the link is stopped or the emulator is done. 0, or 2 for bad arguments.
using EmulatorMain = int (*)(EmulatorSession& session);

struct EmulatorEntry {
    std::string_view name;  // a family's emulator is named after the family's id
    std::string_view summary;
    std::string_view usage;  // the emulator's own options (the kit's are listed once)
    EmulatorMain run;
    // The faults it can inject (--fault STEP:FAULT takes these as FAULT).
    std::span<const std::string_view> faults;
};

// The line probe first, then every family's emulator in the order of the families.
std::vector<const EmulatorEntry*> Emulators();
const EmulatorEntry* FindEmulator(std::string_view name);

// The line settings the session has set on the cable, as text: "57600 8N1 xon/xoff".
std::string LineSettingsText(int slaveFd);

}  // namespace tracora::emulate
