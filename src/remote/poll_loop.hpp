// An EventSource for a program without a window: poll() over the watched sockets and a pipe
// that wakes it for posted tasks and for Stop().
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "remote/event_source.hpp"

namespace tracora::remote {

class PollLoop : public EventSource {
public:
    PollLoop();
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;
    ~PollLoop() override;

    // False when the wake pipe could not be made (out of descriptors).
    bool Valid() const { return wake_[0] >= 0; }

    void Watch(int fd, std::function<void()> onReady) override;
    void Unwatch(int fd) override;
    void Post(std::function<void()> task) override;

    // Delivers events and tasks on the calling thread until Stop() is called or `done` (tested
    // after every round) returns true.
    void Run(const std::function<bool()>& done = {});
    // Ends Run(); any thread.
    void Stop();

private:
    void Wake();
    void RunTasks();

    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;  // guards tasks_
    std::deque<std::function<void()>> tasks_;
    std::map<int, std::function<void()>> watched_;  // main thread only
};

}  // namespace tracora::remote
