// What the command line says of a source before a run, beyond what the window
// says: audio streams that share a stream box, and a file cut inside a pack.
//
// Audio streams that the window's rules put into one stream box: the box's
// number is the low bits of the sub-stream id (three bits for AC-3, DTS, LPCM
// and MLP, four for E-AC-3), so 0x80, 0x88 and 0xA0 all land in cbAudio00 and
// one demuxed file. The window keeps that routing; the command line says so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::cli {

struct SharedAudioBox {
    int index = 0;          // cbAudio00 + index
    std::vector<int> codes; // the sub-stream ids that land there, in the order met
};

// The shared boxes of a program stream, found in its first `limit` bytes
// (streams start within the first seconds of a title). Unreadable bytes end
// the look quietly: reading the file is the run's business.
std::vector<SharedAudioBox> sharedAudioBoxes(const std::string& path,
                                             std::int64_t limit = std::int64_t{64} << 20);

// "streams 0x80 (AC-3), 0x88 (DTS) and 0xA0 (LPCM) share the stream box cbAudio00: ..."
std::string sharedAudioBoxWarning(const SharedAudioBox& box);

// A file whose size is no whole number of 2048-byte packs ends inside its last
// pack: "NAME ends inside a pack: ..." with the byte where it ends.
std::optional<std::string> cutPackWarning(const std::string& path);

// Both of the above for one file, as warning texts.
std::vector<std::string> sourceWarnings(const std::string& path);

} // namespace vantrel::cli
