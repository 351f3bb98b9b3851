// The "Continue" rule: whether a run goes on from FEATURE_1.EVO into
// FEATURE_2.EVO, decided when it starts and tested again after the first part.
#pragma once

#include "core.h"
#include "names/continued_parts.h"
#include "run_files.h"

#include <string>

namespace vantrel {

// A feature split over two files: FEATURE_1.EVO goes on in FEATURE_2.EVO of the
// same folder. Decided when a run starts, only while "Continue" is ticked.
struct Continuation {
    bool firstPart = false;   // EVOname ends in "_1.EVO" (from the command line also "_1.evo")
    std::string nextPartPath; // the source path less five characters, then "2.EVO", in the case found
    bool inImage = false;     // the parts lie inside a disc image
    bool partExists() const;
    // The second part exists at the start: output names carry "_2".
    bool secondPartAtStart() const;
    // Tested again after the first pass: still ticked, not cancelled, the file is there.
    bool goOn(Core& core) const;
    // When goOn() holds: the second part takes the first one's place as the
    // source, "Continue on NAME" is logged, and the result is true.
    bool continueOn(Core& core, RunFiles& files) const;
};
Continuation decideContinuation(Core& core, const std::string& sourcePath);

} // namespace vantrel
