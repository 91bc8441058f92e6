#include "protocols/garmin/garmin_family.hpp"

#include "protocols/garmin/garmin_frames.hpp"
#include "protocols/garmin/garmin_session.hpp"
#include "protocols/garmin/garmin_usb.hpp"

namespace tracora::protocols::garmin {

namespace {

using device::AccessFunction;

constexpr GpsProtocol kProtocols[] = {GpsProtocol::kGarmin, GpsProtocol::kGarminUsb};
constexpr GpsProtocol kUsbProtocols[] = {GpsProtocol::kGarminUsb};
constexpr int kBaudRates[] = {kBaud};
constexpr FamilyRoutine kRoutines[] = {
    {GpsProtocol::kGarmin, AccessFunction::kReadWaypoints, GarminReadWaypoints},
    {GpsProtocol::kGarmin, AccessFunction::kReadTrackLog, GarminReadTrackLog},
    {GpsProtocol::kGarmin, AccessFunction::kWriteWaypoints, GarminWriteWaypoints},
    {GpsProtocol::kGarmin, AccessFunction::kWriteWaypointsAsTrack, GarminWriteWaypointsAsTrack},
    {GpsProtocol::kGarmin, AccessFunction::kWriteAirspace, GarminWriteAirspace},
    {GpsProtocol::kGarminUsb, AccessFunction::kReadWaypoints, GarminUsbReadWaypoints},
    {GpsProtocol::kGarminUsb, AccessFunction::kReadTrackLog, GarminUsbReadTrackLog},
    {GpsProtocol::kGarminUsb, AccessFunction::kWriteWaypoints, GarminUsbWriteWaypoints},
    {GpsProtocol::kGarminUsb, AccessFunction::kWriteWaypointsAsTrack,
     GarminUsbWriteWaypointsAsTrack},
    {GpsProtocol::kGarminUsb, AccessFunction::kWriteAirspace, GarminUsbWriteAirspace},
};

}  // namespace

const InstrumentFamily kFamily{
    .id = "garmin",
    .name = "Garmin",
    .protocols = kProtocols,
    .transport = device::TransportKind::kSerial,
    .usbProtocols = kUsbProtocols,
    .baudRates = kBaudRates,
    .xonXoff = false,
    .prefixByte = -1,
    .routines = kRoutines,
    .deliversIgcText = false,
    .sourceKind = 1,
};

}  // namespace tracora::protocols::garmin
