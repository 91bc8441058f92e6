// tracora-emulate's "garmin" instrument: the Garmin emulator with its options.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/file_io.hpp"
#include "device/usb_socket_link.hpp"
#include "device/wake_event.hpp"
#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"
#include "protocols/garmin/garmin_emulator.hpp"
#include "protocols/garmin/garmin_usb_emulator.hpp"

namespace tracora::protocols::garmin {

extern const emulate::EmulatorEntry kEmulator;

namespace {

// In the order of GarminStep and GarminFault.
constexpr std::string_view kSteps[] = {"product", "capabilities", "command", "records",
                                       "record",  "complete",     "upload"};
constexpr std::string_view kFaults[] = {"silence", "checksum", "dle",     "nak",
                                        "cut",     "garbage",  "missing", "unknown"};

constexpr std::string_view kUsage =
    "  --caps NAME           the capability array: d100-d104, d107-d110, d150-d152, d154,\n"
    "                        d155 (the waypoint type; each comes with its track types), or\n"
    "                        none (the product table decides; default d108)\n"
    "  --product ID[:SW]     product ID and software version x 100 (default 77:362)\n"
    "  --description TEXT    the product description\n"
    "  --wpt FILE            the waypoints the unit holds (any waypoint file)\n"
    "  --usb SOCKET          a unit on USB instead: serve its USB side on the Unix socket\n"
    "                        SOCKET (tracora reaches it with TRACORA_USB_LINK=SOCKET); the\n"
    "                        faults are then silence and cut, and missing (capabilities)\n"
    "  --fault STEP:FAULT    STEP product, capabilities, command, records, record, complete\n"
    "                        or upload; FAULT silence, checksum, dle, nak (acknowledges),\n"
    "                        cut, garbage, missing (capabilities) or unknown (product)\n";

int Fail(const std::string& text) {
    std::fprintf(stderr, "tracora-emulate garmin: %s\n", text.c_str());
    return 2;
}

// An option's bad value, reported: false.
bool Refuse(const std::string& text) {
    Fail(text);
    return false;
}

// The unit on USB: served on `socketPath` until the emulator is stopped.
int RunUsbUnit(emulate::EmulatorSession& session, const GarminEmulatorConfig& config,
               const emulate::KitOptions& kit, const std::string& socketPath) {
    GarminUsbConfig usbConfig;
    usbConfig.unit = config;
    GarminUsbUnit unit(usbConfig);
    for (const auto& [step, fault] : kit.faults) {
        if (!unit.ArmFault(static_cast<GarminStep>(step), static_cast<GarminFault>(fault)))
            return Fail("fault " + std::string(kSteps[static_cast<std::size_t>(step)]) + ":" +
                        std::string(kFaults[static_cast<std::size_t>(fault)]) +
                        " does not exist over USB");
    }
    device::WakeEvent stop;
    int served = 0;
    std::thread server([&] { served = device::ServeUsbDevice(socketPath, unit, stop); });
    std::fprintf(session.log, "USB %s\n", socketPath.c_str());
    std::fflush(session.log);
    // The kit's link is stopped by SIGINT and SIGTERM.
    while (session.link.Hold(1000)) {
    }
    stop.Set();
    server.join();
    if (served != 0)
        return Fail("cannot serve on " + socketPath);
    std::fprintf(session.log, "stored %zu waypoints, %zu track logs%s\n",
                 unit.UploadedWaypoints().size(), unit.UploadedTracks().size(),
                 unit.PoweredOff() ? ", powered off" : "");
    std::fflush(session.log);
    return 0;
}

int RunGarminInstrument(emulate::EmulatorSession& session) {
    GarminEmulatorConfig config;
    const auto caps = [&config](const std::string& name) {
        if (name == "none") {
            config.capabilities.clear();
        } else if (const CapabilityPreset* preset = FindCapabilityPreset(name)) {
            config.capabilities = preset->entries;
        } else {
            return Refuse("unknown capability array '" + name + "'");
        }
        return true;
    };
    const auto product = [&config](const std::string& value) {
        std::string id;
        std::string version;
        emulate::SplitModel(value, id, version);
        config.product.productId = static_cast<std::uint16_t>(std::atoi(id.c_str()));
        if (!version.empty())
            config.product.version = static_cast<std::int16_t>(std::atoi(version.c_str()));
        return true;
    };
    const auto waypointFile = [&config](const std::string& path) {
        std::string text;
        if (ReadWholeFile(path, text) != FileReadStatus::kOk)
            return Refuse("cannot read " + path);
        formats::ReadResult read = waypoints::ReadWaypointFileOfRegistry(text);
        if (read.status <= 0)
            return Refuse(path + ": " + read.message);
        config.waypoints = std::move(read.waypoints);
        return true;
    };
    std::string usbSocket;
    emulate::KitOptions kit;
    if (emulate::ParseOptions("garmin", session.args, kSteps, kFaults,
                              {{"--caps", caps},
                               {"--product", product},
                               {"--usb", usbSocket},
                               {"--description", config.product.description},
                               {"--wpt", waypointFile}},
                              kit) != 0 ||
        !emulate::ConvertFlights("garmin", kit, FlightFromIgc, config.flights, "holds no flight"))
        return 2;
    config.lineRateBaud = kit.rateBaud;
    if (!usbSocket.empty())
        return RunUsbUnit(session, config, kit, usbSocket);
    GarminEmulator emulator(session.link, config, session.log);
    std::size_t points = 0;
    for (const auto& flight : config.flights)
        points += flight.size();
    std::fprintf(session.log,
                 "garmin: product %u version %d, waypoint type D%u, track A%u/D%u, %zu flights "
                 "(%zu points), %zu waypoints\n",
                 config.product.productId, config.product.version, emulator.WaypointType(),
                 emulator.TrackProtocol(), emulator.TrackPointType(), config.flights.size(), points,
                 config.waypoints.size());
    std::fflush(session.log);
    for (const auto& [step, fault] : kit.faults)
        emulator.ArmFault(static_cast<GarminStep>(step), static_cast<GarminFault>(fault));
    emulator.Run();
    std::fprintf(session.log, "stored %zu waypoints, %zu track logs%s\n",
                 emulator.UploadedWaypoints().size(), emulator.UploadedTracks().size(),
                 emulator.PoweredOff() ? ", powered off" : "");
    std::fflush(session.log);
    return 0;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "garmin",
    "a Garmin unit over its serial link: product data and capability array, waypoints and "
    "the track log (the flights given with --igc) down, waypoints and track logs up",
    kUsage, RunGarminInstrument, kFaults};

}  // namespace tracora::protocols::garmin
