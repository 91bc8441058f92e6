#include "protocols/common/upload_names.hpp"

namespace tracora::protocols {

std::string UploadName(const Waypoint& waypoint, int mode) {
    switch (static_cast<UploadNameMode>(mode)) {
        case UploadNameMode::kOnlyId:
            return std::string(waypoint.Id());
        case UploadNameMode::kIdAndName:
            return std::string(waypoint.Id()) + " " + std::string(waypoint.Description());
        case UploadNameMode::kOnlyName:
        default:
            return std::string(waypoint.Description().empty() ? waypoint.Id()
                                                              : waypoint.Description());
    }
}

std::string BlankSentenceDelimiters(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == ',' || c == '*' || c == '$' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

std::string FixedWidthName(std::string_view text, std::size_t length) {
    std::size_t end = std::min(text.size(), length);
    if (end < text.size()) {
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end;
        }
    }
    std::string out(text.substr(0, end));
    out.resize(length, ' ');
    return out;
}

}  // namespace tracora::protocols
