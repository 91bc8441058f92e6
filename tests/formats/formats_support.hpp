// Shared helpers of the format tests: fixture files and a host that records what it shows.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/null_host.hpp"

namespace tracora::testing {

inline std::filesystem::path FixturePath(const std::string& relative) {
    return std::filesystem::path(TRACORA_FIXTURES_DIR) / relative;
}

inline std::string ReadFixture(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Message {
    std::string title;
    std::string text;
};

class RecordingHost : public NullHost {
public:
    void ShowMessage(const std::string& title, const std::string& text) override {
        messages.push_back({title, text});
    }
    Answer Ask(const std::string& title, const std::string& text, QuestionButtons) override {
        questions.push_back({title, text});
        return answer;
    }
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override {
        saveRequests.push_back(request);
        return saveAnswer;
    }

    std::vector<Message> messages;
    std::vector<Message> questions;
    std::vector<FileDialogRequest> saveRequests;
    Answer answer = Answer::kNo;
    std::optional<FileDialogResult> saveAnswer;
};

}  // namespace tracora::testing
