// A whole EVO's subpicture streams through the collector, in one pass of the
// packet reader, as the demux writes them to .sup files.
#pragma once

#include "subpicture/evo_subpictures.h"

#include <string>

namespace vantrel::test {

// Feeds every subpicture packet of the file to the collector (a unit begins
// where a packet's own header carries a PTS alone), then finishes it. Throws
// vantrel::Error when the file cannot be opened or read.
void collectEvoSubpictures(const std::string& path, subpicture::EvoSubpictureCollector& collector);

} // namespace vantrel::test
