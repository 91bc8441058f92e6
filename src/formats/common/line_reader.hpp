// Lines of a text held in memory. A line ends at LF; a CR before the LF is not part of it. A
// last line without LF is still a line: files cut short or written by editors that leave the
// final line end out keep their last record.
#pragma once

#include <cstddef>
#include <string_view>

namespace tracora::formats {

class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    // The next line without its line end; false when the text is used up.
    bool Next(std::string_view& line);
    // The number of the line last returned, from 1.
    std::size_t LineNumber() const { return lineNumber_; }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    std::size_t lineNumber_ = 0;
};

}  // namespace tracora::formats
