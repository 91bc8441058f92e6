// One run of an analysis on a thread of its own: a cancel flag the run tests, a call on the
// worker thread once it has ended, and a join that gives its status. The owner keeps what the
// run reads and writes alive until Join(); the destructor halts and joins.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "analysis/distance_optimisation.hpp"

namespace tracora::analysis {

class AnalysisWorker {
public:
    AnalysisWorker() = default;
    ~AnalysisWorker();
    AnalysisWorker(const AnalysisWorker&) = delete;
    AnalysisWorker& operator=(const AnalysisWorker&) = delete;

    // Starts `run` with the worker's cancel flag; it returns 0, or -1 on allocation failure.
    // `finished` is called on the worker thread once Finished() is true. Returns 0, or -1 when
    // a run is still going or the thread cannot start.
    int Start(std::function<int(const CancelFlag&)> run, std::function<void()> finished = {});
    void Halt() { cancel_.store(1); }
    // Waits for the run to end and returns its status.
    int Join();
    bool Finished() const { return finished_.load(); }
    // Whether a run was started and not joined yet: its data must stay as they are.
    bool Started() const { return thread_.joinable(); }

private:
    std::function<int(const CancelFlag&)> run_;
    std::function<void()> onFinished_;
    CancelFlag cancel_{0};
    std::atomic<bool> finished_{false};
    int status_ = 0;
    std::thread thread_;
};

}  // namespace tracora::analysis
