// The "Server" dialog: started from the menu, its rows follow a remote desk's session, and its
// Close asks first.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QLineEdit>

#include "app/app_test_support.hpp"

namespace tracora::app {
namespace {

using test_support::Message;
using test_support::WaitUntil;
using test_support::WindowTest;

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

TEST_F(WindowTest, ServerDialogShowsTheSessionsOfRemoteDesks) {
    ASSERT_TRUE(window->RunCommand(40173));
    ServerDialog* dialog = window->Server();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->PortField()->text(), "61234");

    dialog->PortField()->setText("70000");
    dialog->StartServer();
    EXPECT_EQ(messages, (std::vector<Message>{{"Start server", "Port out of range"}}));
    dialog->PortField()->setText("0");
    dialog->StartServer();
    const int port = dialog->Server().Port();
    ASSERT_GT(port, 0);
    EXPECT_EQ(dialog->StatusText(), QString("Listening on port %1").arg(port));

    const int fd = Connect(port);
    ASSERT_TRUE(WaitUntil([&] { return dialog->Row(0).value(2) == "Waiting for command"; }));
    EXPECT_EQ(dialog->Row(0).value(0), "127.0.0.1");
    EXPECT_EQ(dialog->Row(0).value(3), "Active");
    // A command is answered while the window's event loop runs.
    const std::string command = std::string("$Tracora /gps=xctrainer /com=4") + '\0';
    ASSERT_EQ(::send(fd, command.data(), command.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(command.size()));
    std::string reply;
    ASSERT_TRUE(WaitUntil([&] {
        char bytes[256];
        const ssize_t got = ::recv(fd, bytes, sizeof bytes, MSG_DONTWAIT);
        if (got > 0)
            reply.append(bytes, static_cast<std::size_t>(got));
        return reply.find('\0') != std::string::npos;
    }));
    EXPECT_EQ(
        reply,
        std::string("$Tracora Error Decode network command\nGPS protocol not supported") + '\0');

    QDir().mkpath(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(dialog->grab().save(QStringLiteral(TRACORA_SCREENSHOT_DIR "/server.png")));

    // Hiding the dialog keeps the server; its Close asks first and ends the sessions.
    dialog->hide();
    ASSERT_TRUE(window->RunCommand(40173));
    EXPECT_EQ(window->Server(), dialog);
    EXPECT_TRUE(dialog->Server().Listening());
    answer = Answer::kNo;
    dialog->CloseServer();
    EXPECT_TRUE(dialog->Server().Listening());
    answer = Answer::kYes;
    dialog->CloseServer();
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions.back(),
              (Message{"Close server", "This will close any active connections"}));
    EXPECT_FALSE(dialog->Server().Listening());
    EXPECT_EQ(dialog->Row(0).value(2), "Closed");
    EXPECT_EQ(dialog->Row(0).value(3), "");
    char byte = 0;
    EXPECT_TRUE(WaitUntil([&] { return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0; }));
    ::close(fd);
}

}  // namespace
}  // namespace tracora::app
