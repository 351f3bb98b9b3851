// A feature split over two files by their names: NAME_1.EVO goes on in
// NAME_2.EVO of the same folder. Without a playlist that says which clips a
// title has, this naming is the only sign of a second part.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// The name or path ends exactly in "_1.EVO" (the window's rule).
bool isFirstPart(std::string_view nameOrPath);
// Also "_1.evo", as some copies name it (the command line's rule).
bool isFirstPartAnyCase(std::string_view nameOrPath);
// The second part of a first part: the path less its last five characters,
// then "2.EVO" (FEATURE_1.EVO: FEATURE_2.EVO; feature_1.evo: feature_2.evo).
// The file may be there in another case: see findPath.
std::string secondPartPath(std::string_view firstPartPath);
// The start of the output names of a run that reads both parts: BASE_2.
std::string continuedBase(std::string_view base);

} // namespace vantrel
