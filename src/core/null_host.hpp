// A host that shows nothing and answers every question and dialog with the safe choice: for
// work that reports through its own channel (a command line's parse) and for fuzzing.
#pragma once

#include "core/host.hpp"

namespace tracora {

class NullHost : public Host {
public:
    void ShowMessage(const std::string&, const std::string&) override {}
    Answer Ask(const std::string&, const std::string&, QuestionButtons buttons) override {
        return buttons == QuestionButtons::kYesNoCancel ? Answer::kCancel : Answer::kNo;
    }
    void SetStatus(const std::string&) override {}
    void SetProductLine(const std::string&) override {}
    NewTrackChoice AskNewTrackLog(const TrackLogSummary&, const TrackLogSummary&) override {
        return NewTrackChoice::kCancel;
    }
    std::optional<std::vector<int>> ChooseSplitParts(const SplitDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<RotateDialogResult> AskRotation() override { return std::nullopt; }
    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest&) override {
        return std::nullopt;
    }
    bool SetClipboardText(const std::string&) override { return false; }
    void ShowTrackView() override {}
    void PostToMain(std::function<void()>) override {}
};

}  // namespace tracora
