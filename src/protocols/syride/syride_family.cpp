#include "protocols/syride/syride_family.hpp"

#include "protocols/syride/syride_frames.hpp"
#include "protocols/syride/syride_session.hpp"

namespace tracora::protocols::syride {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kSyride};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kSyride, AccessFunction::kReadTrackLog, SyrideReadTrackLogJob},
    {GpsProtocol::kSyride, AccessFunction::kReadFlightList, SyrideReadFlightListJob},
    {GpsProtocol::kSyride, AccessFunction::kReadWaypoints, SyrideReadWaypointsJob},
    {GpsProtocol::kSyride, AccessFunction::kWriteWaypoints, SyrideWriteWaypointsJob},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "syride",
    .name = "Syride SYS'Nav",
    .protocols = kProtocols,
    .transport = device::TransportKind::kHid,
    .baudRates = {},
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = kSourceKind,
};

}  // namespace tracora::protocols::syride
