// The handlers of the clicks that belong to no run: the stream boxes' reset
// and tick, and Cancel.
#pragma once

#include "core.h"

namespace vantrel {

// Every stream box disabled and captioned with its page's reset caption; ticks stay.
void Resetcbs(Core& core);
// Demux is enabled exactly when at least one of the 40 boxes is ticked.
void cbVideoClick(Core& core);
// Stop request: at once during a scan, after the question during a demux or rebuild.
void bCancelClick(Core& core);

} // namespace vantrel
