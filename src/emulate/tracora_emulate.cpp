// tracora-emulate: plays an instrument on a pseudo-terminal, for trying the program without
// the instrument and for tests. Prints "PORT <path>" once the port can be opened.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/version.hpp"
#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"

namespace {

void PrintUsage(std::FILE* out) {
    std::fputs(
        "Usage: tracora-emulate [--link PATH] INSTRUMENT [OPTIONS]\n"
        "       tracora-emulate --list\n"
        "\n"
        "Creates a pseudo-terminal, prints \"PORT <path>\" and plays INSTRUMENT on it until\n"
        "interrupted. Give the path to tracora as /COM=<path>.\n"
        "\n"
        "  --link PATH    also make PATH a symbolic link to the port\n"
        "  --list         list the instruments and their options\n"
        "  -h, --help     show this help and exit\n"
        "  -V, --version  show the version and exit\n",
        out);
}

void ListEmulators() {
    for (const tracora::emulate::EmulatorEntry* entry : tracora::emulate::Emulators()) {
        std::printf("%.*s: %.*s\n%.*s", static_cast<int>(entry->name.size()), entry->name.data(),
                    static_cast<int>(entry->summary.size()), entry->summary.data(),
                    static_cast<int>(entry->usage.size()), entry->usage.data());
    }
    std::printf("\n%s", tracora::emulate::kKitUsage);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string linkPath;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with("-"); ++i) {
        if (args[i] == "-h" || args[i] == "--help") {
            PrintUsage(stdout);
            return 0;
        }
        if (args[i] == "-V" || args[i] == "--version") {
            std::printf("tracora-emulate %s\n", tracora::kVersion);
            return 0;
        }
        if (args[i] == "--list") {
            ListEmulators();
            return 0;
        }
        if (args[i] == "--link" && i + 1 < args.size()) {
            linkPath = args[++i];
            continue;
        }
        std::fprintf(stderr, "tracora-emulate: unknown option '%s'\n", args[i].c_str());
        PrintUsage(stderr);
        return 2;
    }
    if (i >= args.size()) {
        PrintUsage(stderr);
        return 2;
    }
    const tracora::emulate::EmulatorEntry* entry = tracora::emulate::FindEmulator(args[i]);
    if (entry == nullptr) {
        std::fprintf(stderr, "tracora-emulate: no instrument '%s' (see --list)\n", args[i].c_str());
        return 2;
    }

    // SIGINT and SIGTERM stop the emulator cleanly; one thread waits for them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    tracora::device::PseudoTerminal pty;
    if (pty.Open() != 0) {
        std::fprintf(stderr, "tracora-emulate: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
        std::filesystem::create_symlink(pty.SlavePath(), linkPath, ec);
        if (ec) {
            std::fprintf(stderr, "tracora-emulate: cannot link %s: %s\n", linkPath.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    tracora::device::EmulatorLink link(pty.TakeMaster());
    std::thread watcher([&signals, &link] {
        int signal = 0;
        if (sigwait(&signals, &signal) == 0 && signal != SIGUSR1)
            link.Stop();
    });

    std::printf("PORT %s\n", pty.SlavePath().c_str());
    std::fflush(stdout);
    tracora::emulate::EmulatorSession session{
        link, pty.SlaveFd(),
        std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()), stdout};
    const int result = entry->run(session);

    pthread_kill(watcher.native_handle(), SIGUSR1);
    watcher.join();
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
    }
    return result;
}
