// The logger's side of an MTK cable, for tests and tracora-emulate: answers the firmware,
// status and memory queries, serves its log memory (built from real IGC flights, in the
// standard or the Holux layout) chunk by chunk, stops, starts and erases logging, and injects
// faults into chosen answers. Runs over an EmulatorLink (the master side of a
// pseudo-terminal), on a thread of its own or on the caller's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/track_log.hpp"
#include "emulate/emulator_frame.hpp"

namespace tracora::protocols::mtk {

// The answers a fault can hit.
enum class MtkStep { kProduct, kStatus, kStop, kMemory, kChunk, kStart, kErase };

enum class MtkFault {
    kSilence,       // the command is not answered
    kBadChecksum,   // the answer's checksum is wrong
    kGarbage,       // line noise before the answer
    kCut,           // the cable is cut halfway through the answer
    kStall,         // the logger freezes halfway through the answer, then goes on
    kWrongAddress,  // a chunk answer for the next address
    kZero,          // the memory answer says no byte is used
    kBadHeader,     // the first sector's header loses its marker
    kBadRecord,     // the third record's checksum is wrong
};

struct MtkEmulatorConfig {
    std::string firmware1 = "AXN_1.0-B_1.3_C01";
    std::string firmware2 = "0001";
    // The Holux layout: float positions, 3-byte heights, no '*' before the checksum.
    bool holux = false;
    // The flights' points in order.
    std::vector<TrackPoint> track;
    // Bit 1: logging on.
    std::uint32_t logStatus = 2;
    int lineRateBaud = 0;
    int stallMs = 20'000;
};

class MtkEmulator : public emulate::FaultedEmulator<MtkStep, MtkFault> {
public:
    MtkEmulator(device::EmulatorLink& link, MtkEmulatorConfig config, std::FILE* log = nullptr);
    ~MtkEmulator() override { Stop(); }

    // The log memory as written (up to the used size).
    std::vector<std::uint8_t> Image() const;
    // The bodies of the commands received ("PMTK182,2,7").
    std::vector<std::string> Received() const { return Requests(); }
    bool LoggingOn() const;

private:
    int Serve() override;
    void Handle(const std::string& body);
    // Sends an answer with the fault armed for `step`, or with `fault`. False when nothing
    // (or not the whole answer) went out.
    bool Answer(MtkStep step, std::string answer);
    bool SendFaulted(std::string answer, std::optional<MtkFault> fault);
    std::optional<MtkFault> TakeFault(MtkStep step);

    MtkEmulatorConfig config_;
    std::vector<std::uint8_t> memory_;
    std::size_t used_ = 0;
};

}  // namespace tracora::protocols::mtk
