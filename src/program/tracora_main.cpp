// tracora: the program. Without a command line and with a display it opens the desktop window
// (in builds with Qt); a command line drives one transfer headless, and the exit code says
// whether it worked.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "automation/automation_parser.hpp"
#include "automation/automation_runner.hpp"
#include "automation/program_core.hpp"
#include "automation/remote_flights.hpp"
#include "competition/pilot_list_file.hpp"
#include "core/app_state.hpp"
#include "core/null_host.hpp"
#include "core/version.hpp"
#include "device/gps_job.hpp"
#include "headless/main_loop.hpp"
#include "headless/terminal_host.hpp"
#include "program/command_line_text.hpp"
#include "program/terminal_flight_chooser.hpp"
#include "protocols/dispatch_table.hpp"
#include "remote/command_server.hpp"
#include "remote/poll_loop.hpp"
#ifdef TRACORA_HAS_DESKTOP
#include "app/desktop_app.hpp"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: tracora [OPTION]...\n"
    "       tracora FILE\n"
    "\n"
    "Downloads from and uploads to flight instruments. Options are written /KEY or\n"
    "/KEY=VALUE; put a value with blanks in double quotes. A bare FILE is read as a\n"
    "track log.\n"
    "\n"
    "Instrument and port:\n"
    "  /GPS=TYPE         GARMIN, MLR, TOPNAV, LOGIT, IQCOMPEO, GRAVITER, MAGELLAN,\n"
    "                    XCTRAINER, XCT_MXP, FLYMASTER, DSX, MLRC, IQBASIC, MTK,\n"
    "                    LEONARDO, ASCENT, DIGIFLYAIR, SYRIDE\n"
    "  /COM=N|PATH       serial port: a COM number or a device path (/dev/ttyUSB0)\n"
    "  /USB              Garmin over USB\n"
    "  /TIMEOUT=SECONDS  attempts to open the port, one a second (default 30)\n"
    "\n"
    "What to do:\n"
    "  /IGC_LOG=DIR/|FILE  download the track log, save IGC (DIR/ generates the name)\n"
    "  /KML_LOG=FILE       download the track log, save KML\n"
    "  /OZI_LOG=FILE       download the track log, save an OziExplorer track\n"
    "  /MPS_LOG=FILE       download the track log, save MapSource\n"
    "  /TRACK=LIST         flight-list slots to download (0-based, comma separated)\n"
    "  /RD_WPT=FILE        download waypoints (OziExplorer); /RD_GEO_WPT=FILE (Geo)\n"
    "  /WR_WPT=FILE        upload a waypoint file; /WR_WPT2=FILE with ids in the names\n"
    "  /WR_CTR=FILE        upload OpenAir airspace\n"
    "  /FLIGHTLIST         read the flight list (needs /NOTIFY)\n"
    "  /LOGFILE=FILE       read a track log file\n"
    "\n"
    "Output and reporting:\n"
    "  /OVERWRITE        replace existing files    /EXIT      end when done\n"
    "  /NOTIFY=NAME|PATH  report progress to a datagram socket (see tracora-notify-listen)\n"
    "  /WIN=0            no window                 /NOSPLIT   never split the track\n"
    "  /PILOT=NAME  /ID=GLIDER  /SESSION=N  /SENDLOG=SECONDS\n"
    "\n"
    "Serving remote desks:\n"
    "  tracora --server PORT [--folder DIR]  take '$Tracora' download commands on TCP\n"
    "                    PORT (0: any free port) until SIGTERM; flights are saved as\n"
    "                    IGC in DIR (default: the IGC folder of the settings)\n"
    "\n"
    "  -h, --help        show this help and exit\n"
    "  -V, --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when the transfer worked, 1 when it failed, 2 when the command\n"
    "line could not be used.\n";

constexpr int kExitUsage = 2;

// Turns SIGINT and SIGTERM into an abort of the running job (or the end of the server). The
// signals are blocked in every thread; one thread waits for them.
class SignalWatcher {
public:
    SignalWatcher() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGUSR1);  // stops the watcher
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    }
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;
    ~SignalWatcher() {
        if (thread_.joinable()) {
            pthread_kill(thread_.native_handle(), SIGUSR1);
            thread_.join();
        }
    }

    // Calls `onSignal` on the watcher's thread for every SIGINT and SIGTERM.
    void Start(std::function<void()> onSignal) {
        thread_ = std::thread([this, onSignal = std::move(onSignal)] {
            for (;;) {
                int signal = 0;
                if (sigwait(&set_, &signal) != 0 || signal == SIGUSR1)
                    return;
                onSignal();
            }
        });
    }

private:
    sigset_t set_;
    std::thread thread_;
};

// The server's events on the terminal: its status and errors, and one line per session change.
class TerminalServerView : public tracora::remote::ServerView {
public:
    void ServerError(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    }
    void ServerStatus(const std::string& text) override {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    void SessionChanged(int slot, const tracora::remote::SessionRow& row) override {
        std::printf("Session %d (%s:%d): %s\n", slot + 1, row.peerAddress.c_str(), row.peerPort,
                    row.status.c_str());
        std::fflush(stdout);
    }
};

// tracora --server PORT [--folder DIR]: serves remote desks until SIGINT or SIGTERM, saving
// each downloaded flight in DIR (the settings' IGC folder by default).
int RunServer(int argc, char** argv) {
    std::string port = argc >= 3 ? argv[2] : "";
    std::optional<std::filesystem::path> folder;
    for (int i = 3; i < argc; i += 2) {
        if (std::strcmp(argv[i], "--folder") != 0 || i + 1 >= argc) {
            std::fputs("Usage: tracora --server PORT [--folder DIR]\n", stderr);
            return kExitUsage;
        }
        folder = argv[i + 1];
    }
    SignalWatcher signals;
    tracora::headless::MainLoop loop;
    tracora::headless::TerminalHost host(loop, tracora::headless::TerminalStreams::FromProcess());
    tracora::automation::ProgramCore core(host, tracora::automation::SettingsFiles::OfThisUser());
    if (!folder)
        folder = core.State().settings.igcDir;
    tracora::remote::PollLoop events;
    if (!events.Valid()) {
        std::fputs("tracora: cannot create the server's event loop\n", stderr);
        return 1;
    }
    TerminalServerView view;
    tracora::remote::ServerSetup setup;
    setup.table = &tracora::protocols::GpsDispatchTable();
    if (core.Settings() != nullptr)
        setup.ports = core.Settings()->PortTable();
    setup.keepFlight = [dir = *folder](tracora::device::GpsAccessJob& job) {
        return tracora::automation::SaveRemoteFlight(dir, job);
    };
    tracora::remote::CommandServer server(events, view, std::move(setup));
    if (server.Start(port) != 0)
        return 1;
    std::printf("Saving downloaded flights in %s\n", folder->string().c_str());
    std::fflush(stdout);
    signals.Start([&events] { events.Stop(); });
    events.Run();
    // The server's destructor aborts the running downloads and waits for them.
    return 0;
}

// Keeps the message of a pilot list read that runs before the terminal is set up.
class PilotListMessages : public tracora::NullHost {
public:
    void ShowMessage(const std::string& shownTitle, const std::string& shownText) override {
        title = shownTitle;
        text = shownText;
    }
    std::string title, text;
};

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe on stdout or stderr (`| head`) must not kill a running transfer: the
    // write fails and the program goes on.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0)) {
        std::printf("tracora %s\n", tracora::kVersion);
        return 0;
    }

    if (argc >= 2 && std::strcmp(argv[1], "--server") == 0) {
        return RunServer(argc, argv);
    }

    std::optional<tracora::AutomationRequest> request;
    const std::string line = tracora::CommandLineText(argc, argv);
    std::string parseError;
    tracora::NullHost quiet;  // the error is printed here, whatever the show state
    tracora::AutomationEnvironment environment = tracora::SystemAutomationEnvironment();
    // COMP_FS reads the pilot list while the line is parsed; a list that cannot be read ends
    // the run with the reader's message.
    tracora::PilotList commandLineList;
    environment.readPilotList = [&commandLineList](const std::string& file) {
        PilotListMessages messages;
        const int read =
            tracora::competition::ReadPilotListFile(messages, file, commandLineList, {});
        if (read < 0) {
            std::fprintf(stderr, "%s: %s\n", messages.title.c_str(), messages.text.c_str());
        }
        return read;
    };
    if (tracora::ParseCommandLine(line, quiet, environment, request, &parseError) != 0) {
        std::fprintf(stderr, "Parsing command line: %s\n", parseError.c_str());
        return kExitUsage;
    }
#ifdef TRACORA_HAS_DESKTOP
    // Without a command line the desktop window opens where a display exists; a command line
    // (with /WIN=0 or not) runs headless.
    if (!request && tracora::app::DisplayAvailable()) {
        return tracora::app::RunDesktop(argc, argv);
    }
#endif

    SignalWatcher signals;
    tracora::headless::MainLoop loop;
    tracora::headless::TerminalHost host(loop, tracora::headless::TerminalStreams::FromProcess());

    if (!request) {
#ifdef TRACORA_HAS_DESKTOP
        std::fputs(
            "tracora: no display for the desktop window; give a command line "
            "(see 'tracora --help')\n",
            stderr);
#else
        std::fputs(
            "tracora: the desktop window is not part of this build yet; give a command line "
            "(see 'tracora --help')\n",
            stderr);
#endif
        return kExitUsage;
    }

    // A run driven by a command line reads the settings and never writes them.
    tracora::automation::ProgramCore core(host, tracora::automation::SettingsFiles::OfThisUser());
    tracora::AppState& state = core.State();
    tracora::device::JobLayer& jobs = core.Jobs();
    state.automation = std::move(request);
    state.pilotList = std::move(commandLineList);
    tracora::automation::AutomationRunner runner(core);
    // On a terminal the user chooses the flights; a script's run takes the newest.
    if (::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1) {
        runner.SetFlightChooser(tracora::TerminalFlightChooser(stdin, stderr));
    }
    bool closing = false;
    state.onJobMessage = [&](tracora::JobMessage message, bool success) {
        if (message != tracora::JobMessage::kAutomationDone)
            return;
        runner.Complete(success);
        // Headless there is nothing to stay open for once the request is done.
        closing = true;
    };
    signals.Start([&loop, &jobs] {
        loop.Post([&jobs] {
            if (jobs.Running())
                jobs.AbortGpsJob();
        });
        if (!jobs.Running())
            loop.Quit(130);
    });

    if (runner.Run() == 0 && runner.Waiting()) {
        const int end =
            loop.RunUntil([&closing] { return closing; }, std::chrono::milliseconds(-1));
        if (end == tracora::headless::MainLoop::kQuit) {
            jobs.WaitForJobEnd();
            return loop.ExitCode();
        }
    }
    jobs.WaitForJobEnd();
    host.FinishStatusLine();
    return runner.ExitCode();
}
