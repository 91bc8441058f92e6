#include "protocols/common/serial_receiver.hpp"

#include <algorithm>

#include "device/io_status.hpp"
#include "device/serial_port.hpp"

namespace tracora::protocols {

int SerialReceiver::ReadByte(std::uint8_t& byte, int silenceMs) {
    return ReadByteUntil(byte, Clock::now() + std::chrono::milliseconds(std::max(silenceMs, 0)));
}

int SerialReceiver::ReadByteUntil(std::uint8_t& byte, Clock::time_point deadline) {
    for (;;) {
        while (next_ < count_) {
            const std::uint8_t b = block_[next_++];
            job_.Trace().Byte(b);
            if (!filter_ || (b != device::kXon && b != device::kXoff)) {
                byte = b;
                return kByteReceived;
            }
        }
        if (job_.AbortRequested()) {
            return device::kIoAborted;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        // One last look at the port even when the time is up, so that bytes that are already
        // there are never mistaken for silence.
        const int timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 600'000));
        const int got = job_.ReadBytes(block_, timeoutMs);
        if (got < 0) {
            return got;
        }
        if (got == 0) {
            if (left <= 0 || Clock::now() >= deadline) {
                return kSilence;
            }
            continue;
        }
        next_ = 0;
        count_ = static_cast<std::size_t>(got);
    }
}

bool NmeaLineCollector::Feed(std::uint8_t byte) {
    if (state_ == State::kComplete) {
        Reset();
    }
    if (byte == '$') {
        line_.assign(1, '$');
        state_ = State::kCollecting;
        return false;
    }
    switch (state_) {
        case State::kIdle:
        case State::kComplete:
            return false;
        case State::kCollecting:
            if (byte == '\r') {
                state_ = State::kAfterCr;
            } else if (line_.size() <= maxChars_) {
                line_ += static_cast<char>(byte);
            }
            return false;
        case State::kAfterCr:
            if (byte == '\n') {
                state_ = State::kComplete;
                return true;
            }
            return false;
    }
    return false;
}

void NmeaLineCollector::Reset() {
    state_ = State::kIdle;
    line_.clear();
}

}  // namespace tracora::protocols
