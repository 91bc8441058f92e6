// The instrument families of the program, one record each.
//
// To add a family:
//   1. Make its folder src/protocols/<id>/ with the frames (pure encoding and decoding), the
//      session routines over the job's transport, the emulator (<id>_emulator.*, the
//      instrument's side, with an `<id>_emulator_entry.cpp` defining
//      `tracora::protocols::<id>::kEmulator`) and NOTES.md with the wire format and quirks.
//   2. Define `tracora::protocols::<id>::kFamily` (family.hpp) in `<id>_family.cpp`.
//   3. Add one line to the list in family_registry.cpp.
//   4. Add one line `tracora_family(<id>)` to src/protocols/CMakeLists.txt.
//   5. Test the session against the emulator over a pseudo-terminal, with the kit's faults.
// The dispatch table, the command enabling of the window, the flow-control rule and the
// emulator list follow from the record.
#pragma once

#include <span>
#include <string_view>

#include "protocols/family.hpp"

namespace tracora::protocols {

std::span<const InstrumentFamily* const> Families();

// The family whose jobs run `protocol`; null when no family has been written for it yet.
const InstrumentFamily* FamilyOfProtocol(GpsProtocol protocol);
const InstrumentFamily* FindFamily(std::string_view id);

// Whether downloads of `protocol` deliver the instrument's own IGC text.
bool DeliversIgcText(GpsProtocol protocol);

}  // namespace tracora::protocols
