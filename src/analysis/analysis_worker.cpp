#include "analysis/analysis_worker.hpp"

#include <system_error>

namespace tracora::analysis {

AnalysisWorker::~AnalysisWorker() {
    Halt();
    Join();
}

int AnalysisWorker::Start(std::function<int(const CancelFlag&)> run,
                          std::function<void()> finished) {
    if (thread_.joinable()) {
        return -1;
    }
    run_ = std::move(run);
    onFinished_ = std::move(finished);
    cancel_.store(0);
    finished_.store(false);
    status_ = 0;
    try {
        thread_ = std::thread([this] {
            status_ = run_(cancel_);
            finished_.store(true);
            if (onFinished_) {
                onFinished_();
            }
        });
    } catch (const std::system_error&) {
        return -1;
    }
    return 0;
}

int AnalysisWorker::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return status_;
}

}  // namespace tracora::analysis
