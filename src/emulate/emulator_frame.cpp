#include "emulate/emulator_frame.hpp"

#include <algorithm>
#include <chrono>

#include "device/io_status.hpp"

namespace tracora::emulate {

EmulatorFrame::EmulatorFrame(device::EmulatorLink& link, std::FILE* log, int rateBaud, int stallMs)
    : link_(link), rateBaud_(rateBaud), stallMs_(stallMs), log_(log) {}

EmulatorFrame::~EmulatorFrame() {
    Stop();
}

void EmulatorFrame::Start() {
    thread_ = std::thread([this] { Run(); });
}

void EmulatorFrame::Stop() {
    link_.Stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

int EmulatorFrame::Run() {
    const int rc = Serve();
    Change([this] { ended_ = true; });
    return rc;
}

int EmulatorFrame::ServeLines(const std::function<void(const std::string&)>& handle) {
    return emulate::ServeLines(link_, kRequestPollMs, [&](const std::string& line) {
        Received(line.size() + 2);
        handle(line);
    });
}

int EmulatorFrame::ServeSentences(const std::function<void(const std::string&)>& handle) {
    return emulate::ServeLines(link_, kRequestPollMs, [&](const std::string& line) {
        Received(line.size() + 2);
        const std::size_t dollar = line.find('$');
        if (dollar != std::string::npos) {
            handle(line.substr(dollar));
        }
    });
}

void EmulatorFrame::Received(std::size_t bytes) {
    if (rateBaud_ > 0) {
        lineFree_ = std::max(Clock::now(), lineFree_ + LineTime(bytes, rateBaud_));
    }
}

void EmulatorFrame::Log(const std::string& text) const {
    if (log_ != nullptr) {
        std::fprintf(log_, "%s\n", text.c_str());
        std::fflush(log_);
    }
}

void EmulatorFrame::NoteRequest(const std::string& request) {
    Change([&] { requests_.push_back(request); });
    Log("request " + request);
}

void EmulatorFrame::Note(const std::string& what, std::string_view logPrefix) {
    Log(std::string(logPrefix) + what);
    Change([&] { events_.push_back(what); });
}

bool EmulatorFrame::Send(std::string_view bytes) {
    return SendPaced(
        link_, bytes, rateBaud_,
        [this](std::size_t count) {
            std::lock_guard lock(mutex_);
            bytesSent_ += count;
        },
        &lineFree_);
}

bool EmulatorFrame::Send(std::span<const std::uint8_t> bytes) {
    return Send(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool EmulatorFrame::SendCut(std::string_view answer) {
    Log("  fault: cable cut halfway");
    Send(answer.substr(0, answer.size() / 2));
    link_.DropLink();
    return false;
}

bool EmulatorFrame::SendHalf(std::string_view answer) {
    Log("  fault: the answer stops halfway");
    Send(answer.substr(0, answer.size() / 2));
    return false;
}

bool EmulatorFrame::SendStalled(std::string_view answer, bool atLineEnd) {
    Log("  fault: the unit freezes in the middle of the answer");
    const bool sent = SendWithStall(answer, StallPoint(answer, atLineEnd));
    Log("  fault: the unit goes on");
    return sent;
}

bool EmulatorFrame::SendWithStall(std::string_view bytes, std::size_t splitAt) {
    return emulate::SendWithStall(
        link_, bytes, splitAt, stallMs_, rateBaud_,
        [this](std::size_t count) {
            std::lock_guard lock(mutex_);
            bytesSent_ += count;
        },
        &lineFree_);
}

void EmulatorFrame::Change(const std::function<void()>& change) {
    std::lock_guard lock(mutex_);
    change();
    changed_.notify_all();
}

bool EmulatorFrame::WaitUntil(const std::function<bool()>& done, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done() || ended_; });
    return done();
}

std::vector<std::string> EmulatorFrame::Requests() const {
    return Locked([this] { return requests_; });
}

std::vector<std::string> EmulatorFrame::Events() const {
    return Locked([this] { return events_; });
}

std::uint64_t EmulatorFrame::BytesSent() const {
    return Locked([this] { return bytesSent_; });
}

bool EmulatorFrame::WaitForRequest(std::string_view prefix, int timeoutMs) const {
    return WaitUntil(
        [&] {
            return std::any_of(requests_.begin(), requests_.end(),
                               [&](const std::string& r) { return r.starts_with(prefix); });
        },
        timeoutMs);
}

bool EmulatorFrame::WaitForEvents(std::size_t count, int timeoutMs) const {
    return WaitUntil([&] { return events_.size() >= count; }, timeoutMs);
}

}  // namespace tracora::emulate
