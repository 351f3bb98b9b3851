#include "pgs_writer.h"

#include <algorithm>
#include <array>

namespace vantrel::subpicture {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

// Starts a segment; the size is filled in by endSegment.
std::size_t beginSegment(std::vector<std::uint8_t>& out, std::uint32_t pts, PgsSegment type) {
    out.push_back('P');
    out.push_back('G');
    put32(out, pts);
    put32(out, 0);
    out.push_back(type);
    put16(out, 0);
    return out.size();
}

void endSegment(std::vector<std::uint8_t>& out, std::size_t dataAt) {
    const std::size_t size = out.size() - dataAt;
    out[dataAt - 2] = static_cast<std::uint8_t>(size >> 8);
    out[dataAt - 1] = static_cast<std::uint8_t>(size);
}

} // namespace

void appendPgsLines(const std::uint8_t* pixels, int width, int height, std::vector<std::uint8_t>& out) {
    for (int line = 0; line < height; ++line) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(line) * static_cast<std::size_t>(width);
        int x = 0;
        while (x < width) {
            const std::uint8_t colour = row[x];
            int n = 1;
            while (x + n < width && row[x + n] == colour && n < 0x3FFF) ++n;
            const auto length = static_cast<std::uint32_t>(n);
            if (colour != 0 && n < 3) {
                out.insert(out.end(), length, colour);
            } else {
                out.push_back(0);
                const std::uint8_t colourFlag = colour != 0 ? 0x80 : 0x00;
                if (n < 64) {
                    out.push_back(static_cast<std::uint8_t>(colourFlag | length));
                } else {
                    out.push_back(static_cast<std::uint8_t>(colourFlag | 0x40 | length >> 8));
                    out.push_back(static_cast<std::uint8_t>(length));
                }
                if (colour != 0) out.push_back(colour);
            }
            x += n;
        }
        out.push_back(0);
        out.push_back(0);
    }
}

void PgsWriter::composition(std::uint32_t pts, bool withObject, std::vector<std::uint8_t>& out) {
    const std::size_t at = beginSegment(out, pts, kPgsComposition);
    put16(out, static_cast<std::uint32_t>(m_frameWidth));
    put16(out, static_cast<std::uint32_t>(m_frameHeight));
    out.push_back(0x10); // frame rate code, not interpreted by readers
    put16(out, m_compositionNumber++);
    out.push_back(withObject ? 0x80 : 0x00); // epoch start, or a normal case that removes the object
    out.push_back(0x00);                     // no palette-only update
    out.push_back(0x00);                     // palette 0
    out.push_back(withObject ? 1 : 0);
    if (withObject) {
        put16(out, 0);                      // object 0
        out.push_back(0);                   // window 0
        out.push_back(m_forced ? 0x40 : 0); // shown whatever the subtitle choice
        put16(out, static_cast<std::uint32_t>(m_x));
        put16(out, static_cast<std::uint32_t>(m_y));
    }
    endSegment(out, at);
}

void PgsWriter::window(std::uint32_t pts, std::vector<std::uint8_t>& out) {
    const std::size_t at = beginSegment(out, pts, kPgsWindow);
    out.push_back(1);
    out.push_back(0);
    put16(out, static_cast<std::uint32_t>(m_x));
    put16(out, static_cast<std::uint32_t>(m_y));
    put16(out, static_cast<std::uint32_t>(m_width));
    put16(out, static_cast<std::uint32_t>(m_height));
    endSegment(out, at);
}

void PgsWriter::show(const Subpicture& picture, std::uint32_t pts, std::vector<std::uint8_t>& out) {
    m_x = picture.x;
    m_y = picture.y;
    m_width = picture.width;
    m_height = picture.height;
    m_forced = picture.forced;
    composition(pts, true, out);
    window(pts, out);

    std::array<bool, 256> used{};
    for (std::uint8_t index : picture.pixels) used[index] = true;
    std::size_t at = beginSegment(out, pts, kPgsPalette);
    out.push_back(0); // palette 0
    out.push_back(0); // version 0
    for (std::size_t i = 0; i < 256; ++i) {
        if (!used[i]) continue;
        const YCrCb& c = picture.palette[i];
        out.push_back(static_cast<std::uint8_t>(i));
        out.push_back(c.y);
        out.push_back(c.cr);
        out.push_back(c.cb);
        out.push_back(static_cast<std::uint8_t>(255 - picture.contrast[i]));
    }
    endSegment(out, at);

    m_lines.clear();
    appendPgsLines(picture.pixels.data(), picture.width, picture.height, m_lines);
    const std::size_t total = m_lines.size();
    std::size_t done = 0;
    bool first = true;
    do {
        const std::size_t chunk = std::min(total - done, first ? kPgsFirstObjectChunk : kPgsNextObjectChunk);
        const bool last = done + chunk == total;
        at = beginSegment(out, pts, kPgsObject);
        put16(out, 0); // object 0
        out.push_back(0);
        out.push_back(static_cast<std::uint8_t>((first ? 0x80 : 0) | (last ? 0x40 : 0)));
        if (first) {
            const std::size_t length = total + 4; // the data length counts width and height
            out.push_back(static_cast<std::uint8_t>(length >> 16));
            put16(out, static_cast<std::uint32_t>(length & 0xFFFF));
            put16(out, static_cast<std::uint32_t>(picture.width));
            put16(out, static_cast<std::uint32_t>(picture.height));
        }
        out.insert(out.end(), m_lines.begin() + static_cast<std::ptrdiff_t>(done),
                   m_lines.begin() + static_cast<std::ptrdiff_t>(done + chunk));
        endSegment(out, at);
        done += chunk;
        first = false;
    } while (done < total);

    endSegment(out, beginSegment(out, pts, kPgsEnd));
}

void PgsWriter::clear(std::uint32_t pts, std::vector<std::uint8_t>& out) {
    composition(pts, false, out);
    window(pts, out);
    endSegment(out, beginSegment(out, pts, kPgsEnd));
}

} // namespace vantrel::subpicture
