#include "evo_builder.h"

#include <fstream>
#include <stdexcept>

namespace vantrel::test {

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i);
    return b;
}

PesSpec pesPacket(std::uint8_t streamId, Bytes body, std::optional<std::uint64_t> pts,
                  std::optional<std::uint64_t> dts) {
    PesSpec s;
    s.streamId = streamId;
    s.body = std::move(body);
    s.pts = pts;
    s.dts = dts;
    return s;
}

Bytes privateHeader(std::uint8_t id) {
    if ((id & 0xE0) == 0x20 || (id & 0xE0) == 0x60) return Bytes{id};
    Bytes h{id, 0x01, 0x00, 0x01}; // frame count, first access unit pointer
    if ((id & 0xF8) == 0xA0) h.insert(h.end(), {0x00, 0x01, 0x80});
    if ((id & 0xF8) == 0xB0) h.push_back(0x00);
    return h;
}

void appendTimestamp(Bytes& out, std::uint8_t prefix, std::uint64_t v) {
    out.push_back(static_cast<std::uint8_t>((prefix << 4) | (((v >> 30) & 0x07) << 1) | 1));
    out.push_back(static_cast<std::uint8_t>((v >> 22) & 0xFF));
    out.push_back(static_cast<std::uint8_t>((((v >> 15) & 0x7F) << 1) | 1));
    out.push_back(static_cast<std::uint8_t>((v >> 7) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(((v & 0x7F) << 1) | 1));
}

EvoBuilder& EvoBuilder::raw(const Bytes& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

EvoBuilder& EvoBuilder::packHeader(std::uint64_t scr) {
    Bytes h{0x00, 0x00, 0x01, 0xBA};
    std::uint64_t base = scr;
    h.push_back(static_cast<std::uint8_t>(0x44 | (((base >> 30) & 0x07) << 3) | ((base >> 28) & 0x03)));
    h.push_back(static_cast<std::uint8_t>((base >> 20) & 0xFF));
    h.push_back(static_cast<std::uint8_t>((((base >> 15) & 0x1F) << 3) | 0x04 | ((base >> 13) & 0x03)));
    h.push_back(static_cast<std::uint8_t>((base >> 5) & 0xFF));
    h.push_back(static_cast<std::uint8_t>(((base & 0x1F) << 3) | 0x04));
    h.push_back(0x01);                     // SCR extension + marker
    h.insert(h.end(), {0x01, 0x89, 0xC3}); // mux rate + markers
    h.push_back(0xF8);                     // reserved, no stuffing
    return raw(h);
}

EvoBuilder& EvoBuilder::systemHeader(int videoBound, int audioBound, std::uint8_t flags) {
    Bytes h{0x00, 0x00, 0x01, 0xBB, 0x00, 0x0C};
    h.insert(h.end(), {0x80, 0xC4, 0xE1});                                            // rate bound
    h.push_back(static_cast<std::uint8_t>(((audioBound & 0x3F) << 2) | (flags & 3))); // byte 23 of the pack
    h.push_back(static_cast<std::uint8_t>(0xE0 | (videoBound & 0x1F))); // byte 24: locks, marker
    h.push_back(0x7F);                                                  // packet rate restriction
    h.insert(h.end(), {0xE0, 0xE0, 0x00, 0xBD, 0xE0, 0x00});            // stream bounds
    return raw(h);
}

static Bytes pesHeaderData(const PesSpec& s, std::uint8_t& flags2) {
    Bytes d;
    flags2 = 0;
    if (s.pts && s.dts) {
        flags2 |= 0xC0;
        appendTimestamp(d, 0x3, *s.pts);
        appendTimestamp(d, 0x1, *s.dts);
    } else if (s.pts) {
        flags2 |= 0x80;
        appendTimestamp(d, 0x2, *s.pts);
    }
    if (s.streamIdExtension) {
        flags2 |= 0x01;
        std::uint8_t ext = 0x01; // PES_extension_flag_2
        if (s.pstdBuffer) ext |= 0x10;
        d.push_back(ext);
        if (s.pstdBuffer) d.insert(d.end(), {0x60, 0x00});
        d.push_back(0x81);                 // marker + PES_extension_field_length 1
        d.push_back(*s.streamIdExtension); // stream_id_extension_flag 0, then the 7-bit id
    }
    for (int i = 0; i < s.stuffing; ++i) d.push_back(0xFF);
    return d;
}

EvoBuilder& EvoBuilder::pes(const PesSpec& s) {
    std::uint8_t flags2 = 0;
    Bytes data = pesHeaderData(s, flags2);
    std::size_t length = 3 + data.size() + s.body.size();
    if (length > 0xFFFF) throw std::length_error("PES packet too long");
    std::uint16_t len = s.packetLengthOverride ? *s.packetLengthOverride : static_cast<std::uint16_t>(length);
    Bytes p{
        0x00, 0x00, 0x01, s.streamId, static_cast<std::uint8_t>(len >> 8), static_cast<std::uint8_t>(len)};
    p.push_back(0x81); // '10', not scrambled, original
    p.push_back(flags2);
    p.push_back(s.headerDataLengthOverride ? *s.headerDataLengthOverride
                                           : static_cast<std::uint8_t>(data.size()));
    p.insert(p.end(), data.begin(), data.end());
    p.insert(p.end(), s.body.begin(), s.body.end());
    return raw(p);
}

EvoBuilder& EvoBuilder::privateStream(std::uint8_t id, const Bytes& payload,
                                      std::optional<std::uint64_t> pts) {
    PesSpec s;
    s.streamId = 0xBD;
    s.pts = pts;
    s.body = privateHeader(id);
    s.body.insert(s.body.end(), payload.begin(), payload.end());
    return pes(s);
}

EvoBuilder& EvoBuilder::vc1(std::uint8_t ext, const Bytes& payload, std::optional<std::uint64_t> pts) {
    PesSpec s;
    s.streamId = 0xFD;
    s.pts = pts;
    s.streamIdExtension = ext;
    s.body = payload;
    return pes(s);
}

EvoBuilder& EvoBuilder::padding(std::size_t total) {
    if (total < 6) throw std::length_error("padding packet needs 6 bytes");
    std::size_t len = total - 6;
    Bytes p{0x00, 0x00, 0x01, 0xBE, static_cast<std::uint8_t>(len >> 8), static_cast<std::uint8_t>(len)};
    p.resize(total, 0xFF);
    return raw(p);
}

static std::size_t pesSize(const PesSpec& s) {
    std::uint8_t flags2 = 0;
    return 9 + pesHeaderData(s, flags2).size() + s.body.size();
}

std::size_t EvoBuilder::packPayloadRoom(const PesSpec& shape) {
    return 2048 - 14 - pesSize(shape);
}

EvoBuilder& EvoBuilder::pack(const PesSpec& s, std::uint64_t scr) {
    std::size_t start = m_bytes.size();
    packHeader(scr);
    pes(s);
    std::size_t used = m_bytes.size() - start;
    if (used > 2048) throw std::length_error("packet does not fit into a pack");
    std::size_t left = 2048 - used;
    if (left > 0) {
        if (left < 6) throw std::length_error("pack leaves fewer than 6 bytes for padding");
        padding(left);
    }
    return *this;
}

EvoBuilder& EvoBuilder::packPrivate(std::uint8_t id, const Bytes& payload, std::optional<std::uint64_t> pts) {
    PesSpec s;
    s.streamId = 0xBD;
    s.pts = pts;
    s.body = privateHeader(id);
    s.body.insert(s.body.end(), payload.begin(), payload.end());
    return pack(s);
}

EvoBuilder& EvoBuilder::packVc1(std::uint8_t ext, const Bytes& payload, std::optional<std::uint64_t> pts) {
    PesSpec s;
    s.streamId = 0xFD;
    s.pts = pts;
    s.streamIdExtension = ext;
    s.body = payload;
    return pack(s);
}

EvoBuilder& EvoBuilder::packSystemHeader(int videoBound, int audioBound, std::uint8_t flags) {
    std::size_t start = m_bytes.size();
    packHeader();
    systemHeader(videoBound, audioBound, flags);
    padding(2048 - (m_bytes.size() - start));
    return *this;
}

void EvoBuilder::writeTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(m_bytes.data()), static_cast<std::streamsize>(m_bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<Bytes> splitAt(const Bytes& data, const std::vector<std::size_t>& offsets) {
    std::vector<Bytes> blocks;
    std::size_t from = 0;
    for (std::size_t cut : offsets) {
        if (cut < from || cut > data.size()) throw std::out_of_range("bad split offset");
        blocks.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(from),
                            data.begin() + static_cast<std::ptrdiff_t>(cut));
        from = cut;
    }
    blocks.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(from), data.end());
    return blocks;
}

} // namespace vantrel::test
