// Receiving from a serial instrument through a device job: reads in blocks, hands out one byte
// at a time, drops the XON/XOFF flow-control bytes, copies every received byte to the debug
// trace, tests the abort flag before each read, and tells silence from a lost link and an abort.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/gps_job.hpp"

namespace tracora::protocols {

// ReadByte results besides the I/O codes of the device layer (kIoAborted, kIoLinkLost,
// kIoError, ...).
inline constexpr int kByteReceived = 1;
inline constexpr int kSilence = 0;

class SerialReceiver {
public:
    using Clock = std::chrono::steady_clock;

    // The job must outlive the receiver; its port must be open. A binary stream keeps its
    // XON/XOFF bytes: `filterFlowControl` false hands them out like any other byte.
    explicit SerialReceiver(device::GpsAccessJob& job, bool filterFlowControl = true)
        : job_(job), filter_(filterFlowControl) {}

    // The next byte that is not XON/XOFF (unless they are kept), waiting up to silenceMs for it.
    int ReadByte(std::uint8_t& byte, int silenceMs);
    // The same, waiting until `deadline` at most.
    int ReadByteUntil(std::uint8_t& byte, Clock::time_point deadline);

    // Forgets bytes read from the port and not handed out yet.
    void Discard() { next_ = count_ = 0; }

    // Block size of the port reads.
    static constexpr std::size_t kBlockSize = 100;

private:
    device::GpsAccessJob& job_;
    bool filter_ = true;
    std::array<std::uint8_t, kBlockSize> block_{};
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

// Collects one '$' sentence from received bytes: '$' starts a line (and drops a partial one),
// the bytes up to CR are kept (at most maxChars after the '$', further ones dropped), and LF
// after the CR ends the line. Bytes before the first '$' are ignored.
class NmeaLineCollector {
public:
    explicit NmeaLineCollector(std::size_t maxChars) : maxChars_(maxChars) {}

    // True when `byte` completed a line; Line() then holds it without CR LF until the next
    // Feed().
    bool Feed(std::uint8_t byte);
    const std::string& Line() const { return line_; }
    // Whether a sentence has begun and not ended yet.
    bool InsideLine() const { return state_ == State::kCollecting || state_ == State::kAfterCr; }
    void Reset();

private:
    enum class State { kIdle, kCollecting, kAfterCr, kComplete };
    std::size_t maxChars_;
    State state_ = State::kIdle;
    std::string line_;
};

// The I/O status of a failed read as the receive loops report it: true for an abort.
inline bool IsAbort(int status) {
    return status == device::kIoAborted;
}

}  // namespace tracora::protocols
