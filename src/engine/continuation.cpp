#include "continuation.h"

#include "files/file_layer.h"
#include "files/path_parts.h"

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
    c.firstPart = isFirstPart(core.EVOname);
    c.nextPartPath = secondPartPath(sourcePath);
    return c;
}

} // namespace vantrel
