#include "core/gps_types.hpp"

#include <cstddef>

#include "core/strings.hpp"

namespace tracora {

namespace {

using P = GpsProtocol;

constexpr std::array<GpsProtocolInfo, kGpsProtocolCount> kProtocols{{
    {P::kGarmin, {"Garmin"}},
    {P::kMlr, {"MLR", "Leonardo (MLR)", "Digifly Leonardo"}},
    {P::kTopNavigator, {"Top Navigator"}},
    {P::kLogIt, {"LogIt"}},
    {P::kFlytec, {"Flytec 50xx/60xx", "IQ-Compeo(+)/Competino(+)"}},
    {P::kGraviter, {"Graviter"}},
    {P::kMagellan, {"Magellan"}},
    {P::kXcTrainer, {"XC Trainer"}},
    {P::kGarminUsb, {"Garmin USB"}},
    {P::kTopNavigatorMxp, {"Top Nav (MXP at 57600)"}},
    {P::kXcTrainerMxp, {"XC Trainer (MXP at 57600)"}},
    {P::kReadAllFlytec, {"Read all &Flytec Tracks"}},
    {P::kFlymaster, {"Flymaster"}},
    {P::kDsx, {"DSX"}},
    {P::kMlrFast, {"MLR (Fast)"}},
    {P::kMtk, {"MTK/Pentagram"}},
    {P::kIqBasic, {"IQ Basic / Flytec 6015"}},
    {P::kLeonardo, {"Leonardo (New)", "Leonardo Pro", "Digifly Air"}},
    {P::kMlrTrackReader, {}},  // used by the MLR track reader only, no command of its own
    {P::kAscent, {"Ascent"}},
    {P::kSyride, {"Syride SYS'Nav"}},
}};

constexpr GpsJobCell Job(GpsProtocol protocol, int parameter = 0) {
    return GpsJobCell{true, GpsJob{protocol, parameter}};
}
constexpr GpsJobCell kNo{};

// Columns: track log, IGC track log, waypoint download, waypoint upload, flight list,
// airspace upload, user-name upload.
constexpr std::array<GpsTypeInfo, kGpsTypeCount> kTypes{{
    {"GARMIN",
     GpsType::kGarmin,
     true,
     {Job(P::kGarmin), Job(P::kGarmin), Job(P::kGarmin), Job(P::kGarmin), kNo, Job(P::kGarmin),
      kNo}},
    {"MLR",
     GpsType::kMlr,
     false,
     {Job(P::kMlr), Job(P::kMlr), Job(P::kMlr), Job(P::kMlr), kNo, kNo, kNo}},
    {"TOPNAV",
     GpsType::kTopNav,
     false,
     {Job(P::kTopNavigator), kNo, kNo, Job(P::kTopNavigator), kNo, kNo, kNo}},
    {"LOGIT",
     GpsType::kLogIt,
     false,
     {Job(P::kLogIt, 57600), Job(P::kLogIt, 57600), kNo, kNo, kNo, kNo, kNo}},
    {"IQCOMPEO",
     GpsType::kIqCompeo,
     false,
     {Job(P::kFlytec), Job(P::kFlytec), Job(P::kFlytec), Job(P::kFlytec), Job(P::kFlytec),
      Job(P::kFlytec), kNo}},
    {"GRAVITER", GpsType::kGraviter, false, {Job(P::kGraviter), kNo, kNo, kNo, kNo, kNo, kNo}},
    {"MAGELLAN",
     GpsType::kMagellan,
     false,
     {Job(P::kMagellan), Job(P::kMagellan), kNo, Job(P::kMagellan), kNo, kNo, kNo}},
    {"XCTRAINER",
     GpsType::kXcTrainer,
     false,
     {Job(P::kXcTrainer), Job(P::kXcTrainer), kNo, Job(P::kXcTrainer), kNo, kNo, kNo}},
    {"XCT_MXP",
     GpsType::kXctMxp,
     false,
     {Job(P::kXcTrainerMxp, 57600), Job(P::kXcTrainerMxp, 57600), kNo, kNo, kNo, kNo, kNo}},
    {"FLYMASTER",
     GpsType::kFlymaster,
     false,
     {Job(P::kFlymaster), Job(P::kFlymaster), Job(P::kFlymaster), Job(P::kFlymaster),
      Job(P::kFlymaster), kNo, Job(P::kFlymaster)}},
    {"DSX", GpsType::kDsx, false, {Job(P::kDsx), Job(P::kDsx), kNo, kNo, kNo, kNo, kNo}},
    {"MLRC", GpsType::kMlrc, false, {kNo, kNo, Job(P::kMlrFast), kNo, kNo, kNo, kNo}},
    {"IQBASIC",
     GpsType::kIqBasic,
     false,
     {Job(P::kIqBasic), Job(P::kIqBasic), Job(P::kIqBasic), Job(P::kIqBasic), Job(P::kIqBasic), kNo,
      kNo}},
    {"MTK", GpsType::kMtk, false, {Job(P::kMtk), Job(P::kMtk), kNo, kNo, kNo, kNo, kNo}},
    {"LEONARDO",
     GpsType::kLeonardo,
     false,
     {Job(P::kLeonardo), Job(P::kLeonardo), Job(P::kLeonardo, 2), Job(P::kLeonardo, 2),
      Job(P::kLeonardo), kNo, kNo}},
    {"ASCENT",
     GpsType::kAscent,
     false,
     {Job(P::kAscent), Job(P::kAscent), kNo, kNo, kNo, kNo, kNo}},
    {"DIGIFLYAIR",
     GpsType::kDigiflyAir,
     false,
     {Job(P::kLeonardo, 1), Job(P::kLeonardo, 1), kNo, kNo, kNo, kNo, kNo}},
    {"SYRIDE",
     GpsType::kSyride,
     false,
     {Job(P::kSyride), Job(P::kSyride), Job(P::kSyride), Job(P::kSyride), Job(P::kSyride), kNo,
      kNo}},
}};

// The tables are indexed by number and code; keep each row where its number says.
constexpr bool ProtocolsInOrder() {
    for (std::size_t i = 0; i < kProtocols.size(); ++i) {
        if (static_cast<std::size_t>(kProtocols[i].protocol) != i) {
            return false;
        }
    }
    return true;
}
constexpr bool TypesInOrder() {
    for (std::size_t i = 0; i < kTypes.size(); ++i) {
        if (static_cast<std::size_t>(kTypes[i].type) != i) {
            return false;
        }
    }
    return true;
}
static_assert(ProtocolsInOrder());
static_assert(TypesInOrder());

}  // namespace

std::span<const GpsProtocolInfo, kGpsProtocolCount> GpsProtocols() {
    return kProtocols;
}

std::string_view GpsProtocolName(GpsProtocol protocol) {
    const auto index = static_cast<std::size_t>(protocol);
    return index < kProtocols.size() ? kProtocols[index].menuNames[0] : std::string_view();
}

std::span<const GpsTypeInfo, kGpsTypeCount> GpsTypes() {
    return kTypes;
}

const GpsTypeInfo& GpsTypeInfoOf(GpsType type) {
    const auto index = static_cast<std::size_t>(type);
    // A code outside the table is never produced by the parser; fall back on the default type.
    return index < kTypes.size() ? kTypes[index] : kTypes[0];
}

int FindGpsType(std::string_view name, GpsType& type) {
    for (const GpsTypeInfo& info : kTypes) {
        if (EqualsIgnoringCase(name, info.name)) {
            type = info.type;
            return 0;
        }
    }
    return -1;
}

bool GpsTypeAccepts(GpsType type, GpsActionFamily family) {
    return GpsTypeInfoOf(type).jobs[static_cast<std::size_t>(family)].accepted;
}

bool UsbRestricts(GpsActionFamily family) {
    return family != GpsActionFamily::kFlightList && family != GpsActionFamily::kUserNameUpload;
}

std::optional<GpsJob> GpsJobFor(GpsType type, GpsActionFamily family, bool usb) {
    const GpsTypeInfo& info = GpsTypeInfoOf(type);
    const GpsJobCell& cell = info.jobs[static_cast<std::size_t>(family)];
    if (!cell.accepted) {
        return std::nullopt;
    }
    if (usb && UsbRestricts(family)) {
        if (!info.usbCapable) {
            return std::nullopt;
        }
        return GpsJob{GpsProtocol::kGarminUsb, 0};
    }
    return cell.job;
}

}  // namespace tracora
