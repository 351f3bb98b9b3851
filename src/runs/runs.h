// "Read EVO" and "Demux": the two runs over the source file.
#pragma once

#include "engine/core.h"

#include <cstdint>
#include <string>

namespace vantrel {

std::string VideoStreamName(std::int32_t code);
std::string AudioStreamName(std::int32_t code);
std::string SubpictureStreamName(std::int32_t code);

// Frame count and duration lines of video streams 0 and 1.
void ReportVideoFrames(Core& core);

void bCheckClick(Core& core);
void bDemuxClick(Core& core);

} // namespace vantrel
