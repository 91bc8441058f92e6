#include "headless/terminal_host.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace tracora::headless {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A pipe with stdio on both ends.
struct Pipe {
    FilePtr read, write;
    static Pipe Make() {
        int fds[2] = {-1, -1};
        Pipe pipe;
        if (::pipe(fds) == 0) {
            pipe.read.reset(::fdopen(fds[0], "r"));
            pipe.write.reset(::fdopen(fds[1], "w"));
        }
        return pipe;
    }
};

// A TerminalHost whose input and output are pipes, each marked as a terminal or not.
class HostRig {
public:
    HostRig(bool inputIsTerminal, bool outputIsTerminal, const std::string& typed = "")
        : input_(Pipe::Make()), output_(Pipe::Make()) {
        // Everything the user types is in the pipe before the host reads; the end of the
        // input follows.
        std::fputs(typed.c_str(), input_.write.get());
        input_.write.reset();
        host_ = std::make_unique<TerminalHost>(
            loop_, TerminalStreams{input_.read.get(), output_.write.get(), inputIsTerminal,
                                   outputIsTerminal});
    }
    TerminalHost& host() { return *host_; }
    MainLoop& loop() { return loop_; }

    // Ends the host and returns all it wrote.
    std::string Output() {
        host_.reset();
        output_.write.reset();
        std::string text;
        int c = 0;
        while ((c = std::getc(output_.read.get())) != EOF) {
            text.push_back(static_cast<char>(c));
        }
        return text;
    }

private:
    MainLoop loop_;
    Pipe input_, output_;
    std::unique_ptr<TerminalHost> host_;
};

TEST(TerminalHostTest, MessagesStatusAndProductLineAsLinesWithoutATerminal) {
    HostRig rig(false, false);
    TerminalHost& host = rig.host();
    host.SetProductLine("Vario 5 Software Version 3.20");
    host.ShowMessage("Download track log", "No positions");
    host.SetStatus("Progress 1/3");
    host.SetStatus("");                                    // nothing to show
    host.SetProductLine("Vario 5 Software Version 3.20");  // unchanged: not repeated
    host.SetStatus("612 positions written");
    host.ShowMessage("", "Transfer completed");
    host.SetProductLine("Logger 2 Software Version 1.10");
    EXPECT_EQ(rig.Output(),
              "Vario 5 Software Version 3.20\n"
              "Download track log: No positions\n"
              "Progress 1/3\n"
              "612 positions written\n"
              "Transfer completed\n"
              "Logger 2 Software Version 1.10\n");
}

TEST(TerminalHostTest, StatusOnATerminalUpdatesOneLineBelowTheMessages) {
    HostRig rig(false, true);
    TerminalHost& host = rig.host();
    host.SetStatus("Progress 1/3");
    host.SetStatus("Progress 2/3\nmore");
    host.ShowMessage("Title", "text");
    host.SetStatus("");
    host.ShowMessage("Title", "again");
    host.SetStatus("Done");
    EXPECT_EQ(rig.Output(),
              "\rProgress 1/3\x1b[K"
              "\rProgress 2/3 more\x1b[K"
              "\r\x1b[KTitle: text\nProgress 2/3 more\x1b[K"
              "\r\x1b[K"
              "Title: again\n"
              "\rDone\x1b[K"
              "\n");  // the host ends the status line when it goes
}

TEST(TerminalHostTest, WithoutATerminalQuestionsTakeTheSafeAnswer) {
    struct Case {
        QuestionButtons buttons;
        Answer expected;
        std::string line;
    };
    const Case cases[] = {
        {QuestionButtons::kYesNo, Answer::kNo,
         "File creation: File already exists, overwrite ? [y/n] -> no (no terminal to answer)\n"},
        {QuestionButtons::kYesNoCancel, Answer::kCancel,
         "File creation: File already exists, overwrite ? [y/n/c] -> cancel (no terminal to "
         "answer)\n"},
    };
    for (const Case& c : cases) {
        // "y" waits on the input, but an input that is not a terminal is never read.
        HostRig rig(false, false, "y\n");
        EXPECT_EQ(rig.host().Ask("File creation", "File already exists, overwrite ?", c.buttons),
                  c.expected);
        EXPECT_EQ(rig.Output(), c.line);
    }
}

TEST(TerminalHostTest, OnATerminalQuestionsAreAnsweredFromTheInput) {
    struct Case {
        std::string typed;
        QuestionButtons buttons;
        Answer expected;
        std::string output;
    };
    const std::string yn = "Q: Save? [y/n] ";
    const std::string ync = "Q: Save? [y/n/c] ";
    const Case cases[] = {
        {"y\n", QuestionButtons::kYesNo, Answer::kYes, yn},
        {"  YES \n", QuestionButtons::kYesNo, Answer::kYes, yn},
        {"no\n", QuestionButtons::kYesNoCancel, Answer::kNo, ync},
        {"n", QuestionButtons::kYesNo, Answer::kNo, yn},  // no final newline
        {"maybe\n\ny\n", QuestionButtons::kYesNo, Answer::kYes,
         yn + "Please answer y or n.\n" + yn + "Please answer y or n.\n" + yn},
        {"c\n", QuestionButtons::kYesNoCancel, Answer::kCancel, ync},
        // "c" is no answer to a yes/no question; then the input ends: the safe answer.
        {"c\n", QuestionButtons::kYesNo, Answer::kNo,
         yn + "Please answer y or n.\n" + yn + "\n-> no (end of input)\n"},
        {"", QuestionButtons::kYesNoCancel, Answer::kCancel, ync + "\n-> cancel (end of input)\n"},
        // A line longer than any answer is no answer, whatever it starts with.
        {"y" + std::string(300, ' ') + "x\n", QuestionButtons::kYesNo, Answer::kNo,
         yn + "Please answer y or n.\n" + yn + "\n-> no (end of input)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        HostRig rig(true, false, c.typed);
        EXPECT_EQ(rig.host().Ask("Q", "Save?", c.buttons), c.expected);
        EXPECT_EQ(rig.Output(), c.output);
    }
}

TEST(TerminalHostTest, HiddenStateSuppressesMessagesButNotQuestions) {
    HostRig rig(true, false, "y\n");
    TerminalHost& host = rig.host();
    host.SetShowState(WindowShowState::kHidden);
    EXPECT_EQ(host.ShowState(), WindowShowState::kHidden);
    host.ShowMessage("Error", "Error opening file");
    EXPECT_EQ(
        host.Ask("File creation", "File already exists, overwrite ?", QuestionButtons::kYesNo),
        Answer::kYes);
    host.SetShowState(WindowShowState::kNormal);
    host.ShowMessage("Error", "Error opening file");
    EXPECT_EQ(rig.Output(),
              "File creation: File already exists, overwrite ? [y/n] "
              "Error: Error opening file\n");
}

TEST(TerminalHostTest, DialogsAreCancelledAndSaySo) {
    HostRig rig(true, false, "y\ny\ny\n");  // typed answers must not be taken by a dialog
    TerminalHost& host = rig.host();
    EXPECT_EQ(host.AskNewTrackLog({"2024-06-01  10:00:00", "2024-06-01  11:00:00", "01:00:00"},
                                  {"2024-06-02  09:00:00", "2024-06-02  09:30:00", "00:30:00"}),
              NewTrackChoice::kCancel);
    EXPECT_EQ(host.ChooseSplitParts({"Split track (2)", {"part two", "part one"}}), std::nullopt);
    EXPECT_EQ(host.AskRotation(), std::nullopt);
    FileDialogRequest save;
    save.title = "Save track log";
    save.proposedName = "20240601.kml";
    EXPECT_EQ(host.SaveFileDialog(save), std::nullopt);
    FileDialogRequest open;
    open.title = "Open track log";
    EXPECT_EQ(host.OpenFileDialog(open), std::nullopt);
    EXPECT_FALSE(host.SetClipboardText("46.5 7.5"));
    EXPECT_EQ(rig.Output(),
              "New Track Log: current log 2024-06-01  10:00:00 to 2024-06-01  11:00:00 "
              "(01:00:00); downloaded log 2024-06-02  09:00:00 to 2024-06-02  09:30:00 "
              "(00:30:00) -> cancel (no dialog without a window)\n"
              "Split track (2): 2 parts -> cancel (no dialog without a window)\n"
              "  1. part two\n"
              "  2. part one\n"
              "Rotate Track -> cancel (no dialog without a window)\n"
              "Save track log: 20240601.kml -> cancel (no dialog without a window)\n"
              "Open track log -> cancel (no dialog without a window)\n");
}

TEST(TerminalHostTest, PostToMainReachesTheMainLoop) {
    HostRig rig(false, false);
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    bool done = false;
    std::thread worker([&rig, &ranOn, &done] {
        rig.host().PostToMain([&ranOn, &done] {
            ranOn = std::this_thread::get_id();
            done = true;
        });
    });
    EXPECT_EQ(rig.loop().RunUntil([&done] { return done; }, std::chrono::milliseconds(60'000)),
              MainLoop::kDone);
    worker.join();
    EXPECT_EQ(ranOn, mainThread);
}

}  // namespace
}  // namespace tracora::headless
