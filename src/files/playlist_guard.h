// Playlists are a few kilobytes: a file larger than this is refused before it
// is read, so that a video file picked by mistake cannot fill the memory.
#pragma once

#include "file_layer.h"

namespace vantrel {

void refuseOversizedPlaylist(const ByteSource& file);

} // namespace vantrel
