#include "formats/common/xml_escape.hpp"

namespace tracora::formats {
namespace {

// What is escaped besides '&', '<' and '>'.
struct Escapes {
    bool quote = false;       // '"' as "&quot;"
    bool apostrophe = false;  // '\'' as "&apos;"
    bool controls = false;    // control characters but tab as '?'
};

void AppendEscaped(std::string& out, std::string_view text, Escapes escapes) {
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
                out += escapes.quote ? "&quot;" : "\"";
                break;
            case '\'':
                out += escapes.apostrophe ? "&apos;" : "'";
                break;
            default:
                out +=
                    escapes.controls && static_cast<unsigned char>(c) < 0x20 && c != '\t' ? '?' : c;
                break;
        }
    }
}

}  // namespace

void AppendXmlText(std::string& out, std::string_view text) {
    AppendEscaped(out, text, {});
}

void AppendXmlAttribute(std::string& out, std::string_view text) {
    AppendEscaped(out, text, {.quote = true, .apostrophe = true});
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

std::string EscapeXmlTextForPage(std::string_view text) {
    std::string out;
    AppendEscaped(out, text, {.quote = true, .controls = true});
    return out;
}

}  // namespace tracora::formats
