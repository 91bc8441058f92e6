// Starts the device jobs of every front end (the desktop window, the command-line runner, a
// remote command server): the track log and waypoint downloads with the completion routine that
// hands their result to the store, and any other job, and keeps the mark that a job started
// here has not been taken back by its owner yet.
#pragma once

#include <functional>

#include "core/app_state.hpp"
#include "core/host.hpp"
#include "device/gps_job.hpp"

namespace tracora::automation {

// What the owner of a download adds to it.
struct DownloadHooks {
    // On the caller's thread, once the download goes ahead and just before its job starts:
    // the store is about to change under the worker (a window detaches its lists here).
    std::function<void()> starting;
    // On the worker, after the store has taken the result (a window posts its end here).
    std::function<void(device::GpsAccessJob&)> ended;
};

enum class StartOutcome {
    kStarted,
    kRefused,  // the user or the busy rule said no; nothing was started
    kFailed,   // the device layer could not start the job (reported; the job counts as failed)
};

class DownloadController {
public:
    DownloadController(AppState& state, Host& host, device::JobLayer& jobs);

    // A track log download: asks before an unsaved log is replaced, clears the log and
    // starts the job; its completion hands the log to the store, through the timestamp filter
    // and the download filters when the settings ask for them. `start` carries the instrument
    // and its options; the function and the completion are set here.
    StartOutcome StartTrackLogDownload(device::JobStart start, DownloadHooks hooks = {});
    // A waypoint download: its completion replaces the waypoint list when the job worked.
    StartOutcome StartWaypointDownload(device::JobStart start, DownloadHooks hooks = {});
    // Any other job, with the completion `start` brings.
    StartOutcome Start(device::JobStart start);

    // A job started here has not been taken back yet (its end may not have reached the owner).
    bool Waiting() const { return waiting_; }
    // On the owner's thread once the job's end has reached it: waits for the worker to be
    // gone, so that the store may be used again, and clears the mark.
    void JobTaken();

private:
    StartOutcome StartWith(device::JobStart start, const DownloadHooks& hooks);

    AppState& state_;
    Host& host_;
    device::JobLayer& jobs_;
    bool waiting_ = false;
};

}  // namespace tracora::automation
