#include "protocols/logit/logit_session.hpp"

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/notify_texts.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "protocols/common/block_frame.hpp"
#include "protocols/common/pmlr.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/logit/logit_frames.hpp"

namespace tracora::protocols::logit {

namespace {

using device::GpsAccessJob;

constexpr std::string_view kAborted = "Transfer aborted";
constexpr const char* kTrackTitle = "Read LogIt track log";
constexpr const char* kCountTitle = "Read track point count";
constexpr int kPauseAfterProductMs = 200;
constexpr int kPauseBeforeSwitchMs = 300;
constexpr int kPauseBeforeEndMs = 300;
constexpr int kPauseBeforeRetryMs = 200;
constexpr int kPauseBeforeCommandMs = 500;
constexpr int kCountTimeoutMs = 10'000;
// A logger that falls silent in the middle of its track log would hang a command-line run for
// ever: 10 s without a byte end the transfer.
constexpr int kDataSilenceMs = 10'000;
// A logger whose every transfer breaks would restart for ever.
constexpr int kMaxRestarts = 5;
constexpr int kSourceKind = 4;

int Aborted(GpsAccessJob& job) {
    job.Status(std::string(kAborted));
    return -1;
}

// Port and product data; the texts go to the job. 0 or -1 (reported).
int Connect(GpsAccessJob& job, LogItProduct& product) {
    job.Status2("");
    if (job.OpenComPort(kBaud, false) != 0) {
        return -1;
    }
    std::vector<std::string> fields;
    if (PmlrProductExchange(job, kProductRules, fields) != 0) {
        return -1;
    }
    product = DecodeProduct(fields);
    job.instrumentDescription = product.model.substr(0, 80);
    job.Status("Product data read");
    job.Status2(DeviceLine(product));
    if (!job.Pause(kPauseAfterProductMs)) {
        return Aborted(job);
    }
    job.productName = product.model.substr(0, 16);
    job.productText = (job.productName + ": " + product.serial).substr(0, 50);
    job.productFields = {product.model, product.user, product.serial, product.version};
    return 0;
}

// The Tracklogger's point count; -1 stays "unknown" for other models. 0 or -1 (reported).
int ReadPointCount(GpsAccessJob& job, const LogItProduct& product, long long& expected) {
    expected = -1;
    if (product.model != kTracklogger) {
        return 0;
    }
    job.Status("Requesting track point count");
    if (job.WriteText(kPointCountRequest) != 0) {
        if (job.AbortRequested()) {
            return Aborted(job);
        }
        job.Error("E500 COM port write error", kCountTitle);
        return -1;
    }
    SerialReceiver serial(job, false);
    PointCountParser parser;
    const auto deadline = SerialReceiver::Clock::now() + std::chrono::milliseconds(kCountTimeoutMs);
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByteUntil(byte, deadline);
        if (rc == kSilence || rc < 0) {
            EndBinaryTransfer(job, 0, 0);
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error(rc == kSilence ? "E501 Track point count request timeout"
                                     : "E502 COM port read error",
                      kCountTitle);
            return -1;
        }
        const int result = parser.Feed(byte);
        if (result < 0) {
            EndBinaryTransfer(job, 0, 0);
            job.Error(FormatCount("E503 Format error %", -result), kCountTitle);
            return -1;
        }
        if (result == 1) {
            expected = parser.Count();
            job.Status("Track point count read");
            return job.Pause(kPauseAfterProductMs) ? 0 : Aborted(job);
        }
    }
}

void ShowProgress(GpsAccessJob& job, long long count, long long expected) {
    if (count != 1 && count % 250 != 0) {
        return;
    }
    if (expected >= 0) {
        job.Progress(count, expected);
        job.Status(FormatCount("% points of % received", count, expected));
        job.Notify(FormatCount("Progress %/%", count, expected));
    } else {
        job.Status(FormatCount("% points received", count));
        job.Notify(FormatCount("Progress %/?", count));
    }
}

// The track log transfer after the product data. 0 or -1 (reported).
int ReceiveTrackLog(GpsAccessJob& job, const LogItProduct& product, long long expected,
                    std::vector<TrackPoint>& points) {
    const int speed = TransferBaud(job.parameter);
    const std::string_view request = TrackRequest(job.parameter);
    const bool restarts = product.model == kTracklogger;
    job.Status("Requesting track log");
    if (job.WriteText(request) != 0) {
        if (job.AbortRequested()) {
            return Aborted(job);
        }
        job.Error("E201 COM port write error", kTrackTitle);
        return -1;
    }
    if (!job.Pause(kPauseBeforeSwitchMs)) {
        EndBinaryTransfer(job, 0, kPauseBeforeEndMs);
        return Aborted(job);
    }
    if (job.SetComBaud(speed) != 0) {
        EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
        return job.AbortRequested() ? Aborted(job) : -1;
    }
    SerialReceiver serial(job, false);
    FrameDecoder decoder(kTrackShape);
    TransferState state;
    PositionPacer positions(job.sendLogSeconds);
    std::vector<TrackRecord> records;
    int restartsDone = 0;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByte(byte, kDataSilenceMs);
        if (rc < 0) {
            if (IsAbort(rc)) {
                EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
                return -1;
            }
            job.Error("E202 COM port read error", kTrackTitle);
            EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
            return -1;
        }
        if (rc == kSilence) {
            EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
            job.Error("E206 Track log data timeout", kTrackTitle);
            return -1;
        }
        const FrameEvent event = decoder.Feed(byte);
        if (event == FrameEvent::kNone) {
            continue;
        }
        int code = FrameErrorCode(event);
        if (event == FrameEvent::kFrame) {
            records.clear();
            code = state.Block(decoder.Number(), decoder.Type(), decoder.Records(), records);
            for (const TrackRecord& record : records) {
                if (points.size() == points.capacity()) {
                    points.reserve(points.size() * 2);
                }
                points.push_back(ToTrackPoint(record, points.empty()));
                const auto count = static_cast<long long>(points.size());
                ShowProgress(job, count, expected);
                if (positions.Enabled()) {
                    if (std::optional<std::string> text = positions.Offer(points.back())) {
                        job.Notify(*text);
                    }
                }
            }
            if (code == 1) {
                job.Progress(static_cast<long long>(points.size()), expected);
                job.Status(FormatCount("% points received", static_cast<long long>(points.size())));
                EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
                return 0;
            }
        }
        if (code == 0) {
            continue;
        }
        if (!restarts || !state.Begun() || restartsDone >= kMaxRestarts) {
            EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
            job.Error(FormatCount("E204 Format error %", -code), kTrackTitle);
            return -1;
        }
        ++restartsDone;
        const auto from = static_cast<long long>(points.size()) + 1;
        if (job.SetComBaud(kBaud) != 0) {
            EndBinaryTransfer(job, 0, kPauseBeforeEndMs);
            return job.AbortRequested() ? Aborted(job) : -1;
        }
        job.Status(StringPrintf("RESTART at point %lld", from));
        if (job.WriteText(RestartRequest(from)) != 0 || !job.Pause(kPauseBeforeRetryMs) ||
            job.WriteText(request) != 0) {
            EndBinaryTransfer(job, 0, kPauseBeforeEndMs);
            if (job.AbortRequested()) {
                return Aborted(job);
            }
            job.Error("E205 COM port write error", kTrackTitle);
            return -1;
        }
        if (!job.Pause(kPauseBeforeSwitchMs)) {
            EndBinaryTransfer(job, 0, kPauseBeforeEndMs);
            return Aborted(job);
        }
        if (job.SetComBaud(speed) != 0) {
            EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
            return job.AbortRequested() ? Aborted(job) : -1;
        }
        serial.Discard();
        decoder.Reset();
        state.ExpectRestart();
    }
}

// Sends the end sentence, pauses, then `command`; no answer is read. 0 or -1.
int SendCommand(GpsAccessJob& job, std::string_view command, const char* endError,
                const char* commandError, const char* title, const char* done) {
    if (job.OpenComPort(kBaud, false) != 0) {
        job.Status("No serial port");
        return -1;
    }
    if (job.WriteText(kPmlrEndSentence) != 0) {
        job.Status("COM port write error");
        job.Error(endError, title);
        return -1;
    }
    if (!job.Pause(kPauseBeforeCommandMs)) {
        return Aborted(job);
    }
    if (job.WriteText(command) != 0) {
        job.Status("Write error");
        job.Error(commandError, title);
        return -1;
    }
    job.Status(done);
    return 0;
}

}  // namespace

int LogItReadTrackLog(GpsAccessJob& job) {
    LogItProduct product;
    if (Connect(job, product) != 0) {
        return -1;
    }
    long long expected = -1;
    if (ReadPointCount(job, product, expected) != 0) {
        return -1;
    }
    job.competitionId = -1;
    job.civlId = -1;
    std::vector<TrackPoint> points;
    try {
        points.reserve(200);
        if (ReceiveTrackLog(job, product, expected, points) != 0) {
            return -1;
        }
    } catch (const std::bad_alloc&) {
        EndBinaryTransfer(job, kBaud, kPauseBeforeEndMs);
        job.Error("E203 Track log memory allocation", kTrackTitle);
        return -1;
    }
    if (points.empty()) {
        job.Error("No points detected", kTrackTitle);
        return -1;
    }
    DownloadedTrackLog& track = job.track;
    track.points = std::move(points);
    track.sourceKind = kSourceKind;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = false;
    track.hasPressureAltitude = false;
    track.gRecordEligible = true;
    track.productName = job.productName;
    track.instrumentDescription = job.instrumentDescription;
    track.productText = job.productText;
    return 0;
}

int LogItReadProductData(GpsAccessJob& job) {
    LogItProduct product;
    return Connect(job, product);
}

int LogItEraseTrackLog(GpsAccessJob& job) {
    return SendCommand(job, kEraseRequest, "E301 COM port write error", "E300 COM port write error",
                       "Sending erase command", "Command sent (no verification)");
}

int LogItWriteName(GpsAccessJob& job) {
    return SendCommand(job, NameSentence(job.pilotName), "E401 COM port write error",
                       "E400 COM port write error", "Sending name", "Name sent (no verification)");
}

}  // namespace tracora::protocols::logit
