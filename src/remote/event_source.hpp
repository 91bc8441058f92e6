// The main thread's events as the command server needs them: a socket has something to read
// (or was closed), and tasks that other threads hand to the main thread. The desktop program
// delivers them through the Qt event loop, the headless program through PollLoop.
#pragma once

#include <functional>

namespace tracora::remote {

class EventSource {
public:
    virtual ~EventSource() = default;
    // Calls `onReady` on the main thread whenever `fd` is readable, closed or in error, until
    // Unwatch(fd). Watching a watched socket again replaces its routine.
    virtual void Watch(int fd, std::function<void()> onReady) = 0;
    // Safe from within the routine of `fd` itself.
    virtual void Unwatch(int fd) = 0;
    // Runs `task` on the main thread soon; any thread.
    virtual void Post(std::function<void()> task) = 0;
};

}  // namespace tracora::remote
