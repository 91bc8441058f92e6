#include "protocols/logit/logit_family.hpp"

#include "protocols/logit/logit_session.hpp"

namespace tracora::protocols::logit {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kLogIt};
constexpr int kBaudRates[] = {4800, 19200, 38400, 57600, 115200};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kLogIt, AccessFunction::kReadTrackLog, LogItReadTrackLog},
    {GpsProtocol::kLogIt, AccessFunction::kReadProductData, LogItReadProductData},
    {GpsProtocol::kLogIt, AccessFunction::kEraseTrackLogs, LogItEraseTrackLog},
    {GpsProtocol::kLogIt, AccessFunction::kWritePilotData, LogItWriteName},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "logit",
    .name = "LogIt, Tracklogger",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = 4,
};

}  // namespace tracora::protocols::logit
