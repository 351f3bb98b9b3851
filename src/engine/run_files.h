// The one scope guard for the files a run holds in Core (the source and the
// outputs): whatever way a run leaves (done, cancelled, or ended by an error),
// the files it opened are closed and Core's slots are empty again. The first
// error wins; created outputs stay on disk.
#pragma once

#include "core.h"
#include "stream_numbering.h"

#include <array>
#include <string>
#include <vector>

namespace vantrel {

class RunFiles {
public:
    explicit RunFiles(Core& core) : m_core(core) {}
    // Quiet: a run that is already failing keeps its first error.
    ~RunFiles();
    RunFiles(const RunFiles&) = delete;
    RunFiles& operator=(const RunFiles&) = delete;

    // A source that the run will read later (the second part of a feature):
    // no output of the run may be that file. Nothing when there is no such file now.
    void alsoReads(const std::string& path);

    // Opens SourceFile, after closing the one the run held. A file that one of
    // the run's outputs is refuses to open (strerror(EBUSY)).
    void openSource(const std::string& path);

    // Creates the output file of that number. A name that leads to one of the
    // run's sources or to an output that the run already holds fails
    // (strerror(EBUSY)) before any byte of that file is lost.
    void createOutput(int output, const std::string& name);

    // Closes the source and every output; a write that could not be completed
    // at a close surfaces afterwards as the first error.
    void closeAll();

private:
    Core& m_core;
    bool m_holdsSource = false;
    std::array<bool, kOutputFileCount> m_mine{};
    std::vector<FileIdentity> m_laterSources;
};

} // namespace vantrel
