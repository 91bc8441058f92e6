// Command lines, as another program may pass them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "automation/automation_parser.hpp"
#include "core/null_host.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tracora::NullHost host;
    tracora::AutomationEnvironment environment;
    environment.runtimeDir = "/nonexistent";
    std::optional<tracora::AutomationRequest> request;
    tracora::ParseCommandLine(std::string_view(reinterpret_cast<const char*>(data), size), host,
                              environment, request);
    return 0;
}
