#include "formats/common/xml_escape.hpp"

namespace tracora::formats {
namespace {

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += attribute ? "&quot;" : "\"";
                break;
            case '\'':
                out += attribute ? "&apos;" : "'";
                break;
            default:
                out += c;
                break;
        }
    }
}

}  // namespace

void AppendXmlText(std::string& out, std::string_view text) {
    AppendEscaped(out, text, false);
}

void AppendXmlAttribute(std::string& out, std::string_view text) {
    AppendEscaped(out, text, true);
}

std::string EscapeXmlText(std::string_view text) {
    std::string out;
    AppendXmlText(out, text);
    return out;
}

std::string EscapeXmlAttribute(std::string_view text) {
    std::string out;
    AppendXmlAttribute(out, text);
    return out;
}

}  // namespace tracora::formats
