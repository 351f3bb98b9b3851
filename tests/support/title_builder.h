// Test titles built from real elementary streams: the streams come from
// ffmpeg (or are generated here, as LPCM is), their access units as ffprobe
// lists them, and they are laid into 2048-byte packs with a PTS on every
// packet where a unit starts, interleaved by time.
#pragma once

#include "support/evo_builder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::test {

std::string shell(const std::string& command, int* status = nullptr); // stdout of a command
std::string tempDir(const std::string& name);                         // fresh folder under the build's temp
Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& data);

struct Unit {
    std::size_t pos = 0, size = 0;
};
struct Es {
    Bytes data;
    std::vector<Unit> units;
};
// The stream and its units as ffprobe lists the packets of the file.
Es loadEs(const std::string& path, const std::string& format);

struct TrackSpec {
    std::uint8_t streamId = 0xE0; // 0xBD for private stream 1
    std::uint8_t subId = 0;       // private stream 1 sub-stream id
    Bytes extraHeader;            // after the 3 audio private-header bytes (LPCM: 3 bytes)
    Es es;
    std::uint64_t firstPts = 90000;
    double unitTicks = 3753.75; // PTS step per unit
    std::size_t groupBytes = 1; // payloads hold whole multiples of this (LPCM groups)
};

// The packs of every track, interleaved by the time of the bytes they carry.
Bytes buildTitle(const std::vector<TrackSpec>& tracks);

// LPCM: samples (interleaved, as signed values in `bits` bits) in the grouped
// big-endian order, one unit per `unitFrames` sample frames.
Es lpcmEs(const std::vector<std::int32_t>& samples, int channels, int bits, int unitFrames);
Bytes lpcmHeader(int bits, int rate, int channels); // the three bytes after the private header
std::vector<std::int32_t> noiseSamples(std::size_t count, int bits, std::uint32_t seed);

// Soft 3:2 pulldown on an MPEG-2 stream coded at 24000/1001: 30000/1001 in the
// sequence header, an interlaced sequence, and the TFF/RFF cadence per picture
// (without repeatFlags: the same stream as true 30000/1001 interlaced frames).
void addPulldown(Bytes& es, bool repeatFlags = true);

} // namespace vantrel::test
