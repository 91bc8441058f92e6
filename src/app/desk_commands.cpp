// The competition desk's instrument commands of the main window: the waypoint upload (with the
// pilot's ID waypoints in competition mode), the offer to write the IDs to an instrument that
// carried none, and the LogIt's user name and product data.
#include <QDialog>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/competition_dialogs.hpp"
#include "app/instrument_dialogs.hpp"
#include "app/main_window.hpp"
#include "competition/pilot_id_upload.hpp"
#include "core/gps_types.hpp"
#include "core/time_base.hpp"
#include "documents/waypoint_commands.hpp"
#include "protocols/dispatch_table.hpp"

namespace tracora::app {

namespace {

device::JobStart JobOf(const Command& command) {
    device::JobStart start;
    start.function = command.job->function;
    start.protocol = command.job->protocol;
    start.parameter = command.job->parameter;
    return start;
}

// The names the menus give an instrument family, for a dialog's title.
std::vector<std::string> InstrumentNames(GpsProtocol protocol) {
    std::vector<std::string> names;
    for (const std::string_view name :
         GpsProtocols()[static_cast<std::size_t>(ProtocolNumber(protocol))].menuNames) {
        if (!name.empty()) {
            names.emplace_back(name);
        }
    }
    return names;
}

}  // namespace

void MainWindow::UploadWaypoints(const Command& command) {
    if (!command.job) {
        return;
    }
    std::vector<Waypoint> waypoints;
    for (const std::size_t row : SelectedRows()) {
        if (row < state_.waypoints.items.size()) {
            waypoints.push_back(state_.waypoints.items[row]);
        }
    }
    documents::PrepareUploadNames(CommandUploadMode(command), waypoints);
    std::string pilotName;
    if (state_.settings.compMode != 0) {
        UploadPilotDialog dialog(state_, host_, InstrumentNames(command.job->protocol), this);
        const bool accepted = dialog.exec() == QDialog::Accepted;
        RefreshLists();  // the dialog may have read a list or corrected a pilot's IDs
        if (!accepted) {
            return;
        }
        const CurrentPilot& chosen = dialog.Chosen();
        for (const Waypoint& id : competition::PilotIdWaypoints(chosen.competitionId, chosen.civlId,
                                                                dialog.WithNnn(), CurrentTime())) {
            waypoints.push_back(id);
        }
        pilotName = chosen.name;
    }
    if (waypoints.empty()) {
        host_.ShowMessage(documents::kUploadWaypointsTitle, "No waypoints selected");
        return;
    }
    device::JobStart start = JobOf(command);
    start.waypoints = std::move(waypoints);
    StartWaypointUpload(std::move(start), pilotName, {});
}

void MainWindow::UploadPilotIds() {
    competition::PilotIdUpload upload;
    if (!competition::PreparePilotIdUpload(state_, CurrentTime(), upload) ||
        !protocols::HasWorkingRoutine(device::AccessFunction::kWriteWaypoints, upload.protocol)) {
        return;
    }
    if (Busy()) {
        host_.ShowMessage(competition::kUploadPilotIdTitle, "Busy GPS driver");
        return;
    }
    if (!RunNoPilotIdDialog(this, upload)) {
        return;
    }
    device::JobStart start;
    start.function = device::AccessFunction::kWriteWaypoints;
    start.protocol = upload.protocol;
    start.parameter = upload.parameter;
    start.waypoints = std::move(upload.waypoints);
    StartWaypointUpload(std::move(start), upload.pilotName, upload.deviceId);
}

void MainWindow::StartWaypointUpload(device::JobStart start, const std::string& pilotName,
                                     const std::string& deviceId) {
    StartInstrumentJob(
        std::move(start),
        [pilotName, deviceId](const device::GpsAccessJob& job) -> std::function<void(MainWindow&)> {
            if (job.result < 0 || pilotName.empty()) {
                return nullptr;
            }
            std::string device = deviceId;
            if (device.empty()) {
                device = job.productText.empty() ? job.instrumentDescription : job.productText;
            }
            return [pilotName, device](MainWindow& window) {
                if (AssignDeviceToPilot(window.state_.pilotList, pilotName, device)) {
                    window.RefreshLists();
                }
            };
        });
}

void MainWindow::LogItName(const Command& command) {
    if (!command.job) {
        return;
    }
    const std::optional<std::string> name = RunGpsNameDialog(this);
    if (!name) {
        return;
    }
    device::JobStart start = JobOf(command);
    start.pilotName = *name;
    StartInstrumentJob(std::move(start));
}

void MainWindow::LogItProductData(const Command& command) {
    if (!command.job) {
        return;
    }
    StartInstrumentJob(JobOf(command),
                       [](const device::GpsAccessJob& job) -> std::function<void(MainWindow&)> {
                           if (job.result < 0) {
                               return nullptr;
                           }
                           return [fields = job.productFields](MainWindow& window) {
                               RunProductDataDialog(&window, fields);
                           };
                       });
}

}  // namespace tracora::app
