// A disc of Standard Content: navigation in IFO files beside the EVO files
// and no playlist. Its titles are not read here; its EVO files are read as
// files, by their names.
#pragma once

#include <string>

namespace vantrel::disc {

// True when the folder of EVO files holds an IFO file (any case).
bool holdsIfoFiles(const std::string& evoFolder);

// What info says of such a disc.
inline constexpr const char* kStandardContentNote =
    "a Standard Content disc: titles are not read from a playlist; its EVO files are read by their names";

} // namespace vantrel::disc
