// The record every instrument family exports: which protocol values it answers, how its
// instruments are reached, the routine for each access function it supports, and what its
// downloads deliver. The registry (family_registry.hpp) lists the records; the dispatch table,
// the command enabling, the flow-control rule and the emulator list are derived from it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/gps_types.hpp"
#include "device/gps_job.hpp"
#include "device/transport.hpp"

namespace tracora::protocols {

// One cell a family fills: the routine of `function` for `protocol`.
struct FamilyRoutine {
    GpsProtocol protocol;
    device::AccessFunction function;
    device::JobRoutine routine;
};

struct InstrumentFamily {
    // Short lower-case name: the family's folder and the tracora-emulate instrument that
    // plays it.
    std::string_view id;
    // As a user knows the instruments ("Flytec/Brauniger").
    std::string_view name;
    // The protocol values whose jobs this family runs.
    std::span<const GpsProtocol> protocols;
    device::TransportKind transport = device::TransportKind::kSerial;
    // Protocols of the family reached over USB instead of `transport`.
    std::span<const GpsProtocol> usbProtocols = {};
    // Line speeds the family uses, the one a conversation starts with first.
    std::span<const int> baudRates;
    // XON/XOFF flow control, also after a speed change.
    bool xonXoff = false;
    // A byte sent in front of every command, -1 for none.
    int prefixByte = -1;
    std::span<const FamilyRoutine> routines;
    // The instrument sends IGC text of its own, saved as it came (with its G records).
    bool deliversIgcText = false;
    // The track log's source kind after a download (kept raw data depend on it).
    int sourceKind = 0;
};

}  // namespace tracora::protocols
