#include "protocols/mtk/mtk_family.hpp"

#include "protocols/mtk/mtk_frames.hpp"
#include "protocols/mtk/mtk_session.hpp"

namespace tracora::protocols::mtk {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kMtk};
constexpr int kBaudRates[] = {kDefaultBaud, kFastBaud};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kMtk, AccessFunction::kReadTrackLog, MtkReadTrackLog},
    {GpsProtocol::kMtk, AccessFunction::kEraseTrackLogs, MtkErase},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "mtk",
    .name = "MTK/Pentagram",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = kSourceKind,
};

}  // namespace tracora::protocols::mtk
