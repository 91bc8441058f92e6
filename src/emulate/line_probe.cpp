#include "emulate/line_probe.hpp"

#include <cstdlib>
#include <string>

#include "device/io_status.hpp"

namespace tracora::emulate {

namespace {

constexpr int kPollMs = 200;
constexpr int kWriteMs = 5000;

// The received line with control bytes shown as \xNN.
std::string Printable(const std::string& line) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char raw : line) {
        const auto c = static_cast<unsigned char>(raw);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += raw;
        } else {
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 0x0F];
        }
    }
    return text;
}

}  // namespace

int RunLineProbe(EmulatorSession& session) {
    bool echo = false;
    bool silent = false;
    std::string reply;
    std::string garbage;
    long cutAfter = -1;
    for (std::size_t i = 0; i < session.args.size(); ++i) {
        const std::string& arg = session.args[i];
        const bool hasValue = i + 1 < session.args.size();
        if (arg == "--echo") {
            echo = true;
        } else if (arg == "--silent") {
            silent = true;
        } else if (arg == "--reply" && hasValue) {
            reply = session.args[++i];
        } else if (arg == "--garbage" && hasValue) {
            garbage = session.args[++i];
        } else if (arg == "--cut-after" && hasValue) {
            cutAfter = std::strtol(session.args[++i].c_str(), nullptr, 10);
        } else {
            std::fprintf(stderr, "tracora-emulate probe: unknown option '%s'\n", arg.c_str());
            return 2;
        }
    }
    device::EmulatorLink& link = session.link;
    link.SetSilent(silent);
    if (!garbage.empty())
        link.InjectGarbageBeforeNextReply(garbage);

    std::string settings;
    long lines = 0;
    for (;;) {
        const std::string now = LineSettingsText(session.slaveFd);
        if (now != settings) {
            settings = now;
            std::fprintf(session.log, "LINE %s\n", settings.c_str());
            std::fflush(session.log);
        }
        std::string line;
        const int got = link.ReadLine(line, kPollMs);
        if (got == 0)
            continue;
        if (got < 0) {
            std::fprintf(session.log, "END %s\n", device::IoStatusName(got));
            std::fflush(session.log);
            return 0;
        }
        std::fprintf(session.log, "RX %s\n", Printable(line).c_str());
        std::fflush(session.log);
        ++lines;
        if (echo)
            link.Write(line + "\r\n", kWriteMs);
        if (!reply.empty())
            link.Write(reply + "\r\n", kWriteMs);
        if (cutAfter >= 0 && lines >= cutAfter) {
            link.DropLink();
            std::fprintf(session.log, "CUT\n");
            std::fflush(session.log);
        }
    }
}

}  // namespace tracora::emulate
