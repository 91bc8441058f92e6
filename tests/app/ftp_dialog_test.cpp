// The "Send track with FTP" dialog: its checks before anything is sent, the remembered values
// and the message of a failed upload. The uploads themselves are tested against a real FTP
// server in the remote tests.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>

#include "app/app_test_support.hpp"

namespace tracora::app {
namespace {

using test_support::Message;
using test_support::WaitUntil;
using test_support::WindowTest;

// A local port that nobody listens on: bound and closed again.
int UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST_F(WindowTest, FtpDialogChecksItsFieldsRemembersThemAndShowsTheFailure) {
    state.settings.ftpAddress = "ftp.example.org";
    state.settings.ftpUserId = "pilot";
    state.settings.ftpPassiveMode = 1;
    ASSERT_TRUE(window->RunCommand(40203));
    FtpDialog* dialog = window->Ftp();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->Field("server")->text(), "ftp.example.org");
    EXPECT_EQ(dialog->Field("user")->text(), "pilot");
    EXPECT_TRUE(dialog->PassiveBox()->isChecked());

    dialog->Send();
    EXPECT_EQ(messages, (std::vector<Message>{{"Send file", "Missing local file name"}}));
    dialog->Field("local")->setText("/tmp/track.igc");
    dialog->Field("server")->setText("");
    dialog->Send();
    EXPECT_EQ(messages.back(), (Message{"Send track with FTP", "Missing server name"}));

    const std::string server = "127.0.0.1:" + std::to_string(UnusedPort());
    dialog->Field("server")->setText(QString::fromStdString(server));
    dialog->Field("user")->setText("");
    dialog->Field("password")->setText("secret");
    dialog->Field("remote")->setText("today.igc");
    dialog->PassiveBox()->setChecked(false);
    bool finished = false;
    QObject::connect(dialog, &FtpDialog::SendFinished, [&finished] { finished = true; });
    dialog->Send();
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    EXPECT_EQ(messages.back(),
              (Message{"Send track with FTP", "InternetCheckConnection(): CANNOT_CONNECT"}));
    EXPECT_TRUE(dialog->SendButton()->isEnabled());

    QDir().mkpath(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(dialog->grab().save(QStringLiteral(TRACORA_SCREENSHOT_DIR "/ftp.png")));

    // Remembered: the server, the remote name and the mode; an empty user keeps the last one;
    // never the password.
    EXPECT_EQ(state.settings.ftpAddress, server);
    EXPECT_EQ(state.settings.ftpRemoteName, "today.igc");
    EXPECT_EQ(state.settings.ftpPassiveMode, 0);
    EXPECT_EQ(state.settings.ftpUserId, "pilot");
}

}  // namespace
}  // namespace tracora::app
