// Language codes as Matroska takes them: ISO 639-2/B ("ger", not "deu").
#pragma once

#include <string>

namespace vantrel {

// ISO 639-2/B code for an ISO 639-1 code (case ignored), "und" for "*", empty
// or unknown codes.
std::string iso6392B(const std::string& iso6391);
// ISO 639-2/B for a code of two letters (639-1) or three (639-2/T or /B),
// case ignored; "und" for anything else.
std::string language6392(const std::string& code);

} // namespace vantrel
