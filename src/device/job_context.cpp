#include "device/job_context.hpp"

namespace tracora::device {

bool JobContext::Pause(int milliseconds) {
    if (AbortRequested())
        return false;
    return !wake_.Wait(milliseconds) && !AbortRequested();
}

void JobContext::Error(const std::string& text, const std::string& title) {
    sink_->JobError(text, title);
}

void JobContext::Status(const std::string& text) {
    sink_->JobStatus(text);
}

void JobContext::Status2(const std::string& text) {
    sink_->JobStatus2(text);
}

void JobContext::Progress(long long done, long long total) {
    if (total <= 0) {
        return;
    }
    sink_->JobProgress(done < 0 ? 0 : (done > total ? total : done), total);
}

void JobContext::Notify(const std::string& text) {
    if (notify)
        notify(text);
}

void JobContext::RequestAbort() {
    abort_ = true;
    wake_.Set();
}

}  // namespace tracora::device
