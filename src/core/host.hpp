// What the core needs from the program around it: message boxes, questions, dialogs, status
// lines, the clipboard and the main thread. The desktop program implements it with Qt, the
// headless program with the terminal, and tests with scripted answers.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tracora {

enum class Answer { kYes, kNo, kCancel };
enum class QuestionButtons { kYesNo, kYesNoCancel };

// The answers of the "Modify waypoint ID" question of a waypoint file read: convert this name,
// convert this and every later name of the file without asking, skip this waypoint, or give up
// the read.
enum class ModifyIdAnswer { kYes, kYesToAll, kNo, kCancel };

// The "New Track Log" dialog's choice.
enum class NewTrackChoice { kOverwrite, kAppend, kCancel };

// One side of the "New Track Log" dialog: first and last point and duration, already as text.
struct TrackLogSummary {
    std::string first;  // "2024-06-01  10:00:00"
    std::string last;
    std::string duration;  // "01:23:45"
};

// What the "Split Log" dialog shows.
struct SplitDialogRequest {
    std::string title;               // "Split track (...)"
    std::vector<std::string> parts;  // newest first, already formatted
};

// The positions typed into the "Rotate Track" dialog.
struct RotateDialogResult {
    std::string startLatitude, startLongitude, endLatitude, endLongitude;
};

// One file type of an open or save dialog: "IGC files" with the extension "igc".
struct FileFilter {
    std::string name;
    std::string extension;  // without the dot
};

struct FileDialogRequest {
    std::string title;
    std::vector<FileFilter> filters;
    int filterIndex = 1;  // 1-based, the type shown first
    std::filesystem::path folder;
    std::string proposedName;
};

struct FileDialogResult {
    std::filesystem::path path;
    int filterIndex = 1;  // 1-based index of the type the user chose
};

// Texts of a question's buttons in place of Yes, No and Cancel ("&Append", "&Overwrite",
// "&Cancel"); the answer still names the position of the button.
struct ButtonLabels {
    std::string yes, no, cancel;
};

class Host {
public:
    virtual ~Host() = default;

    // A message box with a title and a fixed text.
    virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
    // A question; a host that cannot ask answers with the safe choice (No, or Cancel).
    virtual Answer Ask(const std::string& title, const std::string& text,
                       QuestionButtons buttons) = 0;
    // A question whose buttons carry their own texts; a host without buttons asks as Ask does.
    virtual Answer AskLabelled(const std::string& title, const std::string& text,
                               QuestionButtons buttons, const ButtonLabels& labels) {
        (void)labels;
        return Ask(title, text, buttons);
    }
    // The "CTR error notification" box of an airspace read: `text` with a "Skip further
    // notifications" check box. True when the user ticked it (no further notification of this
    // read is shown). A host without that box shows a message.
    virtual bool ShowCtrNotification(const std::string& text) {
        ShowMessage("CTR error notification", text);
        return false;
    }
    // The "Modify waypoint ID" question for a name a waypoint file holds. A host without the
    // four-button dialog asks Yes, No or Cancel; one that cannot ask answers Cancel.
    virtual ModifyIdAnswer AskModifyWaypointId(const std::string& name) {
        switch (Ask("Modify waypoint ID", name + "\nModify (-> uppercase or truncate) this ID ?",
                    QuestionButtons::kYesNoCancel)) {
            case Answer::kYes:
                return ModifyIdAnswer::kYes;
            case Answer::kNo:
                return ModifyIdAnswer::kNo;
            case Answer::kCancel:
                break;
        }
        return ModifyIdAnswer::kCancel;
    }
    // The main window's status line and product line.
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetProductLine(const std::string& text) = 0;
    // A job's progress as a part `done` of a known `total` (a duration, a count), beside the
    // status line; a total of 0 ends the display. A host without a bar ignores it.
    virtual void SetProgress(long long done, long long total) {
        (void)done;
        (void)total;
    }

    virtual NewTrackChoice AskNewTrackLog(const TrackLogSummary& current,
                                          const TrackLogSummary& incoming) = 0;
    // The indexes (into request.parts) chosen, or nothing when cancelled. The dialog stays
    // open while nothing is selected, so a returned list is never empty.
    virtual std::optional<std::vector<int>> ChooseSplitParts(const SplitDialogRequest& request) = 0;
    // The "Select track" dialog of a file holding several tracks, each shown by the time of its
    // first point: the index chosen, or nothing when cancelled. A host without that dialog
    // offers the list of the "Split Log" dialog and takes the first part chosen.
    virtual std::optional<int> SelectTrack(const std::vector<std::string>& tracks) {
        SplitDialogRequest request;
        request.title = "Select track";
        request.parts = tracks;
        const std::optional<std::vector<int>> chosen = ChooseSplitParts(request);
        if (!chosen || chosen->empty()) {
            return std::nullopt;
        }
        return chosen->front();
    }
    // The typed positions, or nothing when cancelled.
    virtual std::optional<RotateDialogResult> AskRotation() = 0;

    // The open and save dialogs; nothing when cancelled.
    virtual std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) = 0;
    // An open dialog that takes several files; empty when cancelled. A host whose dialog takes
    // one file at a time gives that one.
    virtual std::vector<std::filesystem::path> OpenFilesDialog(const FileDialogRequest& request) {
        std::vector<std::filesystem::path> paths;
        if (auto chosen = OpenFileDialog(request)) {
            paths.push_back(std::move(chosen->path));
        }
        return paths;
    }

    // Puts plain text on the clipboard; false when the clipboard refused it.
    virtual bool SetClipboardText(const std::string& text) = 0;

    // Switches the main window's list to the track log.
    virtual void ShowTrackView() = 0;

    // Runs `task` later on the main thread (the completion message of a device job).
    virtual void PostToMain(std::function<void()> task) = 0;
};

}  // namespace tracora
