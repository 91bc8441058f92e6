#include "protocols/flytec/flytec_family.hpp"

#include "core/track_log.hpp"
#include "protocols/flytec/flytec_session.hpp"

namespace tracora::protocols::flytec {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kFlytec, GpsProtocol::kReadAllFlytec};
constexpr int kBaudRates[] = {57600};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kFlytec, AccessFunction::kReadTrackLog, FlytecReadTrackLog},
    {GpsProtocol::kFlytec, AccessFunction::kReadFlightList, FlytecReadFlightList},
    {GpsProtocol::kFlytec, AccessFunction::kReadWaypoints, FlytecReadWaypoints},
    {GpsProtocol::kFlytec, AccessFunction::kWriteWaypoints, FlytecWriteWaypoints},
    {GpsProtocol::kFlytec, AccessFunction::kWriteAirspace, FlytecWriteAirspace},
    {GpsProtocol::kFlytec, AccessFunction::kReadAirspace, FlytecReadAirspace},
    {GpsProtocol::kReadAllFlytec, AccessFunction::kReadTrackLog, FlytecReadAllTracks},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "flytec",
    .name = "Flytec/Brauniger",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = true,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = true,
    .sourceKind = kSourceKindFlytec,
};

}  // namespace tracora::protocols::flytec
