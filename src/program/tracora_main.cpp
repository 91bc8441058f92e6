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
#include <optional>
#include <string>
#include <thread>

#include "automation/automation_parser.hpp"
#include "automation/automation_runner.hpp"
#include "automation/program_core.hpp"
#include "core/app_state.hpp"
#include "core/null_host.hpp"
#include "core/version.hpp"
#include "device/gps_job.hpp"
#include "headless/main_loop.hpp"
#include "headless/terminal_host.hpp"
#include "program/command_line_text.hpp"
#include "program/terminal_flight_chooser.hpp"
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
    "  -h, --help        show this help and exit\n"
    "  -V, --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when the transfer worked, 1 when it failed, 2 when the command\n"
    "line could not be used.\n";

constexpr int kExitUsage = 2;

// Turns SIGINT and SIGTERM into an abort of the running job, delivered on the main loop.
// The signals are blocked in every thread; one thread waits for them.
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

    void Start(tracora::headless::MainLoop& loop, tracora::device::JobLayer& jobs) {
        thread_ = std::thread([this, &loop, &jobs] {
            for (;;) {
                int signal = 0;
                if (sigwait(&set_, &signal) != 0 || signal == SIGUSR1)
                    return;
                loop.Post([&jobs] {
                    if (jobs.Running())
                        jobs.AbortGpsJob();
                });
                if (!jobs.Running())
                    loop.Quit(130);
            }
        });
    }

private:
    sigset_t set_;
    std::thread thread_;
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

    std::optional<tracora::AutomationRequest> request;
    const std::string line = tracora::CommandLineText(argc, argv);
    std::string parseError;
    tracora::NullHost quiet;  // the error is printed here, whatever the show state
    if (tracora::ParseCommandLine(line, quiet, tracora::SystemAutomationEnvironment(), request,
                                  &parseError) != 0) {
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
    signals.Start(loop, jobs);

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
