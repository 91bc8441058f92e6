#include "protocols/graviter/graviter_session.hpp"

#include <string>
#include <vector>

#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "core/track_log.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/graviter/graviter_frames.hpp"

namespace tracora::protocols::graviter {

namespace {

using device::GpsAccessJob;

constexpr int kAnswerSilenceMs = 2000;
constexpr int kPageAttempts = 3;
// A line without a byte for this long has finished what it was sending.
constexpr int kQuietLineMs = 500;
// A page answer is 519 characters; anything longer is noise.
constexpr std::size_t kMaxLine = 600;

const char* const kTrackTitle = "Read GPS track log";
const char* const kProductTitle = "Reading product data";
const char* const kNameTitle = "Write pilot data";

int Aborted(GpsAccessJob& job) {
    job.Status("Transfer aborted");
    return -1;
}

// One line of the answer, without CR LF; bytes before it that are not printable are dropped.
// kByteReceived with the line, or the receiver's silence or I/O code.
int ReadAnswerLine(SerialReceiver& receiver, std::string& line) {
    line.clear();
    for (;;) {
        std::uint8_t byte = 0;
        const int got = receiver.ReadByte(byte, kAnswerSilenceMs);
        if (got != kByteReceived)
            return got;
        if (byte == '\n') {
            if (!line.empty())
                return kByteReceived;
            continue;
        }
        if (byte == '\r')
            continue;
        if (byte < 0x20 || byte > 0x7E) {
            line.clear();  // line noise: start again
            continue;
        }
        if (line.size() >= kMaxLine)
            line.clear();
        line += static_cast<char>(byte);
    }
}

// The failure of a read: an abort, a cut cable, or silence.
int ReadFailed(GpsAccessJob& job, int status, const std::string& message, const char* title) {
    if (IsAbort(status))
        return Aborted(job);
    job.Error(status == kSilence ? message : "E103 COM port read error", title);
    return -1;
}

// Port and product data into the job. 0 or -1 (reported).
int Connect(GpsAccessJob& job, SerialReceiver& receiver, const char* title) {
    if (job.OpenComPort(kBaud, false) != 0)
        return -1;
    // The rest of an aborted page answer must not be taken for the product data.
    if (job.DiscardStaleInput(kQuietLineMs, kAnswerSilenceMs * kPageAttempts) != 0)
        return -1;
    job.Status("Requesting product data");
    if (job.WriteText(kProductRequest) != 0) {
        if (job.AbortRequested())
            return Aborted(job);
        job.Error("E102 COM port write error", title);
        return -1;
    }
    std::string line;
    GraviterProduct product;
    for (;;) {
        const int got = ReadAnswerLine(receiver, line);
        if (got != kByteReceived)
            return ReadFailed(job, got, "E101 No answer from GPS", kProductTitle);
        if (DecodeProduct(line, product) == 0)
            break;
        // Anything else on the line before the answer (noise, an echo) is skipped.
    }
    job.Status("Product data read");
    job.Status2("Graviter " + product.model + ", SN" + product.serial + ", SW" + product.firmware);
    job.productName = "Graviter";
    job.instrumentDescription =
        ("Graviter " + product.model + " SN" + product.serial + " SW" + product.firmware)
            .substr(0, 80);
    job.productText = (product.model + " " + product.serial + " " + product.firmware).substr(0, 53);
    job.track.productName = job.productName;
    job.track.instrumentDescription = job.instrumentDescription;
    job.track.productText = job.productText;
    return 0;
}

// One page of the memory image, asked again after a damaged answer or silence. 0, or -1.
int ReadPage(GpsAccessJob& job, SerialReceiver& receiver, std::uint16_t page, Page& bytes) {
    PageStatus last = PageStatus::kOk;
    int lastRead = kByteReceived;
    for (int attempt = 0; attempt < kPageAttempts; ++attempt) {
        if (job.AbortRequested())
            return Aborted(job);
        receiver.Discard();
        if (job.WriteText(PageRequest(page)) != 0) {
            if (job.AbortRequested())
                return Aborted(job);
            job.Error("E202 COM port write error", kTrackTitle);
            return -1;
        }
        std::string line;
        lastRead = ReadAnswerLine(receiver, line);
        if (lastRead != kByteReceived) {
            if (lastRead != kSilence)
                return ReadFailed(job, lastRead, "", kTrackTitle);
            continue;  // silence: ask again
        }
        last = DecodePageAnswer(line, page, bytes);
        if (last == PageStatus::kOk)
            return 0;
        if (last == PageStatus::kNoSuchPage)
            break;
    }
    std::string message;
    if (lastRead == kSilence)
        message = "E203 No answer from GPS";
    else if (last == PageStatus::kBadChecksum)
        message = FormatCount("E204 Checksum error in memory page %", page);
    else if (last == PageStatus::kNoSuchPage)
        message = FormatCount("E205 Memory page % not found", page);
    else
        message = FormatCount("E206 Format error in memory page %", page);
    job.Error(message, kTrackTitle);
    return -1;
}

}  // namespace

int GraviterReadTrackLog(GpsAccessJob& job) {
    SerialReceiver receiver(job);
    if (Connect(job, receiver, kTrackTitle) != 0)
        return -1;
    job.Status("Requesting track log");
    Page page{};
    if (ReadPage(job, receiver, 0, page) != 0)
        return -1;
    ImageHeader header;
    if (DecodeHeader(page, header) != 0) {
        job.Error("E207 Bad memory image", kTrackTitle);
        return -1;
    }
    if (header.recordCount == 0) {
        job.Error("No points detected", kTrackTitle);
        return -1;
    }
    const std::size_t pages = RecordPages(header.recordCount);
    std::vector<std::uint8_t> records;
    records.reserve(pages * kPageSize);
    for (std::size_t i = 1; i <= pages; ++i) {
        if (ReadPage(job, receiver, static_cast<std::uint16_t>(i), page) != 0)
            return -1;
        records.insert(records.end(), page.begin(), page.end());
        const long long received = static_cast<long long>(
            std::min<std::size_t>(header.recordCount, i * (kPageSize / kRecordSize)));
        if (i == 1 || i % 10 == 0 || i == pages) {
            job.Progress(received, header.recordCount);
            job.Status(FormatCount("Track position %", received));
            job.Notify(FormatCount("Progress %/%", received, header.recordCount));
        }
    }
    std::vector<TrackPoint> points = DecodeRecords(header, records);
    job.Status(FormatCount("% points received", static_cast<long long>(points.size())));
    DownloadedTrackLog& track = job.track;
    track.points = std::move(points);
    track.sourceKind = kSourceKind;
    track.protocol = ProtocolNumber(job.protocol);
    track.timeIsUtc = true;
    track.gRecordEligible = true;
    track.hasPressureAltitude = header.hasPressureAltitude;
    return 0;
}

int GraviterWritePilotData(GpsAccessJob& job) {
    const std::string command = NameCommand(job.pilotName);
    if (command.empty()) {
        job.Error("Bad/missing user name", kNameTitle);
        return -1;
    }
    SerialReceiver receiver(job);
    if (Connect(job, receiver, kNameTitle) != 0)
        return -1;
    job.Status("Sending pilot name");
    if (job.WriteText(command) != 0) {
        if (job.AbortRequested())
            return Aborted(job);
        job.Error("E402 COM port write error", kNameTitle);
        return -1;
    }
    std::string line;
    const int got = ReadAnswerLine(receiver, line);
    if (got != kByteReceived)
        return ReadFailed(job, got, "E403 No answer from GPS", kNameTitle);
    if (line != kNameStored) {
        job.Error("E404 Pilot name not stored", kNameTitle);
        return -1;
    }
    job.Status("Pilot name stored");
    return 0;
}

}  // namespace tracora::protocols::graviter
