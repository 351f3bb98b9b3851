// Track flags that are known only once every block is written: a subtitle
// track is forced when every subpicture of its stream is, which the pass
// learns at its end. The header is written with the flag set and the flag is
// cleared in place afterwards where it does not hold.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vantrel::matroska {

// The file offset of the FlagForced value (one byte) of the track whose
// TrackNumber is `trackNumber` (1-based), in the first bytes of a Matroska
// file; -1 when those bytes hold no such element.
std::int64_t forcedFlagOffset(std::span<const std::uint8_t> head, std::uint64_t trackNumber);

// Clears the FlagForced of track `trackNumber` in the file at `path`.
// Failures: Error of kind Output (the file cannot be read or written, or
// its header has no such flag to clear).
void clearForcedFlag(const std::string& path, std::uint64_t trackNumber);

} // namespace vantrel::matroska
