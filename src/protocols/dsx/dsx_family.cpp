#include "protocols/dsx/dsx_family.hpp"

#include "protocols/dsx/dsx_frames.hpp"
#include "protocols/dsx/dsx_session.hpp"

namespace tracora::protocols::dsx {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kDsx};
constexpr int kBaudRates[] = {kConnectBaud, kBaud};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kDsx, AccessFunction::kReadTrackLog, DsxReadTrackLog},
    {GpsProtocol::kDsx, AccessFunction::kWritePilotData, DsxWritePilotData},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "dsx",
    .name = "DSX",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = true,
    .sourceKind = kSourceKind,
};

}  // namespace tracora::protocols::dsx
