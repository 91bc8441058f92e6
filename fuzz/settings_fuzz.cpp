// The settings file's text, as a user may have edited it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tracora::Settings values;
    tracora::ReadSettingsText(std::string_view(reinterpret_cast<const char*>(data), size), values);
    return 0;
}
