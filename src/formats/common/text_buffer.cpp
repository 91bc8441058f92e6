#include "formats/common/text_buffer.hpp"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace tracora::formats {

TextBuffer::TextBuffer() {
    text_.reserve(kFirstCapacity);
}

void TextBuffer::AppendLine(std::string_view text) {
    text_.append(text);
    text_.append(kCrLf);
}

void TextBuffer::AppendFormat(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) {
        return;
    }
    const auto size = static_cast<std::size_t>(length);
    if (size < sizeof small) {
        text_.append(small, size);
        return;
    }
    const std::size_t old = text_.size();
    text_.resize(old + size + 1);
    va_start(args, format);
    std::vsnprintf(text_.data() + old, size + 1, format, args);
    va_end(args);
    text_.resize(old + size);
}

std::string TextBuffer::Take() {
    std::string out = std::move(text_);
    text_.clear();
    return out;
}

}  // namespace tracora::formats
