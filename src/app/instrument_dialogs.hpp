// The dialogs of the instrument settings: the Flymaster pilot data, altitude alarm and pilot
// IDs (filled in before the job starts), the DSX pilot data and the DSX track list (asked by a
// running job, whose worker waits for the answer).
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/host.hpp"
#include "device/gps_job.hpp"
#include "device/job_context.hpp"

namespace tracora::app {

// "Set Flymaster Name": pilot name, competition number, glider brand and model, each refused
// when it holds '*'. Fills `data` (mode pilot data) on OK; false when cancelled.
bool RunFlymasterNameDialog(QWidget* parent, Host& host, device::PilotDataUpload& data);
// "Set Flymaster altitude alarm": the altitude in metres, present, unsigned and at most
// 11,000. Fills `data` (mode altitude alarm) on OK; false when cancelled.
bool RunFlymasterAltitudeDialog(QWidget* parent, Host& host, device::PilotDataUpload& data);
// "Set Flymaster IDs": COMP ID, CIVL ID (digits, empty for none) and the pilot name. Fills
// `data` (mode IDs) on OK; false when cancelled.
bool RunFlymasterIdsDialog(QWidget* parent, Host& host, device::PilotDataUpload& data);

// "Set DSX pilot data" over the values read from the recorder (fields 1-5 and the telephone
// number); its two buttons switch the labels between the free-flight and the gliding form and
// set `mode` (0 free flight, 1 gliding and motor planes). The edited values on OK; false when
// cancelled.
bool RunDsxPilotDataDialog(QWidget* parent, std::int32_t& mode, std::array<std::string, 6>& values);

// "Write GPS name": the LogIt's user name, at most kGpsNameChars characters, blanks at either
// end dropped and padded with blanks to kGpsNameChars. Nothing when cancelled or when the name
// is empty.
inline constexpr int kGpsNameChars = 9;
std::optional<std::string> RunGpsNameDialog(QWidget* parent);

// "Product Data": the LogIt's model, user name, serial number and software (`fields` in that
// order; missing ones shown empty), closed with OK.
void RunProductDataDialog(QWidget* parent, const std::vector<std::string>& fields);

// A track list: one line per flight, one of them chosen ("Select track"). The row chosen, or
// nothing when cancelled.
std::optional<int> RunTrackListDialog(QWidget* parent, const QString& title,
                                      const std::vector<std::string>& entries);

// Runs `ask` on the main thread through `host` and waits on the calling worker for its answer.
// When `job` is aborted meanwhile the wait ends at once with `fallback` (the dialog's later
// answer is dropped), so a window that closes while the dialog is pending never waits on a
// worker that waits on it.
template <typename T>
T AskOnMain(Host& host, const device::JobContext& job, std::function<T()> ask, T fallback) {
    struct Pending {
        std::mutex mutex;
        std::condition_variable answered;
        std::optional<T> answer;
    };
    auto pending = std::make_shared<Pending>();
    host.PostToMain([pending, ask = std::move(ask)] {
        T answer = ask();
        const std::lock_guard lock(pending->mutex);
        pending->answer = std::move(answer);
        pending->answered.notify_all();
    });
    std::unique_lock lock(pending->mutex);
    while (!pending->answer) {
        if (job.AbortRequested()) {
            return fallback;
        }
        // The abort flag has no event of its own here: look at it again now and then.
        pending->answered.wait_for(lock, std::chrono::milliseconds(100));
    }
    return std::move(*pending->answer);
}

}  // namespace tracora::app
