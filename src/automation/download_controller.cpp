#include "automation/download_controller.hpp"

#include <utility>

#include "core/track_store.hpp"

namespace tracora::automation {

DownloadController::DownloadController(AppState& state, Host& host, device::JobLayer& jobs)
    : state_(state), host_(host), jobs_(jobs) {}

StartOutcome DownloadController::StartTrackLogDownload(device::JobStart start,
                                                       DownloadHooks hooks) {
    if (!PrepareTrackLogDownload(state_, host_)) {
        return StartOutcome::kRefused;
    }
    start.function = device::AccessFunction::kReadTrackLog;
    // Runs on the worker while the busy mark is set, so the store changes under it.
    start.completion = [this, ended = hooks.ended](device::GpsAccessJob& done) {
        if (TakeOverDownloadedTrackLog(state_, host_, done.result, std::move(done.track)) == 1) {
            // The pilot IDs the instrument's ID waypoints carried (-1 when it had none).
            state_.trackLog.compPilotId = done.competitionId;
            state_.trackLog.civlPilotId = done.civlId;
        }
        if (ended) {
            ended(done);
        }
    };
    return StartWith(std::move(start), hooks);
}

StartOutcome DownloadController::StartWaypointDownload(device::JobStart start,
                                                       DownloadHooks hooks) {
    start.function = device::AccessFunction::kReadWaypoints;
    start.completion = [this, ended = hooks.ended](device::GpsAccessJob& done) {
        const bool success = done.result >= 0;
        if (success) {
            state_.waypoints.items = std::move(done.waypoints);
        } else {
            state_.jobFailed = true;
        }
        PostJobEnd(state_, host_, success, false);
        if (ended) {
            ended(done);
        }
    };
    return StartWith(std::move(start), hooks);
}

StartOutcome DownloadController::Start(device::JobStart start) {
    return StartWith(std::move(start), {});
}

StartOutcome DownloadController::StartWith(device::JobStart start, const DownloadHooks& hooks) {
    if (hooks.starting) {
        hooks.starting();
    }
    state_.jobFailed = false;
    if (jobs_.StartGpsJob(std::move(start)) != 0) {
        // A transfer that could not even start must not end as a success.
        state_.jobFailed = true;
        return StartOutcome::kFailed;
    }
    waiting_ = true;
    return StartOutcome::kStarted;
}

void DownloadController::JobTaken() {
    jobs_.Join();
    waiting_ = false;
}

}  // namespace tracora::automation
