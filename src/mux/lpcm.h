// LPCM as the private-stream-1 audio packets carry it: the three header bytes
// that follow the four-byte private header, and the big-endian samples, which
// for 20 and 24 bits come in groups of four samples (in their interleaved
// order, so a group may end inside a sample frame): the four high 16-bit words
// first, then the four low bytes (24 bits) or nibble pairs (20 bits).
#pragma once

#include "codecs/codec_facts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::mux {

using codec::LpcmFormat;
using codec::parseLpcmHeader;

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
