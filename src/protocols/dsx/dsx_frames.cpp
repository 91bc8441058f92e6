#include "protocols/dsx/dsx_frames.hpp"

#include "core/strings.hpp"

namespace tracora::protocols::dsx {

namespace {

constexpr std::string_view kRecs = "recs n.";

bool IsDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

}  // namespace

std::string FlightRequest(int number) {
    return StringPrintf("F%03d\r", number);
}

std::string ReadFieldRequest(int field) {
    return StringPrintf("E%d\r", field);
}

std::string WriteFieldRequest(int field, std::string_view value) {
    std::string clean;
    for (const char c : value) {
        if (c != '\r' && c != '\n') {
            clean += c;
        }
    }
    return (field == 6 ? std::string("C1") : StringPrintf("H%d", field)) + clean + "\r";
}

int FlightListParser::Finish() {
    if (flights_.size() >= kMaxFlights) {
        return -6;
    }
    flights_.push_back(current_);
    state_ = State::kLineStart;
    return 0;
}

int FlightListParser::Feed(std::uint8_t byte) {
    switch (state_) {
        case State::kLineStart:
            if (byte == '\r' || byte == '\n' || byte == '#') {
                return 0;
            }
            current_ = {};
            digits_ = 0;
            state_ = State::kNumber;
            [[fallthrough]];
        case State::kNumber:
            if (!IsDigit(byte)) {
                state_ = State::kLineStart;
                return -1;
            }
            current_.number = current_.number * 10 + (byte - '0');
            if (++digits_ == 3) {
                state_ = State::kBlank;
            }
            return 0;
        case State::kBlank:
            if (byte != ' ') {
                state_ = State::kLineStart;
                return -2;
            }
            matched_ = 0;
            state_ = State::kRecs;
            return 0;
        case State::kRecs:
            if (byte != static_cast<std::uint8_t>(kRecs[matched_])) {
                state_ = State::kLineStart;
                return -3;
            }
            if (++matched_ == kRecs.size()) {
                digits_ = 0;
                state_ = State::kCount;
            }
            return 0;
        case State::kCount:
            if (digits_ < 6) {
                if (!IsDigit(byte)) {
                    state_ = State::kLineStart;
                    return -4;
                }
                current_.records = current_.records * 10 + (byte - '0');
                ++digits_;
                return 0;
            }
            if (byte == ' ') {
                state_ = State::kRest;
                return 0;
            }
            if (byte == '\r' || byte == '\n') {
                return Finish();
            }
            state_ = State::kLineStart;
            return -5;
        case State::kRest:
            if (byte == '\r' || byte == '\n') {
                return Finish();
            }
            return 0;
    }
    return 0;
}

std::string FlightListEntry(const DsxFlight& flight) {
    return StringPrintf("%03d       %ld", flight.number, flight.records);
}

std::string TrackListTitle(std::string_view port) {
    return "Track List (" + std::string(port) + ", DSX)";
}

std::string FlightListLine(int number, long records) {
    return StringPrintf("%03d recs n.%06ld\r\n", number, records);
}

}  // namespace tracora::protocols::dsx
