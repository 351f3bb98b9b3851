// Where a run's output files go and how their names begin.
#pragma once

#include "core.h"

#include <string>

namespace vantrel {

// The start of every output name of a run over the source: EVObase inside the
// output folder ("/" appended unless the folder ends with one), or bare EVObase
// (the current folder) when the folder is empty.
std::string outputBase(Core& core);

} // namespace vantrel
