// The audio header report: during a scan, the first payload run of every
// Dolby Digital Plus sub-stream is searched for two consecutive Dolby frames;
// a confirmed frame is described in three or four indented log lines.
#pragma once

#include "window_port.h"

#include <cstddef>
#include <cstdint>

namespace vantrel {

// Looks through run[0..length-1] and logs the report for audio index audioIndex.
void audioHeaderReport(WindowPort& window, const std::uint8_t* run, std::size_t length, int audioIndex);

} // namespace vantrel
