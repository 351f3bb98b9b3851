// Reads a program stream packet by packet, whole packets with every header
// field: the pack headers passed over, the PES header with its 33-bit PTS and
// DTS, the PES extension with its stream_id_extension, the private-stream-1
// sub-stream id with its header bytes, and the file offset of each packet.
// It reads through a ByteSource, so a failed read is the file layer's error.
// Bytes that start no packet are passed over until a start code that does;
// every header length is checked against the bytes there are.
#pragma once

#include "files/file_layer.h"
#include "stream_ids.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

// One packet of a video, audio or subpicture stream. The pointers stay valid
// until the reader's next call.
struct Packet {
    std::int64_t fileOffset = 0; // of the packet's start code
    std::uint8_t streamId = 0;   // 0xE0..0xE3, 0xBD, 0xFD
    // The stream code: the video stream_id, the VC-1 stream_id_extension or the
    // private-stream-1 sub-stream id.
    std::uint8_t code = 0;
    ids::CodeKind kind = ids::CodeKind::None;
    std::uint8_t ptsDtsFlags = 0; // of the PES header: 2 a PTS alone, 3 a PTS and a DTS
    bool hasPts = false;          // the PTS the flags announce lies within the header
    std::uint64_t pts = 0;        // 33 bits
    bool hasDts = false;
    std::uint64_t dts = 0; // 33 bits
    // The PES extension's stream_id_extension (0xFD packets).
    bool hasStreamIdExtension = false;
    std::uint8_t streamIdExtension = 0;
    // The sub-stream header after the sub-stream id (3 bytes audio, +3 LPCM, +1 MLP).
    const std::uint8_t* privateHeader = nullptr;
    std::size_t privateHeaderSize = 0;
    const std::uint8_t* payload = nullptr;
    std::size_t payloadSize = 0;
    // The packet ended before its PES_packet_length (cut by the end of the file).
    bool truncated = false;
    // A whole private-stream-1 or extended-stream packet whose code no kind stands for.
    bool unknownCode = false;
};

// Bytes in memory as a ByteSource (tests, fuzzing, a survey of a buffer).
class MemorySource : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t n, std::string name = "memory")
        : m_data(data), m_size(n), m_name(std::move(name)) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(m_size); }
    std::int64_t position() const override { return static_cast<std::int64_t>(m_at); }
    std::size_t read(void* buffer, std::size_t n) override;
    const std::string& path() const override { return m_name; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    std::string m_name;
};

class PacketReader {
public:
    // Reads from `source`, which must outlive the reader.
    explicit PacketReader(ByteSource& source);
    // Opens the path with openSource (throws Error("Cannot open file ...")).
    explicit PacketReader(const std::string& path);

    // The next packet of a video, audio or subpicture stream; false at the end.
    bool next(Packet& packet);
    std::int64_t size() const { return m_source->size(); }
    // The file offset of the first byte not yet examined.
    std::int64_t position() const { return m_base + static_cast<std::int64_t>(m_pos); }
    // The source starts with a pack header (00 00 01 BA); known after the first next().
    bool startsWithPack() const { return m_startsWithPack; }
    // Packets passed over because no kind stands for their code: private
    // stream 1 sub-stream ids at 0..255, stream_id_extensions at 256..511.
    const std::array<std::int64_t, 512>& unknownPackets() const { return m_unknown; }

private:
    bool fill(std::size_t need); // at least `need` bytes from m_pos, false when the source has fewer
    std::size_t available() const { return m_end - m_pos; }
    // Parses the packet at m_pos, `total` bytes; false when it is of no stream handed out.
    bool parse(const std::uint8_t* d, std::size_t total, Packet& p) const;

    std::unique_ptr<ByteSource> m_owned;
    ByteSource* m_source;
    std::vector<std::uint8_t> m_buf;
    std::size_t m_pos = 0, m_end = 0;
    std::int64_t m_base = 0; // file offset of m_buf[0]
    bool m_started = false;
    bool m_startsWithPack = false;
    std::array<std::int64_t, 512> m_unknown{};
};

} // namespace vantrel
