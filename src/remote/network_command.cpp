#include "remote/network_command.hpp"

#include <cerrno>
#include <charconv>
#include <utility>

namespace tracora::remote {

namespace {

constexpr std::pair<std::string_view, GpsProtocol> kGpsNames[] = {
    {"flymaster", GpsProtocol::kFlymaster},
    {"iqcompeo", GpsProtocol::kFlytec},
    {"garmin", GpsProtocol::kGarmin},
    {"garminusb", GpsProtocol::kGarminUsb},
    {"logit", GpsProtocol::kLogIt},
    {"topnav", GpsProtocol::kTopNavigator},
    {"mlr", GpsProtocol::kMlr},
    {"graviter", GpsProtocol::kGraviter},
    {"magellan", GpsProtocol::kMagellan},
    {"xctrainer", GpsProtocol::kXcTrainer},
    {"xct_mxp", GpsProtocol::kXcTrainerMxp},
    {"dsx", GpsProtocol::kDsx},
    {"iqbasic", GpsProtocol::kIqBasic},
    {"mtk", GpsProtocol::kMtk},
};

// A whole decimal integer with an optional sign, nothing around it.
bool ParseWholeInteger(std::string_view text, int& value) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

std::string WithNul(std::string text) {
    text.push_back('\0');
    return text;
}

}  // namespace

std::optional<GpsProtocol> ProtocolOfNetworkName(std::string_view name) {
    for (const auto& [text, protocol] : kGpsNames) {
        if (text == name)
            return protocol;
    }
    return std::nullopt;
}

int DecodeNetworkCommand(std::string_view text, NetworkCommand& command, std::string& error) {
    command = NetworkCommand{};
    if (!text.starts_with(kCommandPrefix)) {
        error = "Bad command identifier";
        return -1;
    }
    std::size_t at = kCommandPrefix.size();
    const auto fail = [&error](const char* message) {
        error = message;
        return -1;
    };
    for (;;) {
        while (at < text.size() && text[at] == ' ')
            ++at;
        if (at >= text.size())
            return 0;
        if (text[at] != '/')
            return fail("Missing parameter start '/'");
        const std::size_t nameStart = ++at;
        while (at < text.size() && text[at] != '=' && text[at] != ' ')
            ++at;
        if (at >= text.size() || text[at] != '=')
            return fail("Missing parameter assignment character '='");
        const std::string_view name = text.substr(nameStart, at - nameStart);
        ++at;
        if (at >= text.size() || text[at] == ' ')
            return fail("Missing parameter value");
        std::string_view value;
        if (text[at] == '"') {
            const std::size_t close = text.find('"', at + 1);
            if (close == std::string_view::npos)
                return fail("Missing '\"'");
            value = text.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const std::size_t valueStart = at;
            while (at < text.size() && text[at] != ' ')
                ++at;
            value = text.substr(valueStart, at - valueStart);
        }

        int number = 0;
        if (name == "com") {
            if (!ParseWholeInteger(value, number))
                return fail("Bad COM port value");
            command.com = number;
        } else if (name == "gps") {
            command.gps = ProtocolOfNetworkName(value);
            if (!command.gps)
                return fail("Unrecognized GPS type");
        } else if (name == "abort") {
            if (!ParseWholeInteger(value, number))
                return fail("Bad abort value");
            command.abort = number;
        } else if (name == "track") {
            if (!ParseWholeInteger(value, number))
                return fail("Bad track select");
            command.track = number;
        } else {
            return fail("Unrecognized parameter");
        }
    }
}

void CommandBuffer::Feed(std::span<const std::uint8_t> bytes,
                         const std::function<void(std::string_view)>& onCommand) {
    for (const std::uint8_t byte : bytes) {
        if (fill_ < kCapacity) {
            buffer_[fill_++] = static_cast<char>(byte);
            if (byte == 0) {
                const std::string_view command(buffer_, fill_ - 1);
                fill_ = 0;
                onCommand(command);
            }
        } else if (byte == '\n') {
            fill_ = 0;
        }
    }
}

std::string StatusMessage(std::string_view text) {
    return WithNul("$Tracora Status " + std::string(text));
}

std::string ProductMessage(std::string_view text) {
    return WithNul("$Tracora Product " + std::string(text));
}

std::string ErrorMessage(std::string_view title, std::string_view text) {
    return WithNul("$Tracora Error " + std::string(title) + "\n" + std::string(text));
}

std::string TrackListMessage(const device::FlightList& list) {
    int last = -1;
    for (int slot = 0; slot < device::FlightList::kSlots; ++slot) {
        if (list.start[static_cast<std::size_t>(slot)] != 0)
            last = slot;
    }
    std::string text = "$Tracora TrackList ";
    for (int slot = 0; slot <= last; ++slot) {
        if (slot > 0)
            text += '\n';
        const auto s = static_cast<std::size_t>(slot);
        const bool used = list.start[s] != 0;
        text += std::to_string(used ? list.start[s] : 0u) + "," +
                std::to_string(used ? list.duration[s] : 0u);
    }
    return WithNul(std::move(text));
}

const char* SocketErrorName(int errorNumber) {
    switch (errorNumber) {
        case ENETDOWN:
            return "WSAENETDOWN";
        case EADDRINUSE:
            return "WSAEADDRINUSE";
        case EINTR:
            return "WSAEINTR";
        case EINPROGRESS:
            return "WSAEINPROGRESS";
        case EALREADY:
            return "WSAEALREADY";
        case EADDRNOTAVAIL:
            return "WSAEADDRNOTAVAIL";
        case EAFNOSUPPORT:
            return "WSAEAFNOSUPPORT";
        case ECONNREFUSED:
            return "WSAECONNREFUSED";
        case EFAULT:
            return "WSAEFAULT";
        case EINVAL:
            return "WSAEINVAL";
        case EISCONN:
            return "WSAEISCONN";
        case ENETUNREACH:
            return "WSAENETUNREACH";
        case ENOBUFS:
            return "WSAENOBUFS";
        case ENOTSOCK:
            return "WSAENOTSOCK";
        case ETIMEDOUT:
            return "WSAETIMEDOUT";
        case EACCES:
            return "WSAEACCES";
        case EWOULDBLOCK:
            return "WSAEWOULDBLOCK";
        case ENETRESET:
            return "WSAENETRESET";
        case ENOTCONN:
            return "WSAENOTCONN";
        case EOPNOTSUPP:
            return "WSAEOPNOTSUPP";
        case ESHUTDOWN:
            return "WSAESHUTDOWN";
        case EMSGSIZE:
            return "WSAEMSGSIZE";
        case EHOSTUNREACH:
            return "WSAEHOSTUNREACH";
        case ECONNABORTED:
            return "WSAECONNABORTED";
        case ECONNRESET:
            return "WSAECONNRESET";
        default:
            return "UNKNOWN";
    }
}

}  // namespace tracora::remote
