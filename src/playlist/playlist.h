// "Read XPL": the playlist reader.
#pragma once

#include "engine/core.h"
#include "files/playlist_guard.h"

namespace vantrel {

void bReadXPLClick(Core& core);

} // namespace vantrel
