#include "output_base.h"

namespace vantrel {

std::string outputBase(Core& core) {
    std::string folder = core.window.fieldText(Field::Workdir);
    if (folder.empty()) return core.EVObase;
    if (folder.back() != '/') folder += '/';
    return folder + core.EVObase;
}

} // namespace vantrel
