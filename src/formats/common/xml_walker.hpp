// A small XML reader over text in memory: the tags one after the other with the data in front
// of each, the nesting checked, and the attribute values and entities of what it hands out
// decoded on request. Enough for the documents the program reads (GPX, KML, pilot lists); no
// DTDs, no namespaces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tracora::formats {

// What the tag reader found next.
enum class XmlTagResult {
    kTag = 0,         // a start or end tag, a comment ("!--"), a declaration ("?xml", "!DOCTYPE")
    kEmptyTag = 1,    // a tag ending in "/>": opens and closes at once
    kEndOfText = -1,  // the text ended outside any tag; `data` is what stood after the last tag
    kEndInTag = -2,   // the text ended inside a tag, a comment or a CDATA section
};

struct XmlTag {
    XmlTagResult result = XmlTagResult::kEndOfText;
    // From right after '<' up to the first blank: "Folder", "/Folder", "?xml", "!--".
    std::string_view name;
    // Everything after the first blank inside the tag (without a final '/'), or nothing.
    std::string_view attributes;
    // The text in front of the tag without its leading and trailing blanks (space, tab, CR,
    // LF), with the content of CDATA sections in place of the sections; raw otherwise
    // (entities as they stand). Valid until the next call.
    std::string_view data;
    std::size_t start = 0;  // offset of '<' in the text
    std::size_t end = 0;    // offset just behind the tag's '>'
};

// The tags of a text one after the other, without checking their nesting. The text is not
// changed and must outlive the reader.
class XmlTagReader {
public:
    explicit XmlTagReader(std::string_view text) : text_(text) {}
    XmlTag Next();

private:
    std::string_view text_;
    std::size_t position_ = 0;
    std::string joined_;  // data interrupted by CDATA sections
};

struct XmlElement {
    std::string_view name;        // without '/' for a closing tag
    std::string_view attributes;  // the text after the name inside the tag
    std::string_view data;        // the non-blank text in front of the tag, raw (with entities)
};

// The events of a walk: an element opened (also for "<x/>", which then closes at once), an
// element closed. `depth` counts the open elements including this one (the root is 1). A false
// return ends the walk with the message the handler set.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual bool Open(const XmlElement& element, std::size_t depth,
                      const std::vector<std::string_view>& open, std::string& message) = 0;
    virtual bool Close(const XmlElement& element, std::size_t depth,
                       const std::vector<std::string_view>& open, std::string& message) = 0;
};

inline constexpr std::size_t kMaxXmlDepth = 19;

// What must open a document: the "?xml" declaration, or (for formats whose files are also
// written without it) any tag, a first "?xml" being passed over.
enum class XmlStart { kDeclaration, kAnyTag };

// Walks the whole document: an optional UTF-8 byte-order mark, the "?xml" declaration first
// (or with XmlStart::kAnyTag any first tag, then "Unknown BOM before opening tag" for other
// text in front of it), then the elements. Comments, declarations and processing instructions are
// passed over; a CDATA section counts as data. Returns true, or false with `message`: "No tags
// found", "Unknown BOM before opening tag '<?xml>'", "Missing opening tag '<?xml>'", "Nesting limit
// exceeded at tag <x>", "Data found before tag <x>", "Tag <x> is terminated by </y>",
// "Terminating tag </x> encountered at root level", "End-of-file encountered within a tag",
// "Nesting level not zero at end-of-file", "Data found after last tag", or the handler's.
bool WalkXml(std::string_view text, XmlHandler& handler, std::string& message,
             XmlStart start = XmlStart::kDeclaration);

// The value of attribute `name` (exact) in an attribute text, entities decoded; false when it
// is not there.
bool XmlAttribute(std::string_view attributes, std::string_view name, std::string& value);

// Character data with the five named entities and numeric character references decoded (as
// UTF-8); an unknown entity stays as it stands.
std::string DecodeXmlText(std::string_view text);

}  // namespace tracora::formats
