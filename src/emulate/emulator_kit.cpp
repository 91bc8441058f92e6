#include "emulate/emulator_kit.hpp"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <thread>

#include "device/emulator_link.hpp"
#include "device/serial_speed.hpp"

#include "core/file_io.hpp"
#include "core/text_forms.hpp"
#include "formats/igc/igc_reader.hpp"

namespace tracora::emulate {

namespace {

// Waits until `when`; false when the link is stopped or dropped first.
bool PaceUntil(device::EmulatorLink& link, Clock::time_point when) {
    while (Clock::now() < when) {
        if (link.IsStopped() || link.IsDropped())
            return false;
        std::this_thread::sleep_until(std::min(when, Clock::now() + std::chrono::milliseconds(50)));
    }
    return true;
}

// Index of `name` in `names`, -1 when absent.
int IndexOf(std::span<const std::string_view> names, std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

const char* const kKitUsage =
    "Every instrument also takes:\n"
    "  --igc FILE...         flights to hold (IGC files, converted into the instrument's\n"
    "                        memory format), the first is flight 0\n"
    "  --fault STEP:FAULT    break the next answer of STEP with FAULT (repeatable)\n"
    "  --rate BAUD           pace the answers at this line rate (10 bits a byte)\n"
    "  --stall-seconds N     how long a stall fault freezes the instrument (default 20)\n";

int ParseKitOptions(std::string_view who, const std::vector<std::string>& args,
                    std::span<const std::string_view> steps,
                    std::span<const std::string_view> faults, KitOptions& out) {
    const std::string name(who);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--igc" && hasValue) {
            while (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
                const std::string& path = args[++i];
                std::string text;
                if (ReadWholeFile(path, text) != FileReadStatus::kOk) {
                    std::fprintf(stderr, "tracora-emulate %s: cannot read %s\n", name.c_str(),
                                 path.c_str());
                    return 2;
                }
                out.igcPaths.push_back(path);
                out.igcTexts.push_back(std::move(text));
            }
        } else if (arg == "--fault" && hasValue) {
            const std::string& value = args[++i];
            const std::size_t colon = value.find(':');
            const int step = colon == std::string::npos
                                 ? -1
                                 : IndexOf(steps, std::string_view(value).substr(0, colon));
            const int fault = colon == std::string::npos
                                  ? -1
                                  : IndexOf(faults, std::string_view(value).substr(colon + 1));
            if (step < 0 || fault < 0) {
                std::fprintf(stderr, "tracora-emulate %s: bad fault '%s'\n", name.c_str(),
                             value.c_str());
                return 2;
            }
            out.faults.emplace_back(step, fault);
        } else if (arg == "--rate" && hasValue) {
            long long rate = 0;
            if (ParseIntegerField(args[++i], rate) != 0 || rate < 0 || rate > 10000000) {
                std::fprintf(stderr, "tracora-emulate %s: bad rate '%s'\n", name.c_str(),
                             args[i].c_str());
                return 2;
            }
            out.rateBaud = static_cast<int>(rate);
        } else if (arg == "--stall-seconds" && hasValue) {
            long long seconds = 0;
            if (ParseIntegerField(args[++i], seconds) != 0 || seconds < 0 || seconds > 86400) {
                std::fprintf(stderr, "tracora-emulate %s: bad stall time '%s'\n", name.c_str(),
                             args[i].c_str());
                return 2;
            }
            out.stallMs = static_cast<int>(seconds * 1000);
        } else {
            out.rest.push_back(arg);
        }
    }
    return 0;
}

bool SendPaced(device::EmulatorLink& link, std::string_view bytes, int rateBaud,
               const std::function<void(std::size_t)>& sent, Clock::time_point* lineFree) {
    constexpr int kWriteTimeoutMs = 60'000;
    constexpr std::size_t kPaceBlock = 64;
    if (rateBaud <= 0) {
        if (link.Write(bytes, kWriteTimeoutMs) < 0)
            return false;
        if (sent)
            sent(bytes.size());
        return true;
    }
    // The answer starts when the line is free: now, or when what went before has been
    // carried. Every block's time is counted from there, so a block the machine sends late
    // lets the next ones catch up instead of making the whole answer late.
    const Clock::time_point start =
        lineFree == nullptr ? Clock::now() : std::max(Clock::now(), *lineFree);
    const auto lineTime = [&](std::size_t count) { return start + LineTime(count, rateBaud); };
    // Block k may leave only when the line has had the time to carry the blocks before it.
    // The blocks are counted from the end (the first one is the short one), so that the last
    // one reaches the session a block's line time before the answer has left: the session's
    // next request is then waiting when the line is free, and the time a busy machine takes to
    // wake the session is hidden in the answer's own line time rather than added to it.
    std::size_t done = 0;
    std::size_t length = bytes.size() % kPaceBlock == 0 ? kPaceBlock : bytes.size() % kPaceBlock;
    while (done < bytes.size()) {
        if (!PaceUntil(link, lineTime(done)))
            return false;
        length = std::min(length, bytes.size() - done);
        if (link.Write(bytes.substr(done, length), kWriteTimeoutMs) < 0)
            return false;
        done += length;
        if (sent)
            sent(length);
        length = kPaceBlock;
    }
    // The answer has left when the line has carried its last block too: an instrument that
    // waits for an acknowledgement after each short answer cannot send faster than that. With
    // a line clock the next answer waits for it; without, this one does.
    if (lineFree != nullptr) {
        *lineFree = lineTime(bytes.size());
        return !link.IsStopped() && !link.IsDropped();
    }
    return PaceUntil(link, lineTime(bytes.size()));
}

std::size_t StallPoint(std::string_view answer, bool atLineEnd) {
    const std::size_t half = answer.size() / 2;
    if (!atLineEnd) {
        return half;
    }
    const std::size_t after = answer.find('\n', half);
    const std::size_t before = half == 0 ? std::string_view::npos : answer.rfind('\n', half - 1);
    if (before == std::string_view::npos) {
        return after == std::string_view::npos ? answer.size() : after + 1;
    }
    if (after == std::string_view::npos || half - before <= after - half) {
        return before + 1;
    }
    return after + 1;
}

bool SendWithStall(device::EmulatorLink& link, std::string_view bytes, std::size_t splitAt,
                   int holdMs, int rateBaud, const std::function<void(std::size_t)>& sent,
                   Clock::time_point* lineFree) {
    splitAt = std::min(splitAt, bytes.size());
    if (!SendPaced(link, bytes.substr(0, splitAt), rateBaud, sent, lineFree))
        return false;
    if (!link.Hold(holdMs))
        return false;
    return SendPaced(link, bytes.substr(splitAt), rateBaud, sent, lineFree);
}

std::chrono::microseconds LineTime(std::size_t bytes, int rateBaud) {
    return rateBaud <= 0 ? std::chrono::microseconds(0)
                         : std::chrono::microseconds(static_cast<long long>(bytes) * 10 *
                                                     1'000'000 / rateBaud);
}

std::string BreakChecksum(std::string answer) {
    const std::size_t star = answer.find('*');
    if (star != std::string::npos && star + 2 < answer.size()) {
        char& digit = answer[star + 2];
        digit = digit == '0' ? '1' : '0';
    }
    return answer;
}

void SplitModel(std::string_view value, std::string& name, std::string& version) {
    const std::size_t colon = value.find(':');
    name = std::string(value.substr(0, colon));
    if (colon != std::string_view::npos)
        version = std::string(value.substr(colon + 1));
}

namespace {

bool SpanDigits(std::string_view text, std::size_t offset, std::size_t count, int& value) {
    if (offset + count > text.size()) {
        return false;
    }
    int v = 0;
    for (std::size_t i = offset; i < offset + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + (text[i] - '0');
    }
    value = v;
    return true;
}

std::vector<std::string_view> SpanLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

}  // namespace

bool IgcFlightSpan(std::string_view igc, CalendarTime& start, std::uint32_t& durationSeconds) {
    bool haveDate = false;
    int first = -1;
    int last = -1;
    std::uint32_t days = 0;
    CalendarTime result;
    for (const std::string_view line : SpanLines(igc)) {
        if (line.starts_with("HFDTE") && !haveDate) {
            const std::size_t at = line.substr(5).starts_with("DATE:") ? 10 : 5;
            int day = 0;
            int month = 0;
            int year = 0;
            if (SpanDigits(line, at, 2, day) && SpanDigits(line, at + 2, 2, month) &&
                SpanDigits(line, at + 4, 2, year)) {
                result.day = day;
                result.month = month;
                result.year = 2000 + year;
                haveDate = true;
            }
        } else if (line.starts_with("B")) {
            int h = 0;
            int m = 0;
            int s = 0;
            if (!SpanDigits(line, 1, 2, h) || !SpanDigits(line, 3, 2, m) ||
                !SpanDigits(line, 5, 2, s)) {
                continue;
            }
            const int timeOfDay = (h * 60 + m) * 60 + s;
            if (first < 0) {
                first = timeOfDay;
                result.hour = h;
                result.minute = m;
                result.second = s;
            } else if (timeOfDay < last) {
                days += 86400;
            }
            last = timeOfDay;
        }
    }
    if (!haveDate || first < 0) {
        return false;
    }
    start = result;
    durationSeconds = days + static_cast<std::uint32_t>(last - first);
    return true;
}

int LineBaud(int slaveFd) {
    if (slaveFd < 0)
        return -1;
    const int baud = device::detail::ReadOutputSpeed(slaveFd);
    return baud > 0 ? baud : -1;
}

int ServeLines(device::EmulatorLink& link, int pollMs,
               const std::function<void(const std::string&)>& handle) {
    for (;;) {
        std::string line;
        const int rc = link.ReadLine(line, pollMs);
        if (rc == 0) {
            continue;
        }
        if (rc < 0) {
            return rc == device::kIoAborted || rc == device::kIoLinkLost ? 0 : rc;
        }
        handle(line);
        if (link.IsDropped() || link.IsStopped()) {
            return 0;
        }
    }
}

bool FlightFromIgc(std::string_view igc, std::vector<TrackPoint>& points) {
    igc::IgcParseResult parsed;
    if (igc::ParseIgc(igc, parsed) <= 0) {
        return false;
    }
    points = std::move(parsed.points);
    return !points.empty();
}

int ParseOptions(std::string_view who, const std::vector<std::string>& args,
                 std::span<const std::string_view> steps, std::span<const std::string_view> faults,
                 const std::vector<Option>& own, KitOptions& kit) {
    if (ParseKitOptions(who, args, steps, faults, kit) != 0) {
        return 2;
    }
    const std::string name(who);
    const std::vector<std::string>& rest = kit.rest;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const std::string& arg = rest[i];
        const auto option = std::find_if(own.begin(), own.end(), [&](const Option& o) {
            return o.name == arg && (o.flag != nullptr || i + 1 < rest.size());
        });
        if (option == own.end()) {
            std::fprintf(stderr, "tracora-emulate %s: unknown option '%s'\n", name.c_str(),
                         arg.c_str());
            return 2;
        }
        if (option->flag != nullptr) {
            *option->flag = true;
            continue;
        }
        const std::string& value = rest[++i];
        if (option->text != nullptr) {
            *option->text = value;
        } else if (option->number != nullptr) {
            long long number = 0;
            if (ParseIntegerField(value, number) != 0 || number < INT_MIN || number > INT_MAX) {
                std::fprintf(stderr, "tracora-emulate %s: bad value '%s' for %s\n", name.c_str(),
                             value.c_str(), arg.c_str());
                return 2;
            }
            *option->number = static_cast<int>(number);
        } else if (!option->take(value)) {
            return 2;
        }
    }
    return 0;
}

bool WaitForLineBaud(device::EmulatorLink& link, int slaveFd, int baud, int timeoutMs) {
    if (slaveFd < 0)
        return true;
    constexpr int kPollMs = 10;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (LineBaud(slaveFd) != baud) {
        if (std::chrono::steady_clock::now() >= deadline || !link.Hold(kPollMs))
            return false;
    }
    return true;
}

}  // namespace tracora::emulate
