#include "formats/common/line_reader.hpp"

namespace tracora::formats {

bool LineReader::Next(std::string_view& line) {
    if (position_ >= text_.size()) {
        return false;
    }
    const std::size_t end = text_.find('\n', position_);
    std::size_t next = 0;
    if (end == std::string_view::npos) {
        line = text_.substr(position_);
        next = text_.size();
    } else {
        line = text_.substr(position_, end - position_);
        next = end + 1;
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    position_ = next;
    ++lineNumber_;
    return true;
}

}  // namespace tracora::formats
