#include "protocols/mlr/mlr_family.hpp"

#include "protocols/mlr/mlr_session.hpp"

namespace tracora::protocols::mlr {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kMlr, GpsProtocol::kMlrFast,
                                      GpsProtocol::kMlrTrackReader};
constexpr int kBaudRates[] = {4800, 38400};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kMlr, AccessFunction::kReadTrackLog, MlrReadTrackLog},
    {GpsProtocol::kMlr, AccessFunction::kReadWaypoints, MlrReadWaypoints},
    {GpsProtocol::kMlr, AccessFunction::kWriteWaypoints, MlrWriteWaypoints},
    {GpsProtocol::kMlrFast, AccessFunction::kReadTrackLog, MlrReadTrackLog},
    {GpsProtocol::kMlrFast, AccessFunction::kReadWaypoints, MlrReadWaypoints},
    {GpsProtocol::kMlrFast, AccessFunction::kWriteWaypoints, MlrWriteWaypoints},
    {GpsProtocol::kMlrTrackReader, AccessFunction::kReadTrackLog, MlrReadTrackLog},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "mlr",
    .name = "MLR, Leonardo, Digifly, CoMo, CPilot",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = 2,
};

}  // namespace tracora::protocols::mlr
