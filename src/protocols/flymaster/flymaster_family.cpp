#include "protocols/flymaster/flymaster_family.hpp"

#include "protocols/flymaster/flymaster_frames.hpp"
#include "protocols/flymaster/flymaster_session.hpp"

namespace tracora::protocols::flymaster {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kFlymaster};
constexpr int kBaudRates[] = {kBaud};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kFlymaster, AccessFunction::kReadTrackLog, FlymasterReadTrackLog},
    {GpsProtocol::kFlymaster, AccessFunction::kReadFlightList, FlymasterReadFlightList},
    {GpsProtocol::kFlymaster, AccessFunction::kReadWaypoints, FlymasterReadWaypoints},
    {GpsProtocol::kFlymaster, AccessFunction::kWriteWaypoints, FlymasterWriteWaypoints},
    {GpsProtocol::kFlymaster, AccessFunction::kWritePilotData, FlymasterWritePilotData},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "flymaster",
    .name = "Flymaster",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = kSourceKind,
};

}  // namespace tracora::protocols::flymaster
