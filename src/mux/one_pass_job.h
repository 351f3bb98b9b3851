// The Matroska file of a title in the pass that reads its clips: a look at
// the start of each clip lays out the tracks (codec headers, picture size,
// sample rate and channels), then the title pass hands every frame with its
// time on the title's time line straight to the muxer. No stream file is
// written; the result, under a temporary name beside the output, is read back
// and checked before it is renamed.
#pragma once

#include "mkv_job.h"

namespace vantrel::mux {

// Runs the job in one pass. Failures: Error of kind Check (the file read back
// does not hold what was written), Output (the output not writable, a write
// failing), InputUnreadable, Interrupted (job.progress or job.stopRequested).
// Nothing is left beside the output unless the whole job succeeded.
MkvOutcome runOnePassJob(const MkvJob& job);

// The job by the muxer it asks for: in process, or through mkvmerge's files.
MkvOutcome runTitleMkv(const MkvJob& job);

} // namespace vantrel::mux
