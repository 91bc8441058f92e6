#include "protocols/common/product_data.hpp"

#include <chrono>

#include "core/text_forms.hpp"
#include "device/io_status.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/serial_receiver.hpp"

namespace tracora::protocols {

namespace {

constexpr std::string_view kAborted = "Transfer aborted";
// A line without a byte for this long has finished what it was sending.
constexpr int kQuietLineMs = 500;

int ReadFailed(device::GpsAccessJob& job, int status) {
    if (IsAbort(status)) {
        job.Status(std::string(kAborted));
    } else {
        job.Error("COM port read error", "Reading product data");
    }
    return -1;
}

}  // namespace

int ExchangeProductData(device::GpsAccessJob& job, const ProductDataRequest& request,
                        std::vector<std::string>& fields) {
    const int totalSeconds = job.openAttempts >= 1 ? job.openAttempts : 30;
    // What an aborted conversation left on the line would otherwise be taken for the answers
    // of this one; the instrument gets the job's time to finish it.
    if (job.DiscardStaleInput(kQuietLineMs, totalSeconds * 1000) != 0) {
        return -1;
    }
    SerialReceiver receiver(job);
    NmeaLineCollector collector(request.maxLineChars);
    for (int usedSeconds = 0; usedSeconds < totalSeconds; usedSeconds += kProductAttemptMs / 1000) {
        const int attemptsLeft = (totalSeconds - usedSeconds + 1) / 2;
        job.Status(FormatCount("Requesting product info (%)", attemptsLeft));
        if (job.AbortRequested()) {
            job.Status(std::string(kAborted));
            return -1;
        }
        if (job.WriteText(request.request) != 0) {
            if (job.AbortRequested()) {
                job.Status(std::string(kAborted));
            } else {
                job.Error("COM port write error", "Requesting GPS product data");
            }
            return -1;
        }
        const auto deadline =
            SerialReceiver::Clock::now() + std::chrono::milliseconds(kProductAttemptMs);
        collector.Reset();
        for (;;) {
            std::uint8_t byte = 0;
            const int rc = receiver.ReadByteUntil(byte, deadline);
            if (rc < 0) {
                return ReadFailed(job, rc);
            }
            if (rc == kSilence) {
                break;
            }
            if (!collector.Feed(byte)) {
                continue;
            }
            const int count = SplitNmeaSentence(collector.Line(), fields, request.fieldCount);
            if (count >= static_cast<int>(request.fieldCount) && fields[0] == request.identifier) {
                return 0;
            }
            // Not the answer: the rest of this attempt is waited out before the next request.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - SerialReceiver::Clock::now())
                                  .count();
            if (left > 0 && !job.Pause(static_cast<int>(left))) {
                job.Status(std::string(kAborted));
                return -1;
            }
            receiver.Discard();
            break;
        }
    }
    job.Error("No valid response from GPS", "Get GPS product data");
    return -1;
}

std::string NormaliseSpaces(std::string_view text, std::size_t maxChars) {
    std::string out;
    for (const char c : text.substr(0, maxChars)) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) {
            continue;
        }
        out += c;
    }
    if (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

}  // namespace tracora::protocols
