#include "protocols/ascent/ascent_family.hpp"

#include "protocols/ascent/ascent_session.hpp"

namespace tracora::protocols::ascent {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kAscent};
constexpr int kBaudRates[] = {128000};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kAscent, AccessFunction::kReadTrackLog, AscentReadTrackLog},
    {GpsProtocol::kAscent, AccessFunction::kReadFlightList, AscentReadFlightList},
    {GpsProtocol::kAscent, AccessFunction::kEraseTrackLogs, AscentEraseTrackLogs},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "ascent",
    .name = "Ascent",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = 12,
};

}  // namespace tracora::protocols::ascent
