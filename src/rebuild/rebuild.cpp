#include "rebuild.h"

#include "engine/errors.h"

namespace vantrel {

// Placeholder until the rebuild run lands.
void bRebuildClick(Core&) {
    throw Error("Rebuild is not available yet");
}

} // namespace vantrel
