// Command lines, as another program may pass them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/automation_parser.hpp"
#include "core/host.hpp"

namespace {

// Answers nothing and shows nothing.
class SilentHost : public tracora::Host {
public:
    void ShowMessage(const std::string&, const std::string&) override {}
    tracora::Answer Ask(const std::string&, const std::string&, tracora::QuestionButtons) override {
        return tracora::Answer::kNo;
    }
    void SetStatus(const std::string&) override {}
    void SetProductLine(const std::string&) override {}
    tracora::NewTrackChoice AskNewTrackLog(const tracora::TrackLogSummary&,
                                           const tracora::TrackLogSummary&) override {
        return tracora::NewTrackChoice::kCancel;
    }
    std::optional<std::vector<int>> ChooseSplitParts(const tracora::SplitDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<tracora::RotateDialogResult> AskRotation() override { return std::nullopt; }
    std::optional<tracora::FileDialogResult> OpenFileDialog(
        const tracora::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<tracora::FileDialogResult> SaveFileDialog(
        const tracora::FileDialogRequest&) override {
        return std::nullopt;
    }
    bool SetClipboardText(const std::string&) override { return false; }
    void ShowTrackView() override {}
    void PostToMain(std::function<void()>) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilentHost host;
    tracora::AutomationEnvironment environment;
    environment.runtimeDir = "/nonexistent";
    std::optional<tracora::AutomationRequest> request;
    tracora::ParseCommandLine(std::string_view(reinterpret_cast<const char*>(data), size), host,
                              environment, request);
    return 0;
}
