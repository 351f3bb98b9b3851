// Reads a program stream packet by packet with every header field the mkv
// preparation needs and the byte-wise engine parser leaves out: the full
// 33-bit PTS of every packet (also next to a DTS), the VC-1 extension id, the
// private-stream-1 sub-stream id and the LPCM header bytes. Bytes that start
// no known packet are passed over until a start code that does.
#pragma once

#include "engine/file_layer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::mux {

struct PesPacket {
    std::int64_t fileOffset = 0; // of the packet's start code
    std::uint8_t streamId = 0;   // 0xE0.., 0xBD, 0xFD
    std::uint8_t code = 0;       // the stream code: video stream_id, VC-1 extension id, sub-stream id
    bool hasPts = false;
    std::uint64_t pts = 0;                       // 33 bits
    const std::uint8_t* privateHeader = nullptr; // after the sub-stream id (3 bytes audio, +3 LPCM, +1 MLP)
    std::size_t privateHeaderSize = 0;
    const std::uint8_t* payload = nullptr;
    std::size_t payloadSize = 0;
};

class PesReader {
public:
    explicit PesReader(const std::string& path); // throws Error("Cannot open file ...")
    // The next packet of a video, audio or subpicture stream; false at the end.
    // The pointers stay valid until the next call.
    bool next(PesPacket& packet);
    std::int64_t size() const { return m_file->size(); }
    std::int64_t position() const { return m_base + static_cast<std::int64_t>(m_pos); }

private:
    bool fill(std::size_t need);        // at least `need` bytes from m_pos, false at the end
    std::unique_ptr<ByteSource> m_file; // a file on disk or inside a disc image
    std::vector<std::uint8_t> m_buf;
    std::size_t m_pos = 0, m_end = 0;
    std::int64_t m_base = 0; // file offset of m_buf[0]
};

} // namespace vantrel::mux
