#include "protocols/graviter/graviter_family.hpp"

#include "core/track_log.hpp"
#include "protocols/graviter/graviter_frames.hpp"
#include "protocols/graviter/graviter_session.hpp"

namespace tracora::protocols::graviter {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kGraviter};
constexpr int kBaudRates[] = {kBaud};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kGraviter, AccessFunction::kReadTrackLog, GraviterReadTrackLog},
    {GpsProtocol::kGraviter, AccessFunction::kWritePilotData, GraviterWritePilotData},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "graviter",
    .name = "Graviter",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = kSourceKind,
};

}  // namespace tracora::protocols::graviter
