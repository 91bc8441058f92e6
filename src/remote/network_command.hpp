// The text side of the TCP command server: the commands a client sends ("$Tracora /com=3
// /gps=iqcompeo", each ended by a NUL byte), how the bytes of a connection are cut into them,
// and the messages the server sends back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/gps_types.hpp"
#include "device/gps_job.hpp"

namespace tracora::remote {

inline constexpr std::string_view kCommandPrefix = "$Tracora ";
// The title of the errors a command's text gives.
inline constexpr const char* kDecodeTitle = "Decode network command";

// The parameters of one command; a parameter the command does not name stays empty.
struct NetworkCommand {
    std::optional<int> com;
    std::optional<GpsProtocol> gps;
    std::optional<int> abort;
    std::optional<int> track;
};

// Reads a command's text (without its NUL). 0 with `command` filled, or -1 with `error` set to
// the text the client gets ("Bad command identifier", "Unrecognized GPS type", ...).
int DecodeNetworkCommand(std::string_view text, NetworkCommand& command, std::string& error);

// The protocol a "gps" value names ("garmin", "iqcompeo", ...), exact and lower case.
std::optional<GpsProtocol> ProtocolOfNetworkName(std::string_view name);

// Cuts the bytes of one connection into commands. A command is at most 99 bytes and its NUL;
// the bytes of a longer one are dropped up to the next line feed, so one bad client line
// cannot swallow the commands after it.
class CommandBuffer {
public:
    static constexpr std::size_t kCapacity = 100;

    // Feeds received bytes; `onCommand` gets each complete command without its NUL.
    void Feed(std::span<const std::uint8_t> bytes,
              const std::function<void(std::string_view)>& onCommand);
    std::size_t Size() const { return fill_; }

private:
    char buffer_[kCapacity] = {};
    std::size_t fill_ = 0;
};

// The messages of the server, each with its closing NUL.
std::string StatusMessage(std::string_view text);
std::string ProductMessage(std::string_view text);
std::string ErrorMessage(std::string_view title, std::string_view text);
// "$Tracora TrackList " and one "start,duration" entry per slot up to the last used one
// (start in seconds since the receiver epoch; an empty slot gives 0,0), separated by "\n".
std::string TrackListMessage(const device::FlightList& list);
// What a connection beyond the last free session gets (no NUL: the connection ends).
inline constexpr std::string_view kRefusedMessage =
    "$Tracora Error New connection\r\nConnection not accepted";

// The name a socket error is shown by: the system's error number under its Winsock-style name
// ("WSAEADDRINUSE"), "UNKNOWN" for one without such a name.
const char* SocketErrorName(int errorNumber);

}  // namespace tracora::remote
