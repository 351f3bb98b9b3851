// One HD DVD subpicture unit, decoded: when it shows and stops, where, its
// bitmap of palette indices, and its 256-entry palette and contrast table.
//
// A unit is laid out as
//   0  2 bytes  zero (the unit form with 32-bit offsets)
//   2  4 bytes  unit size, counted from the unit's first byte
//   6  4 bytes  offset of the first display-control sequence
//  10  ...      run-length coded lines: the even field, then the odd one
// followed by the chain of display-control sequences, each
//   2 bytes delay (units of 1024 ticks of the 90 kHz clock, from the unit's PTS),
//   4 bytes offset of the next sequence (its own offset in the last one),
//   commands up to 0xFF.
// All numbers are big-endian; every offset counts from the unit's first byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::subpicture {

// The frame the subpicture is shown on, unless told otherwise.
constexpr int kFrameWidth = 1920;
constexpr int kFrameHeight = 1080;
// Ticks of the 90 kHz clock per delay unit of a display-control sequence.
constexpr std::uint32_t kDelayTicks = 1024;

// Display-control commands.
enum Command : std::uint8_t {
    kForcedStart = 0x00, // start, shown whatever the player's subtitle choice
    kStart = 0x01,
    kStop = 0x02,
    kPalette = 0x83,  // 256 x (Y, Cr, Cb)
    kContrast = 0x84, // 256 bytes, 0 opaque .. 255 fully transparent
    kArea = 0x85,     // x1, x2, y1, y2 in 12 bits each, inclusive
    kLines = 0x86,    // 32-bit offsets of the even and odd field lines
    kEndOfSequence = 0xFF,
};

struct YCrCb {
    std::uint8_t y = 16;
    std::uint8_t cr = 128;
    std::uint8_t cb = 128;
    bool operator==(const YCrCb&) const = default;
};

struct Subpicture {
    std::uint32_t pts = 0;        // the unit's PTS (bits 31..0, 90 kHz)
    std::uint32_t startDelay = 0; // in 90 kHz ticks from pts
    std::uint32_t stopDelay = 0;  // in 90 kHz ticks from pts
    bool forced = false;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // width * height palette indices, top line first
    std::array<YCrCb, 256> palette{};
    std::array<std::uint8_t, 256> contrast{}; // 0 opaque .. 255 transparent
    // The sequences after the start changed what is shown (left out: only the
    // picture as the start sequence sets it is kept).
    bool animated = false;

    std::uint32_t startTime() const { return pts + startDelay; } // wraps like the 32-bit PTS
    std::uint32_t stopTime() const { return pts + stopDelay; }
    std::uint8_t pixel(int px, int py) const {
        return pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(px)];
    }
};

struct DecodeOptions {
    int frameWidth = kFrameWidth;
    int frameHeight = kFrameHeight;
};

// Decodes one unit (the bytes after its record header). Returns an empty string
// on success, otherwise what is wrong with the unit (out is then unspecified).
// Never reads outside `unit` and always ends: every loop is bounded by the
// unit's size.
std::string decodeUnit(std::span<const std::uint8_t> bytes, std::uint32_t pts, Subpicture& out,
                       const DecodeOptions& options = {});

// The size a unit announces in its header, or 0 when fewer than 6 bytes are given.
std::uint32_t announcedUnitSize(std::span<const std::uint8_t> unit);

// "PTS 900000 (0:00:10.000)": how warnings name a unit.
std::string describePts(std::uint32_t pts);

} // namespace vantrel::subpicture
