// "Read EVO" and "Demux": the two runs over the source file.
#pragma once

#include "engine/core.h"
#include "names/stream_names.h"

#include <cstdint>
#include <string>

namespace vantrel {

// Frame count and duration lines of video streams 0 and 1.
void ReportVideoFrames(Core& core);

void bCheckClick(Core& core);
void bDemuxClick(Core& core);

} // namespace vantrel
