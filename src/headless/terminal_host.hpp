// The host of the headless program: messages, status and questions on the terminal, no windows.
// A question that cannot be asked (no terminal on the input) takes the safe answer, No or
// Cancel, never one that overwrites; every dialog is cancelled.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/automation_request.hpp"
#include "core/host.hpp"
#include "headless/main_loop.hpp"

namespace tracora::headless {

// Where the host reads and writes, and whether each side is a terminal.
struct TerminalStreams {
    std::FILE* input = nullptr;   // answers to questions
    std::FILE* output = nullptr;  // messages, status and questions
    bool inputIsTerminal = false;
    bool outputIsTerminal = false;

    // stdin and stderr, each asked whether it is a terminal.
    static TerminalStreams FromProcess();
};

class TerminalHost : public Host {
public:
    // Tasks given to PostToMain() go to `loop`, which must outlive the host. The streams stay
    // owned by the caller.
    TerminalHost(MainLoop& loop, TerminalStreams streams);
    TerminalHost(const TerminalHost&) = delete;
    TerminalHost& operator=(const TerminalHost&) = delete;
    // Ends a status line left on the terminal.
    ~TerminalHost() override;

    // The request's show state: with the hidden state, message boxes are not shown at all;
    // questions still are.
    void SetShowState(WindowShowState state);
    WindowShowState ShowState() const;

    // Ends the updating status line on a terminal with a newline (nothing otherwise).
    void FinishStatusLine();

    void ShowMessage(const std::string& title, const std::string& text) override;
    Answer Ask(const std::string& title, const std::string& text, QuestionButtons buttons) override;
    void SetStatus(const std::string& text) override;
    void SetProductLine(const std::string& text) override;
    NewTrackChoice AskNewTrackLog(const TrackLogSummary& current,
                                  const TrackLogSummary& incoming) override;
    std::optional<std::vector<int>> ChooseSplitParts(const SplitDialogRequest& request) override;
    std::optional<RotateDialogResult> AskRotation() override;
    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override;
    bool SetClipboardText(const std::string& text) override;
    void ShowTrackView() override;
    void PostToMain(std::function<void()> task) override;

private:
    // All writers hold mutex_. Lines go above the updating status line, which is redrawn.
    void WriteLineLocked(std::string_view line);
    void RedrawStatusLocked();
    void ClearStatusLocked();
    void WriteLocked(std::string_view text);
    // Reads one line of input; nothing at the end of the input or on an error.
    std::optional<std::string> ReadAnswerLine();

    MainLoop& loop_;
    TerminalStreams streams_;
    mutable std::mutex mutex_;
    std::mutex inputMutex_;  // one question at a time reads the input
    WindowShowState showState_ = WindowShowState::kNormal;
    std::string status_;  // the status shown on the terminal's updating line
    bool statusShown_ = false;
    std::optional<std::string> productLine_;
};

}  // namespace tracora::headless
