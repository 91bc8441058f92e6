// The window's own dialogs: the "New Track Log" choice, the split list, the rotation, a waypoint
// and the port.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/host.hpp"
#include "core/track_log.hpp"
#include "device/port_names.hpp"
#include "device/usb_transport.hpp"
#include "documents/igc_commands.hpp"

namespace tracora::app {

NewTrackChoice RunNewTrackLogDialog(QWidget* parent, const TrackLogSummary& current,
                                    const TrackLogSummary& incoming);
std::optional<std::vector<int>> RunSplitDialog(QWidget* parent, const SplitDialogRequest& request);
std::optional<RotateDialogResult> RunRotateDialog(QWidget* parent);
// Edits `waypoint` in place; false when cancelled. Typed positions that do not parse are
// reported and the dialog stays open.
bool RunWaypointDialog(QWidget* parent, const QString& title, Waypoint& waypoint);
// "Set UTC offset for TN": the hours and the half hour of local time minus UTC. False when
// cancelled (`seconds` unchanged).
bool RunUtcOffsetDialog(QWidget* parent, int& seconds);
// The port chooser: the machine's serial ports and Garmin USB units (by bus address), or a
// typed name ("COM3", a device path or a bus address such as "001:005").
std::optional<std::string> RunPortDialog(QWidget* parent, const std::string& current,
                                         const std::vector<device::SerialPortInfo>& ports,
                                         const std::vector<device::UsbUnitInfo>& usbUnits = {});

// One field of a fields dialog: its label, its object name (for tests), its first text and the
// most characters it takes (0: no limit).
struct DialogField {
    QString label, name, initial;
    int maxLength = 0;
};

// A dialog of text fields: `accept` checks the typed texts, in the fields' order (and says why
// it refuses them); the dialog stays open until it accepts or the user cancels. False when
// cancelled.
bool RunFieldsDialog(QWidget* parent, const QString& title, const std::vector<DialogField>& fields,
                     const std::function<bool(const std::vector<QString>&)>& accept);

// A one-field dialog (its field named "value"): `accept` checks the typed text (and says why it
// refuses it); the dialog stays open until it accepts or the user cancels. False when cancelled.
bool RunTextValueDialog(QWidget* parent, const QString& title, const QString& label,
                        const QString& initial, const std::function<bool(const QString&)>& accept);

// The "Edit CTR" / "New CTR" dialog: the airspace's OpenAir text and its warning distance.
// `accept` checks both on OK (and says why it refuses); the dialog stays open until it accepts
// or the user cancels. False when cancelled.
bool RunCtrEditDialog(
    QWidget* parent, const QString& title, const QString& text, const QString& warning,
    const std::function<bool(const QString& text, const QString& warning)>& accept);
// "Save IGC track log from GPS": the flight number and the name style (long, short, or none:
// the two boxes exclude each other). `save` runs on Save and returns false to keep the dialog
// open after a refused value.
void RunRawIgcDialog(QWidget* parent, const igc::RawIgcSaveRequest& initial,
                     const std::function<bool(const igc::RawIgcSaveRequest&)>& save);

// The "IGC File Format" dialog over `values`; `save` runs on Save with the edited values and
// returns false to keep the dialog open.
void RunIgcFileDialog(QWidget* parent, const igc::IgcFileParameters& values,
                      const std::function<bool(const igc::IgcFileParameters&)>& save);

// The position converter (`distance` false) or the distance calculator: typed positions in,
// the result shown in the dialog until it is closed.
void RunPositionToolDialog(QWidget* parent, bool distance);

}  // namespace tracora::app
