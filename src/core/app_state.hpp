// The state the whole program shares: settings, the current track log and waypoint list, the
// device layer's busy mark and the active command-line request. One object, passed to whoever
// needs it.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/airspace.hpp"
#include "core/automation_request.hpp"
#include "core/debug_trace.hpp"
#include "core/pilot_list.hpp"
#include "core/settings.hpp"
#include "core/track_log.hpp"

namespace tracora {

// One part of a track found by the split check.
struct TrackSegment {
    std::size_t first = 0;
    std::size_t last = 0;
    bool selected = false;
};

// What the end of a device job tells the main thread.
enum class JobMessage {
    kAutomationDone = 1,   // a command-line request may write its output and exit
    kCompetitionSave = 2,  // competition mode saves its log
};

struct AppState {
    Settings settings = DefaultSettings();
    TrackLog trackLog;
    WaypointList waypoints;
    CtrList airspaces;
    // The competition roster and the pilot the current track log belongs to.
    PilotList pilotList;
    CurrentPilot pilot;
    // The largest distance, metres, of an airspace outline's chords from the true arc (for this
    // run of the program).
    int maxSegmentError = 10;

    // Set while a device job runs; every command that would replace the store is refused.
    std::atomic<bool> busy{false};
    // Set when the last device job ended with an error (the command line's exit code).
    std::atomic<bool> jobFailed{false};

    std::optional<AutomationRequest> automation;
    // The instrument family selected for device jobs, by its display name.
    std::string gpsTypeName;

    std::vector<TrackSegment> segments;  // rebuilt by every split check, at most 100
    DebugTrace trace;

    // Filters that the analysis adds to every downloaded track log when the download
    // filter is on (the vario filter and the speed analysis). Returns the new point count.
    std::function<void(std::vector<TrackPoint>&, const Settings&)> downloadFilters;
    // Receives the end-of-job message on the main thread.
    std::function<void(JobMessage, bool success)> onJobMessage;
};

}  // namespace tracora
