// The subpicture streams of an mkv job as presentation graphics subtitle
// tracks beside the prepared streams.
#pragma once

#include "cli.h"
#include "mux/mkv_job.h"

namespace vantrel::cli {

// The job's extra-track hook: one pass over the title's files converts every
// wanted subpicture stream into FOLDER/NAME.CAPTION.pgs.sup. Each track gets
// the playlist's language and description, is never the default one, is
// forced only where every unit of the stream starts with the forced start
// command, and is moved by the main video's first PTS as the other tracks are.
// Damaged units are warnings on the console.
std::function<std::vector<mux::ExtraTrack>(const std::string& folder, const mux::PrepResult& prep)>
pgsSubtitleTracks(const mux::MkvJob& job, Console& console);

} // namespace vantrel::cli
