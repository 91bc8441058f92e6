#include "headless/terminal_host.hpp"

#include <unistd.h>

#include <cctype>
#include <utility>

namespace tracora::headless {
namespace {

constexpr std::string_view kClearToEnd = "\x1b[K";
constexpr std::string_view kNoDialog = " -> cancel (no dialog without a window)";
// An answer line longer than this is not an answer; the rest is read and dropped.
constexpr std::size_t kAnswerLineMax = 256;

std::string Titled(std::string_view title, std::string_view text) {
    std::string line;
    if (!title.empty()) {
        line.append(title);
        line += ": ";
    }
    line.append(text);
    return line;
}

std::string_view AnswerName(Answer answer) {
    switch (answer) {
        case Answer::kYes:
            return "yes";
        case Answer::kNo:
            return "no";
        case Answer::kCancel:
            break;
    }
    return "cancel";
}

Answer SafeAnswer(QuestionButtons buttons) {
    return buttons == QuestionButtons::kYesNoCancel ? Answer::kCancel : Answer::kNo;
}

std::optional<Answer> ParseAnswer(std::string_view line, QuestionButtons buttons) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())) != 0) {
        line.remove_prefix(1);
    }
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
        line.remove_suffix(1);
    }
    std::string word;
    for (char c : line) {
        word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    if (word == "y" || word == "yes") {
        return Answer::kYes;
    }
    if (word == "n" || word == "no") {
        return Answer::kNo;
    }
    if (buttons == QuestionButtons::kYesNoCancel && (word == "c" || word == "cancel")) {
        return Answer::kCancel;
    }
    return std::nullopt;
}

// A status on the terminal's single line: line breaks would leave stale lines behind.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return line;
}

// The dialog's title and, when there is one, the file name it would have proposed.
std::string FileDialogLine(const FileDialogRequest& request) {
    return (request.proposedName.empty() ? request.title
                                         : Titled(request.title, request.proposedName)) +
           std::string(kNoDialog);
}

std::string Summary(const TrackLogSummary& log) {
    return log.first + " to " + log.last + " (" + log.duration + ")";
}

}  // namespace

TerminalStreams TerminalStreams::FromProcess() {
    TerminalStreams streams;
    streams.input = stdin;
    streams.output = stderr;
    streams.inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
    streams.outputIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return streams;
}

TerminalHost::TerminalHost(MainLoop& loop, TerminalStreams streams)
    : loop_(loop), streams_(streams) {}

TerminalHost::~TerminalHost() {
    FinishStatusLine();
}

void TerminalHost::SetShowState(WindowShowState state) {
    std::lock_guard lock(mutex_);
    showState_ = state;
}

WindowShowState TerminalHost::ShowState() const {
    std::lock_guard lock(mutex_);
    return showState_;
}

void TerminalHost::FinishStatusLine() {
    std::lock_guard lock(mutex_);
    if (statusShown_) {
        WriteLocked("\n");
        statusShown_ = false;
        status_.clear();
    }
}

void TerminalHost::ShowMessage(const std::string& title, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (showState_ == WindowShowState::kHidden) {
        return;
    }
    WriteLineLocked(Titled(title, text));
}

Answer TerminalHost::Ask(const std::string& title, const std::string& text,
                         QuestionButtons buttons) {
    const bool withCancel = buttons == QuestionButtons::kYesNoCancel;
    const std::string question = Titled(title, text) + (withCancel ? " [y/n/c]" : " [y/n]");
    const Answer safe = SafeAnswer(buttons);
    if (!streams_.inputIsTerminal || streams_.input == nullptr) {
        std::lock_guard lock(mutex_);
        WriteLineLocked(question + " -> " + std::string(AnswerName(safe)) +
                        " (no terminal to answer)");
        return safe;
    }
    std::lock_guard inputLock(inputMutex_);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            ClearStatusLocked();
            WriteLocked(question + " ");
        }
        const std::optional<std::string> line = ReadAnswerLine();
        std::lock_guard lock(mutex_);
        if (!line.has_value()) {
            WriteLocked("\n-> " + std::string(AnswerName(safe)) + " (end of input)\n");
            RedrawStatusLocked();
            return safe;
        }
        if (const std::optional<Answer> answer = ParseAnswer(*line, buttons)) {
            RedrawStatusLocked();
            return *answer;
        }
        WriteLocked(withCancel ? "Please answer y, n or c.\n" : "Please answer y or n.\n");
    }
}

void TerminalHost::SetStatus(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (!streams_.outputIsTerminal) {
        if (!text.empty()) {
            WriteLocked(text + "\n");
        }
        return;
    }
    status_ = OneLine(text);
    statusShown_ = !status_.empty();
    WriteLocked("\r" + status_ + std::string(kClearToEnd));
}

void TerminalHost::SetProductLine(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (productLine_ == text) {
        return;
    }
    productLine_ = text;
    if (!text.empty()) {
        WriteLineLocked(text);
    }
}

NewTrackChoice TerminalHost::AskNewTrackLog(const TrackLogSummary& current,
                                            const TrackLogSummary& incoming) {
    std::lock_guard lock(mutex_);
    WriteLineLocked("New Track Log: current log " + Summary(current) + "; downloaded log " +
                    Summary(incoming) + std::string(kNoDialog));
    return NewTrackChoice::kCancel;
}

std::optional<std::vector<int>> TerminalHost::ChooseSplitParts(const SplitDialogRequest& request) {
    std::lock_guard lock(mutex_);
    WriteLineLocked(request.title + ": " + std::to_string(request.parts.size()) + " parts" +
                    std::string(kNoDialog));
    int number = 0;
    for (const std::string& part : request.parts) {
        WriteLineLocked("  " + std::to_string(++number) + ". " + part);
    }
    return std::nullopt;
}

std::optional<RotateDialogResult> TerminalHost::AskRotation() {
    std::lock_guard lock(mutex_);
    WriteLineLocked("Rotate Track" + std::string(kNoDialog));
    return std::nullopt;
}

std::optional<FileDialogResult> TerminalHost::OpenFileDialog(const FileDialogRequest& request) {
    std::lock_guard lock(mutex_);
    WriteLineLocked(FileDialogLine(request));
    return std::nullopt;
}

std::optional<FileDialogResult> TerminalHost::SaveFileDialog(const FileDialogRequest& request) {
    std::lock_guard lock(mutex_);
    WriteLineLocked(FileDialogLine(request));
    return std::nullopt;
}

bool TerminalHost::SetClipboardText(const std::string& /*text*/) {
    return false;
}

void TerminalHost::ShowTrackView() {}

void TerminalHost::PostToMain(std::function<void()> task) {
    loop_.Post(std::move(task));
}

void TerminalHost::WriteLineLocked(std::string_view line) {
    ClearStatusLocked();
    std::string text(line);
    text += '\n';
    WriteLocked(text);
    RedrawStatusLocked();
}

void TerminalHost::ClearStatusLocked() {
    if (streams_.outputIsTerminal && statusShown_) {
        WriteLocked("\r" + std::string(kClearToEnd));
    }
}

void TerminalHost::RedrawStatusLocked() {
    if (streams_.outputIsTerminal && statusShown_) {
        WriteLocked(status_ + std::string(kClearToEnd));
    }
}

void TerminalHost::WriteLocked(std::string_view text) {
    if (streams_.output == nullptr) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), streams_.output);
    std::fflush(streams_.output);
}

std::optional<std::string> TerminalHost::ReadAnswerLine() {
    std::string line;
    bool tooLong = false;
    for (;;) {
        const int c = std::getc(streams_.input);
        if (c == EOF && line.empty() && !tooLong) {
            return std::nullopt;
        }
        // An answer typed without a final newline still counts.
        if (c == EOF || c == '\n') {
            // A line that was cut is no answer at all: the question is asked again.
            return tooLong ? std::string() : line;
        }
        if (line.size() < kAnswerLineMax) {
            line.push_back(static_cast<char>(c));
        } else {
            tooLong = true;
        }
    }
}

}  // namespace tracora::headless
