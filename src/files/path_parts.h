// The parts of a path: the file name and the folder.
#pragma once

#include <string>

namespace vantrel {

// The file-name part of a path (after the last "/").
std::string fileNamePart(const std::string& path);
// The folder part of a path, with its trailing "/" (empty when there is none).
std::string folderPart(const std::string& path);

} // namespace vantrel
