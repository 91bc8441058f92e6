// The frame every instrument emulator is built in, whatever its protocol: the serving thread
// (Start, Stop, Run), the log, what the tests look at (the requests received, the events noted,
// the bytes sent) and the waits for them, the paced sending with the usual faults of an answer,
// and the faults armed for the answers of each step. An emulator derives from
// `FaultedEmulator<Step, Fault>` (or `EmulatorFrame` when it injects no faults) and writes only
// its protocol: `Serve()`, the request loop (often `ServeSentences` or `ServeLines`), and the
// answers. See EMULATORS.md beside this file.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/emulator_link.hpp"
#include "emulate/emulator_kit.hpp"

namespace tracora::emulate {

// How the emulators poll their line for the next request: a stop or a cut ends any wait at once,
// so the period only bounds how often an idle loop wakes.
inline constexpr int kRequestPollMs = 1000;

class EmulatorFrame {
public:
    EmulatorFrame(const EmulatorFrame&) = delete;
    EmulatorFrame& operator=(const EmulatorFrame&) = delete;
    // A derived emulator's destructor calls Stop(): the thread must end before the members it
    // serves with go.
    virtual ~EmulatorFrame();

    // Serves on a thread of its own until Stop(), a cut cable or a fault that cuts it.
    void Start();
    // Stops the link (every wait ends at once) and joins the thread.
    void Stop();
    // Serves on the calling thread. 0 when the link was stopped or cut, else a read error.
    int Run();

    // The requests received so far, as the emulator took them (without their line ends).
    std::vector<std::string> Requests() const;
    // What the emulator noted on the way ("track request at 4800", "erase, 2 left", ...).
    std::vector<std::string> Events() const;
    // Bytes of answers sent so far.
    std::uint64_t BytesSent() const;
    // Waits until a request starting with `prefix` came; false when timeoutMs passed first or
    // the emulator ended without one.
    bool WaitForRequest(std::string_view prefix, int timeoutMs) const;
    // Waits until `count` events were noted; false as above.
    bool WaitForEvents(std::size_t count, int timeoutMs) const;

protected:
    // `log` (may be null) gets a line per request and per fault; answers are paced at
    // rateBaud (0: as fast as the line takes), a stall fault freezes the unit for stallMs.
    EmulatorFrame(device::EmulatorLink& link, std::FILE* log, int rateBaud = 0,
                  int stallMs = kDefaultStallMs);

    // The request loop: until the link is stopped or cut. 0 then, else a read error.
    virtual int Serve() = 0;

    // Hands every line (without CR LF) to `handle` until the link ends. 0 then, else a read
    // error.
    int ServeLines(const std::function<void(const std::string&)>& handle);
    // The same for the sentences of the lines, from their '$' on; a line without one is noise
    // (control bytes of a transfer given up, line discipline bytes) and ignored.
    int ServeSentences(const std::function<void(const std::string&)>& handle);

    void Log(const std::string& text) const;
    // Whether there is a log to write to (to spare building long log lines for nothing).
    bool Logging() const { return log_ != nullptr; }
    // Records a request and logs it ("request ...").
    void NoteRequest(const std::string& request);
    // Records an event and logs it after `logPrefix`.
    void Note(const std::string& what, std::string_view logPrefix = "  ");

    // The session's request of `bytes` bytes has arrived. On a paced line it held the line for
    // its own line time after what went before it, which the next answer waits for too.
    // (ServeLines and ServeSentences note their lines themselves.)
    void Received(std::size_t bytes);
    // Sends an answer (paced on the emulator's line clock, counted). False when the link is
    // gone.
    bool Send(std::string_view bytes);
    bool Send(std::span<const std::uint8_t> bytes);
    // The faults most answers share. Each logs what it does; all but the stall return false,
    // as the answer did not go out whole.
    // The first half of the answer, then the cable is cut.
    bool SendCut(std::string_view answer);
    // The first half of the answer, and nothing more; the cable stays.
    bool SendHalf(std::string_view answer);
    // The unit freezes halfway (or at the line end nearest halfway) for stallMs, then goes on.
    bool SendStalled(std::string_view answer, bool atLineEnd = false);
    // The unit freezes after `splitAt` bytes (no log line).
    bool SendWithStall(std::string_view bytes, std::size_t splitAt);

    // Runs `change` under the lock and wakes the waits.
    void Change(const std::function<void()>& change);
    // Runs `read` under the lock and returns what it gives.
    template <typename Read>
    auto Locked(Read read) const {
        std::lock_guard lock(mutex_);
        return read();
    }
    // Waits until `done` (called under the lock) holds, at most timeoutMs; the end of the
    // emulator ends the wait too. Whether `done` held.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) const;

    device::EmulatorLink& link_;
    const int rateBaud_;
    const int stallMs_;

private:
    std::FILE* log_;
    std::thread thread_;
    // When the line has carried all that went either way (the serving thread's own).
    Clock::time_point lineFree_{};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> requests_;
    std::vector<std::string> events_;
    std::uint64_t bytesSent_ = 0;
    bool ended_ = false;
};

// An emulator with faults to inject: each is armed for the next answer of one step (after
// `skip` whole answers of it), and taken once by the answer it breaks.
template <typename Step, typename Fault>
class FaultedEmulator : public EmulatorFrame {
public:
    // The next answer of `step` gets `fault` (once; several faults may wait, each for its own
    // answer of that step, in the order armed).
    void ArmFault(Step step, Fault fault, int skip = 0) {
        Change([&] { faults_.push_back({step, fault, skip}); });
    }
    // The faults of the command line (--fault STEP:FAULT, as indexes of the two enums).
    void ArmFaults(const KitOptions& kit) {
        for (const auto& [step, fault] : kit.faults) {
            ArmFault(static_cast<Step>(step), static_cast<Fault>(fault));
        }
    }

protected:
    using EmulatorFrame::EmulatorFrame;

    // The fault armed first for `step` (among those `which` takes, when given), or false when
    // none is due for this answer.
    bool TakeFault(Step step, Fault& fault, const std::function<bool(Fault)>& which = {}) {
        return Take(step, fault, which, true);
    }
    // The same for a fault that hits a whole transfer rather than one of its answers: its
    // `skip` does not apply.
    bool TakeTransferFault(Step step, Fault& fault, const std::function<bool(Fault)>& which) {
        return Take(step, fault, which, false);
    }

private:
    struct Armed {
        Step step;
        Fault fault;
        int skip;
    };

    bool Take(Step step, Fault& fault, const std::function<bool(Fault)>& which, bool skips) {
        return Locked([&] {
            const auto it = std::find_if(faults_.begin(), faults_.end(), [&](const Armed& f) {
                return f.step == step && (!which || which(f.fault));
            });
            if (it == faults_.end()) {
                return false;
            }
            if (skips && it->skip > 0) {
                --it->skip;
                return false;
            }
            fault = it->fault;
            faults_.erase(it);
            return true;
        });
    }

    std::vector<Armed> faults_;
};

}  // namespace tracora::emulate
