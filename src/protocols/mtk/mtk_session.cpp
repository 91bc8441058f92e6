#include "protocols/mtk/mtk_session.hpp"

#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "core/text_forms.hpp"
#include "core/track_log.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/mtk/mtk_frames.hpp"

namespace tracora::protocols::mtk {

namespace {

using device::GpsAccessJob;
using Clock = SerialReceiver::Clock;

constexpr int kFirmwareAttemptMs = 1000;
constexpr int kAnswerMs = 500;
constexpr int kPauseBetweenStepsMs = 300;
constexpr int kEraseSeconds = 30;
constexpr int kChunkAttempts = 3;
constexpr int kQuietLineMs = 500;
// A chunk answer is about 540 characters; longer lines are noise.
constexpr std::size_t kMaxLine = 1100;

// The steps of a conversation; each failure's message carries the step's name as its title.
enum class Step {
    kProduct,
    kLogStatus,
    kStopLogging,
    kMemoryUsed,
    kReadLog,
    kStartLogging,
    kErase
};

const char* StepName(Step step) {
    switch (step) {
        case Step::kProduct:
            return "Get product information";
        case Step::kLogStatus:
            return "Get logging status";
        case Step::kStopLogging:
            return "Turn off logging";
        case Step::kMemoryUsed:
            return "Get memory used";
        case Step::kReadLog:
            return "Read log data";
        case Step::kStartLogging:
            return "Turn on logging";
        case Step::kErase:
            return "Erase log";
    }
    return "";
}

// What ended a step.
enum class Failure {
    kNone,
    kAborted,  // silently
    kWrite,
    kRead,
    kNoProduct,
    kNoStatus,
    kNoResponse,
    kZeroMemory,
    kTooMuchMemory,
    kNoMemory,
    kNoChunk,
    kChunkOutside,
};

const char* FailureText(Failure failure) {
    switch (failure) {
        case Failure::kWrite:
            return "COM port write error";
        case Failure::kRead:
            return "COM port read error";
        case Failure::kNoProduct:
            return "No product data received";
        case Failure::kNoStatus:
            return "No logging status response";
        case Failure::kNoResponse:
            return "No response received";
        case Failure::kZeroMemory:
            return "Zero used memory";
        case Failure::kTooMuchMemory:
            return "More than 64MB....";
        case Failure::kNoMemory:
            return "Could not allocate memory";
        case Failure::kNoChunk:
            return "No response for data chunk";
        case Failure::kChunkOutside:
            return "Chunk data outside used memory";
        case Failure::kNone:
        case Failure::kAborted:
            break;
    }
    return "";
}

// Reads the answers of the logger: collects sentences, checks them, and hands over the one the
// current step waits for; anything else (answers of other steps, acknowledgements of queries,
// NMEA position output) is passed over.
class AnswerReader {
public:
    explicit AnswerReader(GpsAccessJob& job) : job_(job), receiver_(job), collector_(kMaxLine) {}

    // Waits up to `ms` for an answer `accept` takes. 1 taken, 0 time-out, or an I/O status.
    template <typename Accept>
    int WaitFor(int ms, Accept accept) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            std::uint8_t byte = 0;
            const int rc = receiver_.ReadByteUntil(byte, deadline);
            if (rc != kByteReceived)
                return rc;
            if (!collector_.Feed(byte))
                continue;
            const Answer answer = DecodeAnswer(collector_.Line());
            if (answer.badChecksum) {
                job_.Trace().Text("Bad checksum\n");
                continue;
            }
            if (answer.kind != AnswerKind::kNone && accept(answer))
                return 1;
        }
    }

private:
    GpsAccessJob& job_;
    SerialReceiver receiver_;
    NmeaLineCollector collector_;
};

// Accepts the acknowledgement of a 182 command with this subcommand (or one naming none).
struct AckOf {
    int subcommand;
    bool operator()(const Answer& answer) const {
        return answer.kind == AnswerKind::kAck &&
               (answer.ackSubcommand < 0 || answer.ackSubcommand == subcommand);
    }
};

class Conversation {
public:
    explicit Conversation(GpsAccessJob& job) : job_(job), reader_(job) {}

    Failure Product() {
        step_ = Step::kProduct;
        job_.Trace().Text("Get product information\n");
        const int attempts = job_.openAttempts > 0 ? job_.openAttempts : 30;
        Answer firmware;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            const Failure failure =
                Exchange(kFirmwareRequest, kFirmwareAttemptMs, [&](const Answer& answer) {
                    if (answer.kind != AnswerKind::kFirmware)
                        return false;
                    firmware = answer;
                    return true;
                });
            if (failure == Failure::kNone)
                break;
            if (failure != Failure::kNoResponse)
                return failure;
            if (attempt + 1 == attempts)
                return Failure::kNoProduct;
        }
        job_.Status("Product data read");
        job_.productName = "Pentagram";
        job_.instrumentDescription = "Pentagram";
        job_.productText =
            ("Pentagram: " + firmware.firmware1 + "," + firmware.firmware2).substr(0, 50);
        job_.Status2(job_.productText);
        job_.track.productName = job_.productName;
        job_.track.instrumentDescription = job_.instrumentDescription;
        job_.track.productText = job_.productText;
        if (job_.competitionMode) {
            job_.competitionId = -1;
            job_.civlId = -1;
        }
        return Failure::kNone;
    }

    // Logging status, then logging stopped. The status goes to loggingOn.
    Failure StopLogging() {
        step_ = Step::kLogStatus;
        job_.Trace().Text("Get logging status\n");
        std::uint32_t status = 0;
        Failure failure = Exchange(kLogStatusRequest, kAnswerMs, [&](const Answer& answer) {
            if (answer.kind != AnswerKind::kLogStatus)
                return false;
            status = answer.value;
            return true;
        });
        if (failure == Failure::kNoResponse)
            return Failure::kNoStatus;
        if (failure != Failure::kNone)
            return failure;
        loggingOn_ = (status & 2) != 0;
        if (!Pause())
            return Failure::kAborted;
        step_ = Step::kStopLogging;
        job_.Trace().Text("Turn off logging\n");
        failure = Exchange(kStopLogging, kAnswerMs, AckOf{5});
        if (failure != Failure::kNone)
            return failure;
        return Pause() ? Failure::kNone : Failure::kAborted;
    }

    Failure StartLogging() {
        if (!loggingOn_)
            return Failure::kNone;
        step_ = Step::kStartLogging;
        job_.Trace().Text("Turn on logging\n");
        return Exchange(kStartLogging, kAnswerMs, AckOf{4});
    }

    Failure MemoryUsed(std::uint32_t& used) {
        step_ = Step::kMemoryUsed;
        job_.Trace().Text("Get memory used\n");
        const Failure failure = Exchange(kMemoryUsedRequest, kAnswerMs, [&](const Answer& answer) {
            if (answer.kind != AnswerKind::kMemoryUsed)
                return false;
            used = answer.value;
            return true;
        });
        if (failure != Failure::kNone)
            return failure;
        if (!Pause())
            return Failure::kAborted;
        if (used == 0)
            return Failure::kZeroMemory;
        if (used > kMaxMemory)
            return Failure::kTooMuchMemory;
        return Failure::kNone;
    }

    // The chunks covering `used` bytes into `memory` (already sized and filled with 0xFF).
    Failure ReadLog(std::uint32_t used, std::vector<std::uint8_t>& memory) {
        step_ = Step::kReadLog;
        job_.Trace().Text("Read log data\n");
        const auto end =
            static_cast<std::uint32_t>((used + kChunkSize - 1) / kChunkSize * kChunkSize);
        const auto started = Clock::now();
        auto lastReport = started;
        for (std::uint32_t address = 0; address < end; address += kChunkSize) {
            Failure outside = Failure::kNone;
            Failure failure = Failure::kNoResponse;
            for (int attempt = 0; attempt < kChunkAttempts && failure == Failure::kNoResponse;
                 ++attempt) {
                failure = Exchange(ChunkRequest(address), kAnswerMs, [&](const Answer& answer) {
                    if (answer.kind != AnswerKind::kChunk || answer.value != address)
                        return false;  // an answer for another address is not this one
                    if (answer.value + answer.bytes.size() > memory.size()) {
                        outside = Failure::kChunkOutside;
                        return true;
                    }
                    std::copy(answer.bytes.begin(), answer.bytes.end(),
                              memory.begin() + static_cast<std::ptrdiff_t>(address));
                    return true;
                });
            }
            if (failure == Failure::kNoResponse)
                return Failure::kNoChunk;
            if (failure != Failure::kNone)
                return failure;
            if (outside != Failure::kNone)
                return outside;
            const auto now = Clock::now();
            if (now - lastReport >= std::chrono::seconds(1)) {
                lastReport = now;
                const double done = address + kChunkSize;
                const double elapsed = std::chrono::duration<double>(now - started).count();
                const auto left = static_cast<long long>(elapsed * (end - done) / done + 0.5);
                const std::string text = FormatCount("Time left (s): %", left);
                job_.Progress(static_cast<long long>(done), end);
                job_.Status(text);
                job_.Notify(text);
            }
        }
        job_.Progress(end, end);
        return Failure::kNone;
    }

    Failure Erase() {
        step_ = Step::kErase;
        job_.Trace().Text("Erase log\n");
        job_.Status("Erasing (30)");
        if (const Failure failure = Write(kEraseCommand); failure != Failure::kNone)
            return failure;
        for (int left = kEraseSeconds; left > 0; --left) {
            const int rc = reader_.WaitFor(1000, AckOf{6});
            if (rc == 1)
                return Failure::kNone;
            if (rc < 0)
                return IsAbort(rc) ? Failure::kAborted : Failure::kRead;
            job_.Status(FormatCount("Erasing (%)", left - 1));
        }
        return Failure::kNoResponse;
    }

    // Shows the failure of the current step (nothing for an abort).
    void Report(Failure failure) {
        if (failure == Failure::kAborted) {
            job_.Status("Transfer aborted");
            return;
        }
        job_.Error(FailureText(failure), StepName(step_));
    }

private:
    Failure Write(std::string_view command) {
        if (job_.WriteText(command) == 0)
            return Failure::kNone;
        return job_.AbortRequested() ? Failure::kAborted : Failure::kWrite;
    }

    template <typename Accept>
    Failure Exchange(std::string_view command, int ms, Accept accept) {
        if (job_.AbortRequested())
            return Failure::kAborted;
        if (const Failure failure = Write(command); failure != Failure::kNone)
            return failure;
        const int rc = reader_.WaitFor(ms, accept);
        if (rc == 1)
            return Failure::kNone;
        if (rc == 0)
            return Failure::kNoResponse;
        return IsAbort(rc) ? Failure::kAborted : Failure::kRead;
    }

    bool Pause() { return job_.Pause(kPauseBetweenStepsMs); }

    GpsAccessJob& job_;
    AnswerReader reader_;
    Step step_ = Step::kProduct;
    bool loggingOn_ = false;
};

int Open(GpsAccessJob& job) {
    const int baud = job.parameter > 0 ? job.parameter : kDefaultBaud;
    if (job.OpenComPort(baud, false) != 0)
        return -1;
    // What an aborted download left on the line is not an answer.
    const int seconds = job.openAttempts > 0 ? job.openAttempts : 30;
    return job.DiscardStaleInput(kQuietLineMs, seconds * 1000);
}

}  // namespace

int MtkReadTrackLog(GpsAccessJob& job) {
    if (Open(job) != 0)
        return -1;
    Conversation conversation(job);
    std::vector<std::uint8_t> memory;
    std::uint32_t used = 0;
    Failure failure = conversation.Product();
    if (failure == Failure::kNone)
        failure = conversation.StopLogging();
    if (failure == Failure::kNone)
        failure = conversation.MemoryUsed(used);
    if (failure == Failure::kNone) {
        try {
            // Whole sectors, filled as erased flash is: the open sector is read up to the
            // first empty record, which must not be found in bytes the download never filled.
            memory.assign(
                (static_cast<std::size_t>(used) + kSectorSize - 1) / kSectorSize * kSectorSize,
                0xFF);
        } catch (const std::bad_alloc&) {
            failure = Failure::kNoMemory;
        }
    }
    if (failure == Failure::kNone)
        failure = conversation.ReadLog(used, memory);
    if (failure == Failure::kNone)
        failure = conversation.StartLogging();
    if (failure != Failure::kNone) {
        conversation.Report(failure);
        return -1;
    }
    LogResult log;
    try {
        log = ParseLog(memory, used);
    } catch (const std::bad_alloc&) {
        job.Error("Track log memory allocation", "Parse log data");
        return -1;
    }
    switch (log.status) {
        case LogStatus::kBadHeader:
            job.Error("Bad header block", "Parse log data");
            return -1;
        case LogStatus::kBadData:
            job.Error(FormatCount("Bad data block (%)", log.badDataCode), "Parse log data");
            return -1;
        case LogStatus::kNoPoints:
            job.Error("No points detected", "Parse log data");
            return -1;
        case LogStatus::kOk:
            break;
    }
    job.Status(FormatCount("% points received", static_cast<long long>(log.points.size())));
    DownloadedTrackLog& track = job.track;
    track.points = std::move(log.points);
    track.sourceKind = kSourceKind;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = true;
    track.gRecordEligible = true;
    track.hasPressureAltitude = false;
    return 0;
}

int MtkErase(GpsAccessJob& job) {
    if (Open(job) != 0)
        return -1;
    Conversation conversation(job);
    Failure failure = conversation.Product();
    if (failure == Failure::kNone)
        failure = conversation.StopLogging();
    if (failure == Failure::kNone)
        failure = conversation.Erase();
    if (failure == Failure::kNone)
        failure = conversation.StartLogging();
    if (failure != Failure::kNone) {
        conversation.Report(failure);
        return -1;
    }
    job.Status("Erase completed");
    return 0;
}

}  // namespace tracora::protocols::mtk
