// The instrument's end of a pseudo-terminal cable, for emulators: byte, block and line reads
// with time-outs, writes, and switches that inject the faults a real link shows (an instrument
// that stays silent, a cut cable, line noise before a reply, a damaged reply). Knows nothing of
// any protocol; one "reply" is one Write call.
//
// Every member may be called from any thread: typically the emulator thread reads and writes
// while the test thread throws the fault switches and finally calls Stop().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/unique_fd.hpp"
#include "device/io_status.hpp"
#include "device/wake_event.hpp"

namespace tracora::device {

class EmulatorLink {
public:
    // Takes over the master side of a pseudo-terminal (PseudoTerminal::TakeMaster()).
    explicit EmulatorLink(UniqueFd master);
    EmulatorLink(const EmulatorLink&) = delete;
    EmulatorLink& operator=(const EmulatorLink&) = delete;
    EmulatorLink(EmulatorLink&&) = delete;
    EmulatorLink& operator=(EmulatorLink&&) = delete;
    ~EmulatorLink() = default;

    // False when the master was invalid or the internal wake event could not be made.
    bool Valid() const { return valid_; }

    // The reads return the count (> 0), 0 when the time ran out (bytes of an incomplete
    // block or line stay buffered for the next read), kIoAborted after Stop(), kIoLinkLost
    // after DropLink() or when the session's side is gone, or kIoError.
    int ReadByte(std::uint8_t& byte, int timeoutMs);
    // Fills the whole buffer or nothing.
    int ReadExact(std::span<std::uint8_t> buffer, int timeoutMs);
    // A line ends with '\n'; `line` receives it without the '\n' and a '\r' before it. The
    // count includes the ending. A line longer than maxLength bytes is delivered in pieces of
    // maxLength bytes (no ending consumed, count = maxLength).
    int ReadLine(std::string& line, int timeoutMs, std::size_t maxLength = 4096);

    // Sends one reply, with the faults armed for it. Returns the reply's size (also when the
    // link is silent and nothing goes out), kIoTimedOut, kIoAborted, kIoLinkLost or kIoError.
    int Write(std::span<const std::uint8_t> bytes, int timeoutMs);
    int Write(std::string_view text, int timeoutMs);

    // Fault switches.
    // While silent, replies are swallowed; reads go on as usual.
    void SetSilent(bool silent);
    // These bytes go out just before the next reply that is sent.
    void InjectGarbageBeforeNextReply(std::span<const std::uint8_t> bytes);
    void InjectGarbageBeforeNextReply(std::string_view bytes);
    // The byte at `offset` of the next reply sent is XOR-ed with `xorMask` (0 is taken as 1);
    // an offset past the end hits the reply's last byte.
    void CorruptNextReply(std::size_t offset, std::uint8_t xorMask = 0x01);
    // Cuts the cable: closes the master, so the session's port reports a lost link. Waits
    // already running end at once.
    void DropLink();
    // Ends every wait at once and refuses further I/O with kIoAborted (for shutting an
    // emulator thread down).
    void Stop();

    // Waits timeoutMs doing nothing; false when the link was stopped or dropped meanwhile.
    bool Hold(int timeoutMs) const { return !wake_.Wait(timeoutMs); }

    bool IsDropped() const;
    bool IsStopped() const;

private:
    struct Faults {
        bool silent = false;
        std::vector<std::uint8_t> garbage;
        bool corrupt = false;
        std::size_t corruptOffset = 0;
        std::uint8_t corruptMask = 0x01;
    };

    // Borrowing the master for one system call: refused once the link is stopped or dropped,
    // and DropLink() waits until no call holds it before closing it.
    int AcquireFd();
    void ReleaseFd();
    int EndedStatus() const;  // caller holds stateMutex_
    // 0 while the link is usable, else kIoAborted, kIoLinkLost or kIoNotOpen.
    int LinkState() const;

    // Waits for input and appends it to pending_ (caller holds readMutex_).
    int Fill(std::chrono::steady_clock::time_point deadline);
    int SendAll(std::span<const std::uint8_t> bytes,
                std::chrono::steady_clock::time_point deadline);

    bool valid_ = false;
    WakeEvent wake_;

    mutable std::mutex stateMutex_;  // master_, users_, dropped_, stopped_
    std::condition_variable idle_;
    UniqueFd master_;
    int users_ = 0;
    bool dropped_ = false;
    bool stopped_ = false;

    std::mutex readMutex_;  // serialises readers over pending_
    std::string pending_;

    std::mutex writeMutex_;  // keeps replies whole when several threads write

    std::mutex faultMutex_;
    Faults faults_;
};

}  // namespace tracora::device
