// LPCM as the private-stream-1 audio packets carry it: the three header bytes
// that follow the four-byte private header, and the big-endian samples, which
// for 20 and 24 bits come in groups of four samples (in their interleaved
// order, so a group may end inside a sample frame): the four high 16-bit words
// first, then the four low bytes (24 bits) or nibble pairs (20 bits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::mux {

struct LpcmFormat {
    int bits = 16; // 16, 20 or 24
    int sampleRate = 48000;
    int channels = 2;      // 1..8
    std::uint8_t code = 0; // the header byte the three fields come from

    // Bytes of one group: four samples for 20/24 bits, one sample frame for 16 bits.
    std::size_t groupBytes() const;
    // Samples in one group.
    int samplesPerGroup() const { return bits == 16 ? channels : 4; }
    // Bytes per sample in the little-endian output (2 or 3).
    int outputBytesPerSample() const { return bits == 16 ? 2 : 3; }
    bool operator==(const LpcmFormat& o) const {
        return bits == o.bits && sampleRate == o.sampleRate && channels == o.channels;
    }
};

// Reads the three header bytes (emphasis/mute/frame number, the format byte,
// dynamic range). The format byte: bits 7-6 quantisation (0: 16, 1: 20, 2: 24
// bits), bits 5-4 rate (48000, 96000, 44100, 32000), bit 3 must be clear (a set
// bit widens the rate field into codes this reader does not know), bits 2-0
// channels - 1. Unknown codes give no format and a reason in `error`.
std::optional<LpcmFormat> parseLpcmHeader(const std::uint8_t* header, std::string& error);

// Turns the grouped big-endian samples into interleaved little-endian ones
// (16 bits: 2 bytes, 20 and 24 bits: 3 bytes, 20-bit samples in the top bits).
// Whole groups only: feed() keeps an incomplete group for the next call.
class LpcmUnpacker {
public:
    explicit LpcmUnpacker(const LpcmFormat& format);
    // Appends the converted samples of every complete group to `out` (cleared first).
    void feed(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out);
    // Bytes of an incomplete group still held.
    std::size_t pending() const { return m_held.size(); }
    // Whole sample frames converted so far.
    std::int64_t sampleFrames() const { return m_samples / m_format.channels; }
    const LpcmFormat& format() const { return m_format; }

private:
    void convertGroup(const std::uint8_t* g, std::uint8_t* out) const;

    LpcmFormat m_format;
    std::size_t m_groupBytes;
    std::vector<std::uint8_t> m_held;
    std::int64_t m_samples = 0;
};

} // namespace vantrel::mux
