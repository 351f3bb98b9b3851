// Text inside the XML files written for muxers (chapter files).
#pragma once

#include <string>

namespace vantrel {

// Text as XML character data or an attribute value (& < > " escaped).
std::string xmlEscape(const std::string& text);

} // namespace vantrel
