#include "continuation.h"

#include "files/disc_image.h"
#include "files/file_layer.h"
#include "files/path_parts.h"

namespace vantrel {

bool Continuation::partExists() const {
    return inImage ? sourceKind(nextPartPath) == SourceKind::File : fileExists(nextPartPath);
}

bool Continuation::secondPartAtStart() const {
    return firstPart && partExists();
}

bool Continuation::goOn(Core& core) const {
    return core.window.optionTicked(Option::Continue) && core.stopRequested == 0 && firstPart && partExists();
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
    // The window continues only the names as the disc has them; the command line also a copy's.
    c.firstPart = core.readsImages ? isFirstPartAnyCase(core.EVOname) : isFirstPart(core.EVOname);
    if (core.readsImages)
        if (const std::optional<ImagePath> at = splitImagePath(sourcePath)) c.inImage = at->inner != "/";
    c.nextPartPath = secondPartPath(sourcePath);
    // A copy may name the second part in another case (feature_2.evo).
    if (core.readsImages) c.nextPartPath = findPath(c.nextPartPath, SourceKind::File).path;
    return c;
}

} // namespace vantrel
