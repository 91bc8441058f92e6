#include "app/ftp_dialog.hpp"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <string>
#include <vector>

#include "app/qt_host.hpp"
#include "documents/track_documents.hpp"

namespace tracora::app {

FtpDialog::FtpDialog(AppState& state, QtHost& host, QWidget* parent)
    : QDialog(parent), state_(state), host_(host) {
    setWindowTitle("Send track with FTP");
    const Settings& settings = state_.settings;
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const auto field = [this, form](const char* label, const char* name, const std::string& text) {
        auto* edit = new QLineEdit(QString::fromStdString(text), this);
        edit->setObjectName(name);
        form->addRow(label, edit);
        return edit;
    };
    server_ = field("Server &address", "server", settings.ftpAddress);
    server_->setMaxLength(static_cast<int>(remote::kFtpServerLength));
    remote_ = field("&Remote file name", "remote", settings.ftpRemoteName);
    user_ = field("&User ID", "user", settings.ftpUserId);
    password_ = field("&Password", "password", "");
    password_->setEchoMode(QLineEdit::Password);
    passive_ = new QCheckBox("Passive &mode", this);
    passive_->setChecked(settings.ftpPassiveMode != 0);
    form->addRow("", passive_);
    local_ = new QLineEdit(this);
    local_->setObjectName("local");
    auto* localRow = new QHBoxLayout;
    localRow->addWidget(local_);
    auto* choose = new QPushButton("&Get file name", this);
    localRow->addWidget(choose);
    auto* localLabel = new QLabel("&Local file name", this);
    localLabel->setBuddy(local_);
    form->addRow(localLabel, localRow);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    send_ = buttons->addButton("&Send file", QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton("&Cancel", QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(choose, &QPushButton::clicked, this, &FtpDialog::ChooseLocalFile);
    connect(send_, &QPushButton::clicked, this, &FtpDialog::Send);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(520, sizeHint().height());
}

FtpDialog::~FtpDialog() {
    if (worker_.joinable())
        worker_.join();
}

QLineEdit* FtpDialog::Field(const QString& name) const {
    return findChild<QLineEdit*>(name);
}

void FtpDialog::ChooseLocalFile() {
    Settings& settings = state_.settings;
    FileDialogRequest request;
    request.title = "Select track for FTP";
    for (const TrackFileFormat& format : documents::ReadableTrackFormats())
        request.filters.push_back(format.filter);
    request.filterIndex = settings.ftpLocalFileExt > 0 ? settings.ftpLocalFileExt : 1;
    request.folder = settings.ftpLocalFolder;
    const auto chosen = host_.OpenFileDialog(request);
    if (!chosen)
        return;
    local_->setText(QString::fromStdString(chosen->path.string()));
    settings.ftpLocalFolder = chosen->path.parent_path().string();
    settings.ftpLocalFileExt = chosen->filterIndex;
}

void FtpDialog::Send() {
    if (worker_.joinable())
        return;
    const std::string local = local_->text().trimmed().toStdString();
    if (local.empty()) {
        host_.ShowMessage("Send file", "Missing local file name");
        return;
    }
    Settings& settings = state_.settings;
    settings.ftpPassiveMode = passive_->isChecked() ? 1 : 0;
    remote::FtpRequest request;
    request.server = server_->text().trimmed().toStdString();
    if (request.server.empty()) {
        host_.ShowMessage(remote::kFtpTitle, "Missing server name");
        return;
    }
    settings.ftpAddress = request.server;
    request.user = user_->text().trimmed().toStdString();
    if (!request.user.empty())
        settings.ftpUserId = request.user;
    request.password = password_->text().toStdString();
    request.remoteName = remote_->text().trimmed().toStdString();
    settings.ftpRemoteName = request.remoteName;
    request.passive = passive_->isChecked();
    request.localFile = local;

    send_->setEnabled(false);
    worker_ = std::thread([this, request] {
        std::string message;
        const int result = remote::SendFileWithFtp(request, message);
        QMetaObject::invokeMethod(
            this, [this, result, text = QString::fromStdString(message)] { Finish(result, text); },
            Qt::QueuedConnection);
    });
}

void FtpDialog::Finish(int result, const QString& message) {
    if (worker_.joinable())
        worker_.join();
    send_->setEnabled(true);
    // The dialog stays open for another try, or another file.
    host_.ShowMessage(remote::kFtpTitle, message.toStdString());
    emit SendFinished(result == 0);
}

}  // namespace tracora::app
