#include "subpicture_encoder.h"

#include <algorithm>
#include <stdexcept>

namespace vantrel::test {

namespace {

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : m_out(out) {}
    void put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (m_bit == 0) m_out.push_back(0);
            if ((value >> i) & 1U) m_out.back() = static_cast<std::uint8_t>(m_out.back() | (0x80 >> m_bit));
            m_bit = (m_bit + 1) & 7;
        }
    }
    void align() { m_bit = 0; }

private:
    Bytes& m_out;
    int m_bit = 0;
};

void putColour(BitWriter& bits, std::uint8_t colour, ColourBits mode) {
    const bool eight = mode == ColourBits::Eight || (mode == ColourBits::Mixed && colour > 3);
    if (mode == ColourBits::Two && colour > 3)
        throw std::invalid_argument("2-bit unit with a colour above 3");
    bits.put(eight ? 1 : 0, 1);
    bits.put(colour, eight ? 8 : 2);
}

// One run of `length` pixels (1..136), or to the end of the line.
void putRun(BitWriter& bits, std::uint8_t colour, int length, bool toEnd, ColourBits mode) {
    if (length == 1 && !toEnd) {
        bits.put(0, 1);
        putColour(bits, colour, mode);
        return;
    }
    bits.put(1, 1);
    putColour(bits, colour, mode);
    if (toEnd) {
        bits.put(1, 1);
        bits.put(0, 7);
    } else if (length <= 9) {
        bits.put(0, 1);
        bits.put(static_cast<std::uint32_t>(length - 2), 3);
    } else {
        bits.put(1, 1);
        bits.put(static_cast<std::uint32_t>(length - 9), 7);
    }
}

void encodeField(const UnitSpec& drawing, int firstLine, Bytes& out) {
    BitWriter bits(out);
    for (int line = firstLine; line < drawing.height; line += 2) {
        const std::uint8_t* row =
            drawing.pixels.data() + static_cast<std::size_t>(line) * static_cast<std::size_t>(drawing.width);
        int x = 0;
        while (x < drawing.width) {
            int n = 1;
            while (x + n < drawing.width && row[x + n] == row[x]) ++n;
            if (x + n == drawing.width && drawing.toEndOfLine && n > 1) {
                putRun(bits, row[x], n, true, drawing.colours);
            } else {
                for (int left = n; left > 0;) {
                    const int k = std::min(left, 136);
                    putRun(bits, row[x], k, false, drawing.colours);
                    left -= k;
                }
            }
            x += n;
        }
        bits.align();
    }
}

void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void put32(Bytes& out, std::uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

// 5x7 glyphs, one string of seven rows of five cells ('#' set).
struct Glyph {
    char c;
    const char* rows;
};
constexpr Glyph kFont[] = {
    {'A', " ### #   ##   #######   ##   ##   #"}, {'B', "#### #   ##   ##### #   ##   ##### "},
    {'C', " ### #   ##    #    #    #   # ### "}, {'D', "#### #   ##   ##   ##   ##   ##### "},
    {'E', "######    #    #### #    #    #####"}, {'F', "######    #    #### #    #    #    "},
    {'G', " ### #   ##    # ####   ##   # ####"}, {'H', "#   ##   ##   #######   ##   ##   #"},
    {'I', " ###   #    #    #    #    #   ### "}, {'J', "  ###   #    #    #    ##   # ###  "},
    {'K', "#   ##  # # #  ##   # #  #  # #   #"}, {'L', "#    #    #    #    #    #    #####"},
    {'M', "#   ### ### # ##   ##   ##   ##   #"}, {'N', "#   ###  ## # ##  ###   ##   ##   #"},
    {'O', " ### #   ##   ##   ##   ##   # ### "}, {'P', "#### #   ##   ##### #    #    #    "},
    {'Q', " ### #   ##   ##   ## # ##  #  ## #"}, {'R', "#### #   ##   ##### # #  #  # #   #"},
    {'S', " #####    #     ###     #    ##### "}, {'T', "#####  #    #    #    #    #    #  "},
    {'U', "#   ##   ##   ##   ##   ##   # ### "}, {'V', "#   ##   ##   ##   ##   # # #   #  "},
    {'W', "#   ##   ##   ## # ## # ## # # # # "}, {'X', "#   ##   # # #   #   # # #   ##   #"},
    {'Y', "#   ##   # # #   #    #    #    #  "}, {'Z', "#####    #   #   #   #   #    #####"},
    {'0', " ### #   ##  ### # ###  ##   # ### "}, {'1', "  #   ##    #    #    #    #   ### "},
    {'2', " ### #   #    #   #   #   #   #####"}, {'3', "#####   #   #     #     ##   # ### "},
    {'4', "   #   ##  # # #   ######   #    # "}, {'5', "######    ####     #    ##   # ### "},
    {'6', "  ##  #   #    #### #   ##   # ### "}, {'7', "#####    #   #   #   #    #    #   "},
    {'8', " ### #   ##   # ### #   ##   # ### "}, {'9', " ### #   ##   # ####    #   #  ##  "},
    {'.', "                         ##   ##   "}, {',', "                     ##    #   #   "},
    {'!', "  #    #    #    #    #         #  "}, {'?', " ### #   #    #   #   #         #  "},
    {':', "      ##   ##        ##   ##       "}, {'-', "               #####               "},
    {' ', "                                   "},
};

const char* glyphRows(char c) {
    for (const Glyph& g : kFont)
        if (g.c == c) return g.rows;
    return glyphRows('?');
}

} // namespace

EncodedUnit encodeUnit(const UnitSpec& drawing) {
    if (drawing.pixels.size() !=
        static_cast<std::size_t>(drawing.width) * static_cast<std::size_t>(drawing.height))
        throw std::invalid_argument("pixels do not match the area");
    EncodedUnit e;
    Bytes& u = e.bytes;
    u.assign(10, 0);
    e.evenAt = u.size();
    encodeField(drawing, 0, u);
    e.oddAt = u.size();
    encodeField(drawing, 1, u);
    e.commandsAt = u.size();

    // The start sequence: start, area, line offsets, contrast, palette.
    put16(u, drawing.startDelay);
    const std::size_t nextAt = u.size();
    put32(u, 0);
    u.push_back(drawing.forced ? subpicture::kForcedStart : subpicture::kStart);
    u.push_back(subpicture::kArea);
    const auto x1 = static_cast<std::uint32_t>(drawing.x) & 0xFFF;
    const auto x2 = static_cast<std::uint32_t>(drawing.x + drawing.width - 1) & 0xFFF;
    const auto y1 = static_cast<std::uint32_t>(drawing.y) & 0xFFF;
    const auto y2 = static_cast<std::uint32_t>(drawing.y + drawing.height - 1) & 0xFFF;
    u.push_back(static_cast<std::uint8_t>(x1 >> 4));
    u.push_back(static_cast<std::uint8_t>((x1 & 0xF) << 4 | x2 >> 8));
    u.push_back(static_cast<std::uint8_t>(x2));
    u.push_back(static_cast<std::uint8_t>(y1 >> 4));
    u.push_back(static_cast<std::uint8_t>((y1 & 0xF) << 4 | y2 >> 8));
    u.push_back(static_cast<std::uint8_t>(y2));
    u.push_back(subpicture::kLines);
    put32(u, static_cast<std::uint32_t>(e.evenAt));
    put32(u, static_cast<std::uint32_t>(e.oddAt));
    u.push_back(subpicture::kContrast);
    u.insert(u.end(), drawing.contrast.begin(), drawing.contrast.end());
    e.paletteCommandAt = u.size();
    u.push_back(subpicture::kPalette);
    for (const subpicture::YCrCb& c : drawing.palette) u.insert(u.end(), {c.y, c.cr, c.cb});
    u.push_back(subpicture::kEndOfSequence);

    // The stop sequence, the last of the chain: it points at itself.
    e.stopSequenceAt = u.size();
    putBe32(u, nextAt, static_cast<std::uint32_t>(e.stopSequenceAt));
    put16(u, drawing.stopDelay);
    put32(u, static_cast<std::uint32_t>(e.stopSequenceAt));
    u.push_back(subpicture::kStop);
    u.push_back(subpicture::kEndOfSequence);

    putBe32(u, 2, static_cast<std::uint32_t>(u.size()));
    putBe32(u, 6, static_cast<std::uint32_t>(e.commandsAt));
    return e;
}

void putBe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

void appendSupRecord(Bytes& out, std::uint32_t pts, const Bytes& unit) {
    out.insert(out.end(),
               {'S', 'P', static_cast<std::uint8_t>(pts), static_cast<std::uint8_t>(pts >> 8),
                static_cast<std::uint8_t>(pts >> 16), static_cast<std::uint8_t>(pts >> 24), 0, 0, 0, 0});
    out.insert(out.end(), unit.begin(), unit.end());
}

void fillTestPalette(UnitSpec& drawing) {
    for (std::size_t i = 0; i < 256; ++i) {
        // Luma 16..235, chroma 16..240, spread so neighbouring indices differ.
        drawing.palette[i] = {static_cast<std::uint8_t>(16 + (i * 37) % 220),
                              static_cast<std::uint8_t>(16 + (i * 91) % 225),
                              static_cast<std::uint8_t>(16 + (i * 53) % 225)};
        drawing.contrast[i] = i == 0 ? 255 : 0;
    }
    drawing.palette[1] = {235, 128, 128}; // white
    drawing.palette[2] = {16, 128, 128};  // black
}

void drawText(UnitSpec& drawing, const std::string& text, int scale, std::uint8_t fill,
              std::uint8_t outline) {
    const int pad = scale;
    drawing.width = static_cast<int>(text.size()) * 6 * scale + 2 * pad - scale;
    drawing.height = 7 * scale + 2 * pad;
    drawing.pixels.assign(static_cast<std::size_t>(drawing.width) * static_cast<std::size_t>(drawing.height),
                          0);
    auto at = [&](int px, int py) -> std::uint8_t& {
        return drawing.pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(drawing.width) +
                              static_cast<std::size_t>(px)];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* rows = glyphRows(text[i]);
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx) {
                if (rows[gy * 5 + gx] != '#') continue;
                for (int sy = 0; sy < scale; ++sy)
                    for (int sx = 0; sx < scale; ++sx)
                        at(pad + (static_cast<int>(i) * 6 + gx) * scale + sx, pad + gy * scale + sy) = fill;
            }
    }
    // The outline: background pixels next to the fill.
    const std::vector<std::uint8_t> before = drawing.pixels;
    for (int py = 0; py < drawing.height; ++py)
        for (int px = 0; px < drawing.width; ++px) {
            if (at(px, py) != 0) continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    const int nx = px + dx, ny = py + dy;
                    near = nx >= 0 && ny >= 0 && nx < drawing.width && ny < drawing.height &&
                           before[static_cast<std::size_t>(ny) * static_cast<std::size_t>(drawing.width) +
                                  static_cast<std::size_t>(nx)] == fill;
                }
            if (near) at(px, py) = outline;
        }
}

} // namespace vantrel::test
