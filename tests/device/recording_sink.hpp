// A job sink for tests: records what a job reports from its worker thread, and lets the test
// wait for a status text.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/gps_job.hpp"

namespace tracora::device::test_support {

// Collects a job's reports from the worker thread; a test can wait for a status text.
class RecordingSink : public JobSink {
public:
    struct Error {
        std::string text, title;
    };
    void JobError(const std::string& text, const std::string& title) override {
        std::lock_guard lock(mutex_);
        errors_.push_back({text, title});
        changed_.notify_all();
    }
    void JobStatus(const std::string& text) override {
        std::lock_guard lock(mutex_);
        statuses_.push_back(text);
        changed_.notify_all();
    }
    void JobStatus2(const std::string& text) override {
        std::lock_guard lock(mutex_);
        statuses2_.push_back(text);
    }
    void JobProgress(long long done, long long total) override {
        std::lock_guard lock(mutex_);
        progress_.emplace_back(done, total);
    }
    std::vector<std::pair<long long, long long>> Progress() {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    // There were progress reports, each within its total, and the last one is at its total.
    bool ProgressEndsAtTotal() {
        std::lock_guard lock(mutex_);
        for (const auto& [done, total] : progress_) {
            if (done < 0 || total <= 0 || done > total) {
                return false;
            }
        }
        return !progress_.empty() && progress_.back().first == progress_.back().second;
    }
    // The last progress report, or (-1, -1) when there was none.
    std::pair<long long, long long> LastProgress() {
        std::lock_guard lock(mutex_);
        return progress_.empty() ? std::pair<long long, long long>(-1, -1) : progress_.back();
    }
    bool WaitForStatus(const std::string& text, int timeoutMs) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::find(statuses_.begin(), statuses_.end(), text) != statuses_.end();
        });
    }
    std::vector<std::string> Statuses() {
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    std::vector<std::string> Statuses2() {
        std::lock_guard lock(mutex_);
        return statuses2_;
    }
    std::vector<Error> Errors() {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    bool SawStatus(const std::string& text) {
        const auto all = Statuses();
        return std::find(all.begin(), all.end(), text) != all.end();
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<long long, long long>> progress_;
    std::condition_variable changed_;
    std::vector<Error> errors_;
    std::vector<std::string> statuses_;
    std::vector<std::string> statuses2_;
};

}  // namespace tracora::device::test_support
