// The tracora-notify-listen program, started as a caller would start it, with notifications
// sent to it by the program's own sender.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "notify/notify.hpp"

extern char** environ;

namespace tracora {
namespace {

constexpr int kLongWaitMs = 60'000;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tracora-nl-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// The listener program as a child process with its standard output on a pipe.
class ListenerProcess {
public:
    ListenerProcess() = default;
    ListenerProcess(const ListenerProcess&) = delete;
    ListenerProcess& operator=(const ListenerProcess&) = delete;
    ~ListenerProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }

    // Starts the program with `args`; XDG_RUNTIME_DIR is set to `runtimeDir` when given.
    bool Start(const std::vector<std::string>& args,
               const std::optional<std::string>& runtimeDir = std::nullopt) {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (!std::string_view(*entry).starts_with("XDG_RUNTIME_DIR=")) {
                environment.emplace_back(*entry);
            }
        }
        if (runtimeDir.has_value()) {
            environment.push_back("XDG_RUNTIME_DIR=" + *runtimeDir);
        }
        std::vector<std::string> argvText{TRACORA_NOTIFY_LISTEN};
        argvText.insert(argvText.end(), args.begin(), args.end());
        int fds[2] = {-1, -1};
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const std::vector<char*> argv = Pointers(argvText);
        const std::vector<char*> envp = Pointers(environment);
        const int result =
            ::posix_spawn(&pid_, argvText[0].c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
        if (result != 0) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    pid_t Pid() const { return pid_; }

    // The next line of output without its newline; nothing at the end of the output or when
    // no line came in time.
    std::optional<std::string> ReadLine() {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongWaitMs);
        for (;;) {
            const std::size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            if (!Fill(deadline)) {
                return std::nullopt;
            }
        }
    }

    // Reads the output to its end and waits for the exit: the exit code, 128 + the signal
    // that ended it, or -1 when it did not end in time (it is killed then).
    int Wait() {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kLongWaitMs);
        while (Fill(deadline)) {
        }
        if (!eof_) {
            return -1;  // the destructor kills it
        }
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        pid_ = -1;
        if (WIFSIGNALED(status)) {
            return 128 + WTERMSIG(status);
        }
        return WEXITSTATUS(status);
    }

    const std::string& Unread() const { return buffer_; }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& texts) {
        std::vector<char*> pointers;
        for (std::string& text : texts) {
            pointers.push_back(text.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    }

    // Reads what is there; false at the end of the output or at the deadline.
    bool Fill(std::chrono::steady_clock::time_point deadline) {
        if (eof_) {
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd entry{out_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            return true;  // interrupted or timed out: the deadline check above decides
        }
        char chunk[4096];
        const ssize_t size = ::read(out_, chunk, sizeof chunk);
        if (size <= 0) {
            eof_ = true;
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(size));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    bool eof_ = false;
    std::string buffer_;
};

TEST(NotifyListenProgramTest, PrintsEachNotificationAsALine) {
    TempFolder folder;
    const std::string path = folder.Path() + "/caller.sock";
    ListenerProcess listener;
    ASSERT_TRUE(listener.Start({path, "--count", "3", "--timeout", "60"}));
    ASSERT_EQ(listener.ReadLine(), "READY " + path);

    NotifySender sender(path, 0x01020304u);
    ASSERT_GT(sender.Send("Transfer started"), 0);
    ASSERT_GT(sender.Send("Flightlist:\n2024.06.01,10:05:03,1:23:45\n"), 0);
    ASSERT_GT(sender.Send("C:\\flights\t\x01\xE9"), 0);
    EXPECT_EQ(listener.ReadLine(), "16909060\tTransfer started");
    EXPECT_EQ(listener.ReadLine(), "16909060\tFlightlist:\\n2024.06.01,10:05:03,1:23:45\\n");
    EXPECT_EQ(listener.ReadLine(), "16909060\tC:\\\\flights\\t\\x01\xE9");
    EXPECT_EQ(listener.Wait(), 0);
    EXPECT_EQ(listener.Unread(), "");
    EXPECT_FALSE(std::filesystem::exists(path)) << "the socket file goes with the listener";
}

TEST(NotifyListenProgramTest, ResolvesANameInTheRuntimeFolder) {
    TempFolder folder;
    const std::string runtimeDir = folder.Path() + "/run";
    const std::string expected = runtimeDir + "/tracora/notify-flight.sock";
    ListenerProcess listener;
    ASSERT_TRUE(listener.Start({"flight", "--count=1", "--timeout=60"}, runtimeDir));
    ASSERT_EQ(listener.ReadLine(), "READY " + expected);
    struct stat info {};
    ASSERT_EQ(::stat((runtimeDir + "/tracora").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_GT(NotifySender(expected, 7).Send("Waypoint count 12"), 0);
    EXPECT_EQ(listener.ReadLine(), "7\tWaypoint count 12");
    EXPECT_EQ(listener.Wait(), 0);
}

TEST(NotifyListenProgramTest, TimeoutEndsTheWait) {
    struct Case {
        std::vector<std::string> options;
        int exitCode;
    };
    const Case cases[] = {
        {{"--count", "2", "--timeout", "0.5"}, 1},  // one of two came
        {{"--timeout", "0.5"}, 0},                  // no count to reach
    };
    TempFolder folder;
    for (const Case& c : cases) {
        const std::string path = folder.Path() + "/timeout.sock";
        std::vector<std::string> args{path};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ListenerProcess listener;
        ASSERT_TRUE(listener.Start(args));
        ASSERT_EQ(listener.ReadLine(), "READY " + path);
        // Whether the listener still prints it depends on the machine's speed; the exit
        // code does not.
        NotifySender(path, 1).Send("Transfer started");
        EXPECT_EQ(listener.Wait(), c.exitCode);
    }
}

TEST(NotifyListenProgramTest, SignalRemovesTheSocket) {
    TempFolder folder;
    const std::string path = folder.Path() + "/signal.sock";
    ListenerProcess listener;
    ASSERT_TRUE(listener.Start({path}));
    ASSERT_EQ(listener.ReadLine(), "READY " + path);
    ASSERT_EQ(::kill(listener.Pid(), SIGTERM), 0);
    EXPECT_EQ(listener.Wait(), 128 + SIGTERM);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(NotifyListenProgramTest, HelpAndBadArguments) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        bool usageOnStdout;
    };
    const Case cases[] = {
        {{"--help"}, 0, true},
        {{"-h"}, 0, true},
        {{}, 2, false},
        {{"x", "--count", "0"}, 2, false},
        {{"x", "--count"}, 2, false},
        {{"x", "--timeout", "-1"}, 2, false},
        {{"x", "--timeout", "soon"}, 2, false},
        {{"x", "--bogus"}, 2, false},
        {{"x", "y"}, 2, false},
        {{"/" + std::string(200, 'p') + "/long.sock", "--timeout", "5"}, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0]);
        ListenerProcess listener;
        ASSERT_TRUE(listener.Start(c.args));
        const std::optional<std::string> first = listener.ReadLine();
        EXPECT_EQ(listener.Wait(), c.exitCode);
        EXPECT_EQ(first.value_or("").starts_with("Usage: tracora-notify-listen"), c.usageOnStdout);
    }
}

}  // namespace
}  // namespace tracora
