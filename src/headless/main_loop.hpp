// The headless program's main thread: a queue of tasks that any thread may post to and the main
// thread drains, so that a device job's completion runs where the rest of the program runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace tracora::headless {

class MainLoop {
public:
    // What RunUntil() ended with.
    static constexpr int kDone = 0;       // the predicate became true
    static constexpr int kQuit = 1;       // Quit() was called; ExitCode() holds its code
    static constexpr int kTimedOut = -1;  // the time ran out first

    MainLoop() = default;
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // Queues `task` to run on the main thread; any thread, any time.
    void Post(std::function<void()> task);
    // Asks the loop to end with `exitCode`; any thread. The task running now finishes first.
    void Quit(int exitCode);

    // Runs posted tasks in their order on the calling thread until `done` returns true (it is
    // tested before waiting and after every task; an empty predicate never ends the loop),
    // Quit() is called or `timeout` has passed (negative: no limit). Tasks still queued then
    // stay queued for the next call.
    int RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Runs the tasks queued now (not those they post) and returns how many ran.
    std::size_t RunPending();

    bool QuitRequested() const;
    int ExitCode() const;
    std::size_t Pending() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool quit_ = false;
    int exitCode_ = 0;
};

}  // namespace tracora::headless
