#include "playlist.h"

#include "engine/errors.h"

namespace vantrel {

// Placeholder until the playlist reader lands.
void bReadXPLClick(Core&) {
    throw Error("Read XPL is not available yet");
}

} // namespace vantrel
