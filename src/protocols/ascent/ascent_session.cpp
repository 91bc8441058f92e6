#include "protocols/ascent/ascent_session.hpp"

#include <array>
#include <bitset>
#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "core/notify_texts.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "protocols/ascent/ascent_frames.hpp"
#include "protocols/common/flight_list.hpp"
#include "protocols/common/serial_receiver.hpp"
#include "protocols/common/track_joiner.hpp"

namespace tracora::protocols::ascent {

namespace {

using device::GpsAccessJob;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kAborted = "Transfer aborted";
constexpr const char* kTrackTitle = "Read GPS track log";
constexpr const char* kListTitle = "Read track list";
constexpr const char* kEraseTitle = "Erase tracklog data";
constexpr int kReplyQuietMs = 200;
constexpr int kDataSilenceMs = 5000;
constexpr int kPauseAfterProductMs = 500;
constexpr int kSourceKind = 12;
// An erase request that does not bring the count down this many times in a row is stuck.
constexpr int kMaxStuckErases = 10;

// The flight numbers of the job's flight slots.
using FlightNumbers = std::array<std::uint16_t, device::FlightList::kSlots>;

int Aborted(GpsAccessJob& job, std::string_view text = kAborted) {
    job.Status(std::string(text));
    return -1;
}

int Write(GpsAccessJob& job, std::span<const std::uint8_t> bytes) {
    return job.WriteBytes(bytes);
}

// Collects a reply until 200 ms pass without a byte; the first 18 bytes are kept. 0, or the
// read status (negative).
int CollectReply(GpsAccessJob& job, std::vector<std::uint8_t>& reply) {
    reply.clear();
    std::array<std::uint8_t, 200> piece{};
    for (;;) {
        if (job.AbortRequested()) {
            return device::kIoAborted;
        }
        const int rc = job.ReadBytes(piece, kReplyQuietMs);
        if (rc < 0) {
            return rc;
        }
        if (rc == 0) {
            return 0;
        }
        for (int i = 0; i < rc && reply.size() < kProductReplySize; ++i) {
            reply.push_back(piece[static_cast<std::size_t>(i)]);
        }
    }
}

int ReadProductData(GpsAccessJob& job, AscentProduct& product) {
    job.Status2("");
    if (job.OpenComPort(kBaud, false) != 0) {
        return -1;
    }
    const int attempts = job.openAttempts > 0 ? job.openAttempts : 10;
    std::vector<std::uint8_t> reply;
    for (int left = attempts; left > 0; --left) {
        job.Status(FormatCount("Requesting product info (%)", left));
        const std::uint8_t request = kProductRequest;
        if (Write(job, {&request, 1}) != 0) {
            if (job.AbortRequested()) {
                return Aborted(job);
            }
            job.Error("E500 COM port write error", "Read product data");
            return -1;
        }
        const int rc = CollectReply(job, reply);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("E503 COM port read error", "Read product data");
            return -1;
        }
        if (DecodeProduct(reply, product)) {
            job.productName = "Ascent";
            job.productText = ProductText(product);
            job.instrumentDescription = DeviceLine(product);
            job.Status("Product data read");
            job.Status2(DeviceLine(product));
            return job.Pause(kPauseAfterProductMs) ? 0 : Aborted(job);
        }
    }
    job.Error("No valid response from GPS", "Get GPS product data");
    return -1;
}

// Reads blocks until the last one, sending `request` again after each. `onBlock` gets every
// block that is taken (accepted or read over) and says whether to go on. 0 or -1 (reported).
template <typename OnBlock>
int ReceiveBlocks(GpsAccessJob& job, std::span<const std::uint8_t> request, std::uint8_t id,
                  std::size_t bodySize, const char* title, OnBlock onBlock) {
    if (Write(job, request) != 0) {
        if (job.AbortRequested()) {
            return Aborted(job);
        }
        job.Error("COM port write error", title);
        return -1;
    }
    SerialReceiver serial(job, false);
    BlockReader reader(id, bodySize);
    BlockSequence sequence;
    for (;;) {
        std::uint8_t byte = 0;
        const int rc = serial.ReadByte(byte, kDataSilenceMs);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job);
            }
            job.Error("COM port read error", title);
            return -1;
        }
        if (rc == kSilence) {
            job.Error("Timeout waiting for data", title);
            return -1;
        }
        const BlockReader::Event event = reader.Feed(byte);
        if (event == BlockReader::Event::kBadId) {
            job.Error("Data error (bad message ID)", title);
            return -1;
        }
        if (event != BlockReader::Event::kBlock) {
            continue;
        }
        const BlockSequence::Verdict verdict = sequence.Next(reader.Number());
        if (verdict == BlockSequence::Verdict::kBad) {
            job.Error("Data error (bad block number)", title);
            return -1;
        }
        const int next = onBlock(reader, verdict);
        if (next <= 0) {
            return next;
        }
        if (Write(job, request) != 0) {
            if (job.AbortRequested()) {
                return Aborted(job);
            }
            job.Error("COM port write error", title);
            return -1;
        }
    }
}

int ReadTrackList(GpsAccessJob& job, FlightNumbers& numbers) {
    job.Status("Requesting track list");
    std::vector<FlightEntry> entries;
    const int rc =
        ReceiveBlocks(job, kTrackListRequest, kTrackListId, kEntrySize, kListTitle,
                      [&job, &entries](const BlockReader& reader, BlockSequence::Verdict verdict) {
                          const FlightEntry entry = DecodeEntry(reader.Body());
                          if (entry.empty) {
                              job.Status("No tracklogs found");
                              job.Error("No tracklogs found", kListTitle);
                              return -1;
                          }
                          if (verdict != BlockSequence::Verdict::kSkip) {
                              entries.push_back(entry);
                          }
                          return verdict == BlockSequence::Verdict::kLast ? 0 : 1;
                      });
    if (rc != 0) {
        return -1;
    }
    // The slots chosen beforehand (the command line's TRACK list) stay chosen.
    const std::bitset<256> selected = job.flights.selected;
    job.flights = device::FlightList{};
    job.flights.selected = selected;
    numbers = {};
    const std::size_t count = std::min<std::size_t>(entries.size(), device::FlightList::kSlots);
    for (std::size_t i = 0; i < count; ++i) {
        job.flights.start[i] = entries[i].start;
        job.flights.duration[i] = entries[i].durationSeconds;
        numbers[i] = entries[i].number;
    }
    // Newest first; equal times keep their order.
    for (std::size_t pass = 0; pass + 1 < count; ++pass) {
        for (std::size_t i = 0; i + 1 < count - pass; ++i) {
            if (job.flights.start[i] < job.flights.start[i + 1]) {
                std::swap(job.flights.start[i], job.flights.start[i + 1]);
                std::swap(job.flights.duration[i], job.flights.duration[i + 1]);
                std::swap(numbers[i], numbers[i + 1]);
            }
        }
    }
    job.Status(FormatCount("% tracks in track list found", static_cast<long long>(entries.size())));
    return 0;
}

int ReadFlight(GpsAccessJob& job, int slot, std::uint16_t number, std::vector<TrackPoint>& points) {
    job.Status(FormatCount("Requesting track log %", slot + 1));
    std::vector<std::uint8_t> data;
    data.reserve(10'000);
    const std::array<std::uint8_t, 4> request = TrackLogRequest(number);
    const int rc = ReceiveBlocks(
        job, request, kTrackLogId, kLogDataSize, kTrackTitle,
        [&job, &data](const BlockReader& reader, BlockSequence::Verdict verdict) {
            if (verdict == BlockSequence::Verdict::kSkip) {
                return 1;
            }
            const std::size_t length = std::min<std::size_t>(reader.Extra(), kLogDataSize);
            const auto body = reader.Body();
            data.insert(data.end(), body.begin(), body.begin() + static_cast<long>(length));
            if (verdict == BlockSequence::Verdict::kLast) {
                return 0;
            }
            if (reader.Number() == 1 || reader.Number() % 5 == 0) {
                job.Status(FormatCount("Block %", reader.Number()));
            }
            return 1;
        });
    if (rc != 0) {
        return -1;
    }
    const std::string error = DecodeFlightLog(data, number, points);
    if (!error.empty()) {
        job.Error(error, kTrackTitle);
        return -1;
    }
    return 0;
}

template <typename Routine>
int Guarded(GpsAccessJob& job, const char* title, Routine routine) {
    try {
        return routine();
    } catch (const std::bad_alloc&) {
        job.Error("Memory allocation error", title);
        return -1;
    }
}

}  // namespace

int AscentReadTrackLog(GpsAccessJob& job) {
    return Guarded(job, kTrackTitle, [&job] {
        AscentProduct product;
        FlightNumbers numbers{};
        if (ReadProductData(job, product) != 0) {
            return -1;
        }
        job.competitionId = -1;
        job.civlId = -1;
        if (ReadTrackList(job, numbers) != 0) {
            return -1;
        }
        const std::vector<int> slots = SelectFlights(job, kTrackTitle);
        if (slots.empty()) {
            return -1;
        }
        std::vector<TrackPoint> joined;
        for (const int slot : slots) {
            std::vector<TrackPoint> points;
            if (ReadFlight(job, slot, numbers[static_cast<std::size_t>(slot)], points) != 0) {
                return -1;
            }
            if (points.empty()) {
                continue;
            }
            const std::uint32_t newFirst = points.front().time;
            const std::uint32_t newLast = points.back().time;
            const std::uint32_t oldFirst = joined.empty() ? 0 : joined.front().time;
            const std::uint32_t oldLast = joined.empty() ? 0 : joined.back().time;
            if (JoinTrack(joined, std::move(points)) != 0) {
                job.Error(StringPrintf("Overlapping tracks (%08X,%08X)(%08X,%08X)", oldFirst,
                                       oldLast, newFirst, newLast),
                          kTrackTitle);
                return -1;
            }
        }
        job.Status(FormatCount("% points received", static_cast<long long>(joined.size())));
        if (joined.empty()) {
            job.Error("No points detected", kTrackTitle);
            return -1;
        }
        DownloadedTrackLog& track = job.track;
        track.points = std::move(joined);
        track.sourceKind = kSourceKind;
        track.protocol = ProtocolNumber(job.protocol);
        track.timeIsUtc = true;
        track.hasPressureAltitude = false;
        track.gRecordEligible = true;
        track.productName = job.productName;
        track.instrumentDescription = job.instrumentDescription;
        track.productText = job.productText;
        return 0;
    });
}

int AscentReadFlightList(GpsAccessJob& job) {
    return Guarded(job, kListTitle, [&job] {
        AscentProduct product;
        FlightNumbers numbers{};
        if (ReadProductData(job, product) != 0 || ReadTrackList(job, numbers) != 0) {
            return -1;
        }
        job.track.sourceKind = kSourceKind;
        job.Notify(FlightListText(FlightListSlots(job.flights)));
        return 0;
    });
}

int AscentEraseTrackLogs(GpsAccessJob& job) {
    AscentProduct product;
    if (ReadProductData(job, product) != 0) {
        return -1;
    }
    int count = product.usedSectors;
    int stuck = 0;
    std::vector<std::uint8_t> reply;
    while (count > 0) {
        // A logger whose count does not go down would be asked for ever.
        if (stuck >= kMaxStuckErases) {
            job.Error(FormatCount("Erase not completed: % non-empty sectors left", count),
                      kEraseTitle);
            return -1;
        }
        job.Status(FormatCount("% non-empty sectors left", count));
        if (Write(job, kEraseRequest) != 0) {
            if (job.AbortRequested()) {
                return Aborted(job, "Operation aborted");
            }
            job.Error("COM port write error", kEraseTitle);
            return -1;
        }
        const int rc = CollectReply(job, reply);
        if (rc < 0) {
            if (IsAbort(rc)) {
                return Aborted(job, "Operation aborted");
            }
            job.Error("COM port read error", kEraseTitle);
            return -1;
        }
        AscentProduct answer;
        if (DecodeProduct(reply, answer) && answer.usedSectors < count) {
            count = answer.usedSectors;
            stuck = 0;
        } else {
            if (DecodeProduct(reply, answer)) {
                count = answer.usedSectors;
            }
            ++stuck;
        }
    }
    job.Status("Tracklog data erased");
    return 0;
}

}  // namespace tracora::protocols::ascent
