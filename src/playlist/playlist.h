// "Read XPL": the playlist reader.
#pragma once

#include "engine/core.h"

namespace vantrel {

void bReadXPLClick(Core& core);

} // namespace vantrel
