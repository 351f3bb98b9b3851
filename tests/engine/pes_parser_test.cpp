#include "engine/core.h"
#include "engine/pack_loop.h"
#include "engine/pes_parser.h"
#include "support/evo_builder.h"
#include "support/memory_window.h"
#include "support/parser_feed.h"

#include <gtest/gtest.h>

#include <optional>

using namespace vantrel;
using namespace vantrel::test;

namespace {

struct ParserBench {
    MemoryWindow window;
    StreamTable table;
    PesParser parser{table, window};
    ParserBench() {
        table.clear();
        parser.reset();
    }
    std::vector<RecordedRun> feed(const Bytes& data, const std::vector<std::size_t>& cuts = {},
                                  RunMode mode = RunMode::Scan) {
        return feedParser(parser, data, cuts, mode);
    }
};

// One of every packet shape the parser knows, back to back.
Bytes mixedStream() {
    EvoBuilder b;
    b.packSystemHeader(1, 3);
    b.pes(pesPacket(0xE0, pattern(300, 1), 900000));
    b.pes(pesPacket(0xE2, pattern(40, 2), 0x1FFFFFFFFull, 5));
    b.vc1(0x55, pattern(70, 3), 1234);
    PesSpec vc1 = pesPacket(0xFD, pattern(33, 4), 77, 70);
    vc1.streamIdExtension = 0x56;
    vc1.pstdBuffer = true;
    b.pes(vc1);
    b.privateStream(0x81, pattern(120, 5), 45000);
    b.privateStream(0xA1, pattern(64, 6));
    b.privateStream(0xB2, pattern(64, 7), 9);
    b.privateStream(0xC3, pattern(500, 8));
    b.privateStream(0x89, pattern(50, 9));
    b.padding(40);
    b.raw({0x00, 0x00, 0x01, 0xBA, 0x00, 0x00, 0x01, 0xBB}); // start nothing
    b.privateStream(0x22, pattern(200, 10), 0x12345678);
    b.privateStream(0x65, pattern(30, 11));
    b.pes(pesPacket(0xC0, pattern(90, 12), 3));
    PesSpec stuffed = pesPacket(0xE1, pattern(10, 13));
    stuffed.stuffing = 4;
    b.pes(stuffed);
    // Audio with a PTS and an extension: only video reads the extension after a PTS.
    Bytes body = privateHeader(0x82);
    Bytes tail = pattern(21, 14);
    body.insert(body.end(), tail.begin(), tail.end());
    PesSpec extended = pesPacket(0xBD, body, 8);
    extended.streamIdExtension = 0x71;
    b.pes(extended);
    return b.bytes();
}

void expectSameRuns(const std::vector<RecordedRun>& want, const std::vector<RecordedRun>& got,
                    const std::string& where) {
    ASSERT_EQ(want.size(), got.size()) << where;
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(want[i].kind, got[i].kind) << where << " run " << i;
        EXPECT_EQ(want[i].videoKind, got[i].videoKind) << where << " run " << i;
        EXPECT_EQ(want[i].audioKind, got[i].audioKind) << where << " run " << i;
        EXPECT_EQ(want[i].videoIndex, got[i].videoIndex) << where << " run " << i;
        EXPECT_EQ(want[i].audioIndex, got[i].audioIndex) << where << " run " << i;
        EXPECT_EQ(want[i].subpictureIndex, got[i].subpictureIndex) << where << " run " << i;
        EXPECT_EQ(want[i].pendingPts, got[i].pendingPts) << where << " run " << i;
        EXPECT_EQ(want[i].ownPtsValid, got[i].ownPtsValid) << where << " run " << i;
        EXPECT_EQ(want[i].ownPts, got[i].ownPts) << where << " run " << i;
        EXPECT_EQ(want[i].offset, got[i].offset) << where << " run " << i;
        EXPECT_EQ(want[i].bytes, got[i].bytes) << where << " run " << i;
    }
}

} // namespace

TEST(PesParser, MixedStreamGivesEveryPayloadWithItsIdentity) {
    ParserBench bench;
    auto runs = bench.feed(mixedStream());
    ASSERT_EQ(runs.size(), 14u);

    EXPECT_EQ(runs[0].kind, PayloadKind::Video);
    EXPECT_EQ(runs[0].videoKind, VideoKind::Mpeg2);
    EXPECT_EQ(runs[0].videoIndex, 0);
    EXPECT_EQ(runs[0].bytes, pattern(300, 1));
    EXPECT_EQ(runs[0].pendingPts, 900000u);

    EXPECT_EQ(runs[1].videoKind, VideoKind::H264);
    EXPECT_EQ(runs[1].bytes, pattern(40, 2));
    EXPECT_EQ(runs[1].pendingPts, 900000u) << "a PTS+DTS header leaves PendingPts alone";

    EXPECT_EQ(runs[2].videoKind, VideoKind::Vc1);
    EXPECT_EQ(runs[2].videoIndex, 0);
    EXPECT_EQ(runs[2].bytes, pattern(70, 3));
    EXPECT_EQ(runs[3].videoIndex, 1);
    EXPECT_EQ(runs[3].bytes, pattern(33, 4)) << "PTS+DTS, P-STD buffer and extension skipped";

    EXPECT_EQ(runs[4].kind, PayloadKind::Audio);
    EXPECT_EQ(runs[4].audioKind, AudioKind::DD);
    EXPECT_EQ(runs[4].audioIndex, 1);
    EXPECT_EQ(runs[4].pendingPts, 0u) << "every private audio header clears PendingPts";
    EXPECT_EQ(runs[5].audioKind, AudioKind::Lpcm);
    EXPECT_EQ(runs[6].audioKind, AudioKind::Mlp);
    EXPECT_EQ(runs[6].audioIndex, 2);
    EXPECT_EQ(runs[7].audioKind, AudioKind::DDPlus);
    EXPECT_EQ(runs[7].audioIndex, 3);
    EXPECT_EQ(runs[8].audioKind, AudioKind::DtsHd);
    EXPECT_EQ(runs[8].audioIndex, 1);

    EXPECT_EQ(runs[9].kind, PayloadKind::Subpicture);
    EXPECT_EQ(runs[9].subpictureIndex, 2);
    EXPECT_EQ(runs[9].pendingPts, 0u) << "a scan clears PendingPts at a subpicture id";
    EXPECT_TRUE(runs[9].ownPtsValid);
    EXPECT_EQ(runs[9].ownPts, 0x12345678u);
    EXPECT_EQ(runs[10].subpictureIndex, 5);
    EXPECT_FALSE(runs[10].ownPtsValid);

    EXPECT_EQ(runs[11].kind, PayloadKind::MpegAudio);
    EXPECT_EQ(runs[11].audioIndex, 1) << "MPEG audio keeps the last private audio index";
    EXPECT_EQ(runs[11].pendingPts, 3u);
    EXPECT_EQ(runs[12].videoIndex, 1);
    EXPECT_EQ(runs[12].bytes, pattern(10, 13));
    EXPECT_EQ(runs[13].kind, PayloadKind::Audio);
    EXPECT_EQ(runs[13].audioIndex, 2);
    EXPECT_EQ(runs[13].bytes, pattern(21, 14));

    EXPECT_EQ(bench.table[1], 0xE0);
    EXPECT_EQ(bench.table[2], 0x56) << "0xE2 has index 0, the slot kept 0xE0";
    EXPECT_EQ(bench.table[18], 0x81);
    EXPECT_EQ(bench.table[19], 0xB2);
    EXPECT_EQ(bench.table[20], 0xC3);
    EXPECT_EQ(bench.table[35], 0x22);
    EXPECT_EQ(bench.table[38], 0x65);
    EXPECT_EQ(bench.table[17], -1);
    EXPECT_EQ(bench.window.logLines,
              (std::vector<std::string>{"MPEG-2 video stream 0 found!", "VC-1 video stream 1 found!",
                                        "DD audio stream 1 found!", "MLP audio stream 2 found!",
                                        "DD+ audio stream 3 found!", "Subpicture stream 2 found!",
                                        "Extended subpicture stream 5 found!"}));
}

TEST(PesParser, BlockCutsAnywhereChangeNothing) {
    const Bytes data = mixedStream();
    ParserBench whole;
    const auto want = joinPacketRuns(whole.feed(data));

    for (std::size_t cut = 0; cut <= data.size(); ++cut) {
        ParserBench bench;
        expectSameRuns(want, joinPacketRuns(bench.feed(data, {cut})), "cut at " + std::to_string(cut));
        EXPECT_EQ(bench.window.logLines, whole.window.logLines);
        for (int slot = 1; slot <= 64; ++slot) EXPECT_EQ(bench.table[slot], whole.table[slot]);
        if (::testing::Test::HasFailure()) break;
    }

    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < data.size(); ++i) everyByte.push_back(i);
    ParserBench bytewise;
    expectSameRuns(want, joinPacketRuns(bytewise.feed(data, everyByte)), "one-byte blocks");
}

TEST(PesParser, PayloadStartsAfterEachSubStreamHeader) {
    struct Case {
        std::uint8_t id;
        std::size_t skipped; // bytes of the private header
        PayloadKind kind;
    };
    const Case cases[] = {{0xA1, 7, PayloadKind::Audio},     {0xB1, 5, PayloadKind::Audio},
                          {0x81, 4, PayloadKind::Audio},     {0x8A, 4, PayloadKind::Audio},
                          {0xCF, 4, PayloadKind::Audio},     {0x22, 1, PayloadKind::Subpicture},
                          {0x7F, 1, PayloadKind::Subpicture}};
    for (const Case& c : cases) {
        ParserBench bench;
        EvoBuilder b;
        b.privateStream(c.id, pattern(25, 0x40));
        auto runs = bench.feed(b.bytes());
        ASSERT_EQ(runs.size(), 1u) << std::hex << int(c.id);
        EXPECT_EQ(runs[0].kind, c.kind) << std::hex << int(c.id);
        EXPECT_EQ(runs[0].offset, 9 + c.skipped) << std::hex << int(c.id);
        EXPECT_EQ(runs[0].bytes, pattern(25, 0x40)) << std::hex << int(c.id);
    }
}

TEST(PesParser, AudioIdsSharingAnIndexShareTheSlot) {
    ParserBench bench;
    EvoBuilder b;
    b.privateStream(0x80, pattern(10, 1)).privateStream(0x88, pattern(10, 2));
    b.privateStream(0x90, pattern(10, 3)); // no audio id: compared with the last one and discarded
    auto runs = bench.feed(b.bytes());
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].audioIndex, 0);
    EXPECT_EQ(runs[1].audioIndex, 0);
    EXPECT_EQ(runs[1].kind, PayloadKind::Audio);
    EXPECT_EQ(runs[1].audioKind, AudioKind::DtsHd);
    EXPECT_EQ(runs[2].kind, PayloadKind::Discard);
    EXPECT_EQ(runs[2].audioIndex, 0);
    EXPECT_EQ(runs[2].audioKind, AudioKind::DtsHd);
    EXPECT_EQ(bench.table[17], 0x80);
    EXPECT_EQ(bench.window.logLines, std::vector<std::string>{"DD audio stream 0 found!"});
}

TEST(PesParser, Vc1ExtensionDecidesTheStream) {
    ParserBench bench;
    EvoBuilder b;
    b.vc1(0x71, pattern(12, 1)).vc1(0x55, pattern(12, 2), 5).vc1(0x71, pattern(12, 3), 5);
    auto runs = bench.feed(b.bytes());
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].kind, PayloadKind::Discard);
    EXPECT_EQ(runs[1].kind, PayloadKind::Video);
    EXPECT_EQ(runs[1].videoIndex, 0);
    EXPECT_EQ(runs[1].bytes, pattern(12, 2));
    EXPECT_EQ(runs[2].kind, PayloadKind::Discard);
    EXPECT_EQ(bench.table[1], 0x55);
    EXPECT_EQ(bench.table[2], -1);
    EXPECT_EQ(bench.window.logLines, std::vector<std::string>{"VC-1 video stream 0 found!"});
}

TEST(PesParser, DemuxModeRecordsButLogsNothing) {
    ParserBench bench;
    bench.feed(mixedStream(), {}, RunMode::Demux);
    EXPECT_TRUE(bench.window.logLines.empty());
    EXPECT_EQ(bench.table[1], 0xE0);
    EXPECT_EQ(bench.table[35], 0x22);
}

TEST(PesParser, HeaderFillingItsPacketGivesAnEmptyRunAndReexaminesTheNextByte) {
    ParserBench bench;
    EvoBuilder b;
    PesSpec full = pesPacket(0xE1, {});
    full.stuffing = 1; // the header ends in 0xFF with PacketLeft 0
    b.pes(full);
    // 00 enters the window twice, so 00 00 01 E0 is seen here.
    b.raw({0x00, 0x01, 0xE0, 0x00, 0x04, 0x81, 0x00, 0x00, 0xAA});
    auto runs = bench.feed(b.bytes());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].videoIndex, 1);
    EXPECT_TRUE(runs[0].bytes.empty());
    EXPECT_EQ(runs[1].videoIndex, 0);
    EXPECT_EQ(runs[1].bytes, Bytes{0xAA});
    EXPECT_EQ(bench.table[1], 0xE0);
}

TEST(PesParser, PacketLengthShorterThanItsHeaderHandsNothingOver) {
    for (std::uint16_t length : {0, 1, 5, 7}) {
        ParserBench bench;
        EvoBuilder b;
        PesSpec shortened = pesPacket(0xE0, pattern(20, 1), 1);
        shortened.packetLengthOverride = length;
        b.pes(shortened);
        b.privateStream(0x80, pattern(16, 9));
        auto runs = bench.feed(b.bytes());
        ASSERT_FALSE(runs.empty()) << length;
        for (std::size_t i = 0; i + 1 < runs.size(); ++i)
            EXPECT_NE(runs[i].kind, PayloadKind::Video) << length;
        EXPECT_EQ(runs.back().kind, PayloadKind::Audio) << length;
        EXPECT_EQ(runs.back().bytes, pattern(16, 9)) << length;
        EXPECT_FALSE(bench.parser.inPayload());
    }
}

TEST(PesParser, SkippedPacketsHideWhatLooksLikeStartCodes) {
    ParserBench bench;
    EvoBuilder b;
    Bytes inside{0x00, 0x00, 0x01, 0xE0, 0x00, 0x03, 0x81, 0x00, 0x00};
    for (std::uint8_t id : {0xBC, 0xBE, 0xBF}) {
        Bytes packet{0x00, 0x00, 0x01, id, 0x00, static_cast<std::uint8_t>(inside.size())};
        packet.insert(packet.end(), inside.begin(), inside.end());
        b.raw(packet);
    }
    EXPECT_TRUE(bench.feed(b.bytes()).empty());
    EXPECT_EQ(bench.table[1], -1);
}

TEST(PesParser, OwnPtsBelongsToThePacketThatCarriedIt) {
    ParserBench bench;
    EvoBuilder b;
    b.pes(pesPacket(0xE0, pattern(8), 4000));
    b.privateStream(0x20, pattern(8)); // no PTS of its own
    b.privateStream(0x20, pattern(8), 0x100000000ull);
    b.pes(pesPacket(0xE0, pattern(8), 6000, 5000));
    b.privateStream(0x20, pattern(8));
    auto runs = bench.feed(b.bytes(), {}, RunMode::Demux);
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_FALSE(runs[1].ownPtsValid);
    EXPECT_EQ(runs[1].pendingPts, 4000u) << "demux mode keeps another stream's PTS pending";
    EXPECT_TRUE(runs[2].ownPtsValid) << "a PTS whose low 32 bits are 0 is still a PTS";
    EXPECT_EQ(runs[2].ownPts, 0u);
    EXPECT_TRUE(runs[2].firstRunOfPacket);
    EXPECT_FALSE(runs[4].ownPtsValid) << "PTS+DTS is not a PTS of its own";
}
