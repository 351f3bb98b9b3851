// The one pass over a source file: reads SourceFile from its position to its
// end in 32,768-byte blocks, parses every byte and, by mode, records and
// reports the streams (scan) or appends the ticked streams' payload to their
// output files (demux).
#pragma once

#include "core.h"
#include "pes_parser.h"

namespace vantrel {

void demux(Core& core, RunMode mode);

} // namespace vantrel
