// The instrument's side of an IQ Basic / Flytec 6015 cable, for tests and tracora-emulate:
// answers the RPA_ and ACT_ commands from real IGC texts and a waypoint list, records the
// waypoints uploaded to it, and injects faults into chosen answers. Runs on a thread of its own
// over an EmulatorLink (the master side of a pseudo-terminal).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_frame.hpp"
#include "protocols/iqbasic/iqbasic_frames.hpp"

namespace tracora::protocols::iqbasic {

// The answers a fault can hit.
enum class IqStep { kProductData, kTrackList, kTrack, kWaypoints, kUpload };

enum class IqFault {
    kSilence,        // the command is not answered
    kGarbage,        // line noise before the answer
    kCutConnection,  // the cable is cut halfway through the answer
    kStall,          // the unit freezes halfway through the answer
    kStopHalfway,    // the answer stops halfway; the cable stays
    kMissingDone,    // an upload answered without its " Done", or a list without "Done"
};

struct IqEmulatorConfig {
    IqProduct product{1137, 1, 1234};
    // The stored flights as IGC text; flight i has the device track number firstNumber + i.
    std::vector<std::string> flights;
    unsigned firstNumber = 1;
    // Waypoint lines as the instrument answers them ("name;N  46'30.000;E 007'30.500;1234").
    std::vector<std::string> waypointLines;
    int lineRateBaud = 0;
    int stallMs = 20'000;
};

std::vector<std::string> BuiltInWaypointLines();

class IqEmulator : public emulate::FaultedEmulator<IqStep, IqFault> {
public:
    IqEmulator(device::EmulatorLink& link, IqEmulatorConfig config, std::FILE* log = nullptr);
    ~IqEmulator() override { Stop(); }

    // The uploaded waypoint lines, without CR LF.
    std::vector<std::string> Uploads() const;

private:
    int Serve() override;
    void Handle(const std::string& request);
    bool Answer(IqStep step, std::string answer);

    IqEmulatorConfig config_;
    bool expectUpload_ = false;
    std::vector<std::string> uploads_;
};

}  // namespace tracora::protocols::iqbasic
