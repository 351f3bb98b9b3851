#include "packet_reader.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

// A source smaller than the buffer needs no more than its own size.
std::size_t bufferFor(const ByteSource& source) {
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(source.size(), 16));
    return static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, size));
}

// The PES header's fixed part: start code, stream_id, PES_packet_length, two
// flag bytes and PES_header_data_length.
constexpr std::size_t kPesFixed = 9;

} // namespace

std::size_t MemorySource::read(void* buffer, std::size_t n) {
    n = std::min(n, m_size - m_at);
    if (n > 0) std::memcpy(buffer, m_data + m_at, n);
    m_at += n;
    return n;
}

PacketReader::PacketReader(ByteSource& source) : m_source(&source), m_buf(bufferFor(source)) {}

PacketReader::PacketReader(const std::string& path)
    : m_owned(openSource(path)), m_source(m_owned.get()), m_buf(bufferFor(*m_source)) {}

bool PacketReader::fill(std::size_t need) {
    if (available() >= need) return true;
    if (m_pos > 0) {
        std::memmove(m_buf.data(), m_buf.data() + m_pos, available());
        m_base += static_cast<std::int64_t>(m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    while (m_end < need) {
        const std::size_t got = m_source->read(m_buf.data() + m_end, m_buf.size() - m_end);
        if (got == 0) return false;
        m_end += got;
    }
    return true;
}

bool PacketReader::parse(const std::uint8_t* d, std::size_t total, Packet& p) const {
    const std::uint8_t id = d[3];
    if (total < kPesFixed || (d[6] & 0xC0) != 0x80) return false; // MPEG-2 PES headers only
    const std::uint8_t flags = d[7];
    p.ptsDtsFlags = static_cast<std::uint8_t>(flags >> 6);
    const std::size_t headerEnd = kPesFixed + d[8];
    if (headerEnd > total) return false;
    // Every optional field lies within d[h..headerEnd).
    std::size_t h = kPesFixed;
    auto has = [&h, headerEnd](std::size_t n) { return h + n <= headerEnd; };
    if ((flags & 0x80) && has(5)) {
        p.hasPts = true;
        p.pts = ids::decodeTimeStamp(d + h);
        h += 5;
        if ((flags & 0x40) && has(5)) {
            p.hasDts = true;
            p.dts = ids::decodeTimeStamp(d + h);
            h += 5;
        }
    }
    if (flags & 0x20) h += 6; // ESCR
    if (flags & 0x10) h += 3; // ES rate
    if (flags & 0x08) h += 1; // trick mode
    if (flags & 0x04) h += 1; // additional copy info
    if (flags & 0x02) h += 2; // previous PES CRC
    if ((flags & 0x01) && has(1)) {
        const std::uint8_t ext = d[h++];
        if (ext & 0x80) h += 16;                   // PES private data
        if ((ext & 0x40) && has(1)) h += 1 + d[h]; // pack header field
        if (ext & 0x20) h += 2;                    // sequence counter
        if (ext & 0x10) h += 2;                    // P-STD buffer
        // PES_extension_field_length, then stream_id_extension.
        if ((ext & 0x01) && has(2)) {
            p.hasStreamIdExtension = true;
            p.streamIdExtension = d[h + 1] & 0x7F;
        }
    }

    const std::uint8_t* body = d + headerEnd;
    std::size_t bodySize = total - headerEnd;
    if (id == ids::kExtendedStream) {
        if (!p.hasStreamIdExtension) return false;
        p.code = p.streamIdExtension;
        p.kind = ids::extensionKindOf(p.code);
    } else if (id == ids::kPrivateStream1) {
        if (bodySize < 1) return false;
        const std::uint8_t sub = body[0];
        const ids::CodeKind kind = ids::subStreamKindOf(sub);
        if (kind == ids::CodeKind::None) {
            p.code = sub;
            p.unknownCode = true;
            return false;
        }
        const int priv = ids::privateHeaderBytes(kind);
        if (priv < 0 || bodySize < 1 + static_cast<std::size_t>(priv)) return false;
        p.code = sub;
        p.kind = kind;
        p.privateHeader = body + 1;
        p.privateHeaderSize = static_cast<std::size_t>(priv);
        body += 1 + priv;
        bodySize -= 1 + static_cast<std::size_t>(priv);
    } else {
        p.code = id;
        p.kind = ids::videoKindOf(id);
    }
    if (p.kind == ids::CodeKind::None) {
        p.unknownCode = true; // a sub-stream id or stream_id_extension of no known kind
        return false;
    }
    p.payload = body;
    p.payloadSize = bodySize;
    return true;
}

bool PacketReader::next(Packet& p) {
    // The last bytes start no packet, or one cut before its length.
    auto end = [this] {
        m_pos = m_end;
        return false;
    };
    for (;;) {
        if (!fill(4)) return end();
        const std::uint8_t* d = m_buf.data() + m_pos;
        if (!m_started) {
            m_started = true;
            m_startsWithPack = m_base == 0 && d[0] == 0 && d[1] == 0 && d[2] == 1 && d[3] == ids::kPackStart;
        }
        if (!(d[0] == 0 && d[1] == 0 && d[2] == 1)) {
            ++m_pos;
            continue;
        }
        const std::uint8_t id = d[3];
        if (id == ids::kPackStart) {
            // MPEG-2: 14 bytes and stuffing; MPEG-1: 12 bytes.
            if (!fill(5)) return end();
            std::size_t length = 12;
            if ((m_buf[m_pos + 4] & 0xC0) == 0x40) {
                if (!fill(14)) return end();
                length = 14 + (m_buf[m_pos + 13] & 7);
            }
            if (!fill(length)) return end();
            m_pos += length;
            continue;
        }
        if (id < ids::kSystemHeader) { // the end code, or a start code of a video stream's own layer
            ++m_pos;
            continue;
        }
        // Every stream_id from the system header on is followed by PES_packet_length.
        if (!fill(6)) return end();
        d = m_buf.data() + m_pos;
        const std::size_t length = 6 + (static_cast<std::size_t>(d[4]) << 8 | d[5]);
        const bool whole = fill(length);
        d = m_buf.data() + m_pos;
        const std::size_t total = std::min(length, available());
        const bool wanted = ids::kVideo.holds(id) || id == ids::kPrivateStream1 || id == ids::kExtendedStream;
        p = Packet{};
        p.fileOffset = position();
        p.streamId = id;
        p.truncated = !whole;
        m_pos += total;
        if (wanted && parse(d, total, p)) return true;
        if (p.unknownCode) ++m_unknown[(id == ids::kPrivateStream1 ? 0u : 256u) + p.code];
    }
}

} // namespace vantrel
