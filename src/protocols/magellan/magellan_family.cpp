#include "protocols/magellan/magellan_family.hpp"

#include "protocols/magellan/magellan_frames.hpp"
#include "protocols/magellan/magellan_session.hpp"

namespace tracora::protocols::magellan {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kMagellan};
constexpr int kBaudRates[] = {kBaud};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kMagellan, AccessFunction::kReadTrackLog, MagellanReadTrackLog},
    {GpsProtocol::kMagellan, AccessFunction::kReadWaypoints, MagellanReadWaypoints},
    {GpsProtocol::kMagellan, AccessFunction::kWriteWaypoints, MagellanWriteWaypoints},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "magellan",
    .name = "Magellan",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = kSourceKind,
};

}  // namespace tracora::protocols::magellan
