// The application's error report: what the user reads when a run (or the
// settings loading) ends in an error.
#pragma once

#include <string>

namespace vantrel {

// The title of the report box.
inline const char* const kApplicationTitle = "HD DVD Vantrel";

// The text as the report shows it: a full stop is appended when the last
// character comes after "." in character code order (bytes compared unsigned;
// an empty text stays empty).
std::string errorReportText(const std::string& text);

} // namespace vantrel
