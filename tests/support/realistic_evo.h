// A realistic HD DVD-like program stream for benchmarks and the sample disc:
// one MPEG-2 video stream carrying ~90 % of the bytes (sequence header, picture
// start codes, PTS-only and PTS+DTS headers as B-frame GOPs have them), E-AC-3,
// DTS-HD and LPCM audio, two subpicture streams, navigation and padding packs.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::test {

// A small deterministic xorshift generator for generated payloads and cut points.
struct Rng {
    std::uint32_t s;
    std::uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

struct RealisticEvoStats {
    std::uint64_t bytes = 0;
    std::uint64_t packs = 0;
    std::uint64_t videoFrames = 0;
};

// Writes about `bytes` bytes (whole 2048-byte packs) to path, deterministic for a seed.
RealisticEvoStats writeRealisticEvo(const std::string& path, std::uint64_t bytes, std::uint32_t seed = 1);

} // namespace vantrel::test
