// The texts a run shows about sizes and progress: whole mebibytes, the
// progress line with its remaining time, the file-size line, and "Done.".
#pragma once

#include "core.h"

#include <cstdint>
#include <string>

namespace vantrel {

// Whole mebibytes of a byte count, as the log shows sizes.
inline std::int64_t wholeMebibytes(std::int64_t bytes) {
    return bytes / 1048576;
}

// "Reading NAME P/S Mbytes, Remaining time: T" style progress text; the remaining
// time is estimated from the start time t0 and the position.
std::string progressLine(Core& core, const std::string& verb, const std::string& name, std::int64_t position,
                         std::int64_t size, double t0);

// "File size: N Mbytes." for the open source.
void logFileSize(Core& core);

// The end of every run: "Done." in the log, "Ready" and an empty second panel
// in the status line.
void logRunDone(WindowPort& window);

} // namespace vantrel
