// "Send track with FTP": one local file to an FTP server. The server, remote name, user and
// passive mode are remembered in the settings; the password is typed each time and never
// kept. The upload runs on a thread of its own so that the window stays alive meanwhile.
#pragma once

#include <QDialog>

#include <thread>

#include "core/app_state.hpp"
#include "remote/ftp_upload.hpp"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tracora::app {

class QtHost;

class FtpDialog : public QDialog {
    Q_OBJECT
public:
    FtpDialog(AppState& state, QtHost& host, QWidget* parent = nullptr);
    // Waits for an upload that still runs (it ends by its time-out at the latest).
    ~FtpDialog() override;

    QLineEdit* Field(const QString& name) const;
    QCheckBox* PassiveBox() const { return passive_; }
    QPushButton* SendButton() const { return send_; }
    bool Sending() const { return worker_.joinable(); }

    // "&Get file name" and "&Send file" as their buttons do.
    void ChooseLocalFile();
    void Send();

signals:
    // An upload has ended and its message was shown.
    void SendFinished(bool success);

private:
    void Finish(int result, const QString& message);

    AppState& state_;
    QtHost& host_;
    QLineEdit* server_ = nullptr;
    QLineEdit* remote_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* local_ = nullptr;
    QCheckBox* passive_ = nullptr;
    QPushButton* send_ = nullptr;
    std::thread worker_;
};

}  // namespace tracora::app
