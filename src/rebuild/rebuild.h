// "Rebuild": a filtered, renumbered copy of the source EVO.
#pragma once

#include "engine/core.h"

namespace vantrel {

void bRebuildClick(Core& core);

} // namespace vantrel
