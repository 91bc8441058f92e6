#include "app/desktop_app.hpp"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include <cstdlib>
#include <memory>

#include "app/main_window.hpp"
#include "app/qt_host.hpp"
#include "core/app_state.hpp"
#include "core/settings.hpp"
#include "device/gps_job.hpp"
#include "protocols/dispatch_table.hpp"

namespace tracora::app {

namespace {

bool Named(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

bool DisplayAvailable() {
    return Named("DISPLAY") || Named("WAYLAND_DISPLAY");
}

int RunDesktop(int argc, char** argv) {
    // SIGINT and SIGTERM close the window as the Exit command does (the job is aborted and the
    // settings are saved). They are blocked before any thread starts and read from a
    // descriptor in the event loop.
    sigset_t closing;
    sigemptyset(&closing);
    sigaddset(&closing, SIGINT);
    sigaddset(&closing, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &closing, nullptr);
    const int signalFd = signalfd(-1, &closing, SFD_CLOEXEC | SFD_NONBLOCK);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tracora"));
    QApplication::setDesktopFileName(QStringLiteral("tracora"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tracora")));

    AppState state;
    QtHost host;
    SettingsStore settings(UserSettingsFile(), SystemSettingsFile());
    settings.Load(state.settings, &host);

    device::HostJobSink sink(host);
    device::JobLayer jobs(protocols::GpsDispatchTable(), state.trace, sink, state.busy);
    jobs.SetPortTable(settings.PortTable());
    jobs.SetPortName(state.settings.portName.empty() ? std::string("COM1")
                                                     : state.settings.portName);

    int code = 0;
    {
        MainWindow window(state, host, jobs, &settings);
        std::unique_ptr<QSocketNotifier> signalNotifier;
        if (signalFd >= 0) {
            signalNotifier = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
            QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &window,
                             [&window, signalFd] {
                                 signalfd_siginfo info{};
                                 while (::read(signalFd, &info, sizeof info) ==
                                        static_cast<ssize_t>(sizeof info)) {
                                 }
                                 window.close();
                             });
        }
        window.show();
        code = QApplication::exec();
    }
    jobs.WaitForJobEnd();
    if (signalFd >= 0) {
        ::close(signalFd);
    }
    return code;
}

}  // namespace tracora::app
