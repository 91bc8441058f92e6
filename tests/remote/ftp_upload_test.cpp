// The FTP upload against a real FTP server (Debian's pyftpdlib, tools/ftp_test_server.py) on
// 127.0.0.1: passive and active mode, the login and permission failures with their texts.
#include "remote/ftp_upload.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/file_io.hpp"

extern char** environ;

namespace tracora::remote {
namespace {

namespace fs = std::filesystem;

TEST(FtpTargetOf, AddsTheWebPrefixForTheCheckAndStripsItForTheConnection) {
    struct Case {
        std::string server, url, host;
    };
    const Case cases[] = {
        {"ftp.example.org", "http://ftp.example.org", "ftp.example.org"},
        {"ftp.example.org:2121", "http://ftp.example.org:2121", "ftp.example.org:2121"},
        {"http://ftp.example.org", "http://ftp.example.org", "ftp.example.org"},
        {"http://ftp.example.org:2121/", "http://ftp.example.org:2121/", "ftp.example.org:2121"},
    };
    for (const Case& c : cases) {
        const FtpTarget target = FtpTargetOf(c.server);
        EXPECT_EQ(target.url, c.url) << c.server;
        EXPECT_EQ(target.host, c.host) << c.server;
    }
    // Only the first 199 characters of the field count.
    EXPECT_EQ(FtpTargetOf(std::string(250, 'a')).host.size(), 199u);
}

class FtpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(served);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string script =
            (fs::path(TRACORA_FIXTURES_DIR) / ".." / ".." / "tools" / "ftp_test_server.py")
                .string();
        std::string python = "/usr/bin/python3";
        std::string folder = served.string();
        char* argv[] = {python.data(), const_cast<char*>(script.c_str()), folder.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid, python.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // The server says its port once it listens.
        std::string said;
        pollfd wait{out[0], POLLIN, 0};
        while (said.find('\n') == std::string::npos && ::poll(&wait, 1, 60'000) > 0) {
            char bytes[64];
            const ssize_t got = ::read(out[0], bytes, sizeof bytes);
            if (got <= 0)
                break;
            said.append(bytes, static_cast<std::size_t>(got));
        }
        ::close(out[0]);
        ASSERT_TRUE(said.starts_with("PORT ")) << "the FTP test server did not start: " << said;
        port = std::stoi(said.substr(5));
        std::ofstream(local, std::ios::binary) << track;
    }
    void TearDown() override {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        fs::remove_all(root);
    }

    FtpRequest Request(const std::string& user, const std::string& password) const {
        FtpRequest request;
        request.server = "127.0.0.1:" + std::to_string(port);
        request.user = user;
        request.password = password;
        request.localFile = local;
        request.remoteName = "2024-10-07 flight.igc";
        request.timeoutSeconds = 60;
        return request;
    }

    std::string Served(const std::string& name) const {
        std::string text;
        EXPECT_EQ(ReadWholeFile(served / name, text), FileReadStatus::kOk) << name;
        return text;
    }

    fs::path root = fs::temp_directory_path() / ("tracora-ftp-" + std::to_string(::getpid()));
    fs::path served = root / "served";
    fs::path local = root / "track.igc";
    // Binary content: CR LF and a zero byte must arrive unchanged.
    const std::string track = std::string("AXTR001\r\nB1034115012954N\r\n") + '\0' + "\xff\n";
    pid_t pid = -1;
    int port = 0;
};

TEST_F(FtpServerTest, PassiveAndActiveUploadsArriveByteForByte) {
    std::string message;
    EXPECT_EQ(SendFileWithFtp(Request("pilot", "secret"), message), 0) << message;
    EXPECT_EQ(message, "File sent");
    EXPECT_EQ(Served("2024-10-07 flight.igc"), track);

    // Active mode, an empty password, and a server text with the web prefix.
    FtpRequest active = Request("guest", "");
    active.passive = false;
    active.server = "http://" + active.server;
    active.remoteName = "active.igc";
    EXPECT_EQ(SendFileWithFtp(active, message), 0) << message;
    EXPECT_EQ(Served("active.igc"), track);

    // Without a remote name the file keeps its own.
    FtpRequest unnamed = Request("pilot", "secret");
    unnamed.remoteName.clear();
    EXPECT_EQ(SendFileWithFtp(unnamed, message), 0) << message;
    EXPECT_EQ(Served("track.igc"), track);
}

TEST_F(FtpServerTest, FailuresNameTheStepAndTheServersReply) {
    std::string message;
    EXPECT_EQ(SendFileWithFtp(Request("pilot", "wrong"), message), -1);
    EXPECT_EQ(message, "InternetConnect(): LOGIN_FAILURE");

    EXPECT_EQ(SendFileWithFtp(Request("reader", "secret"), message), -1);
    EXPECT_TRUE(message.starts_with("FtpPutFile(): EXTENDED_ERROR\n550 ")) << message;

    FtpRequest missing = Request("pilot", "secret");
    missing.localFile = root / "none.igc";
    EXPECT_EQ(SendFileWithFtp(missing, message), -1);
    EXPECT_EQ(message, "Cannot open " + missing.localFile.string() + ": No such file or directory");

    FtpRequest noServer = Request("pilot", "secret");
    noServer.server.clear();
    EXPECT_EQ(SendFileWithFtp(noServer, message), -1);
    EXPECT_EQ(message, "Missing server name");

    // Nobody listens there once the server is gone.
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
    EXPECT_EQ(SendFileWithFtp(Request("pilot", "secret"), message), -1);
    EXPECT_EQ(message, "InternetCheckConnection(): CANNOT_CONNECT");
    EXPECT_FALSE(fs::exists(served / "2024-10-07 flight.igc"));
}

}  // namespace
}  // namespace tracora::remote
