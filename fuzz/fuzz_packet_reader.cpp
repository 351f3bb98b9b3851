// The packet reader over arbitrary bytes, read through a source that hands
// over as few bytes per read as the input chooses. Every packet must be what
// the bytes say: its start code at its offset, its payload the last bytes of
// the packet, offsets rising, time stamps of 33 bits; the disc survey reads
// the same bytes through it.
#include "disc/pts_survey.h"
#include "packets/packet_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Hands over at most `piece` bytes per read, as a slow device may.
class PieceSource : public vantrel::ByteSource {
public:
    PieceSource(const std::uint8_t* d, std::size_t n, std::size_t piece) : m_inner(d, n), m_piece(piece) {}
    std::int64_t size() const override { return m_inner.size(); }
    std::int64_t position() const override { return m_inner.position(); }
    std::size_t read(void* buffer, std::size_t n) override {
        return m_inner.read(buffer, std::min(n, m_piece));
    }
    const std::string& path() const override { return m_inner.path(); }

private:
    vantrel::MemorySource m_inner;
    std::size_t m_piece;
};

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = data[0] < 128 ? 1 + data[0] : std::size_t{1} << (data[0] & 15);
    const std::uint8_t* d = data + 1;
    const std::size_t n = size - 1;

    PieceSource source(d, n, piece);
    vantrel::PacketReader reader(source);
    vantrel::Packet p;
    std::int64_t last = -1;
    while (reader.next(p)) {
        check(p.fileOffset > last && p.fileOffset + 9 <= static_cast<std::int64_t>(n));
        last = p.fileOffset;
        const std::size_t at = static_cast<std::size_t>(p.fileOffset);
        check(d[at] == 0 && d[at + 1] == 0 && d[at + 2] == 1 && d[at + 3] == p.streamId);
        const std::size_t length = 6 + (static_cast<std::size_t>(d[at + 4]) << 8 | d[at + 5]);
        const std::size_t total = std::min(length, n - at);
        check(p.truncated == (total < length));
        check(p.payloadSize + p.privateHeaderSize + 9 <= total);
        check(std::memcmp(p.payload, d + at + total - p.payloadSize, p.payloadSize) == 0);
        check(p.pts < (std::uint64_t{1} << 33) && p.dts < (std::uint64_t{1} << 33));
        check(p.kind != vantrel::ids::CodeKind::None);
        check(reader.position() == static_cast<std::int64_t>(at + total));
    }
    check(reader.position() <= static_cast<std::int64_t>(n));

    const vantrel::disc::FileSurvey survey = vantrel::disc::surveyBytes(d, n);
    for (const vantrel::disc::StreamSurvey& s : survey.streams)
        check(s.packets > 0 && s.firstPts <= s.lastPts);
    return 0;
}
