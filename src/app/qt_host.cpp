#include "app/qt_host.hpp"

#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "app/dialogs.hpp"
#include "app/track_file_dialogs.hpp"

namespace tracora::app {

QString ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

namespace {

// "IGC files (*.igc)" lines of a file dialog.
QString FilterText(const std::vector<FileFilter>& filters) {
    QStringList parts;
    for (const FileFilter& filter : filters) {
        parts
            << QStringLiteral("%1 (*.%2)").arg(ToQString(filter.name), ToQString(filter.extension));
    }
    return parts.join(QStringLiteral(";;"));
}

QString InitialFilter(const FileDialogRequest& request) {
    const auto index = static_cast<std::size_t>(request.filterIndex - 1);
    if (request.filterIndex < 1 || index >= request.filters.size()) {
        return {};
    }
    const FileFilter& filter = request.filters[index];
    return QStringLiteral("%1 (*.%2)").arg(ToQString(filter.name), ToQString(filter.extension));
}

int ChosenIndex(const FileDialogRequest& request, const QString& chosen) {
    for (std::size_t i = 0; i < request.filters.size(); ++i) {
        const FileFilter& filter = request.filters[i];
        if (chosen ==
            QStringLiteral("%1 (*.%2)").arg(ToQString(filter.name), ToQString(filter.extension))) {
            return static_cast<int>(i) + 1;
        }
    }
    return request.filterIndex;
}

}  // namespace

QtHost::QtHost(QObject* parent) : QObject(parent) {}

bool QtHost::OnMainThread() const {
    return QThread::currentThread() == thread();
}

void QtHost::OnMain(std::function<void()> task) {
    if (OnMainThread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void QtHost::ShowMessage(const std::string& title, const std::string& text) {
    OnMain([this, title, text] {
        if (messageHook) {
            messageHook(title, text);
            return;
        }
        QMessageBox::warning(window_, ToQString(title), ToQString(text));
    });
}

Answer QtHost::Ask(const std::string& title, const std::string& text, QuestionButtons buttons) {
    // A question needs the user: from a worker thread it gets the safe answer.
    const Answer safe = buttons == QuestionButtons::kYesNo ? Answer::kNo : Answer::kCancel;
    if (!OnMainThread()) {
        return safe;
    }
    if (askHook) {
        return askHook(title, text);
    }
    QMessageBox::StandardButtons choices = QMessageBox::Yes | QMessageBox::No;
    if (buttons == QuestionButtons::kYesNoCancel) {
        choices |= QMessageBox::Cancel;
    }
    switch (QMessageBox::question(window_, ToQString(title), ToQString(text), choices)) {
        case QMessageBox::Yes:
            return Answer::kYes;
        case QMessageBox::No:
            return Answer::kNo;
        default:
            return safe;
    }
}

Answer QtHost::AskLabelled(const std::string& title, const std::string& text,
                           QuestionButtons buttons, const ButtonLabels& labels) {
    const Answer safe = buttons == QuestionButtons::kYesNo ? Answer::kNo : Answer::kCancel;
    if (!OnMainThread()) {
        return safe;
    }
    if (askHook) {
        return askHook(title, text);
    }
    QMessageBox box(QMessageBox::Question, ToQString(title), ToQString(text), QMessageBox::NoButton,
                    window_);
    QPushButton* yes = box.addButton(ToQString(labels.yes), QMessageBox::YesRole);
    QPushButton* no = box.addButton(ToQString(labels.no), QMessageBox::NoRole);
    if (buttons == QuestionButtons::kYesNoCancel) {
        box.setEscapeButton(box.addButton(ToQString(labels.cancel), QMessageBox::RejectRole));
    } else {
        box.setEscapeButton(no);
    }
    box.exec();
    if (box.clickedButton() == yes) {
        return Answer::kYes;
    }
    if (box.clickedButton() == no) {
        return Answer::kNo;
    }
    return safe;
}

bool QtHost::ShowCtrNotification(const std::string& text) {
    if (!OnMainThread()) {
        return true;
    }
    if (notificationHook) {
        return notificationHook(text);
    }
    const std::unique_ptr<QMessageBox> box = MakeCtrNotificationBox(window_, text);
    box->exec();
    return box->checkBox()->isChecked();
}

std::unique_ptr<QMessageBox> MakeCtrNotificationBox(QWidget* parent, const std::string& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning,
                                             QStringLiteral("CTR error notification"),
                                             ToQString(text), QMessageBox::Ok, parent);
    box->setCheckBox(new QCheckBox(QStringLiteral("&Skip further notifications"), box.get()));
    return box;
}

ModifyIdAnswer QtHost::AskModifyWaypointId(const std::string& name) {
    if (!OnMainThread()) {
        return ModifyIdAnswer::kCancel;
    }
    if (askHook) {
        // Tests script the four answers through the Yes/No/Cancel hook: Yes, No, Cancel.
        switch (askHook("Modify waypoint ID", name)) {
            case Answer::kYes:
                return ModifyIdAnswer::kYes;
            case Answer::kNo:
                return ModifyIdAnswer::kNo;
            case Answer::kCancel:
                return ModifyIdAnswer::kCancel;
        }
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Modify waypoint ID"),
                    ToQString(name + "\nModify (-> uppercase or truncate) this ID ?"),
                    QMessageBox::NoButton, window_);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* all = box.addButton(QStringLiteral("Yes to &All"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No (skip)"), QMessageBox::NoRole);
    box.setEscapeButton(box.addButton(QStringLiteral("&Cancel"), QMessageBox::RejectRole));
    box.setDefaultButton(yes);
    box.exec();
    if (box.clickedButton() == yes) {
        return ModifyIdAnswer::kYes;
    }
    if (box.clickedButton() == all) {
        return ModifyIdAnswer::kYesToAll;
    }
    if (box.clickedButton() == no) {
        return ModifyIdAnswer::kNo;
    }
    return ModifyIdAnswer::kCancel;
}

void QtHost::SetStatus(const std::string& text) {
    OnMain([this, text] {
        if (onStatus) {
            onStatus(ToQString(text));
        }
    });
}

void QtHost::SetProgress(long long done, long long total) {
    OnMain([this, done, total] {
        if (onProgress) {
            onProgress(done, total);
        }
    });
}

void QtHost::SetProductLine(const std::string& text) {
    OnMain([this, text] {
        if (onProductLine) {
            onProductLine(ToQString(text));
        }
    });
}

NewTrackChoice QtHost::AskNewTrackLog(const TrackLogSummary& current,
                                      const TrackLogSummary& incoming) {
    if (!OnMainThread()) {
        return NewTrackChoice::kCancel;
    }
    return RunNewTrackLogDialog(window_, current, incoming);
}

std::optional<std::vector<int>> QtHost::ChooseSplitParts(const SplitDialogRequest& request) {
    if (!OnMainThread()) {
        return std::nullopt;
    }
    return RunSplitDialog(window_, request);
}

std::optional<RotateDialogResult> QtHost::AskRotation() {
    if (!OnMainThread()) {
        return std::nullopt;
    }
    return RunRotateDialog(window_);
}

std::optional<int> QtHost::SelectTrack(const std::vector<std::string>& tracks) {
    if (!OnMainThread()) {
        return std::nullopt;
    }
    return RunSelectTrackDialog(window_, tracks);
}

std::optional<FileDialogResult> QtHost::OpenFileDialog(const FileDialogRequest& request) {
    if (!OnMainThread()) {
        return std::nullopt;
    }
    if (openDialogHook) {
        return openDialogHook(request);
    }
    QString chosenFilter = InitialFilter(request);
    const QString path = QFileDialog::getOpenFileName(window_, ToQString(request.title),
                                                      ToQString(request.folder.string()),
                                                      FilterText(request.filters), &chosenFilter);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return FileDialogResult{std::filesystem::path(ToStdString(path)),
                            ChosenIndex(request, chosenFilter)};
}

std::optional<FileDialogResult> QtHost::SaveFileDialog(const FileDialogRequest& request) {
    if (!OnMainThread()) {
        return std::nullopt;
    }
    if (saveDialogHook) {
        return saveDialogHook(request);
    }
    QString chosenFilter = InitialFilter(request);
    const std::filesystem::path proposed = request.folder / request.proposedName;
    // The core asks its own overwrite question, after the dialog.
    const QString path = QFileDialog::getSaveFileName(
        window_, ToQString(request.title), ToQString(proposed.string()),
        FilterText(request.filters), &chosenFilter, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return FileDialogResult{std::filesystem::path(ToStdString(path)),
                            ChosenIndex(request, chosenFilter)};
}

std::vector<std::filesystem::path> QtHost::OpenFilesDialog(const FileDialogRequest& request) {
    std::vector<std::filesystem::path> paths;
    if (!OnMainThread()) {
        return paths;
    }
    if (openFilesHook) {
        return openFilesHook(request);
    }
    QString chosenFilter = InitialFilter(request);
    const QStringList chosen = QFileDialog::getOpenFileNames(
        window_, ToQString(request.title), ToQString(request.folder.string()),
        FilterText(request.filters), &chosenFilter);
    for (const QString& path : chosen) {
        paths.emplace_back(ToStdString(path));
    }
    return paths;
}

bool QtHost::SetClipboardText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        return false;
    }
    clipboard->setText(ToQString(text));
    return true;
}

void QtHost::ShowTrackView() {
    OnMain([this] {
        if (onShowTrackView) {
            onShowTrackView();
        }
    });
}

void QtHost::PostToMain(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

}  // namespace tracora::app
