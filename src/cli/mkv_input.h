// What the mkv and mux-prep commands take from PATH, --title and --tracks: the
// muxing core builds the job; this opens the input, prints which title was
// taken and what the core has to say, and shows the progress.
#pragma once

#include "cli.h"
#include "mux/mkv_job.h"

namespace vantrel::cli {

// The job of the title PATH and --title name (the longest one without
// --title). Fails with an Error of kind Usage, InputUnreadable or NotFound, as the
// other commands over a source do.
mux::MkvJob mkvJobOf(Context& ctx, const ParsedArgs& args, const std::string& command);

// The sources of a job, as paths.
std::vector<std::string> sourcesOf(const mux::MkvJob& job);

} // namespace vantrel::cli
