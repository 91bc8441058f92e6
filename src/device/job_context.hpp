// What a protocol routine may use of the job that runs it, besides its transport: the abort
// flag, a pause that an abort ends at once, the status lines, error messages, progress for the
// caller that started the job, and the debug trace. Nothing of the window, the store or a
// concrete port.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "core/debug_trace.hpp"
#include "core/host.hpp"
#include "device/wake_event.hpp"

namespace tracora::device {

// Where a job's reports go: the main window (through the host), a remote client, or a test.
// Called on the job's worker thread.
class JobSink {
public:
    virtual ~JobSink() = default;
    virtual void JobError(const std::string& text, const std::string& title) = 0;
    virtual void JobStatus(const std::string& text) = 0;
    virtual void JobStatus2(const std::string& text) = 0;
    virtual void JobProgress(long long done, long long total) {
        (void)done;
        (void)total;
    }
};

// Reports to the host's message boxes and status lines. The host accepts these calls from the
// worker thread.
class HostJobSink : public JobSink {
public:
    explicit HostJobSink(Host& host) : host_(host) {}
    void JobError(const std::string& text, const std::string& title) override {
        host_.ShowMessage(title, text);
    }
    void JobStatus(const std::string& text) override { host_.SetStatus(text); }
    void JobStatus2(const std::string& text) override { host_.SetProductLine(text); }
    void JobProgress(long long done, long long total) override { host_.SetProgress(done, total); }

private:
    Host& host_;
};

class JobContext {
public:
    JobContext() = default;
    JobContext(const JobContext&) = delete;
    JobContext& operator=(const JobContext&) = delete;

    // Selected progress texts also go to the caller that started the job (the command line's
    // notify socket, a remote client).
    std::function<void(const std::string&)> notify;

    bool AbortRequested() const { return abort_.load(); }
    // Waits on the job's wait event; false when the job was aborted meanwhile.
    bool Pause(int milliseconds);

    void Error(const std::string& text, const std::string& title);
    void Status(const std::string& text);
    void Status2(const std::string& text);
    // Progress where the total is known: `done` of `total` (clamped to it).
    void Progress(long long done, long long total);
    void Notify(const std::string& text);

    DebugTrace& Trace() { return *trace_; }
    // The event every wait of the job watches; set by an abort.
    const WakeEvent& Wake() const { return wake_; }

    // Asks the job to stop: the flag, and every wait ends at once.
    void RequestAbort();

protected:
    // The sink and trace of a job; both must outlive it.
    void Attach(JobSink& sink, DebugTrace& trace) {
        sink_ = &sink;
        trace_ = &trace;
    }
    bool WakeValid() const { return wake_.Valid(); }

private:
    std::atomic<bool> abort_{false};
    WakeEvent wake_;
    JobSink* sink_ = nullptr;
    DebugTrace* trace_ = nullptr;
};

}  // namespace tracora::device
