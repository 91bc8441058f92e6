#include "headless/main_loop.hpp"

#include <optional>
#include <utility>

namespace tracora::headless {

void MainLoop::Post(std::function<void()> task) {
    if (!task) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

void MainLoop::Quit(int exitCode) {
    {
        std::lock_guard lock(mutex_);
        if (!quit_) {
            quit_ = true;
            exitCode_ = exitCode;
        }
    }
    wake_.notify_all();
}

int MainLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const std::optional<Clock::time_point> deadline =
        timeout.count() < 0 ? std::nullopt : std::optional(Clock::now() + timeout);
    for (;;) {
        if (done && done()) {
            return kDone;
        }
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            const auto ready = [this] { return quit_ || !tasks_.empty(); };
            if (deadline.has_value()) {
                if (!wake_.wait_until(lock, *deadline, ready)) {
                    return kTimedOut;
                }
            } else {
                wake_.wait(lock, ready);
            }
            if (quit_) {
                return kQuit;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        // Run outside the lock: a task may post further tasks or call Quit().
        task();
    }
}

std::size_t MainLoop::RunPending() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(tasks_);
    }
    for (auto& task : batch) {
        task();
    }
    return batch.size();
}

bool MainLoop::QuitRequested() const {
    std::lock_guard lock(mutex_);
    return quit_;
}

int MainLoop::ExitCode() const {
    std::lock_guard lock(mutex_);
    return exitCode_;
}

std::size_t MainLoop::Pending() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

}  // namespace tracora::headless
