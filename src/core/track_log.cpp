#include "core/track_log.hpp"

#include <algorithm>
#include <cstring>

namespace tracora {

namespace {

template <std::size_t N>
std::string_view FieldText(const std::array<char, N>& field) {
    return {field.data(), ::strnlen(field.data(), N)};
}

// Cuts `text` to at most `limit` bytes without ending inside a UTF-8 sequence.
std::size_t Utf8Prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text.size();
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return end;
}

template <std::size_t N>
void SetField(std::array<char, N>& field, std::string_view text) {
    field.fill('\0');
    const std::size_t length = Utf8Prefix(text.substr(0, text.find('\0')), N - 1);
    std::copy_n(text.data(), length, field.data());
}

}  // namespace

std::string_view Waypoint::Id() const {
    return FieldText(id);
}
std::string_view Waypoint::Description() const {
    return FieldText(description);
}
void Waypoint::SetId(std::string_view text) {
    SetField(id, text);
}
void Waypoint::SetDescription(std::string_view text) {
    SetField(description, text);
}

}  // namespace tracora
