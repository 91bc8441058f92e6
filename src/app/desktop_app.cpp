#include "app/desktop_app.hpp"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/closing_signals.hpp"
#include "app/main_window.hpp"
#include "app/qt_host.hpp"
#include "automation/program_core.hpp"

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
    const ClosingSignals closingSignals;
    if (closingSignals.Descriptor() < 0) {
        // The signals keep their default action: they end the program at once.
        std::fprintf(stderr,
                     "tracora: SIGINT and SIGTERM will end the program at once, without saving "
                     "the settings (signalfd: %s)\n",
                     std::strerror(closingSignals.Error()));
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tracora"));
    QApplication::setDesktopFileName(QStringLiteral("tracora"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tracora")));

    QtHost host;
    automation::ProgramCore core(host, automation::SettingsFiles::OfThisUser());

    int code = 0;
    {
        MainWindow window(core, host);
        std::unique_ptr<QSocketNotifier> signalNotifier;
        if (closingSignals.Descriptor() >= 0) {
            signalNotifier = std::make_unique<QSocketNotifier>(closingSignals.Descriptor(),
                                                               QSocketNotifier::Read);
            QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &window,
                             [&window, &closingSignals] {
                                 closingSignals.Drain();
                                 window.CloseWithoutQuestions();
                             });
        }
        window.show();
        code = QApplication::exec();
    }
    core.Jobs().WaitForJobEnd();
    return code;
}

}  // namespace tracora::app
