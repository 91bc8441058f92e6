// The DSX flight recorder's requests and answers without any I/O: the connection answer, the
// flight list parser, the one-flight request, the pilot data fields and the end of a flight.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tracora::protocols::dsx {

inline constexpr int kConnectBaud = 9600;
inline constexpr int kBaud = 38400;
inline constexpr int kSourceKind = 9;

inline constexpr std::string_view kConnectRequest = "V1\r";
inline constexpr std::string_view kConnectAnswer = "Conn\n\r\r\n#";
inline constexpr std::string_view kSpeedRequest = "V4\r";
inline constexpr std::string_view kFlightListRequest = "FL\r";
inline constexpr std::string_view kEndRequest = "V0\r";
// The line that ends a flight's IGC text.
inline constexpr std::string_view kEndOfFlight = "ZZZZ";
inline constexpr std::size_t kMaxFlights = 100;
inline constexpr std::size_t kFieldMax = 80;
inline constexpr int kFieldCount = 5;

// "F" and the track number as three digits, CR.
std::string FlightRequest(int number);
// "E1\r" to "E5\r".
std::string ReadFieldRequest(int field);
// "H1<value>\r" (fields 1-5) or, for field 6, the telephone number "C1<value>\r". CR and LF in
// the value are removed: either would end the request early and the rest would be taken for
// another command.
std::string WriteFieldRequest(int field, std::string_view value);

struct DsxFlight {
    int number = 0;
    long records = 0;
};

// Reads the flight list one byte at a time. Feed() returns 0, or a negative code: -1 a
// non-digit among the three of the track number, -2 no blank after it, -3 not "recs n.", -4 a
// non-digit among the first six of the count, -5 anything else after it, -6 a 101st entry.
class FlightListParser {
public:
    int Feed(std::uint8_t byte);
    const std::vector<DsxFlight>& Flights() const { return flights_; }

private:
    enum class State { kLineStart, kNumber, kBlank, kRecs, kCount, kRest };
    State state_ = State::kLineStart;
    int digits_ = 0;
    std::size_t matched_ = 0;
    DsxFlight current_;
    std::vector<DsxFlight> flights_;
    int Finish();
};

// A line of the track list dialog: the track number as three digits, seven blanks, the record
// count ("012       345").
std::string FlightListEntry(const DsxFlight& flight);
// The track list dialog's title: "Track List (<port>, DSX)".
std::string TrackListTitle(std::string_view port);

// ---------------------------------------------------------------- the instrument's side

// "012 recs n.000345" CR LF.
std::string FlightListLine(int number, long records);

}  // namespace tracora::protocols::dsx
