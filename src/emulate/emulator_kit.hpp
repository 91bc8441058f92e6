// What every instrument emulator shares: the options of the kit (the real flights it holds,
// the faults it injects, the pace of its answers), read before the emulator's own options.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/time_base.hpp"
#include "core/track_log.hpp"

namespace tracora::device {
class EmulatorLink;
}

namespace tracora::emulate {

// How long a stalled instrument stays frozen unless --stall-seconds says otherwise: longer than
// any silence a session waits out, short enough to show the next download working.
inline constexpr int kDefaultStallMs = 20'000;

struct KitOptions {
    // --igc FILE...: the flights the instrument holds, as IGC text, in the order given.
    std::vector<std::string> igcPaths;
    std::vector<std::string> igcTexts;
    // --fault STEP:FAULT (repeatable): STEP names an answer of the emulator, FAULT one of its
    // fault table; kept as the indexes of the two names in the emulator's tables.
    std::vector<std::pair<int, int>> faults;
    // --rate BAUD: answers are paced at this line rate; 0 sends as fast as the line takes.
    int rateBaud = 0;
    // --stall-seconds N: how long a "stall" fault freezes the instrument.
    int stallMs = kDefaultStallMs;
    // Every other argument, in order, for the emulator itself.
    std::vector<std::string> rest;
};

// The kit's options in the help text.
extern const char* const kKitUsage;

// Takes the kit's options out of `args`; `steps` and `faults` are the emulator's tables of the
// answers a fault can hit and of its faults. 0, or 2 after printing why to stderr (a file that
// cannot be read, a fault not in the tables, a bad rate); `who` names the emulator there.
int ParseKitOptions(std::string_view who, const std::vector<std::string>& args,
                    std::span<const std::string_view> steps,
                    std::span<const std::string_view> faults, KitOptions& out);

using Clock = std::chrono::steady_clock;

// How long `bytes` take on a line at rateBaud (10 bits a byte); 0 for an unpaced line.
std::chrono::microseconds LineTime(std::size_t bytes, int rateBaud);

// Sends one answer over `link`, paced at `rateBaud` (10 bits a byte) when it is positive, so
// that the session sees the timing of a real line. `sent` (may be null) is called with the
// size of every block that went out. With `lineFree` (the emulator's line clock: when the line
// has carried all that went before), the answer starts no earlier than that and moves it on to
// its own end, and returns once its last byte is written; without, it returns when the line
// has carried it. False when the link is gone.
bool SendPaced(device::EmulatorLink& link, std::string_view bytes, int rateBaud,
               const std::function<void(std::size_t)>& sent = {},
               Clock::time_point* lineFree = nullptr);

// Where a stall fault cuts an answer: after half of its bytes (mostly in the middle of a line),
// or (atLineEnd) after the line end nearest to that.
std::size_t StallPoint(std::string_view answer, bool atLineEnd);

// Sends an answer as an instrument that freezes after its first `splitAt` bytes: the line then
// stays silent for holdMs, during which the emulator reads nothing (requests wait in the line),
// and the rest follows, as a unit stopped and continued again (a frozen display, a loose contact
// that does not hang up) does. False when the link is gone or stopped.
bool SendWithStall(device::EmulatorLink& link, std::string_view bytes, std::size_t splitAt,
                   int holdMs, int rateBaud, const std::function<void(std::size_t)>& sent = {},
                   Clock::time_point* lineFree = nullptr);

// The start (the date header and the first B record) and the duration (to the last B record,
// midnight crossings counted) of an IGC flight, as an instrument lists it. False when the text
// has no date or no B record.
bool IgcFlightSpan(std::string_view igc, CalendarTime& start, std::uint32_t& durationSeconds);

// The line rate the session has set on the cable (rates without a constant of their own
// included), or -1 when it cannot be read (no slave side given: slaveFd < 0).
int LineBaud(int slaveFd);

// What an instrument that changes its speed on request sees of the session from its side of the
// cable: waits until the session has set the line to `baud`, at most timeoutMs. True when it
// did (or when there is no slave side to watch); false when it did not, or the link ended.
bool WaitForLineBaud(device::EmulatorLink& link, int slaveFd, int baud, int timeoutMs);

// The request loop of an instrument that answers lines: reads lines from `link` (polling every
// pollMs) and hands each (without CR LF) to `handle`, until the link is stopped, dropped or
// lost. 0 then; a read error's code when the link failed otherwise.
int ServeLines(device::EmulatorLink& link, int pollMs,
               const std::function<void(const std::string&)>& handle);

// The fixes of an IGC text as a logger keeps them, with their IGC flags; false when it has none.
bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points);

// One of an emulator's own options: a flag, or an option with a value stored as text, as a
// number, or handed to `take` (false: a bad value, already reported).
struct Option {
    Option(std::string_view optionName, bool& target) : name(optionName), flag(&target) {}
    Option(std::string_view optionName, std::string& target) : name(optionName), text(&target) {}
    Option(std::string_view optionName, int& target) : name(optionName), number(&target) {}
    Option(std::string_view optionName, std::function<bool(const std::string&)> taker)
        : name(optionName), take(std::move(taker)) {}

    std::string_view name;
    bool* flag = nullptr;
    std::string* text = nullptr;
    int* number = nullptr;
    std::function<bool(const std::string&)> take;
};

// The kit's options (as ParseKitOptions) and then the emulator's own: every other argument must
// be one of `own`. 0, or 2 after printing why to stderr (an unknown option, a bad number).
int ParseOptions(std::string_view who, const std::vector<std::string>& args,
                 std::span<const std::string_view> steps, std::span<const std::string_view> faults,
                 const std::vector<Option>& own, KitOptions& kit);

// The --igc flights converted by `convert` (bool(std::string_view igc, Flight&)) into the
// instrument's own form, appended to `out`. False after printing "<file> <lack>" to stderr for
// the first that does not convert.
template <typename Flight, typename Convert>
bool ConvertFlights(std::string_view who, const KitOptions& kit, Convert convert,
                    std::vector<Flight>& out, std::string_view lack = "has no fix") {
    for (std::size_t i = 0; i < kit.igcTexts.size(); ++i) {
        Flight flight{};
        if (!convert(kit.igcTexts[i], flight)) {
            std::fprintf(stderr, "tracora-emulate %.*s: %s %.*s\n", static_cast<int>(who.size()),
                         who.data(), kit.igcPaths[i].c_str(), static_cast<int>(lack.size()),
                         lack.data());
            return false;
        }
        out.push_back(std::move(flight));
    }
    return true;
}

// The answer with its first sentence's checksum made wrong (another valid hex digit).
std::string BreakChecksum(std::string answer);

// "NAME[:VERSION]" of a --model option: `name` is set, `version` only when the value has one.
void SplitModel(std::string_view value, std::string& name, std::string& version);

}  // namespace tracora::emulate
