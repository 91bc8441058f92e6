// The window's own dialogs: the "New Track Log" choice, the split list, the rotation, a waypoint
// and the port.
#pragma once

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "core/host.hpp"
#include "core/track_log.hpp"
#include "device/port_names.hpp"

namespace tracora::app {

NewTrackChoice RunNewTrackLogDialog(QWidget* parent, const TrackLogSummary& current,
                                    const TrackLogSummary& incoming);
std::optional<std::vector<int>> RunSplitDialog(QWidget* parent, const SplitDialogRequest& request);
std::optional<RotateDialogResult> RunRotateDialog(QWidget* parent);
// Edits `waypoint` in place; false when cancelled. Typed positions that do not parse are
// reported and the dialog stays open.
bool RunWaypointDialog(QWidget* parent, const QString& title, Waypoint& waypoint);
// The port chooser: the machine's serial ports or a typed name ("COM3" or a device path).
std::optional<std::string> RunPortDialog(QWidget* parent, const std::string& current,
                                         const std::vector<device::SerialPortInfo>& ports);

// The position converter (`distance` false) or the distance calculator: typed positions in,
// the result shown in the dialog until it is closed.
void RunPositionToolDialog(QWidget* parent, bool distance);

}  // namespace tracora::app
