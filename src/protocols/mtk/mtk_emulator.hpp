// The logger's side of an MTK cable, for tests and tracora-emulate: answers the firmware,
// status and memory queries, serves its log memory (built from real IGC flights, in the
// standard or the Holux layout) chunk by chunk, stops, starts and erases logging, and injects
// faults into chosen answers. Runs over an EmulatorLink (the master side of a
// pseudo-terminal), on a thread of its own or on the caller's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/track_log.hpp"
#include "device/emulator_link.hpp"

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

class MtkEmulator {
public:
    MtkEmulator(device::EmulatorLink& link, MtkEmulatorConfig config, std::FILE* log = nullptr);
    MtkEmulator(const MtkEmulator&) = delete;
    MtkEmulator& operator=(const MtkEmulator&) = delete;
    ~MtkEmulator();

    void Start();
    void Stop();
    // Serves on the calling thread until the link is stopped or cut. 0.
    int Run();

    // The next answer of `step` gets `fault` (once; several wait in the order armed).
    void ArmFault(MtkStep step, MtkFault fault);

    // The log memory as written (up to the used size).
    std::vector<std::uint8_t> Image() const;
    // The bodies of the commands received ("PMTK182,2,7").
    std::vector<std::string> Received() const;
    bool LoggingOn() const;

private:
    struct ArmedFault {
        MtkStep step;
        MtkFault fault;
    };
    void Handle(const std::string& body);
    // Sends an answer with the fault armed for `step`, or with `fault`. False when nothing
    // (or not the whole answer) went out.
    bool Answer(MtkStep step, std::string answer);
    bool Send(std::string answer, std::optional<MtkFault> fault);
    std::optional<MtkFault> TakeFault(MtkStep step);
    void Log(const std::string& text);

    device::EmulatorLink& link_;
    MtkEmulatorConfig config_;
    std::FILE* log_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::vector<std::uint8_t> memory_;
    std::size_t used_ = 0;
    std::vector<ArmedFault> faults_;
    std::vector<std::string> received_;
    bool ended_ = false;
};

}  // namespace tracora::protocols::mtk
