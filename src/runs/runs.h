// "Read EVO" and "Demux": the two runs over the source file.
#pragma once

#include "engine/core.h"
#include "names/stream_names.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// Frame count and duration lines of video streams 0 and 1.
void ReportVideoFrames(Core& core);

void bCheckClick(Core& core);
void bDemuxClick(Core& core);
// The files Demux would write now (the boxes ticked, the output folder, the
// continuation), in the order it creates them.
std::vector<std::string> demuxOutputNames(Core& core);

} // namespace vantrel
