// The "Server" dialog: starts and closes the TCP command server that lets a competition desk's
// software start downloads, and shows its sessions. The server lives as long as the dialog;
// the window hides the dialog rather than closing it, so the sessions go on.
#pragma once

#include <QDialog>

#include <map>
#include <memory>

#include "remote/command_server.hpp"
#include "remote/event_source.hpp"

class QLabel;
class QLineEdit;
class QSocketNotifier;
class QTableWidget;

namespace tracora::app {

class QtHost;

// Socket events and posted tasks through the Qt event loop.
class QtEventSource : public QObject, public remote::EventSource {
    Q_OBJECT
public:
    using QObject::QObject;
    ~QtEventSource() override;
    void Watch(int fd, std::function<void()> onReady) override;
    void Unwatch(int fd) override;
    void Post(std::function<void()> task) override;

private:
    std::map<int, QSocketNotifier*> notifiers_;
};

class ServerDialog : public QDialog, public remote::ServerView {
    Q_OBJECT
public:
    ServerDialog(QtHost& host, remote::ServerSetup setup, QWidget* parent = nullptr);
    ~ServerDialog() override;

    QLineEdit* PortField() const { return port_; }
    QString StatusText() const;
    // The cells of a session's row: address, port, status, "Active".
    QStringList Row(int slot) const;
    remote::CommandServer& Server() { return *server_; }
    // "Start" and "Close" as their buttons do; Close asks first.
    void StartServer();
    void CloseServer();

    void ServerError(const std::string& title, const std::string& text) override;
    void ServerStatus(const std::string& text) override;
    void SessionChanged(int slot, const remote::SessionRow& row) override;

private:
    QtHost& host_;
    QtEventSource events_;
    QLineEdit* port_ = nullptr;
    QLabel* status_ = nullptr;
    QTableWidget* sessions_ = nullptr;
    // Last: it goes first, while the events and the widgets it reports to still exist.
    std::unique_ptr<remote::CommandServer> server_;
};

}  // namespace tracora::app
