// The one pass over a source file: reads SourceFile from its position to its
// end in 32,768-byte blocks, parses every byte and, by mode, records and
// reports the streams (scan) or appends the ticked streams' payload to their
// output files (demux).
#pragma once

#include "core.h"

namespace vantrel {

constexpr int kScanMode = 0;
constexpr int kDemuxMode = 1;

void demux(Core& core, int mode);

} // namespace vantrel
