#include "app/server_dialog.hpp"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt_host.hpp"

namespace tracora::app {

QtEventSource::~QtEventSource() {
    for (auto& [fd, notifier] : notifiers_)
        delete notifier;
}

void QtEventSource::Watch(int fd, std::function<void()> onReady) {
    Unwatch(fd);
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this,
            [onReady = std::move(onReady)] { onReady(); });
    notifiers_[fd] = notifier;
}

void QtEventSource::Unwatch(int fd) {
    const auto found = notifiers_.find(fd);
    if (found == notifiers_.end())
        return;
    // It may be the notifier whose signal runs now: it goes when the event loop is back.
    found->second->setEnabled(false);
    found->second->deleteLater();
    notifiers_.erase(found);
}

void QtEventSource::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

ServerDialog::ServerDialog(QtHost& host, remote::ServerSetup setup, QWidget* parent)
    : QDialog(parent), host_(host) {
    setWindowTitle("Server");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    port_ = new QLineEdit(remote::CommandServer::kDefaultPort, this);
    port_->setMaxLength(10);
    form->addRow("Listen port", port_);
    form->addRow("", new QLabel("Use 0 to let the system choose", this));
    layout->addLayout(form);

    status_ = new QLabel(this);
    layout->addWidget(status_);
    sessions_ = new QTableWidget(remote::CommandServer::kSessions, 4, this);
    sessions_->setHorizontalHeaderLabels({"Address", "Port", "Status", ""});
    sessions_->horizontalHeader()->setStretchLastSection(true);
    sessions_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sessions_->setSelectionMode(QAbstractItemView::NoSelection);
    sessions_->setColumnWidth(0, 120);
    sessions_->setColumnWidth(2, 220);
    layout->addWidget(sessions_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* start = buttons->addButton("Start", QDialogButtonBox::AcceptRole);
    QPushButton* close = buttons->addButton("Close", QDialogButtonBox::DestructiveRole);
    QPushButton* hide = buttons->addButton("Hide", QDialogButtonBox::RejectRole);
    connect(start, &QPushButton::clicked, this, &ServerDialog::StartServer);
    connect(close, &QPushButton::clicked, this, &ServerDialog::CloseServer);
    connect(hide, &QPushButton::clicked, this, &QDialog::hide);
    layout->addWidget(buttons);
    resize(640, 500);

    server_ = std::make_unique<remote::CommandServer>(events_, *this, std::move(setup));
}

ServerDialog::~ServerDialog() {
    server_.reset();
}

QString ServerDialog::StatusText() const {
    return status_->text();
}

QStringList ServerDialog::Row(int slot) const {
    QStringList cells;
    for (int column = 0; column < 4; ++column) {
        const QTableWidgetItem* item = sessions_->item(slot, column);
        cells << (item != nullptr ? item->text() : QString());
    }
    return cells;
}

void ServerDialog::StartServer() {
    server_->Start(port_->text().trimmed().toStdString());
}

void ServerDialog::CloseServer() {
    if (host_.Ask("Close server", "This will close any active connections",
                  QuestionButtons::kYesNo) != Answer::kYes)
        return;
    server_->Close();
}

void ServerDialog::ServerError(const std::string& title, const std::string& text) {
    host_.ShowMessage(title, text);
}

void ServerDialog::ServerStatus(const std::string& text) {
    status_->setText(QString::fromStdString(text));
}

void ServerDialog::SessionChanged(int slot, const remote::SessionRow& row) {
    const QString cells[] = {QString::fromStdString(row.peerAddress), QString::number(row.peerPort),
                             QString::fromStdString(row.status),
                             row.active ? QStringLiteral("Active") : QString()};
    for (int column = 0; column < 4; ++column)
        sessions_->setItem(slot, column, new QTableWidgetItem(cells[column]));
}

}  // namespace tracora::app
