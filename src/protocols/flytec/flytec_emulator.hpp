// The instrument's side of a Flytec/Brauniger cable, for tests and tracora-emulate: answers the
// product-data, flight-list, track-log and waypoint requests from real IGC texts and a waypoint
// list, records the waypoints uploaded to it, and injects faults into chosen answers. Runs on a
// thread of its own over an EmulatorLink (the master side of a pseudo-terminal).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/airspace.hpp"
#include "emulate/emulator_frame.hpp"
#include "protocols/flytec/flytec_ctr.hpp"
#include "protocols/flytec/flytec_frames.hpp"

namespace tracora::protocols::flytec {

// A waypoint as the instrument stores it.
struct EmulatedWaypoint {
    std::int32_t latitudeMilliMinutes = 0;   // thousandths of a minute, negative south
    std::int32_t longitudeMilliMinutes = 0;  // negative west
    std::string shortName;
    std::string longName;
    int altitude = 0;
};

// The answers a fault can hit.
// kCtrAck is the acknowledgement of an uploaded airspace, kCtrList the answer to the airspace
// list request.
enum class FlytecStep { kProductData, kTrackList, kTrack, kWaypoints, kCtrAck, kCtrList };

enum class FlytecFault {
    kSilence,            // the request is not answered
    kBadChecksum,        // the first sentence carries a wrong checksum
    kGarbage,            // line noise ("#?" and 0xFE) before the answer
    kLineTooLong,        // an IGC line of 92 characters after the first line
    kBadRecordType,      // an IGC line starting with '1' after the first line
    kBRecordBeforeDate,  // the first B record moved in front of the date header
    kCutConnection,      // the cable is cut halfway through the answer
    kStall,              // the unit freezes halfway through the answer (see stallMs)
    kStallAtLineEnd,     // the same at the line end nearest halfway
    kStopHalfway,        // the answer stops halfway; the cable stays
    // An airspace acknowledgement with the status of the name instead of '1'.
    kAckPlausibility,  // '2'
    kAckNoMemory,      // '3'
    kAckNoWriting,     // '4'
    kAckSyntax,        // '5'
    kAckUnknown,       // '9'
};

struct FlytecEmulatorConfig {
    FlytecProduct product{"COMPEO+", "TEST PILOT", "1234", "1.22"};
    // Older firmware answers no flight-list request; its log comes with "$PBRIGC".
    bool hasTrackList = true;
    // The stored flights as IGC text, flight-list index 0 first. The whole-log request sends
    // flight 0.
    std::vector<std::string> flights;
    std::vector<EmulatedWaypoint> waypoints;
    // The airspaces stored in the instrument, served on the list request; uploaded ones that
    // were acknowledged with success are appended.
    std::vector<CtrArea> airspaces;
    // Bytes are paced at this line rate (10 bits a byte); 0 sends as fast as the line takes.
    int lineRateBaud = 0;
    // G records are left out of the IGC texts sent.
    bool stripGRecords = false;
    // How long a stall fault freezes the unit: nothing is read or sent meanwhile, then the
    // rest of the answer follows.
    int stallMs = 20'000;
};

// The flight-list entry the emulator derives from an IGC text: the date header and the first
// and last B record. False when the text has no date or no B record.
struct EmulatedFlightInfo {
    CalendarTime start;
    std::uint32_t durationSeconds = 0;
};
bool FlightInfoFromIgc(std::string_view igc, EmulatedFlightInfo& info);

// A few waypoints of the Alps, served when no waypoint file is given.
std::vector<EmulatedWaypoint> BuiltInWaypoints();

// Serves on a thread of its own (Start) until Stop(), a cut cable, or a kCutConnection fault.
// Faults: several may wait, each for its own answer of that step, in the order armed; with
// `skip`, that many answers of the step go out whole first (the second track of a download:
// skip 1). Requests() are without XON and CR LF ("$PBRSNP,*21").
class FlytecEmulator : public emulate::FaultedEmulator<FlytecStep, FlytecFault> {
public:
    // `link` must outlive the emulator. `log` (may be null) gets one line per request.
    FlytecEmulator(device::EmulatorLink& link, FlytecEmulatorConfig config,
                   std::FILE* log = nullptr);
    ~FlytecEmulator() override { Stop(); }

    // The waypoints uploaded so far, as decoded sentences and as the sentences themselves.
    std::vector<UploadedWaypoint> Uploads() const;
    std::vector<std::string> UploadSentences() const;
    // Waits until `count` uploads arrived; false when timeoutMs passed first.
    bool WaitForUploads(std::size_t count, int timeoutMs) const;
    // The airspace sentences received so far (without XON and CR LF) and the airspaces stored.
    std::vector<std::string> CtrSentencesReceived() const;
    std::vector<CtrArea> Airspaces() const;
    // Waits until `count` airspace acknowledgements were sent; false when timeoutMs passed first.
    bool WaitForCtrAcks(std::size_t count, int timeoutMs) const;

private:
    int Serve() override;
    void Handle(const std::string& request);
    // Sends an answer with the faults armed for `step`. False when the link is gone.
    bool Answer(FlytecStep step, std::string answer);
    std::string TrackText(std::size_t index) const;
    void HandleCtrSentence(const std::string& sentence);

    FlytecEmulatorConfig config_;
    std::vector<std::string> uploadSentences_;
    std::vector<UploadedWaypoint> uploads_;
    CtrListParser ctrUpload_{"$PBRCTRW"};
    std::vector<std::string> ctrSentences_;
    std::size_t ctrAcks_ = 0;
};

}  // namespace tracora::protocols::flytec
