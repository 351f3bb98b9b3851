#include "continuation.h"

#include "file_layer.h"
#include "path_parts.h"

namespace vantrel {

bool Continuation::secondPartAtStart() const {
    return firstPart && fileExists(nextPartPath);
}

bool Continuation::goOn(Core& core) const {
    return core.window.optionTicked(Option::Continue) && core.stopRequested == 0 && firstPart &&
           fileExists(nextPartPath);
}

bool Continuation::continueOn(Core& core, RunFiles& files) const {
    if (!goOn(core)) return false;
    files.openSource(nextPartPath);
    core.window.log("Continue on " + fileNamePart(nextPartPath));
    return true;
}

Continuation decideContinuation(Core& core, const std::string& sourcePath) {
    Continuation c;
    if (!core.window.optionTicked(Option::Continue)) return c;
    const std::string& name = core.EVOname;
    c.firstPart = name.size() >= 6 && name.compare(name.size() - 6, 6, "_1.EVO") == 0;
    c.nextPartPath =
        (sourcePath.size() > 5 ? sourcePath.substr(0, sourcePath.size() - 5) : std::string()) + "2.EVO";
    return c;
}

} // namespace vantrel
