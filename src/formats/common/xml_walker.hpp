// A small XML reader over text in memory: the tags one after the other with the data in front
// of each, the nesting checked, and the attribute values and entities of what it hands out
// decoded on request. Enough for the documents the program reads (GPX); no DTDs, no namespaces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tracora::formats {

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

// Walks the whole document: an optional UTF-8 byte-order mark, the "?xml" declaration first,
// then the elements. Comments, declarations and processing instructions are passed over; a
// CDATA section counts as data. Returns true, or false with `message`: "No tags found",
// "Unknown BOM before opening tag '<?xml>'", "Missing opening tag '<?xml>'", "Nesting limit
// exceeded at tag <x>", "Data found before tag <x>", "Tag <x> is terminated by </y>",
// "Terminating tag </x> encountered at root level", "End-of-file encountered within a tag",
// "Nesting level not zero at end-of-file", "Data found after last tag", or the handler's.
bool WalkXml(std::string_view text, XmlHandler& handler, std::string& message);

// The value of attribute `name` (exact) in an attribute text, entities decoded; false when it
// is not there.
bool XmlAttribute(std::string_view attributes, std::string_view name, std::string& value);

// Character data with the five named entities and numeric character references decoded (as
// UTF-8); an unknown entity stays as it stands.
std::string DecodeXmlText(std::string_view text);

}  // namespace tracora::formats
