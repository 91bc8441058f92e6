#include "protocols/common/pmlr.hpp"

#include <chrono>
#include <thread>

#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/serial_receiver.hpp"

namespace tracora::protocols {

namespace {

constexpr std::string_view kAborted = "Transfer aborted";
constexpr int kQuietLineMs = 500;
constexpr int kAttemptMs = 2000;
constexpr int kEndWriteMs = 1000;

// The end sentence goes out also after an abort, which refuses the job's own writes: the
// instrument must leave its transfer mode whatever ended the conversation.
void SendEndSentence(device::GpsAccessJob& job) {
    if (!job.AbortRequested()) {
        job.WriteText(kPmlrEndSentence);
    } else if (job.transport && job.transport->IsOpen()) {
        job.transport->Write(kPmlrEndSentence, kEndWriteMs, nullptr);
    }
}

}  // namespace

std::uint16_t PmlrSum(std::string_view text) {
    std::uint16_t sum = 0;
    for (const char c : text) {
        sum = static_cast<std::uint16_t>(sum + static_cast<std::uint8_t>(c));
    }
    return sum;
}

std::string PmlrSentence(std::string_view body) {
    return std::string(body) + StringPrintf("%04X\r\n", PmlrSum(body));
}

std::size_t PmlrProductParser::FieldLimit() const {
    if (fields_.size() <= rules_.firstFieldsCount && rules_.firstFieldsChars > 0) {
        return rules_.firstFieldsChars;
    }
    return rules_.maxFieldChars;
}

void PmlrProductParser::Reset() {
    state_ = State::kPrefix;
    matched_ = 0;
    fields_.clear();
}

bool PmlrProductParser::Feed(std::uint8_t byte) {
    const char c = static_cast<char>(byte);
    switch (state_) {
        case State::kPrefix:
            if (c == kPmlrProductPrefix[matched_]) {
                ++matched_;
            } else {
                matched_ = c == '$' ? 1 : 0;
            }
            if (matched_ == kPmlrProductPrefix.size()) {
                state_ = State::kField;
                xor_ = NmeaChecksum(kPmlrProductPrefix.substr(1));
                fields_.assign(1, std::string());
            }
            return false;
        case State::kField: {
            if (c == '\r' || c == '\n') {
                Reset();
                return false;
            }
            const bool last = fields_.size() == rules_.fieldCount;
            if (c == '*') {
                if (!last) {
                    Reset();
                    return false;
                }
                state_ = State::kDigit1;
                return false;
            }
            xor_ = static_cast<std::uint8_t>(xor_ ^ byte);
            if (c == ',') {
                if (last) {
                    Reset();
                    return false;
                }
                fields_.emplace_back();
                return false;
            }
            if (fields_.back().size() < FieldLimit()) {
                fields_.back() += c;
            } else if (rules_.strictLength) {
                Reset();
            }
            return false;
        }
        case State::kDigit1:
        case State::kDigit2: {
            int value = 0;
            if (!HexDigitValue(c, value)) {
                Reset();
                return Feed(byte);
            }
            if (state_ == State::kDigit1) {
                received_ = value << 4;
                state_ = State::kDigit2;
            } else {
                received_ |= value;
                state_ = State::kCr;
            }
            return false;
        }
        case State::kCr: {
            const bool unchecked =
                !rules_.uncheckedLastField.empty() && fields_.back() == rules_.uncheckedLastField;
            if (c != '\r' || (received_ != xor_ && !unchecked)) {
                Reset();
                return Feed(byte);
            }
            state_ = State::kLf;
            return false;
        }
        case State::kLf:
            if (c != '\n' && !rules_.anyByteAfterCr) {
                Reset();
                return Feed(byte);
            }
            state_ = State::kPrefix;
            matched_ = 0;
            return true;
    }
    return false;
}

int PmlrProductExchange(device::GpsAccessJob& job, const PmlrProductRules& rules,
                        std::vector<std::string>& fields) {
    const int totalSeconds = job.openAttempts >= 1 ? job.openAttempts : 30;
    if (job.DiscardStaleInput(kQuietLineMs, totalSeconds * 1000) != 0) {
        return -1;
    }
    const auto end = [&job, &rules] {
        SendEndSentence(job);
        if (rules.endPauseMs > 0) {
            job.Pause(rules.endPauseMs);
        }
    };
    SerialReceiver receiver(job, false);
    PmlrProductParser parser(rules);
    if (rules.endPauseMs > 0) {
        if (job.WriteText(kPmlrEndSentence) != 0) {
            if (job.AbortRequested()) {
                job.Status(std::string(kAborted));
            } else {
                job.Error("COM port write error", "Requesting GPS product data");
            }
            return -1;
        }
        job.Pause(rules.endPauseMs);
    }
    for (int usedSeconds = 0; usedSeconds < totalSeconds; usedSeconds += kAttemptMs / 1000) {
        job.Status(
            FormatCount("Requesting product info (%)", (totalSeconds - usedSeconds + 1) / 2));
        if (job.AbortRequested()) {
            end();
            job.Status(std::string(kAborted));
            return -1;
        }
        if (job.WriteText(kPmlrProductRequest) != 0) {
            if (job.AbortRequested()) {
                job.Status(std::string(kAborted));
            } else {
                job.Error("COM port write error", "Requesting GPS product data");
            }
            return -1;
        }
        const auto deadline = SerialReceiver::Clock::now() + std::chrono::milliseconds(kAttemptMs);
        parser.Reset();
        for (;;) {
            std::uint8_t byte = 0;
            const int rc = receiver.ReadByteUntil(byte, deadline);
            if (rc < 0) {
                end();
                if (IsAbort(rc)) {
                    job.Status(std::string(kAborted));
                } else {
                    job.Error("COM port read error", "Reading product data");
                }
                return -1;
            }
            if (rc == kSilence) {
                break;
            }
            if (parser.Feed(byte)) {
                SendEndSentence(job);
                fields = parser.Fields();
                return 0;
            }
        }
        end();
    }
    job.Error("No valid response from GPS", "Get GPS product data");
    return -1;
}

void EndBinaryTransfer(device::GpsAccessJob& job, int baud, int pauseMs) {
    if (baud > 0 && !job.AbortRequested()) {
        job.SetComBaud(baud);
    } else if (baud > 0 && job.transport && job.transport->IsOpen()) {
        // Directly on the transport: an aborted job's own speed change is refused.
        job.transport->Configure({baud, false});
    }
    // Not the job's pause: an aborted job still gives the instrument its time before the end
    // sentence.
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    SendEndSentence(job);
}

}  // namespace tracora::protocols
