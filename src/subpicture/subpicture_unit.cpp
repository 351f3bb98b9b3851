#include "subpicture_unit.h"

#include <algorithm>
#include <cstdio>

namespace vantrel::subpicture {

namespace {

std::uint32_t be16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 8 | p[1];
}

std::uint32_t be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::string hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

// Reads bits, most significant first, from one field's line data; never past its end.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_bits(size * 8) {}

    bool read(int count, std::uint32_t& value) {
        if (m_position + static_cast<std::size_t>(count) > m_bits) return false;
        value = 0;
        for (int i = 0; i < count; ++i, ++m_position) {
            const std::uint32_t bit = (m_data[m_position >> 3] >> (7 - (m_position & 7))) & 1U;
            value = value << 1 | bit;
        }
        return true;
    }
    void alignToByte() { m_position = (m_position + 7) & ~static_cast<std::size_t>(7); }

private:
    const std::uint8_t* m_data;
    std::size_t m_bits;
    std::size_t m_position = 0;
};

// Decodes the lines firstLine, firstLine + 2, ... of the picture from one
// field's data. Each line is a series of runs, each
//   1 bit  run (1) or single pixel (0)
//   1 bit  8-bit colour (1) or 2-bit colour (0)
//   2 or 8 bits colour index
//   for a run: 1 bit long (1) or short (0);
//     short: 3 bits, length 2..9; long: 7 bits, length 10..136, 0 = to the end of the line
// and each line ends on a byte boundary.
std::string decodeField(const std::uint8_t* data, std::size_t size, int firstLine, Subpicture& out) {
    BitReader bits(data, size);
    const auto width = static_cast<std::uint32_t>(out.width);
    for (int line = firstLine; line < out.height; line += 2) {
        std::uint8_t* row = out.pixels.data() + static_cast<std::size_t>(line) * width;
        std::uint32_t x = 0;
        while (x < width) {
            std::uint32_t isRun = 0, eightBit = 0, colour = 0, length = 1;
            if (!bits.read(1, isRun) || !bits.read(1, eightBit) || !bits.read(eightBit ? 8 : 2, colour))
                return "the data of line " + std::to_string(line) + " ends early";
            if (isRun) {
                std::uint32_t isLong = 0, n = 0;
                if (!bits.read(1, isLong) || !bits.read(isLong ? 7 : 3, n))
                    return "the data of line " + std::to_string(line) + " ends early";
                length = isLong ? (n == 0 ? width - x : n + 9) : n + 2;
            }
            if (length > width - x) return "a run overflows line " + std::to_string(line);
            std::fill_n(row + x, length, static_cast<std::uint8_t>(colour));
            x += length;
        }
        bits.alignToByte();
    }
    return {};
}

} // namespace

std::uint32_t announcedUnitSize(std::span<const std::uint8_t> unit) {
    return unit.size() < 6 ? 0 : be32(unit.data() + 2);
}

std::string describePts(std::uint32_t pts) {
    const std::uint32_t ms = static_cast<std::uint32_t>(static_cast<std::uint64_t>(pts) / 90);
    char text[64];
    std::snprintf(text, sizeof text, "PTS %u (%u:%02u:%02u.%03u)", pts, ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

namespace {

// What the display-control sequences set up to the one that stops the picture.
struct Controls {
    bool started = false, stopped = false;
    bool havePalette = false, haveContrast = false, haveArea = false, haveLines = false;
    std::uint32_t x1 = 0, x2 = 0, y1 = 0, y2 = 0, evenAt = 0, oddAt = 0;
};

// The header's checks: the unit form, its size and where its commands begin.
std::string checkHeader(std::span<const std::uint8_t> bytes, std::uint32_t& size, std::uint32_t& commandsAt) {
    if (bytes.size() < 10) return "the unit is shorter than its 10-byte header";
    const std::uint8_t* u = bytes.data();
    if (be16(u) != 0) return "not a unit with 32-bit offsets (it begins with " + hex(be16(u)) + ")";
    size = be32(u + 2);
    if (size < 10) return "the unit announces a size of " + std::to_string(size) + " bytes";
    if (size > bytes.size())
        return "the unit is truncated: it announces " + std::to_string(size) + " bytes, " +
               std::to_string(bytes.size()) + " are there";
    commandsAt = be32(u + 6);
    if (commandsAt < 10 || commandsAt > size - 6)
        return "the command area offset " + std::to_string(commandsAt) + " lies outside the unit";
    return {};
}

// Reads the commands of one display-control sequence, from p up to its end
// command. Commands of a sequence after the start (afterStart) only mark the
// picture as animated.
std::string readSequence(const std::uint8_t* u, std::uint32_t size, std::uint32_t at, std::uint32_t delay,
                         bool afterStart, Controls& c, Subpicture& out) {
    std::uint32_t p = at + 6;
    // A command with a payload: its n bytes must lie inside the unit; the
    // payload is read only in the sequences up to the start.
    auto payload = [&](std::uint32_t n, const char* what, bool& have, auto read) -> std::string {
        if (size - p < n)
            return std::string("the ") + what + " command at " + std::to_string(p - 1) +
                   " is cut by the unit's end";
        if (afterStart) {
            out.animated = true;
        } else {
            read(u + p);
            have = true;
        }
        p += n;
        return {};
    };
    for (;;) {
        if (p >= size) return "the display-control sequence at " + std::to_string(at) + " has no end command";
        const std::uint8_t command = u[p++];
        std::string problem;
        switch (command) {
        case kForcedStart:
        case kStart:
            if (!c.started) {
                c.started = true;
                out.forced = command == kForcedStart;
                out.startDelay = delay;
            }
            break;
        case kStop:
            if (!c.stopped) {
                c.stopped = true;
                out.stopDelay = delay;
            }
            break;
        case kPalette:
            problem = payload(768, "palette", c.havePalette, [&](const std::uint8_t* d) {
                for (std::size_t i = 0; i < 256; ++i) out.palette[i] = {d[3 * i], d[3 * i + 1], d[3 * i + 2]};
            });
            break;
        case kContrast:
            problem = payload(256, "contrast", c.haveContrast,
                              [&](const std::uint8_t* d) { std::copy_n(d, 256, out.contrast.begin()); });
            break;
        case kArea:
            problem = payload(6, "display area", c.haveArea, [&](const std::uint8_t* d) {
                c.x1 = static_cast<std::uint32_t>(d[0]) << 4 | d[1] >> 4;
                c.x2 = static_cast<std::uint32_t>(d[1] & 0x0F) << 8 | d[2];
                c.y1 = static_cast<std::uint32_t>(d[3]) << 4 | d[4] >> 4;
                c.y2 = static_cast<std::uint32_t>(d[4] & 0x0F) << 8 | d[5];
            });
            break;
        case kLines:
            problem = payload(8, "line offsets", c.haveLines, [&](const std::uint8_t* d) {
                c.evenAt = be32(d);
                c.oddAt = be32(d + 4);
            });
            break;
        case kEndOfSequence: return {};
        default:
            // A command whose length is unknown here: the rest of this
            // sequence cannot be read, the next one still can.
            if (afterStart) out.animated = true;
            return {};
        }
        if (!problem.empty()) return problem;
    }
}

// Follows the chain of display-control sequences up to the one that stops
// the picture. Each next offset must lie beyond the current one, so the walk
// ends within the unit's size.
std::string readControls(const std::uint8_t* u, std::uint32_t size, std::uint32_t commandsAt, Controls& c,
                         Subpicture& out) {
    std::uint32_t at = commandsAt;
    while (!c.stopped) {
        if (at > size - 6)
            return "the display-control sequence at " + std::to_string(at) + " lies outside the unit";
        const std::uint32_t delay = be16(u + at) * kDelayTicks;
        const std::uint32_t next = be32(u + at + 2);
        if (std::string problem = readSequence(u, size, at, delay, c.started, c, out); !problem.empty())
            return problem;
        if (c.stopped || next == at) break;
        if (next < at + 6)
            return "the display-control sequence at " + std::to_string(at) + " points back to " +
                   std::to_string(next);
        at = next;
    }
    return {};
}

// Every part a picture needs, and its area inside the frame; sets the picture's place and size.
std::string placePicture(const Controls& c, const DecodeOptions& options, Subpicture& out) {
    if (!c.started) return "no start command";
    if (!c.stopped) return "no stop command";
    if (!c.havePalette) return "no palette";
    if (!c.haveContrast) return "no contrast table";
    if (!c.haveArea) return "no display area";
    if (!c.haveLines) return "no line offsets";
    if (out.stopDelay <= out.startDelay) return "it stops before it starts";
    const std::string area = std::to_string(c.x1) + ".." + std::to_string(c.x2) + " x " +
                             std::to_string(c.y1) + ".." + std::to_string(c.y2);
    if (c.x2 < c.x1 || c.y2 < c.y1) return "the display area " + area + " is empty";
    if (c.x2 >= static_cast<std::uint32_t>(options.frameWidth) ||
        c.y2 >= static_cast<std::uint32_t>(options.frameHeight))
        return "the display area " + area + " is larger than the " + std::to_string(options.frameWidth) +
               "x" + std::to_string(options.frameHeight) + " frame";
    out.x = static_cast<int>(c.x1);
    out.y = static_cast<int>(c.y1);
    out.width = static_cast<int>(c.x2 - c.x1 + 1);
    out.height = static_cast<int>(c.y2 - c.y1 + 1);
    return {};
}

// The line data lies between the header and the command area; each field's
// data ends where the other field's or the command area begins (a field
// without lines, the odd one of a one-line picture, may begin there).
std::string decodeLines(const std::uint8_t* u, std::uint32_t commandsAt, const Controls& c, Subpicture& out) {
    if (c.evenAt < 10 || c.evenAt > commandsAt || c.oddAt < 10 || c.oddAt > commandsAt)
        return "the line offsets " + std::to_string(c.evenAt) + " and " + std::to_string(c.oddAt) +
               " lie outside the line data (10.." + std::to_string(commandsAt) + ")";
    if (c.evenAt == c.oddAt && out.height > 1)
        return "the even and odd lines share the offset " + std::to_string(c.evenAt);
    const std::uint32_t evenEnd = c.oddAt > c.evenAt ? c.oddAt : commandsAt;
    const std::uint32_t oddEnd = c.evenAt > c.oddAt ? c.evenAt : commandsAt;
    out.pixels.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height), 0);
    std::string problem = decodeField(u + c.evenAt, evenEnd - c.evenAt, 0, out);
    if (problem.empty()) problem = decodeField(u + c.oddAt, oddEnd - c.oddAt, 1, out);
    return problem;
}

} // namespace

std::string decodeUnit(std::span<const std::uint8_t> bytes, std::uint32_t pts, Subpicture& out,
                       const DecodeOptions& options) {
    std::uint32_t size = 0, commandsAt = 0;
    if (std::string problem = checkHeader(bytes, size, commandsAt); !problem.empty()) return problem;
    out.pts = pts;
    out.animated = false;
    out.forced = false;
    Controls controls;
    if (std::string problem = readControls(bytes.data(), size, commandsAt, controls, out); !problem.empty())
        return problem;
    if (std::string problem = placePicture(controls, options, out); !problem.empty()) return problem;
    return decodeLines(bytes.data(), commandsAt, controls, out);
}

} // namespace vantrel::subpicture
