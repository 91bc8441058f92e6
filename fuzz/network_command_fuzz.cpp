// The bytes a network peer sends to the command server: cut into commands and decoded.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "remote/network_command.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tracora::remote::CommandBuffer buffer;
    buffer.Feed(std::span(data, size), [](std::string_view text) {
        tracora::remote::NetworkCommand command;
        std::string error;
        tracora::remote::DecodeNetworkCommand(text, command, error);
    });
    return 0;
}
