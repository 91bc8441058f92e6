// Escaping of text written into XML documents, so that instrument texts and names holding
// '&', '<' or quotes never make a document malformed.
#pragma once

#include <string>
#include <string_view>

namespace tracora::formats {

// Character data: '&', '<' and '>' replaced by entities.
void AppendXmlText(std::string& out, std::string_view text);
// Attribute values in double or single quotes: also '"' and '\''.
void AppendXmlAttribute(std::string& out, std::string_view text);

std::string EscapeXmlText(std::string_view text);
std::string EscapeXmlAttribute(std::string_view text);

// Character data that also goes into a page's script: '&', '<', '>' and '"' as entities, and
// the control characters XML 1.0 does not allow (all but tab) as '?'.
std::string EscapeXmlTextForPage(std::string_view text);

}  // namespace tracora::formats
