#include "automation/program_core.hpp"

#include <string>

#include "analysis/track_filters.hpp"
#include "formats/tnlog/tn_log.hpp"
#include "protocols/dispatch_table.hpp"

namespace tracora::automation {

SettingsFiles SettingsFiles::OfThisUser() {
    return {UserSettingsFile(), SystemSettingsFile()};
}

ProgramCore::ProgramCore(Host& host, const std::optional<SettingsFiles>& files)
    : host_(host),
      sink_(host),
      jobs_(protocols::GpsDispatchTable(), state_.trace, sink_, state_.busy),
      downloads_(state_, host, jobs_) {
    if (files) {
        settings_.emplace(files->user, files->system);
        settings_->Load(state_.settings, &host_);
        jobs_.SetPortTable(settings_->PortTable());
    }
    // The filters a downloaded track log goes through when the settings ask for them.
    state_.downloadFilters = analysis::MakeDownloadFilters(host_);
    // The Top Navigator's clock runs in local time; the offset the user set applies to every
    // download and log file of this run.
    tnlog::SetTnUtcOffset(state_.settings.utcOffsetForTn);
    jobs_.SetPortName(state_.settings.portName.empty() ? std::string("COM1")
                                                       : state_.settings.portName);
}

ProgramCore::~ProgramCore() {
    jobs_.WaitForJobEnd();
}

}  // namespace tracora::automation
