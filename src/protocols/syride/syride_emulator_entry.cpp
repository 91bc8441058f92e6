// tracora-emulate's "syride" entry. The SYS'Nav is a USB HID device, not a serial one: its
// emulator plays behind the in-process fake HID back end of the tests and cannot be offered on
// a pseudo-terminal. The entry says so.
#include <cstdio>

#include "emulate/emulator_registry.hpp"
#include "protocols/syride/syride_emulator.hpp"

namespace tracora::protocols::syride {

extern const emulate::EmulatorEntry kEmulator;

namespace {

// In the order of SyrideFault.
constexpr std::string_view kFaults[] = {"silence", "garbage", "cut", "never"};

int RunSyrideInstrument(emulate::EmulatorSession&) {
    std::fprintf(stderr,
                 "tracora-emulate syride: the SYS'Nav is a USB HID device; its emulator runs "
                 "behind the in-process HID back end of the tests, not on a serial port\n");
    return 2;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "syride", "a Syride SYS'Nav (USB HID): only behind the tests' in-process HID back end",
    "  steps identify, list, memory, erase, write; faults silence, garbage, cut, never\n",
    RunSyrideInstrument, kFaults};

}  // namespace tracora::protocols::syride
