#include "protocols/dispatch_table.hpp"

#include <algorithm>
#include <string>

#include "protocols/family_registry.hpp"

namespace tracora::protocols {

namespace {

using device::AccessFunction;
using device::DispatchTable;
using device::GpsAccessJob;
using device::JobRoutine;

// Stands in the cells whose instrument conversation has not been written yet: the job says so
// plainly and fails, so that a command line ends with exit code 1 instead of pretending.
int NotAvailableYet(GpsAccessJob& job) {
    job.Error(std::string(AccessFunctionName(job.function)) + " for " +
                  std::string(GpsProtocolName(job.protocol)) + " is not available yet",
              "GPS access");
    return -1;
}

// The pairs the program offers, per access function (the rest of each row is unsupported);
// every protocol reads track logs. A pair whose family has not been written yet answers that
// it is not available.
struct Row {
    AccessFunction function;
    std::initializer_list<int> protocols;
};

const Row kSpecifiedRows[] = {
    {AccessFunction::kReadWaypoints, {0, 1, 2, 4, 6, 7, 8, 12, 14, 16, 17, 20}},
    {AccessFunction::kReadProductData, {3}},
    {AccessFunction::kWriteWaypoints, {0, 1, 2, 4, 6, 7, 8, 12, 14, 16, 17, 20}},
    {AccessFunction::kEraseTrackLogs, {3, 15, 19}},
    {AccessFunction::kWritePilotData, {3, 5, 12, 13}},
    {AccessFunction::kWriteWaypointsAsTrack, {0, 8}},
    {AccessFunction::kWriteAirspace, {0, 4, 8}},
    {AccessFunction::kReadAirspace, {4}},
    {AccessFunction::kReadFlightList, {4, 12, 16, 17, 19, 20}},
};

DispatchTable BuildTable() {
    DispatchTable table{};
    for (int f = 0; f < device::kAccessFunctionCount; ++f) {
        for (int p = 0; p < kGpsProtocolCount; ++p) {
            if (IsSpecified(static_cast<AccessFunction>(f), static_cast<GpsProtocol>(p)))
                table[static_cast<std::size_t>(f)][static_cast<std::size_t>(p)] = NotAvailableYet;
        }
    }
    // The families fill their cells and say how their instruments are reached. A routine for
    // a pair the program does not offer is a mistake of the family's record; the registry test
    // names it.
    for (const InstrumentFamily* family : Families()) {
        for (const GpsProtocol protocol : family->protocols) {
            const bool usb =
                std::ranges::find(family->usbProtocols, protocol) != family->usbProtocols.end();
            table.links[static_cast<std::size_t>(ProtocolNumber(protocol))] = {
                usb ? device::TransportKind::kUsb : family->transport, family->xonXoff};
        }
        for (const FamilyRoutine& cell : family->routines) {
            if (IsSpecified(cell.function, cell.protocol)) {
                table[static_cast<std::size_t>(cell.function)]
                     [static_cast<std::size_t>(ProtocolNumber(cell.protocol))] = cell.routine;
            }
        }
    }
    return table;
}

}  // namespace

bool IsSpecified(AccessFunction function, GpsProtocol protocol) {
    if (function == AccessFunction::kReadTrackLog) {
        const int p = ProtocolNumber(protocol);
        return p >= 0 && p < kGpsProtocolCount;
    }
    for (const Row& row : kSpecifiedRows) {
        if (row.function != function)
            continue;
        for (int p : row.protocols) {
            if (p == ProtocolNumber(protocol))
                return true;
        }
    }
    return false;
}

const DispatchTable& GpsDispatchTable() {
    static const DispatchTable table = BuildTable();
    return table;
}

bool HasWorkingRoutine(AccessFunction function, GpsProtocol protocol) {
    const int f = static_cast<int>(function);
    const int p = ProtocolNumber(protocol);
    if (f < 0 || f >= device::kAccessFunctionCount || p < 0 || p >= kGpsProtocolCount)
        return false;
    const JobRoutine routine =
        GpsDispatchTable()[static_cast<std::size_t>(f)][static_cast<std::size_t>(p)];
    return routine != nullptr && routine != NotAvailableYet;
}

const char* AccessFunctionName(AccessFunction function) {
    switch (function) {
        case AccessFunction::kReadWaypoints:
            return "Waypoint download";
        case AccessFunction::kReadTrackLog:
            return "Track log download";
        case AccessFunction::kReadProductData:
            return "Product data download";
        case AccessFunction::kWriteWaypoints:
            return "Waypoint upload";
        case AccessFunction::kEraseTrackLogs:
            return "Track log erase";
        case AccessFunction::kWritePilotData:
            return "Pilot data upload";
        case AccessFunction::kWriteWaypointsAsTrack:
            return "Waypoint upload as a track log";
        case AccessFunction::kWriteAirspace:
            return "Airspace upload";
        case AccessFunction::kReadAirspace:
            return "Airspace download";
        case AccessFunction::kReadFlightList:
            return "Flight list download";
    }
    return "Device access";
}

}  // namespace tracora::protocols
