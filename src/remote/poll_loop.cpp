#include "remote/poll_loop.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tracora::remote {

PollLoop::PollLoop() {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        wake_[0] = wake_[1] = -1;
    }
}

PollLoop::~PollLoop() {
    for (const int fd : wake_) {
        if (fd >= 0)
            ::close(fd);
    }
}

void PollLoop::Watch(int fd, std::function<void()> onReady) {
    watched_[fd] = std::move(onReady);
}

void PollLoop::Unwatch(int fd) {
    watched_.erase(fd);
}

void PollLoop::Post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    Wake();
}

void PollLoop::Stop() {
    stop_ = true;
    Wake();
}

void PollLoop::Wake() {
    if (wake_[1] < 0)
        return;
    const char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(wake_[1], &byte, 1);
}

void PollLoop::RunTasks() {
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(mutex_);
        tasks.swap(tasks_);
    }
    for (auto& task : tasks)
        task();
}

void PollLoop::Run(const std::function<bool()>& done) {
    while (!stop_) {
        RunTasks();
        if (stop_ || (done && done()))
            return;
        std::vector<pollfd> fds;
        fds.push_back({wake_[0], POLLIN, 0});
        for (const auto& [fd, routine] : watched_)
            fds.push_back({fd, POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            // The routine may unwatch its own socket or others: look it up afresh and keep a
            // copy alive while it runs.
            const auto found = watched_.find(fds[i].fd);
            if (found == watched_.end())
                continue;
            const std::function<void()> routine = found->second;
            routine();
        }
    }
}

}  // namespace tracora::remote
