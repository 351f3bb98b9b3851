// EVO files whose time stamps are known to the tick: a VC-1 video stream and
// audio streams with real frame headers (AC-3, E-AC-3) or LPCM, one pack per
// frame (two E-AC-3 frames), every pack with its PTS, interleaved in PTS
// order. For the figures of the command line's info: delays and joins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::test {

enum class TimedCodec { Vc1, Ac3, Eac3, Lpcm };

struct TimedStream {
    TimedCodec codec = TimedCodec::Vc1;
    std::uint8_t id = 0x55; // stream_id_extension (VC-1) or sub-stream id
    std::uint64_t firstPts = 90000;
    int packs = 0;
};

// Ticks (90 kHz) one pack of the codec plays: a VC-1 frame at 24 fps (3750),
// an AC-3 frame (2880), two E-AC-3 frames (5760), 1920 bytes of 48 kHz 16-bit
// stereo LPCM (900).
std::uint64_t timedPackTicks(TimedCodec codec);

// Writes the streams into one file.
void writeTimedEvo(const std::string& path, const std::vector<TimedStream>& streams);

} // namespace vantrel::test
