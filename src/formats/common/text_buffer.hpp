// The text buffer that document writers fill line by line before the whole text is written at
// once. Lines end in CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace tracora::formats {

class TextBuffer {
public:
    // The first capacity; the buffer then grows by doubling.
    static constexpr std::size_t kFirstCapacity = 10000;

    TextBuffer();

    void Append(std::string_view text) { text_.append(text); }
    // A whole document made elsewhere: taken over without a copy when the buffer is empty.
    void AppendDocument(std::string&& text) {
        if (text_.empty()) {
            text_ = std::move(text);
        } else {
            text_.append(text);
        }
    }
    void Append(char c) { text_.push_back(c); }
    // Room for `size` characters in all, so that a document of known length grows once.
    void Reserve(std::size_t size) { text_.reserve(size); }
    // `text` followed by CR LF.
    void AppendLine(std::string_view text);
    // printf-style text, without a line end.
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::size_t Size() const { return text_.size(); }
    std::string_view View() const { return text_; }
    // Hands the text over; the buffer is empty afterwards.
    std::string Take();

private:
    std::string text_;
};

inline constexpr std::string_view kCrLf = "\r\n";

}  // namespace tracora::formats
