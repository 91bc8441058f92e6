// tracora-notify-listen: receives the notifications of a command-line request and prints them,
// for scripts that start the program and for tests.

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "notify/notify.hpp"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitTimedOut = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSocket = 3;
constexpr double kTimeoutMaxSeconds = 86400.0 * 365;

constexpr std::string_view kUsage =
    "Usage: tracora-notify-listen NAME|PATH [--count N] [--timeout SECONDS]\n"
    "\n"
    "Binds the notify socket of a command-line request and prints what arrives.\n"
    "NAME is resolved like the NOTIFY option: a value containing '/' is the socket's\n"
    "path, any other is $XDG_RUNTIME_DIR/tracora/notify-NAME.sock (/tmp when\n"
    "XDG_RUNTIME_DIR is unset). A missing folder is created with mode 0700.\n"
    "\n"
    "Output (stdout, flushed line by line):\n"
    "  READY <path>          once the socket is bound\n"
    "  <dwData>\\t<text>      one line per notification; in the text a backslash is\n"
    "                        shown as \\\\, a newline as \\n, a carriage return as \\r,\n"
    "                        a tab as \\t and other control bytes as \\xHH\n"
    "\n"
    "Options:\n"
    "  --count N             exit after N notifications\n"
    "  --timeout SECONDS     exit after this time (fractions allowed)\n"
    "  --help                show this text\n"
    "\n"
    "Exit status: 0 done (N notifications, or the timeout without --count),\n"
    "1 timeout before N notifications, 2 bad arguments, 3 socket error,\n"
    "128+n ended by signal n.\n";

struct Options {
    std::string target;
    long count = 0;  // 0: no limit
    std::optional<double> timeoutSeconds;
    bool help = false;
};

bool ParseCount(const char* text, long& out) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value <= 0) {
        return false;
    }
    out = value;
    return true;
}

bool ParseSeconds(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || value < 0 ||
        value > kTimeoutMaxSeconds) {
        return false;
    }
    out = value;
    return true;
}

// nullptr, or an error text for stderr.
const char* ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return nullptr;
        }
        std::string_view name = arg;
        const char* value = nullptr;
        if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            if (equals != std::string_view::npos) {
                name = arg.substr(0, equals);
                value = argv[i] + equals + 1;
            }
        }
        if (name == "--count" || name == "--timeout") {
            if (value == nullptr) {
                if (i + 1 >= argc) {
                    return "missing value";
                }
                value = argv[++i];
            }
            if (name == "--count") {
                if (!ParseCount(value, options.count)) {
                    return "--count needs a whole number above 0";
                }
            } else {
                double seconds = 0;
                if (!ParseSeconds(value, seconds)) {
                    return "--timeout needs a number of seconds, 0 or more";
                }
                options.timeoutSeconds = seconds;
            }
            continue;
        }
        if (arg.starts_with("-") && arg.size() > 1) {
            return "unknown option";
        }
        if (!options.target.empty()) {
            return "more than one socket given";
        }
        options.target = std::string(arg);
    }
    if (options.target.empty()) {
        return "no socket name or path given";
    }
    return nullptr;
}

const char* StatusText(int status) {
    switch (status) {
        case tracora::kNotifyPathTooLong:
            return "the path is too long for a socket";
        case tracora::kNotifyPathInUse:
            return "another listener, or a file that is not a socket, holds the path";
        case tracora::kNotifyFolderFailed:
            return "the socket's folder cannot be created";
        case tracora::kNotifyNoSocket:
            return "no socket could be created";
        default:
            return "the socket cannot be bound";
    }
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    constexpr char kHex[] = "0123456789abcdef";
                    out += "\\x";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

// The descriptor that delivers SIGINT, SIGTERM and SIGHUP; closed with its owner.
class SignalDescriptor {
public:
    explicit SignalDescriptor(const sigset_t& signals) : fd_(signalfd(-1, &signals, SFD_CLOEXEC)) {}
    SignalDescriptor(const SignalDescriptor&) = delete;
    SignalDescriptor& operator=(const SignalDescriptor&) = delete;
    ~SignalDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Fd() const { return fd_; }

private:
    int fd_;
};

bool PrintLine(const std::string& line) {
    return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() &&
           std::fflush(stdout) == 0;
}

int Run(const Options& options) {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    const std::string path =
        tracora::NotifySocketPath(options.target, runtimeDir != nullptr ? runtimeDir : "");

    // Signals arrive as a readable descriptor, so that the socket file is removed on the way out.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) {
        std::perror("tracora-notify-listen: sigprocmask");
        return kExitSocket;
    }
    const SignalDescriptor signalDescriptor(signals);
    const int signalFd = signalDescriptor.Fd();
    if (signalFd < 0) {
        std::perror("tracora-notify-listen: signalfd");
        return kExitSocket;
    }
    // A reader that goes away is a write error below, not the end of the process.
    std::signal(SIGPIPE, SIG_IGN);

    tracora::NotifyListener listener;
    const int status = listener.Open(path);
    if (status != 0) {
        std::fprintf(stderr, "tracora-notify-listen: %s: %s\n", path.c_str(), StatusText(status));
        return kExitSocket;
    }
    if (!PrintLine("READY " + path + "\n")) {
        return kExitSocket;
    }

    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline;
    if (options.timeoutSeconds.has_value()) {
        deadline = Clock::now() + std::chrono::ceil<Clock::duration>(
                                      std::chrono::duration<double>(*options.timeoutSeconds));
    }
    long received = 0;
    int exitCode = kExitOk;
    while (options.count == 0 || received < options.count) {
        int waitMs = -1;
        if (deadline.has_value()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0) {
                exitCode = options.count > 0 ? kExitTimedOut : kExitOk;
                break;
            }
            waitMs = static_cast<int>(left.count());
        }
        pollfd entries[2] = {{listener.Fd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
        const int ready = ::poll(entries, 2, waitMs);
        if (ready < 0 && errno != EINTR) {
            std::perror("tracora-notify-listen: poll");
            exitCode = kExitSocket;
            break;
        }
        if (ready <= 0) {
            continue;
        }
        if ((entries[1].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            const ssize_t size = ::read(signalFd, &info, sizeof info);
            exitCode = size == static_cast<ssize_t>(sizeof info)
                           ? 128 + static_cast<int>(info.ssi_signo)
                           : kExitSocket;
            break;
        }
        tracora::NotifyMessage message;
        const int got = listener.Receive(0, message);
        if (got == tracora::kNotifyMalformed) {
            std::fputs("tracora-notify-listen: a datagram shorter than 4 bytes was dropped\n",
                       stderr);
            continue;
        }
        if (got < 0) {
            std::fprintf(stderr, "tracora-notify-listen: receiving failed\n");
            exitCode = kExitSocket;
            break;
        }
        if (got == 0) {
            continue;
        }
        ++received;
        if (!PrintLine(std::to_string(message.dwData) + "\t" + Escape(message.text) + "\n")) {
            exitCode = kExitSocket;
            break;
        }
    }
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const char* error = ParseArguments(argc, argv, options)) {
        std::fprintf(stderr, "tracora-notify-listen: %s\n\n", error);
        std::fputs(std::string(kUsage).c_str(), stderr);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(std::string(kUsage).c_str(), stdout);
        return kExitOk;
    }
    return Run(options);
}
