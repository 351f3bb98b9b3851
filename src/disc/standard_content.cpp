#include "standard_content.h"

#include "files/disc_image.h"

namespace vantrel::disc {

bool holdsIfoFiles(const std::string& evoFolder) {
    if (evoFolder.empty()) return false;
    const std::string folder = evoFolder.back() == '/' ? evoFolder : evoFolder + "/";
    for (const std::string& name : sourceFolderNames(folder)) {
        std::string up = name;
        for (char& c : up)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (up.size() > 4 && up.ends_with(".IFO") && sourceKind(folder + name) == SourceKind::File)
            return true;
    }
    return false;
}

} // namespace vantrel::disc
