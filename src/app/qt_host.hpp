// The core's host interface with Qt: message boxes, questions, dialogs, the status and product
// lines and the main thread. Calls that arrive on a device job's worker thread are queued to the
// main thread and never wait for it.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "core/host.hpp"

namespace tracora::app {

class QtHost : public QObject, public Host {
    Q_OBJECT
public:
    explicit QtHost(QObject* parent = nullptr);

    // The window the dialogs belong to.
    void SetWindow(QWidget* window) { window_ = window; }
    // Where the status and product lines and the track-view switch go (main thread).
    std::function<void(const QString&)> onStatus;
    std::function<void(long long done, long long total)> onProgress;
    std::function<void(const QString&)> onProductLine;
    std::function<void()> onShowTrackView;
    // Replace the message box, the question and the file dialogs (tests; a message arrives on
    // the main thread).
    std::function<void(const std::string& title, const std::string& text)> messageHook;
    std::function<Answer(const std::string& title, const std::string& text)> askHook;
    // Answers the "CTR error notification" box in tests: true ticks "Skip further
    // notifications".
    std::function<bool(const std::string& text)> notificationHook;
    std::function<std::optional<FileDialogResult>(const FileDialogRequest&)> openDialogHook;
    std::function<std::optional<FileDialogResult>(const FileDialogRequest&)> saveDialogHook;
    std::function<std::vector<std::filesystem::path>(const FileDialogRequest&)> openFilesHook;

    void ShowMessage(const std::string& title, const std::string& text) override;
    Answer Ask(const std::string& title, const std::string& text, QuestionButtons buttons) override;
    Answer AskLabelled(const std::string& title, const std::string& text, QuestionButtons buttons,
                       const ButtonLabels& labels) override;
    ModifyIdAnswer AskModifyWaypointId(const std::string& name) override;
    bool ShowCtrNotification(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void SetProductLine(const std::string& text) override;
    void SetProgress(long long done, long long total) override;
    NewTrackChoice AskNewTrackLog(const TrackLogSummary& current,
                                  const TrackLogSummary& incoming) override;
    std::optional<std::vector<int>> ChooseSplitParts(const SplitDialogRequest& request) override;
    std::optional<RotateDialogResult> AskRotation() override;
    std::optional<int> SelectTrack(const std::vector<std::string>& tracks) override;
    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override;
    std::vector<std::filesystem::path> OpenFilesDialog(const FileDialogRequest& request) override;
    bool SetClipboardText(const std::string& text) override;
    void ShowTrackView() override;
    void PostToMain(std::function<void()> task) override;

private:
    bool OnMainThread() const;
    // Runs `task` now on the main thread, or queues it there from another thread.
    void OnMain(std::function<void()> task);

    QPointer<QWidget> window_;
};

QString ToQString(const std::string& text);
std::string ToStdString(const QString& text);

// The "CTR error notification" box of an airspace read: the text, OK and the "Skip further
// notifications" check box (its checkBox()).
std::unique_ptr<QMessageBox> MakeCtrNotificationBox(QWidget* parent, const std::string& text);

}  // namespace tracora::app
