#include "pgs_reader.h"

namespace vantrel::test {

namespace {

std::uint32_t be(const std::uint8_t* p, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

std::string decodeLines(const std::vector<std::uint8_t>& rle, PgsDisplaySet& set) {
    set.pixels.assign(static_cast<std::size_t>(set.width) * static_cast<std::size_t>(set.height), 0);
    std::size_t i = 0;
    for (int line = 0; line < set.height; ++line) {
        int x = 0;
        for (;;) {
            if (i >= rle.size()) return "object data ends inside line " + std::to_string(line);
            std::uint8_t colour = rle[i++];
            int n = 1;
            if (colour == 0) {
                if (i >= rle.size()) return "cut run";
                const std::uint8_t flags = rle[i++];
                if (flags == 0) break; // end of line
                n = flags & 0x3F;
                if (flags & 0x40) {
                    if (i >= rle.size()) return "cut run";
                    n = n << 8 | rle[i++];
                }
                if (flags & 0x80) {
                    if (i >= rle.size()) return "cut run";
                    colour = rle[i++];
                }
                if (n == 0) return "run of length 0";
            }
            if (x + n > set.width) return "run overflows line " + std::to_string(line);
            for (int k = 0; k < n; ++k)
                set.pixels[static_cast<std::size_t>(line) * static_cast<std::size_t>(set.width) +
                           static_cast<std::size_t>(x + k)] = colour;
            x += n;
        }
        if (x != set.width) return "line " + std::to_string(line) + " has " + std::to_string(x) + " pixels";
    }
    if (i != rle.size()) return "object data goes on after the last line";
    return {};
}

} // namespace

std::string readPgs(std::span<const std::uint8_t> data, std::vector<PgsDisplaySet>& sets) {
    sets.clear();
    PgsDisplaySet current;
    bool open = false;
    std::vector<std::uint8_t> rle;
    std::size_t objectLength = 0;
    std::size_t at = 0;
    while (at < data.size()) {
        if (data.size() - at < 13) return "cut segment header at " + std::to_string(at);
        const std::uint8_t* h = data.data() + at;
        if (h[0] != 'P' || h[1] != 'G') return "no PG at " + std::to_string(at);
        const std::uint32_t pts = be(h + 2, 4);
        const std::uint8_t type = h[10];
        const std::size_t size = be(h + 11, 2);
        if (data.size() - at - 13 < size) return "cut segment at " + std::to_string(at);
        const std::uint8_t* d = h + 13;
        at += 13 + size;
        if (open && pts != current.pts) return "segments of one display set with different PTS";
        switch (type) {
        case 0x16: {
            if (open) return "composition inside a display set";
            if (size < 11) return "short composition";
            current = PgsDisplaySet{};
            open = true;
            current.pts = pts;
            current.frameWidth = static_cast<int>(be(d, 2));
            current.frameHeight = static_cast<int>(be(d + 2, 2));
            current.state = d[7];
            const int objects = d[10];
            if (objects > 1) return "more than one object";
            if (objects == 1) {
                if (size < 19) return "short composition object";
                current.shows = true;
                current.forced = (d[14] & 0x40) != 0;
                current.x = static_cast<int>(be(d + 15, 2));
                current.y = static_cast<int>(be(d + 17, 2));
            }
            break;
        }
        case 0x17:
            if (!open) return "window outside a display set";
            break;
        case 0x14:
            if (!open || size < 2 || (size - 2) % 5 != 0) return "bad palette segment";
            for (std::size_t i = 2; i < size; i += 5)
                current.palette[d[i]] = {true, d[i + 1], d[i + 2], d[i + 3], d[i + 4]};
            break;
        case 0x15: {
            if (!open || size < 4) return "bad object segment";
            const std::uint8_t sequence = d[3];
            const std::uint8_t* body = d + 4;
            std::size_t bodySize = size - 4;
            if (sequence & 0x80) {
                if (bodySize < 7) return "short first object segment";
                objectLength = be(body, 3) - 4;
                current.width = static_cast<int>(be(body + 3, 2));
                current.height = static_cast<int>(be(body + 5, 2));
                body += 7;
                bodySize -= 7;
                rle.clear();
            } else if (current.objectSegments == 0) {
                return "object continues without a first segment";
            }
            rle.insert(rle.end(), body, body + bodySize);
            ++current.objectSegments;
            if (sequence & 0x40) {
                if (rle.size() != objectLength) return "object data length does not match";
                const std::string problem = decodeLines(rle, current);
                if (!problem.empty()) return problem;
            }
            break;
        }
        case 0x80:
            if (!open || size != 0) return "bad end segment";
            if (current.shows && current.pixels.empty()) return "display set shows no object";
            sets.push_back(std::move(current));
            open = false;
            break;
        default: return "unknown segment type " + std::to_string(type);
        }
    }
    if (open) return "display set without end";
    return {};
}

} // namespace vantrel::test
