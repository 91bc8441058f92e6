// The instrument's side of a Top Navigator or XC Trainer cable, for tests and tracora-emulate.
// The instruments push: the emulator watches the line settings of the pseudo-terminal and
// starts sending once the session has opened the port at the transfer's speed (as a pilot
// starts the transfer on the unit), then waits for the next session. It holds one real flight
// (sent as an MXP or a block-structured log) or a waypoint list (sent record by record, each
// answered with "@@OK"), or stores the waypoint records a session uploads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "emulate/emulator_frame.hpp"

namespace tracora::protocols::topnav {

enum class TopnavModel { kTopNavigator, kXcTrainer };
enum class TopnavMode {
    kMxp,        // the MXP track log
    kTncm,       // the block-structured track log
    kWaypoints,  // the waypoint list (XC Trainer: binary records, Top Navigator: lines)
    kReceive,    // takes the waypoint records of an upload
};

// The lines a fault can hit: the first (the header, the start record, the first waypoint),
// one in the middle, the last (the last position, "@EOF", the last waypoint).
enum class TopnavStep { kStart, kLine, kEnd };

enum class TopnavFault {
    kSilence,   // from that line on nothing is sent; the line stays open
    kGarbage,   // a line of noise before that line
    kCut,       // the cable is cut halfway through that line
    kShort,     // that line is cut to half its length
    kChecksum,  // that line's checksum is wrong (a log line without one: a digit garbled)
    kStop,      // the unit stops before its end marker (the step is not used)
};

struct TopnavEmulatorConfig {
    TopnavModel model = TopnavModel::kXcTrainer;
    TopnavMode mode = TopnavMode::kMxp;
    // The flight the unit holds, one point a second (UTC times).
    std::vector<TrackPoint> flight;
    std::vector<Waypoint> waypoints;
    // Local time minus UTC as the unit's clock runs (Top Navigator).
    int utcOffsetSeconds = 0;
    // 0 pressure, 1 GPS, 2 both.
    int altitudeFormat = 2;
    std::string firmware = "1234";
    int serial = 0x1234;
    int lineRateBaud = 0;
    // The slave side of the pseudo-terminal, watched for the session's open.
    int slaveFd = -1;
    // The transfers to serve; 0 for any number.
    int transfers = 0;
};

// The points of IGC text. False when the text holds none.
bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points);

// What a session decodes from the flight the unit sends: the positions at the unit's
// resolution. For tests of the conversation and for the speed figure.
std::vector<std::string> TransferLines(const TopnavEmulatorConfig& config);

class TopnavEmulator : public emulate::FaultedEmulator<TopnavStep, TopnavFault> {
public:
    TopnavEmulator(device::EmulatorLink& link, TopnavEmulatorConfig config,
                   std::FILE* log = nullptr);
    ~TopnavEmulator() override { Stop(); }

    // The speed a session must open the port at for this mode.
    int TransferBaud() const;
    // The transfers sent so far, and the waypoint records received (kReceive).
    int Transfers() const;
    std::vector<Waypoint> Received() const;
    std::vector<std::string> Acks() const;

private:
    int Serve() override;
    bool WaitForSession();
    void ArmLine();
    bool SendLog();
    bool SendWaypoints();
    void ReceiveWaypoints();
    bool TakeStop();

    TopnavEmulatorConfig config_;
    std::vector<Waypoint> received_;
    std::vector<std::string> acks_;
    int transfers_ = 0;
};

}  // namespace tracora::protocols::topnav
