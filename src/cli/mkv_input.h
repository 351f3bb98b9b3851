// What the mkv and mux-prep commands take from PATH, --title and --tracks: the
// title's EVO files, its name, duration, chapters and the playlist's names and
// languages of its streams, as a job for the muxing core.
#pragma once

#include "cli.h"
#include "mux/mkv_job.h"

namespace vantrel::cli {

// Fills parts, title, chapters, labels and the stream choice of a job. Fails
// with exit 2, 3 or 4 as the other commands over a source do.
mux::MkvJob mkvJobOf(Context& ctx, const ParsedArgs& args, const std::string& command);

// The muxing core's failures as the command line's exit codes.
[[noreturn]] void rethrowAsFailure();

} // namespace vantrel::cli
