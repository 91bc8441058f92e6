// The instrument families a device job can talk to (the protocol numbers of the device layer)
// and the GPS types a command line or a caller names, with the job each kind of transfer
// starts for each type.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace tracora {

// The device layer's protocol number: the instrument family a job talks to.
enum class GpsProtocol : int {
    kGarmin = 0,
    kMlr = 1,
    kTopNavigator = 2,
    kLogIt = 3,  // parameter: the baud rate
    kFlytec = 4,
    kGraviter = 5,
    kMagellan = 6,
    kXcTrainer = 7,
    kGarminUsb = 8,
    kTopNavigatorMxp = 9,  // parameter: 57600
    kXcTrainerMxp = 10,    // parameter: 57600
    kReadAllFlytec = 11,
    kFlymaster = 12,  // parameter: command variant
    kDsx = 13,
    kMlrFast = 14,
    kMtk = 15,  // parameter: baud rate, 0 for the routine's default
    kIqBasic = 16,
    kLeonardo = 17,  // parameter: 0 Leonardo, 1 Digifly Air; +2 for competition waypoints
    kMlrTrackReader = 18,
    kAscent = 19,
    kSyride = 20,
};
inline constexpr int kGpsProtocolCount = 21;

constexpr int ProtocolNumber(GpsProtocol protocol) {
    return static_cast<int>(protocol);
}

// One protocol with the names the menus give it (unused entries are empty).
struct GpsProtocolInfo {
    GpsProtocol protocol;
    std::array<std::string_view, 3> menuNames;
};

// All protocols, indexed by their number.
std::span<const GpsProtocolInfo, kGpsProtocolCount> GpsProtocols();
// The first menu name of `protocol`.
std::string_view GpsProtocolName(GpsProtocol protocol);

// The GPS types a command line names ("/GPS=FLYMASTER"), by their code.
enum class GpsType : int {
    kGarmin = 0,
    kMlr = 1,
    kTopNav = 2,
    kLogIt = 3,
    kIqCompeo = 4,
    kGraviter = 5,
    kMagellan = 6,
    kXcTrainer = 7,
    kXctMxp = 8,
    kFlymaster = 9,
    kDsx = 10,
    kMlrc = 11,
    kIqBasic = 12,
    kMtk = 13,
    kLeonardo = 14,
    kAscent = 15,
    kDigiflyAir = 16,
    kSyride = 17,
};
inline constexpr int kGpsTypeCount = 18;

// The kinds of transfer a request can start; each GPS type maps each kind to a job or refuses it.
enum class GpsActionFamily : int {
    kTrackLog = 0,  // every track log download but IGC
    kIgcTrackLog,   // track log download saved as IGC
    kWaypointDownload,
    kWaypointUpload,
    kFlightList,
    kAirspaceUpload,
    kUserNameUpload,
};
inline constexpr int kGpsActionFamilyCount = 7;

// The protocol and start parameter of a device job.
struct GpsJob {
    GpsProtocol protocol = GpsProtocol::kGarmin;
    int parameter = 0;

    friend constexpr bool operator==(const GpsJob&, const GpsJob&) = default;
};

// One cell of the type table: the job, or the type refuses the transfer.
struct GpsJobCell {
    bool accepted = false;
    GpsJob job;
};

struct GpsTypeInfo {
    std::string_view name;  // upper case, as the command line spells it
    GpsType type;
    // With the USB option the type's device transfers run over Garmin USB; types without it
    // refuse USB.
    bool usbCapable;
    std::array<GpsJobCell, kGpsActionFamilyCount> jobs;  // indexed by GpsActionFamily
};

// All GPS types, indexed by their code.
std::span<const GpsTypeInfo, kGpsTypeCount> GpsTypes();
const GpsTypeInfo& GpsTypeInfoOf(GpsType type);

// The type whose name is `name` in any case. 0, or -1 when no type has that name.
int FindGpsType(std::string_view name, GpsType& type);

// Whether `type` accepts transfers of `family` at all (USB aside).
bool GpsTypeAccepts(GpsType type, GpsActionFamily family);

// Whether the USB option limits `family` to the USB-capable types. The flight list and the
// user-name upload ignore the option.
bool UsbRestricts(GpsActionFamily family);

// The job a transfer of `family` starts for `type`; nothing when the type refuses it, or when
// `usb` is set and the family needs a USB-capable type that `type` is not.
std::optional<GpsJob> GpsJobFor(GpsType type, GpsActionFamily family, bool usb);

}  // namespace tracora
