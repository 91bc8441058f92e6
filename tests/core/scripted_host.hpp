// A host for tests: records every message, status and clipboard text, and answers
// questions and dialogs from scripts queued by the test.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/host.hpp"

namespace tracora::testing {

class ScriptedHost : public Host {
public:
    struct Message {
        std::string title, text;
    };
    struct Question {
        std::string title, text;
        QuestionButtons buttons;
    };

    std::vector<Message> messages;
    std::vector<Question> questions;
    std::vector<std::string> statuses;
    std::vector<std::string> productLines;
    std::vector<SplitDialogRequest> splitRequests;
    std::vector<std::pair<TrackLogSummary, TrackLogSummary>> newTrackRequests;
    std::vector<std::string> clipboard;
    std::vector<std::function<void()>> posted;
    int trackViewShown = 0;

    // Scripts; an empty script answers with the safe choice.
    std::deque<Answer> answers;
    std::deque<NewTrackChoice> newTrackChoices;
    std::deque<std::vector<int>> splitChoices;  // an empty entry cancels
    std::deque<std::optional<RotateDialogResult>> rotations;
    std::deque<std::optional<FileDialogResult>> openChoices;
    std::deque<std::optional<FileDialogResult>> saveChoices;
    std::vector<FileDialogRequest> fileDialogs;
    std::deque<std::vector<std::filesystem::path>> openManyChoices;  // else one from openChoices
    std::vector<ButtonLabels> buttonLabels;  // of every labelled question, in order
    // The "Modify waypoint ID" question: the names asked about and the answers to give (an
    // empty script cancels).
    std::vector<std::string> modifyIdNames;
    std::deque<ModifyIdAnswer> modifyIdAnswers;
    // The "CTR error notification" box: the texts shown and whether the user ticks "Skip
    // further notifications" each time (an empty script does not).
    std::vector<std::string> ctrNotifications;
    std::deque<bool> ctrNotificationSkips;
    bool clipboardWorks = true;

    void ShowMessage(const std::string& title, const std::string& text) override {
        messages.push_back({title, text});
    }
    Answer Ask(const std::string& title, const std::string& text,
               QuestionButtons buttons) override {
        questions.push_back({title, text, buttons});
        if (answers.empty()) {
            return buttons == QuestionButtons::kYesNoCancel ? Answer::kCancel : Answer::kNo;
        }
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    Answer AskLabelled(const std::string& title, const std::string& text, QuestionButtons buttons,
                       const ButtonLabels& labels) override {
        buttonLabels.push_back(labels);
        return Ask(title, text, buttons);
    }
    std::vector<std::filesystem::path> OpenFilesDialog(const FileDialogRequest& request) override {
        if (openManyChoices.empty()) {
            return Host::OpenFilesDialog(request);
        }
        fileDialogs.push_back(request);
        return Pop(openManyChoices, std::vector<std::filesystem::path>{});
    }
    ModifyIdAnswer AskModifyWaypointId(const std::string& name) override {
        modifyIdNames.push_back(name);
        return Pop(modifyIdAnswers, ModifyIdAnswer::kCancel);
    }
    bool ShowCtrNotification(const std::string& text) override {
        ctrNotifications.push_back(text);
        return Pop(ctrNotificationSkips, false);
    }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetProductLine(const std::string& text) override { productLines.push_back(text); }
    NewTrackChoice AskNewTrackLog(const TrackLogSummary& current,
                                  const TrackLogSummary& incoming) override {
        newTrackRequests.emplace_back(current, incoming);
        return Pop(newTrackChoices, NewTrackChoice::kCancel);
    }
    std::optional<std::vector<int>> ChooseSplitParts(const SplitDialogRequest& request) override {
        splitRequests.push_back(request);
        std::vector<int> chosen = Pop(splitChoices, std::vector<int>{});
        if (chosen.empty())
            return std::nullopt;
        return chosen;
    }
    std::optional<RotateDialogResult> AskRotation() override {
        return Pop(rotations, std::optional<RotateDialogResult>{});
    }
    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) override {
        fileDialogs.push_back(request);
        return Pop(openChoices, std::optional<FileDialogResult>{});
    }
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override {
        fileDialogs.push_back(request);
        return Pop(saveChoices, std::optional<FileDialogResult>{});
    }
    bool SetClipboardText(const std::string& text) override {
        if (!clipboardWorks)
            return false;
        clipboard.push_back(text);
        return true;
    }
    void ShowTrackView() override { ++trackViewShown; }
    void PostToMain(std::function<void()> task) override { posted.push_back(std::move(task)); }

    std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }

private:
    template <typename T>
    static T Pop(std::deque<T>& queue, T fallback) {
        if (queue.empty())
            return fallback;
        T value = std::move(queue.front());
        queue.pop_front();
        return value;
    }
};

}  // namespace tracora::testing
