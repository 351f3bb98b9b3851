// The packet reader: every header field of each packet kind, read through
// sources that hand over any number of bytes per read, and input that ends or
// lies anywhere.
#include "files/errors.h"
#include "packets/packet_reader.h"
#include "support/evo_builder.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantrel {
namespace {

using test::Bytes;
using test::EvoBuilder;
using test::pattern;
using test::pesPacket;
using test::PesSpec;

// Hands over at most `piece` bytes per read.
class PieceSource : public MemorySource {
public:
    PieceSource(const Bytes& b, std::size_t piece) : MemorySource(b.data(), b.size()), m_piece(piece) {}
    std::size_t read(void* buffer, std::size_t n) override {
        return MemorySource::read(buffer, std::min(n, m_piece));
    }

private:
    std::size_t m_piece;
};

std::vector<Packet> readAll(const Bytes& bytes, std::size_t piece, std::vector<Bytes>* payloads = nullptr) {
    PieceSource source(bytes, piece);
    PacketReader reader(source);
    std::vector<Packet> out;
    Packet p;
    while (reader.next(p)) {
        if (payloads) payloads->emplace_back(p.payload, p.payload + p.payloadSize);
        out.push_back(p);
    }
    EXPECT_EQ(reader.position(), static_cast<std::int64_t>(bytes.size()));
    return out;
}

TEST(PacketReader, EveryFieldOfEveryKind) {
    struct Expect {
        std::uint8_t streamId, code;
        ids::CodeKind kind;
        std::optional<std::uint64_t> pts, dts;
        std::size_t privateHeader;
    };
    EvoBuilder evo;
    evo.packSystemHeader(2, 8);
    evo.pack(pesPacket(0xE0, pattern(100, 1), 0x1FFFFFFFFull, 0x100000000ull)); // both 33-bit
    evo.pack(pesPacket(0xE3, pattern(100, 2)));
    evo.packVc1(0x56, pattern(100, 3), 3003);
    evo.packVc1(0x71, pattern(100, 4), 3003);      // not VC-1: passed over
    evo.pack(pesPacket(0xC0, pattern(100, 5), 7)); // MPEG audio: passed over
    evo.packPrivate(0x90, pattern(100, 6), 7);     // no known sub-stream: passed over
    const Expect expect[] = {
        {0xE0, 0xE0, ids::CodeKind::Mpeg2Video, 0x1FFFFFFFFull, 0x100000000ull, 0},
        {0xE3, 0xE3, ids::CodeKind::H264Video, {}, {}, 0},
        {0xFD, 0x56, ids::CodeKind::Vc1Video, 3003, {}, 0},
        {0xBD, 0x21, ids::CodeKind::Subpicture, 1, {}, 0},
        {0xBD, 0x7F, ids::CodeKind::ExtendedSubpicture, {}, {}, 0},
        {0xBD, 0x82, ids::CodeKind::Dd, 90000, {}, 3},
        {0xBD, 0x8F, ids::CodeKind::DtsHd, 90000, {}, 3},
        {0xBD, 0xA7, ids::CodeKind::Lpcm, 90000, {}, 6},
        {0xBD, 0xB1, ids::CodeKind::Mlp, 90000, {}, 4},
        {0xBD, 0xCF, ids::CodeKind::DdPlus, 90000, {}, 3},
    };
    for (const Expect& e : expect)
        if (e.streamId == 0xBD) evo.packPrivate(e.code, pattern(200, e.code), e.pts);
    PesSpec stuffed = pesPacket(0xE1, pattern(50, 7), 5);
    stuffed.stuffing = 20;
    stuffed.streamIdExtension = 0x55; // an extension on an MPEG-2 packet: read, the code stays the stream_id
    evo.pes(stuffed);

    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{2048}, std::size_t{1} << 20}) {
        SCOPED_TRACE(piece);
        std::vector<Bytes> payloads;
        const std::vector<Packet> got = readAll(evo.bytes(), piece, &payloads);
        ASSERT_EQ(got.size(), std::size(expect) + 1);
        for (std::size_t i = 0; i < std::size(expect); ++i) {
            const Expect& e = expect[i];
            const Packet& p = got[i];
            SCOPED_TRACE(int{e.code});
            EXPECT_EQ(p.streamId, e.streamId);
            EXPECT_EQ(p.code, e.code);
            EXPECT_EQ(p.kind, e.kind);
            EXPECT_EQ(p.hasPts, e.pts.has_value());
            EXPECT_EQ(p.pts, e.pts.value_or(0));
            EXPECT_EQ(p.hasDts, e.dts.has_value());
            EXPECT_EQ(p.dts, e.dts.value_or(0));
            EXPECT_EQ(p.privateHeaderSize, e.privateHeader);
            EXPECT_EQ(p.fileOffset % 2048, 14); // each packet follows its pack header
            EXPECT_FALSE(p.truncated);
            if (e.streamId == 0xBD)
                EXPECT_EQ(payloads[i], pattern(200, e.code));
            else
                EXPECT_EQ(payloads[i], pattern(100, static_cast<std::uint8_t>(i + 1)));
        }
        const Packet& last = got.back();
        EXPECT_EQ(last.code, 0xE1);
        EXPECT_TRUE(last.hasStreamIdExtension);
        EXPECT_EQ(last.streamIdExtension, 0x55);
        EXPECT_EQ(payloads.back(), pattern(50, 7));
    }
}

// fuzz_mux found the reader stepping past its bytes on a pack header whose
// stuffing runs beyond the end (a heap read past the buffer).
TEST(PacketReader, StuffingBeyondTheEndAndCutPackets) {
    const Bytes fuzzFound = {0x00, 0x28, 0xc7, 0x00, 0x60, 0x00, 0x00, 0x01, 0xba, 0x60, 0x39,
                             0x39, 0x37, 0x60, 0xff, 0x38, 0x20, 0xff, 0x87, 0xff, 0x38, 0x00,
                             0x28, 0xc7, 0x00, 0x60, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xba,
                             0x60, 0x39, 0x39, 0x37, 0x60, 0xff, 0x38, 0x20, 0xff, 0x87, 0xff};
    for (std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{64}})
        EXPECT_TRUE(readAll(fuzzFound, piece).empty());
    // The same through a file on disk.
    test::ScratchDir dir;
    const std::string path = dir.path() + "/found.evo";
    EvoBuilder().raw(fuzzFound).writeTo(path);
    PacketReader fromFile(path);
    Packet p;
    EXPECT_FALSE(fromFile.next(p));
    EXPECT_EQ(fromFile.position(), fromFile.size());

    // A packet cut by the end is taken as far as it goes; every shorter cut of
    // a stream reads without fault and never yields more than the whole.
    EvoBuilder evo;
    evo.packHeader();
    evo.privateStream(0x81, pattern(300), 90000);
    const Bytes whole = evo.bytes();
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        std::vector<Bytes> payloads;
        const std::vector<Packet> got = readAll(part, 3, &payloads);
        ASSERT_LE(got.size(), 1u);
        if (got.empty()) continue;
        EXPECT_EQ(got[0].truncated, cut < whole.size());
        EXPECT_EQ(payloads[0],
                  Bytes(part.begin() + static_cast<std::ptrdiff_t>(whole.size() - 300), part.end()));
    }
}

TEST(PacketReader, ReadFailuresAreTheFileLayers) {
    EXPECT_THROW(PacketReader("/nonexistent/x.evo"), Error);
}

} // namespace
} // namespace vantrel
