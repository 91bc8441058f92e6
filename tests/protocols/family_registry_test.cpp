// The registry of instrument families against the fixed table of what the program offers, and
// what every family must bring along.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/gps_types.hpp"
#include "core/track_log.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/family_registry.hpp"

namespace tracora::protocols {
namespace {

using device::AccessFunction;

TEST(FamilyRegistry, EveryRoutineFillsAnOfferedCellOfItsOwnProtocols) {
    std::set<int> claimed;
    std::set<std::string_view> ids;
    for (const InstrumentFamily* family : Families()) {
        SCOPED_TRACE(std::string(family->id));
        EXPECT_TRUE(ids.insert(family->id).second) << "two families share an id";
        EXPECT_FALSE(family->protocols.empty());
        // A line speed belongs to a serial link; USB and HID devices have none.
        EXPECT_EQ(family->baudRates.empty(), family->transport != device::TransportKind::kSerial);
        for (GpsProtocol protocol : family->protocols) {
            EXPECT_TRUE(claimed.insert(ProtocolNumber(protocol)).second)
                << "protocol " << ProtocolNumber(protocol) << " belongs to two families";
            EXPECT_EQ(FamilyOfProtocol(protocol), family);
        }
        for (const FamilyRoutine& cell : family->routines) {
            const int f = static_cast<int>(cell.function);
            const int p = ProtocolNumber(cell.protocol);
            EXPECT_TRUE(IsSpecified(cell.function, cell.protocol))
                << "function " << f << " is not offered for protocol " << p;
            EXPECT_EQ(FamilyOfProtocol(cell.protocol), family) << "protocol " << p;
            EXPECT_TRUE(HasWorkingRoutine(cell.function, cell.protocol));
            EXPECT_EQ(GpsDispatchTable()[static_cast<std::size_t>(f)][static_cast<std::size_t>(p)],
                      cell.routine);
        }
        // The store keeps an instrument's own IGC text by the source kind.
        EXPECT_EQ(family->deliversIgcText, KeepsRawIgc(family->sourceKind));
        EXPECT_EQ(FindFamily(family->id), family);
    }
}

TEST(FamilyRegistry, WorkingRoutinesAreExactlyTheFamiliesCells) {
    for (int f = 0; f < device::kAccessFunctionCount; ++f) {
        for (int p = 0; p < kGpsProtocolCount; ++p) {
            const auto function = static_cast<AccessFunction>(f);
            const auto protocol = static_cast<GpsProtocol>(p);
            bool inFamily = false;
            if (const InstrumentFamily* family = FamilyOfProtocol(protocol)) {
                for (const FamilyRoutine& cell : family->routines)
                    inFamily = inFamily || (cell.function == function && cell.protocol == protocol);
            }
            EXPECT_EQ(HasWorkingRoutine(function, protocol), inFamily) << f << "/" << p;
            // An offered pair without a family still has a routine: it says it is not there.
            const bool filled =
                GpsDispatchTable()[static_cast<std::size_t>(f)][static_cast<std::size_t>(p)] !=
                nullptr;
            EXPECT_EQ(filled, IsSpecified(function, protocol)) << f << "/" << p;
        }
    }
}

TEST(FamilyRegistry, LinksFollowTheRecords) {
    const device::DispatchTable& table = GpsDispatchTable();
    for (const InstrumentFamily* family : Families()) {
        for (GpsProtocol protocol : family->protocols) {
            const device::ProtocolLink& link =
                table.links[static_cast<std::size_t>(ProtocolNumber(protocol))];
            EXPECT_EQ(link.xonXoff, family->xonXoff) << family->id;
            const bool usb =
                std::ranges::find(family->usbProtocols, protocol) != family->usbProtocols.end();
            EXPECT_EQ(link.transport, usb ? device::TransportKind::kUsb : family->transport)
                << family->id;
        }
    }
    // Garmin units are reached over the serial port and over USB.
    EXPECT_EQ(table.links[static_cast<std::size_t>(GpsProtocol::kGarmin)].transport,
              device::TransportKind::kSerial);
    EXPECT_EQ(table.links[static_cast<std::size_t>(GpsProtocol::kGarminUsb)].transport,
              device::TransportKind::kUsb);
    // The Flytec family keeps XON/XOFF at every speed, Graviter has none.
    EXPECT_TRUE(table.links[static_cast<std::size_t>(GpsProtocol::kFlytec)].xonXoff);
    EXPECT_TRUE(table.links[static_cast<std::size_t>(GpsProtocol::kReadAllFlytec)].xonXoff);
    EXPECT_FALSE(table.links[static_cast<std::size_t>(GpsProtocol::kGraviter)].xonXoff);
}

TEST(FamilyRegistry, EveryFamilyHasAnEmulatorWithTheKitsFaults) {
    for (const InstrumentFamily* family : Families()) {
        const emulate::EmulatorEntry* entry = emulate::FindEmulator(family->id);
        ASSERT_NE(entry, nullptr) << family->id << " has no emulator";
        EXPECT_NE(entry->run, nullptr);
        for (std::string_view fault : {"silence", "garbage", "cut"}) {
            bool found = false;
            for (std::string_view known : entry->faults)
                found = found || known == fault;
            EXPECT_TRUE(found) << family->id << " cannot inject " << fault;
        }
    }
}

TEST(FamilyRegistry, EveryJobACommandLineStartsIsOfferedByTheTable) {
    // The function each kind of transfer starts.
    const AccessFunction functions[kGpsActionFamilyCount] = {
        AccessFunction::kReadTrackLog,   AccessFunction::kReadTrackLog,
        AccessFunction::kReadWaypoints,  AccessFunction::kWriteWaypoints,
        AccessFunction::kReadFlightList, AccessFunction::kWriteAirspace,
        AccessFunction::kWritePilotData};
    for (const GpsTypeInfo& type : GpsTypes()) {
        for (int a = 0; a < kGpsActionFamilyCount; ++a) {
            for (bool usb : {false, true}) {
                const auto job = GpsJobFor(type.type, static_cast<GpsActionFamily>(a), usb);
                if (job) {
                    EXPECT_TRUE(IsSpecified(functions[a], job->protocol))
                        << type.name << " action " << a << (usb ? " usb" : "");
                }
            }
        }
    }
}

TEST(FamilyRegistry, DeliversIgcTextByProtocol) {
    EXPECT_TRUE(DeliversIgcText(GpsProtocol::kFlytec));
    EXPECT_FALSE(DeliversIgcText(GpsProtocol::kGraviter));
    EXPECT_FALSE(DeliversIgcText(GpsProtocol::kGarmin));  // no family yet
}

}  // namespace
}  // namespace tracora::protocols
