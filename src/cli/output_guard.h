// What a command checks before it writes where the user pointed it: no output
// is one of the run's inputs, no existing file is replaced without --force, a
// folder is not taken for a file, and a missing output folder is created.
// Every refusal is an Error of kind Output (exit 5) and a text that says what to do.
#pragma once

#include <string>
#include <vector>

namespace vantrel::cli {

class Console;

// True when both paths name one file (same device and inode), or the same
// path once resolved (for a file that does not exist yet).
bool sameFile(const std::string& a, const std::string& b);

// An output file named on the command line: refused when it is one of
// `inputs`, when it is a folder, when its folder does not exist, or when it
// exists and `force` is not set.
void checkOutputFile(const std::string& path, const std::vector<std::string>& inputs, bool force);

// The files a run over PATH reads: PATH, the playlist found for it and the
// title's EVO files.
std::vector<std::string> inputsOfRun(const std::string& path, const std::vector<std::string>& parts);

// The files a run is about to write (demux and rebuild name theirs before
// they write): each checked as checkOutputFile does.
void checkRunOutputs(const std::vector<std::string>& files, const std::vector<std::string>& inputs,
                     bool force);

// The temporaries an earlier run to `output` left when it was killed: each one
// named in a note and removed. A temporary that a run still holds means that
// run writes `output` now: refused unless `force`, and never removed.
void clearLeftTemporaries(Console& console, const std::string& output, bool force);

// An output folder named on the command line: created (with its parents) when
// it does not exist; refused when it is a file or cannot be created.
void makeOutputFolder(const std::string& folder);

} // namespace vantrel::cli
