#include "protocols/topnav/topnav_family.hpp"

#include "protocols/topnav/topnav_frames.hpp"
#include "protocols/topnav/topnav_session.hpp"

namespace tracora::protocols::topnav {

namespace {

using device::AccessFunction;
using P = GpsProtocol;

constexpr GpsProtocol kProtocols[] = {P::kTopNavigator, P::kXcTrainer, P::kTopNavigatorMxp,
                                      P::kXcTrainerMxp};
constexpr int kBaudRates[] = {kMxpBaud, kTncmBaud};
constexpr FamilyRoutine kRoutines[] = {
    {P::kTopNavigatorMxp, AccessFunction::kReadTrackLog, MxpReadTrackLogJob},
    {P::kXcTrainerMxp, AccessFunction::kReadTrackLog, MxpReadTrackLogJob},
    {P::kTopNavigator, AccessFunction::kReadTrackLog, TnReadTrackLogJob},
    {P::kXcTrainer, AccessFunction::kReadTrackLog, TnReadTrackLogJob},
    {P::kXcTrainer, AccessFunction::kReadWaypoints, XcTrainerReadWaypointsJob},
    {P::kTopNavigator, AccessFunction::kReadWaypoints, TnReadWaypointsJob},
    {P::kTopNavigator, AccessFunction::kWriteWaypoints, TnWriteWaypointsJob},
    {P::kXcTrainer, AccessFunction::kWriteWaypoints, TnWriteWaypointsJob},
};

}  // namespace

// Each routine opens the port with its own flow control (the XC Trainer's log transfers and
// uploads use XON/XOFF, everything else none) and never changes the speed afterwards.
const InstrumentFamily kFamily{
    .id = "topnav",
    .name = "Top Navigator/XC Trainer",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = kSourceKind,
};

}  // namespace tracora::protocols::topnav
