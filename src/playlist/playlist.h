// "Read XPL": the playlist reader.
#pragma once

#include "engine/core.h"
#include "engine/file_layer.h"

namespace vantrel {

void bReadXPLClick(Core& core);

// Playlists are a few kilobytes: a file larger than this is refused before it
// is read, so that a video file picked by mistake cannot fill the memory.
void refuseOversizedPlaylist(const ByteSource& file);

} // namespace vantrel
