// Builds MPEG-2 program streams byte by byte for tests, seeds and benchmarks:
// pack headers, system headers, PES packets with or without PTS/DTS and PES
// extension, private-stream-1 packets for every sub-stream kind, padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

using Bytes = std::vector<std::uint8_t>;

// n bytes counting up from seed (wrapping), a recognisable payload.
Bytes pattern(std::size_t n, std::uint8_t seed = 0);

struct PesSpec {
    std::uint8_t streamId = 0xE0;
    std::optional<std::uint64_t> pts;              // 33-bit; PTS_DTS_flags 2 (or 3 with dts)
    std::optional<std::uint64_t> dts;              // needs pts
    std::optional<std::uint8_t> streamIdExtension; // PES extension with extension field 2
    bool pstdBuffer = false;                       // P-STD buffer bytes in the extension
    int stuffing = 0;                              // extra 0xFF header bytes
    Bytes body;                                    // everything after the PES header
    // When set, PES_header_data_length is written with this value instead of the real one.
    std::optional<std::uint8_t> headerDataLengthOverride;
    // When set, PES_packet_length is written with this value instead of the real one.
    std::optional<std::uint16_t> packetLengthOverride;
};

// A PES packet of the given stream with its body and optional time stamps.
PesSpec pesPacket(std::uint8_t streamId, Bytes body, std::optional<std::uint64_t> pts = std::nullopt,
                  std::optional<std::uint64_t> dts = std::nullopt);

// The private header that precedes the payload of a private-stream-1 sub-stream:
// subpicture 0x20-0x3F / 0x60-0x7F: the id alone; audio: id + 3 bytes, plus 3
// more for LPCM (0xA0-0xA7) or 1 more for MLP (0xB0-0xB7).
Bytes privateHeader(std::uint8_t subStreamId);

class EvoBuilder {
public:
    // Raw bytes, as they are.
    EvoBuilder& raw(const Bytes& bytes);
    // 14-byte MPEG-2 pack header (00 00 01 BA, SCR, mux rate, no stuffing).
    EvoBuilder& packHeader(std::uint64_t scr = 0);
    // System header (00 00 01 BB) with the given bounds; fixed/CSPS flags set as
    // 'flags' (bits 1 and 0 of byte 23), marker bits set.
    EvoBuilder& systemHeader(int videoBound, int audioBound, std::uint8_t flags = 0x00);
    // One PES packet.
    EvoBuilder& pes(const PesSpec& packet);
    // A private-stream-1 packet (0xBD) for a sub-stream with its private header.
    EvoBuilder& privateStream(std::uint8_t subStreamId, const Bytes& payload,
                              std::optional<std::uint64_t> pts = std::nullopt);
    // A VC-1 packet: stream_id 0xFD with a PES extension carrying the extension id.
    EvoBuilder& vc1(std::uint8_t streamIdExtension, const Bytes& payload,
                    std::optional<std::uint64_t> pts = std::nullopt);
    // A padding packet (0xBE) of exactly total bytes (>= 6) including its 6-byte head.
    EvoBuilder& padding(std::size_t total);

    // A whole 2048-byte pack: pack header, the packet, then padding to fill 2048.
    // The packet (with its PES header) must leave 0 or at least 6 bytes free.
    EvoBuilder& pack(const PesSpec& packet, std::uint64_t scr = 0);
    EvoBuilder& packPrivate(std::uint8_t subStreamId, const Bytes& payload,
                            std::optional<std::uint64_t> pts = std::nullopt);
    EvoBuilder& packVc1(std::uint8_t ext, const Bytes& payload,
                        std::optional<std::uint64_t> pts = std::nullopt);
    // A pack with the pack header and a system header, padded to 2048.
    EvoBuilder& packSystemHeader(int videoBound, int audioBound, std::uint8_t flags = 0x00);
    // The bytes left in one pack after the pack header and this packet as it stands
    // (its header and the body it already has): the payload that still fits.
    static std::size_t packPayloadRoom(const PesSpec& shape);

    const Bytes& bytes() const { return m_bytes; }
    std::size_t size() const { return m_bytes.size(); }
    void writeTo(const std::string& path) const;

private:
    Bytes m_bytes;
};

// Encodes the 5 PTS bytes with the given 4-bit prefix (0x2 PTS only, 0x3 PTS of
// a PTS+DTS pair, 0x1 DTS).
void appendTimestamp(Bytes& out, std::uint8_t prefix, std::uint64_t value);

// Splits data at the given offsets into consecutive blocks (offsets ascending).
std::vector<Bytes> splitAt(const Bytes& data, const std::vector<std::size_t>& offsets);

} // namespace vantrel::test
