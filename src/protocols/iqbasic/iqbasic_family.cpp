#include "protocols/iqbasic/iqbasic_family.hpp"

#include "core/track_log.hpp"
#include "protocols/iqbasic/iqbasic_frames.hpp"
#include "protocols/iqbasic/iqbasic_session.hpp"

namespace tracora::protocols::iqbasic {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kIqBasic};
constexpr int kBaudRates[] = {kBaud};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kIqBasic, AccessFunction::kReadTrackLog, IqBasicReadTrackLog},
    {GpsProtocol::kIqBasic, AccessFunction::kReadFlightList, IqBasicReadFlightList},
    {GpsProtocol::kIqBasic, AccessFunction::kReadWaypoints, IqBasicReadWaypoints},
    {GpsProtocol::kIqBasic, AccessFunction::kWriteWaypoints, IqBasicWriteWaypoints},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "iqbasic",
    .name = "IQ Basic / Flytec 6015",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = true,
    .sourceKind = kSourceKindIqBasic,
};

}  // namespace tracora::protocols::iqbasic
