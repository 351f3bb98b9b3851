// Presentation graphics segments ("PG"): the subtitle form that muxers and
// players take. Each segment is
//   "PG", PTS (32 bits), DTS (32 bits, written as 0), type, 16-bit size, data
// and a display set is a presentation composition, a window definition, a
// palette definition, one or more object definition segments and an end
// segment. All numbers are big-endian.
#pragma once

#include "subpicture_unit.h"

#include <cstdint>
#include <vector>

namespace vantrel::subpicture {

enum PgsSegment : std::uint8_t {
    kPgsPalette = 0x14,
    kPgsObject = 0x15,
    kPgsComposition = 0x16,
    kPgsWindow = 0x17,
    kPgsEnd = 0x80,
};

// The most object data one object definition segment carries.
constexpr std::size_t kPgsFirstObjectChunk = 0xFFFF - 11; // id, version, sequence, length, width, height
constexpr std::size_t kPgsNextObjectChunk = 0xFFFF - 4;   // id, version, sequence

// Appends the run-length coded lines of a width x height bitmap to `out`:
// a non-zero colour alone, or 00 then a flag byte (bit 7: a colour follows,
// bit 6: a 14-bit length, else 6 bits), 00 00 ending each line.
void appendPgsLines(const std::uint8_t* pixels, int width, int height, std::vector<std::uint8_t>& out);

class PgsWriter {
public:
    explicit PgsWriter(int frameWidth = kFrameWidth, int frameHeight = kFrameHeight)
        : m_frameWidth(frameWidth), m_frameHeight(frameHeight) {}

    // Appends the display set that shows `picture` at `pts`: a new epoch with
    // one window and one object at the picture's place, the palette entries
    // that the bitmap uses (alpha = 255 - contrast).
    void show(const Subpicture& picture, std::uint32_t pts, std::vector<std::uint8_t>& out);
    // Appends the empty display set that clears the last shown picture at `pts`.
    void clear(std::uint32_t pts, std::vector<std::uint8_t>& out);

private:
    void composition(std::uint32_t pts, bool withObject, std::vector<std::uint8_t>& out);
    void window(std::uint32_t pts, std::vector<std::uint8_t>& out);

    int m_frameWidth;
    int m_frameHeight;
    std::uint16_t m_compositionNumber = 0;
    int m_x = 0, m_y = 0, m_width = 0, m_height = 0;
    bool m_forced = false;
    std::vector<std::uint8_t> m_lines; // reused for every picture
};

} // namespace vantrel::subpicture
