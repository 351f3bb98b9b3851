#include "pes_reader.h"

#include <cstring>

namespace vantrel::mux {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
}

PesReader::PesReader(const std::string& path) : m_file(openSource(path)), m_buf(kBufferSize) {}

bool PesReader::fill(std::size_t need) {
    if (m_end - m_pos >= need) return true;
    if (m_pos > 0) {
        std::memmove(m_buf.data(), m_buf.data() + m_pos, m_end - m_pos);
        m_base += static_cast<std::int64_t>(m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    while (m_end < need) {
        const std::size_t got = m_file->read(m_buf.data() + m_end, m_buf.size() - m_end);
        if (got == 0) return false;
        m_end += got;
    }
    return true;
}

bool PesReader::next(PesPacket& p) {
    for (;;) {
        if (!fill(4)) return false;
        const std::uint8_t* d = m_buf.data() + m_pos;
        if (!(d[0] == 0 && d[1] == 0 && d[2] == 1)) {
            ++m_pos;
            continue;
        }
        const std::uint8_t id = d[3];
        if (id == 0xBA) { // pack header: MPEG-2 (14 bytes + stuffing) or MPEG-1 (12)
            if (!fill(14)) return false;
            d = m_buf.data() + m_pos;
            m_pos += (d[4] & 0xC0) == 0x40 ? 14 + (d[13] & 7) : 12;
            continue;
        }
        const bool pes = (id >= 0xE0 && id <= 0xE3) || id == 0xBD || id == 0xFD;
        const bool skipWhole = id == 0xBB || id == 0xBC || id == 0xBE || id == 0xBF ||
                               (id >= 0xC0 && id <= 0xDF) || (id >= 0xE4 && id <= 0xEF);
        if (!pes && !skipWhole) {
            ++m_pos;
            continue;
        }
        if (!fill(6)) return false;
        d = m_buf.data() + m_pos;
        const std::size_t length = static_cast<std::size_t>(d[4] << 8 | d[5]);
        if (!fill(6 + length)) {
            // A packet cut by the end of the file: take what there is.
            if (m_end - m_pos < 9) return false;
        }
        d = m_buf.data() + m_pos;
        const std::size_t total = std::min<std::size_t>(6 + length, m_end - m_pos);
        p = PesPacket{};
        p.fileOffset = position();
        p.streamId = id;
        m_pos += total;
        if (skipWhole || total < 9) continue;
        const std::uint8_t flags = d[7];
        const std::size_t headerEnd = 9 + d[8];
        if (headerEnd > total) continue;
        const std::uint8_t* h = d + 9;
        std::size_t hp = 0;
        if ((flags & 0x80) && d[8] >= 5) {
            p.hasPts = true;
            p.pts = (static_cast<std::uint64_t>(h[0] & 0x0E) << 29) |
                    (static_cast<std::uint64_t>(h[1]) << 22) |
                    (static_cast<std::uint64_t>(h[2] & 0xFE) << 14) |
                    (static_cast<std::uint64_t>(h[3]) << 7) | (static_cast<std::uint64_t>(h[4]) >> 1);
            hp += (flags & 0x40) ? 10 : 5;
        }
        if (id == 0xFD) {
            // ESCR, ES rate, trick mode, copy info, CRC come before the extension.
            if (flags & 0x20) hp += 6;
            if (flags & 0x10) hp += 3;
            if (flags & 0x08) hp += 1;
            if (flags & 0x04) hp += 1;
            if (flags & 0x02) hp += 2;
            if (!(flags & 0x01) || 9 + hp >= headerEnd) continue;
            const std::uint8_t ext = h[hp++];
            if (ext & 0x80) hp += 16;
            if (ext & 0x40) hp += 1 + (9 + hp < headerEnd ? h[hp] : 0);
            if (ext & 0x20) hp += 2;
            if (ext & 0x10) hp += 2;
            if (!(ext & 0x01) || 9 + hp + 2 > headerEnd) continue;
            p.code = h[hp + 1] & 0x7F;
            if (p.code != 0x55 && p.code != 0x56) continue;
        } else if (id != 0xBD) {
            p.code = id;
        }
        const std::uint8_t* body = d + headerEnd;
        std::size_t bodySize = total - headerEnd;
        if (id == 0xBD) {
            if (bodySize < 1) continue;
            const std::uint8_t sub = body[0];
            std::size_t priv = 0;
            if ((sub & 0xE0) == 0x20 || (sub & 0xE0) == 0x60)
                priv = 0;
            else if ((sub & 0xF8) == 0xA0)
                priv = 6;
            else if ((sub & 0xF8) == 0xB0)
                priv = 4;
            else if ((sub & 0xF8) == 0x80 || (sub & 0xF8) == 0x88 || (sub & 0xF0) == 0xC0)
                priv = 3;
            else
                continue;
            if (bodySize < 1 + priv) continue;
            p.code = sub;
            p.privateHeader = body + 1;
            p.privateHeaderSize = priv;
            body += 1 + priv;
            bodySize -= 1 + priv;
        }
        p.payload = body;
        p.payloadSize = bodySize;
        return true;
    }
}

} // namespace vantrel::mux
