// Test-side encoder of HD DVD subpicture units: known bitmaps, palettes,
// areas and times in, unit bytes (and .sup records) out. Written from the
// unit layout independently of the decoder in src/subpicture, so a test that
// round-trips through both compares two readings of the layout.
#pragma once

#include "evo_builder.h"
#include "subpicture/subpicture_unit.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::test {

// How colours are written in the runs.
enum class ColourBits {
    Two,   // every run with a 2-bit colour (indices 0..3 only)
    Eight, // every run with an 8-bit colour
    Mixed, // 2-bit where the index is below 4, else 8-bit
};

struct UnitSpec {
    std::uint32_t pts = 90000;
    std::uint16_t startDelay = 0; // units of 1024 ticks
    std::uint16_t stopDelay = 88;
    bool forced = false;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // width * height indices
    std::array<subpicture::YCrCb, 256> palette{};
    std::array<std::uint8_t, 256> contrast{}; // 0 opaque .. 255 transparent
    ColourBits colours = ColourBits::Mixed;
    bool toEndOfLine = true; // a run that reaches the line's end uses the to-end-of-line code
};

struct EncodedUnit {
    Bytes bytes;
    std::size_t evenAt = 0;
    std::size_t oddAt = 0;
    std::size_t commandsAt = 0;
    std::size_t paletteCommandAt = 0; // the 0x83 byte; the palette command is the start sequence's last
    std::size_t stopSequenceAt = 0;
};

EncodedUnit encodeUnit(const UnitSpec& drawing);

// "SP", PTS little-endian, four zero bytes, then the unit.
void appendSupRecord(Bytes& out, std::uint32_t pts, const Bytes& unit);

// Overwrites the 32-bit big-endian value at `at`.
void putBe32(Bytes& bytes, std::size_t at, std::uint32_t value);

// A palette with distinct, valid colours for every index (limited range) and
// a contrast table with index 0 transparent, the rest opaque.
void fillTestPalette(UnitSpec& drawing);

// Text drawn with a 5x7 block font at `scale`, fill index `fill`, an outline
// of index `outline` around it, background 0. Upper-case letters, digits,
// space and a few marks.
void drawText(UnitSpec& drawing, const std::string& text, int scale, std::uint8_t fill, std::uint8_t outline);

} // namespace vantrel::test
