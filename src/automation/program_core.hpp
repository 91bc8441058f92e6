// The one place that wires what a run of the program shares, for the desktop window and the
// headless program alike: the state with its debug trace, the settings, the download filters,
// the device job layer over the dispatch table reporting to the host, and the download
// controller. A front end builds one ProgramCore and works through it, so none of them can
// leave a part out.
#pragma once

#include <filesystem>
#include <optional>

#include "automation/download_controller.hpp"
#include "core/app_state.hpp"
#include "core/host.hpp"
#include "core/settings.hpp"
#include "device/gps_job.hpp"

namespace tracora::automation {

// Where the settings are read from (and written to, by whoever saves them).
struct SettingsFiles {
    std::filesystem::path user;
    std::filesystem::path system;

    // The user's own file and the system-wide one.
    static SettingsFiles OfThisUser();
};

class ProgramCore {
public:
    // Reads the settings from `files` (reporting through `host`); without files the settings
    // keep their defaults and there is no store to save them to. `host` must outlive the core.
    ProgramCore(Host& host, const std::optional<SettingsFiles>& files);
    ProgramCore(const ProgramCore&) = delete;
    ProgramCore& operator=(const ProgramCore&) = delete;
    // Aborts a running job and waits for its worker before anything it uses goes away.
    ~ProgramCore();

    AppState& State() { return state_; }
    Host& GetHost() { return host_; }
    // Null when the core was built without settings files.
    SettingsStore* Settings() { return settings_ ? &*settings_ : nullptr; }
    device::JobLayer& Jobs() { return jobs_; }
    DownloadController& Downloads() { return downloads_; }

private:
    Host& host_;
    AppState state_;
    std::optional<SettingsStore> settings_;
    device::HostJobSink sink_;
    device::JobLayer jobs_;
    DownloadController downloads_;
};

}  // namespace tracora::automation
