#include "protocols/common/remaining_time.hpp"

#include <algorithm>

#include "device/job_context.hpp"

namespace tracora::protocols {

int EstimateRemainingSeconds(const DownloadProgress& progress) {
    long long seconds = 0;
    if (progress.expectedPoints > 0) {
        if (progress.receivedPoints <= 0) {
            return kMaxRemainingSeconds;
        }
        seconds = progress.elapsedMs * (progress.expectedPoints - progress.receivedPoints) /
                  progress.receivedPoints / 1000;
    } else {
        const long long received =
            static_cast<long long>(progress.lastPointTime) - progress.firstPointTime;
        if (received == 0) {
            return kMaxRemainingSeconds;
        }
        long long remaining = static_cast<long long>(progress.firstPointTime) +
                              progress.listedDurationSeconds - progress.lastPointTime;
        remaining = std::max<long long>(remaining, 0);
        seconds = progress.elapsedMs * remaining / received / 1000;
    }
    return static_cast<int>(std::clamp<long long>(seconds, 0, kMaxRemainingSeconds));
}

namespace {

// The bar's total: the expected points, else the listed duration; 0 when neither is known.
long long ProgressTotal(const DownloadProgress& progress) {
    return progress.expectedPoints > 0 ? progress.expectedPoints : progress.listedDurationSeconds;
}

}  // namespace

int ReportTrackProgress(device::JobContext& job, const DownloadProgress& progress) {
    if (const long long total = ProgressTotal(progress); total > 0) {
        const long long done =
            progress.expectedPoints > 0
                ? progress.receivedPoints
                : static_cast<long long>(progress.lastPointTime) - progress.firstPointTime;
        job.Progress(done, total);
    }
    return EstimateRemainingSeconds(progress);
}

void CompleteTrackProgress(device::JobContext& job, const DownloadProgress& progress) {
    if (const long long total = ProgressTotal(progress); total > 0) {
        job.Progress(total, total);
    }
}

}  // namespace tracora::protocols
