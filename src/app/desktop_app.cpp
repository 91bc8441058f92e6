#include "app/desktop_app.hpp"

#include <QApplication>
#include <QIcon>

#include <cstdlib>

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
        window.show();
        code = QApplication::exec();
    }
    jobs.WaitForJobEnd();
    return code;
}

}  // namespace tracora::app
