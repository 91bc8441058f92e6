#include "protocols/digifly/digifly_family.hpp"

#include "protocols/digifly/digifly_frames.hpp"
#include "protocols/digifly/digifly_session.hpp"

namespace tracora::protocols::digifly {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kLeonardo};
constexpr int kBaudRates[] = {kAirBaud, kProBaud};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kLeonardo, AccessFunction::kReadTrackLog, DigiflyReadTrackLog},
    {GpsProtocol::kLeonardo, AccessFunction::kReadFlightList, DigiflyReadFlightList},
    {GpsProtocol::kLeonardo, AccessFunction::kReadWaypoints, DigiflyReadWaypoints},
    {GpsProtocol::kLeonardo, AccessFunction::kWriteWaypoints, DigiflyWriteWaypoints},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "digifly",
    .name = "Digifly Air, Leonardo Pro",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = 12,
};

}  // namespace tracora::protocols::digifly
