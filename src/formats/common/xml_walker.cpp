#include "formats/common/xml_walker.hpp"

namespace tracora::formats {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimXmlBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Tag names in messages: at most 20 characters, then "...".
std::string Shown(std::string_view name) {
    if (name.size() > 20) {
        return std::string(name.substr(0, 20)) + "...";
    }
    return std::string(name);
}

void AppendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// One entity at text[0] ('&'); its length, 0 when it is none the reader knows.
std::size_t DecodeEntity(std::string_view text, std::string& out) {
    const std::size_t end = text.find(';');
    if (end == std::string_view::npos || end > 12) {
        return 0;
    }
    const std::string_view name = text.substr(1, end - 1);
    static constexpr struct {
        std::string_view name;
        char c;
    } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& entity : kNamed) {
        if (name == entity.name) {
            out.push_back(entity.c);
            return end + 1;
        }
    }
    if (name.size() < 2 || name[0] != '#') {
        return 0;
    }
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) {
        return 0;
    }
    unsigned long code = 0;
    for (const char c : digits) {
        int value = -1;
        if (c >= '0' && c <= '9') {
            value = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            value = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            value = c - 'A' + 10;
        }
        if (value < 0) {
            return 0;
        }
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(value);
        if (code > 0x10FFFF) {
            return 0;
        }
    }
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    AppendUtf8(out, code);
    return end + 1;
}

}  // namespace

std::string DecodeXmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            const std::size_t used = DecodeEntity(text.substr(i), out);
            if (used > 0) {
                i += used;
                continue;
            }
        }
        out.push_back(text[i++]);
    }
    return out;
}

bool XmlAttribute(std::string_view attributes, std::string_view name, std::string& value) {
    std::size_t i = 0;
    while (i < attributes.size()) {
        while (i < attributes.size() && IsBlank(attributes[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < attributes.size() && attributes[i] != '=' && !IsBlank(attributes[i])) {
            ++i;
        }
        const std::string_view found = attributes.substr(start, i - start);
        while (i < attributes.size() && IsBlank(attributes[i])) {
            ++i;
        }
        if (i >= attributes.size() || attributes[i] != '=') {
            if (i == start) {
                ++i;
            }
            continue;
        }
        ++i;
        while (i < attributes.size() && IsBlank(attributes[i])) {
            ++i;
        }
        if (i >= attributes.size() || (attributes[i] != '"' && attributes[i] != '\'')) {
            return false;
        }
        const char quote = attributes[i++];
        const std::size_t close = attributes.find(quote, i);
        if (close == std::string_view::npos) {
            return false;
        }
        if (found == name) {
            value = DecodeXmlText(attributes.substr(i, close - i));
            return true;
        }
        i = close + 1;
    }
    return false;
}

XmlTag XmlTagReader::Next() {
    XmlTag tag;
    joined_.clear();
    bool interrupted = false;
    std::size_t dataStart = position_;
    const auto dataUpTo = [&](std::size_t end) {
        if (!interrupted) {
            return TrimXmlBlanks(text_.substr(dataStart, end - dataStart));
        }
        joined_.append(text_.substr(dataStart, end - dataStart));
        return TrimXmlBlanks(joined_);
    };
    while (true) {
        const std::size_t lt =
            position_ < text_.size() ? text_.find('<', position_) : std::string_view::npos;
        if (lt == std::string_view::npos) {
            tag.result = XmlTagResult::kEndOfText;
            tag.data = dataUpTo(text_.size());
            tag.start = tag.end = text_.size();
            position_ = text_.size();
            return tag;
        }
        const std::string_view rest = text_.substr(lt);
        if (rest.starts_with("<![CDATA[")) {
            const std::size_t close = text_.find("]]>", lt + 9);
            if (close == std::string_view::npos) {
                break;
            }
            joined_.append(text_.substr(dataStart, lt - dataStart));
            joined_.append(text_.substr(lt + 9, close - lt - 9));
            interrupted = true;
            position_ = close + 3;
            dataStart = position_;
            continue;
        }
        std::string_view inside;
        if (rest.starts_with("<!--")) {
            const std::size_t close = text_.find("-->", lt + 4);
            if (close == std::string_view::npos) {
                break;
            }
            inside = text_.substr(lt + 1, close + 2 - lt - 1);
            position_ = close + 3;
            tag.result = XmlTagResult::kTag;
        } else {
            const std::size_t close = text_.find('>', lt + 1);
            if (close == std::string_view::npos) {
                break;
            }
            inside = text_.substr(lt + 1, close - lt - 1);
            position_ = close + 1;
            tag.result = XmlTagResult::kTag;
            if (!inside.starts_with('/') && inside.ends_with('/')) {
                inside.remove_suffix(1);
                tag.result = XmlTagResult::kEmptyTag;
            }
        }
        std::size_t nameEnd = 0;
        while (nameEnd < inside.size() && !IsBlank(inside[nameEnd])) {
            ++nameEnd;
        }
        tag.name = inside.substr(0, nameEnd);
        tag.attributes = nameEnd < inside.size() ? inside.substr(nameEnd + 1) : std::string_view();
        tag.data = dataUpTo(lt);
        tag.start = lt;
        tag.end = position_;
        return tag;
    }
    tag.result = XmlTagResult::kEndInTag;
    tag.data = {};
    tag.start = tag.end = text_.size();
    position_ = text_.size();
    return tag;
}

bool WalkXml(std::string_view text, XmlHandler& handler, std::string& message, XmlStart start) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    XmlTagReader reader(text);
    XmlTag tag = reader.Next();
    if (tag.result == XmlTagResult::kEndOfText) {
        message = "No tags found";
        return false;
    }
    if (!tag.data.empty()) {
        message = start == XmlStart::kDeclaration ? "Unknown BOM before opening tag '<?xml>'"
                                                  : "Unknown BOM before opening tag";
        return false;
    }
    if (tag.result == XmlTagResult::kEndInTag) {
        message = "End-of-file encountered within a tag";
        return false;
    }
    const bool declaration = tag.name == "?xml" || tag.name == "?xml?";
    if (start == XmlStart::kDeclaration && !declaration) {
        message = "Missing opening tag '<?xml>'";
        return false;
    }
    if (declaration) {
        tag = reader.Next();
    }
    std::vector<std::string_view> open;
    std::string pending;  // data in front of comments and declarations, kept for the next tag
    bool anyElement = false;
    const auto keepPending = [&](std::string_view data) {
        if (!data.empty()) {
            if (!pending.empty()) {
                pending.push_back(' ');
            }
            pending.append(data);
        }
    };
    for (;; tag = reader.Next()) {
        if (tag.result == XmlTagResult::kEndInTag) {
            message = "End-of-file encountered within a tag";
            return false;
        }
        if (tag.result == XmlTagResult::kEndOfText) {
            keepPending(tag.data);
            break;
        }
        if (tag.name.starts_with('!') || tag.name.starts_with('?')) {
            keepPending(tag.data);
            continue;
        }
        std::string joined;
        std::string_view data = tag.data;
        if (!pending.empty()) {
            joined = std::move(pending);
            pending.clear();
            if (!data.empty()) {
                joined.push_back(' ');
                joined.append(data);
            }
            data = joined;
        }
        XmlElement element;
        element.data = data;
        element.attributes = tag.attributes;
        const bool closing = tag.name.starts_with('/');
        element.name = closing ? tag.name.substr(1) : tag.name;
        if (closing) {
            if (open.empty()) {
                message =
                    "Terminating tag </" + Shown(element.name) + "> encountered at root level";
                return false;
            }
            if (open.back() != element.name) {
                message = "Tag <" + Shown(open.back()) + "> is terminated by </" +
                          Shown(element.name) + ">";
                return false;
            }
            if (!handler.Close(element, open.size(), open, message)) {
                return false;
            }
            open.pop_back();
            continue;
        }
        if (open.size() >= kMaxXmlDepth) {
            message = "Nesting limit exceeded at tag <" + Shown(element.name) + ">";
            return false;
        }
        if (!element.data.empty()) {
            message = "Data found before tag <" + Shown(element.name) + ">";
            return false;
        }
        if (open.empty() && anyElement) {
            message = "Data found after last tag";
            return false;
        }
        anyElement = true;
        open.push_back(element.name);
        if (!handler.Open(element, open.size(), open, message)) {
            return false;
        }
        if (tag.result == XmlTagResult::kEmptyTag) {
            XmlElement closed = element;
            closed.data = {};
            if (!handler.Close(closed, open.size(), open, message)) {
                return false;
            }
            open.pop_back();
        }
    }
    if (!open.empty()) {
        message = "Nesting level not zero at end-of-file";
        return false;
    }
    if (!pending.empty()) {
        message = "Data found after last tag";
        return false;
    }
    if (!anyElement) {
        message = "No tags found";
        return false;
    }
    return true;
}

}  // namespace tracora::formats
