// The engine against the byte-at-a-time reference on a realistic feature:
// the parser over blocks cut at odd offsets, and the whole pack loop in both
// modes (output files, log and status lines, frame counts, cancel).
#include "engine/click_handlers.h"
#include "engine/core.h"
#include "engine/pack_loop.h"
#include "engine/pes_parser.h"
#include "engine/stream_numbering.h"
#include "files/file_layer.h"
#include "support/evo_builder.h"
#include "support/memory_window.h"
#include "support/realistic_evo.h"
#include "support/reference_parser.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;
namespace fs = std::filesystem;

namespace {

using RunRecord = std::tuple<int, int, int, int, int, std::uint32_t, bool, std::size_t, std::size_t>;

// The run with the stream identity the parser shows while handing it over.
RunRecord recordOf(PesParser& parser, std::size_t offset, std::size_t length) {
    const PesParser::PacketView p = parser.packet();
    return {static_cast<int>(p.payloadKind()),
            static_cast<int>(p.videoKind()),
            static_cast<int>(p.audioKind()),
            p.audioIndex(),
            p.subpictureIndex(),
            p.pendingPts(),
            p.firstRunOfPacket() && p.ownPtsValid(),
            offset,
            length};
}
RunRecord recordOf(const ReferenceParser& p, std::size_t offset, std::size_t length) {
    return {static_cast<int>(p.payloadKind),
            static_cast<int>(p.videoKind),
            static_cast<int>(p.audioKind),
            p.audioIndex,
            p.subpictureIndex,
            p.pendingPts,
            p.firstRunOfPacket && p.ownPtsValid,
            offset,
            length};
}

template <class Parser> struct Recorder {
    Parser& parser;
    std::size_t base = 0;
    std::vector<RunRecord> runs;
    void record(std::size_t offset, std::size_t length) {
        runs.push_back(recordOf(parser, base + offset, length));
    }
};
struct EngineRuns : PayloadHandler {
    explicit EngineRuns(PesParser& p) : r{p, 0, {}} {}
    Recorder<PesParser> r;
    void payloadRun(std::size_t offset, std::size_t length) override { r.record(offset, length); }
};
struct ReferenceRuns : ReferenceParser::Handler {
    explicit ReferenceRuns(ReferenceParser& p) : r{p, 0, {}} {}
    Recorder<ReferenceParser> r;
    void payloadRun(std::size_t offset, std::size_t length) override { r.record(offset, length); }
};

class ReferenceAgreement : public ::testing::Test {
protected:
    ScratchDir scratch;
    fs::path dir{scratch.path()};
};

struct Side {
    MemoryWindow window;
    Core core{window};
    fs::path outDir;
};

void runSide(Side& side, const fs::path& source, RunMode mode, bool reference, bool cancel) {
    side.window.clock = 45000.5;
    side.window.clockStep = 1.0 / 86400.0;
    side.window.options[Option::FastCheck] = false;
    side.window.confirmAnswer = true;
    if (cancel) side.window.onProcessEvents = [&side] { bCancelClick(side.core); };
    for (int box = 0; box < StreamBoxes::kCount; ++box) side.core.boxes.setTicked(box, box != 9);
    fs::create_directories(side.outDir);
    for (int i = 0; i < kOutputFileCount; ++i)
        side.core.outputFiles[static_cast<std::size_t>(i)] =
            std::make_unique<OutputFile>((side.outDir / std::to_string(i)).string());
    side.core.sourceFile = std::make_unique<InputFile>(source.string());
    side.core.videoFrameCount = {0, 0};
    if (reference)
        referenceDemux(side.core, mode);
    else
        demux(side.core, mode);
    for (auto& out : side.core.outputFiles) out->close();
}

std::vector<char> fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST_F(ReferenceAgreement, ParserRunsLogAndTableAgreeAcrossOddBlockCuts) {
    const fs::path evo = dir / "F.EVO";
    writeRealisticEvo(evo.string(), 600 * 2048, 9);
    std::vector<std::uint8_t> data;
    {
        std::ifstream in(evo, std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), {});
    }
    // Seven odd block lengths in turn, from one byte to more than a pack.
    const std::size_t lengths[] = {1, 3, 17, 2047, 2049, 5, 32768};
    for (RunMode mode : {RunMode::Scan, RunMode::Demux}) {
        MemoryWindow engineWindow, referenceWindow;
        StreamTable engineTable, referenceTable;
        engineTable.clear();
        referenceTable.clear();
        PesParser engine(engineTable, engineWindow);
        ReferenceParser reference(referenceTable, referenceWindow);
        engine.reset();
        reference.reset();
        EngineRuns er(engine);
        ReferenceRuns rr(reference);
        std::size_t at = 0;
        for (int i = 0; at < data.size(); ++i) {
            const std::size_t n = std::min(lengths[i % 7], data.size() - at);
            std::vector<std::uint8_t> block(data.begin() + static_cast<std::ptrdiff_t>(at),
                                            data.begin() + static_cast<std::ptrdiff_t>(at + n));
            er.r.base = rr.r.base = at;
            engine.parse(block.data(), n, mode, er);
            reference.parse(block.data(), n, mode, rr);
            at += n;
        }
        EXPECT_GT(er.r.runs.size(), 600u);
        EXPECT_EQ(er.r.runs, rr.r.runs) << (mode == RunMode::Scan ? "scan" : "demux");
        EXPECT_EQ(engineWindow.logLines, referenceWindow.logLines);
        for (int slot = 1; slot <= 64; ++slot) EXPECT_EQ(engineTable[slot], referenceTable[slot]) << slot;
    }
}

TEST_F(ReferenceAgreement, PackLoopOutputsAndEventsAgreeOnAFeatureOverProgressPoints) {
    // A little over 8 MiB with an odd tail: two progress points, a short last block.
    const fs::path evo = dir / "FEATURE_1.EVO";
    writeRealisticEvo(evo.string(), (8u << 20) + 5 * 2048, 4);
    fs::resize_file(evo, fs::file_size(evo) - 1000);
    for (RunMode mode : {RunMode::Scan, RunMode::Demux}) {
        for (bool cancel : {false, true}) {
            Side engine, reference;
            engine.outDir = dir / "engine";
            reference.outDir = dir / "reference";
            runSide(engine, evo, mode, false, cancel);
            runSide(reference, evo, mode, true, cancel);
            const std::string what =
                std::string(mode == RunMode::Scan ? "scan" : "demux") + (cancel ? " cancelled" : "");
            EXPECT_EQ(engine.window.logLines, reference.window.logLines) << what;
            EXPECT_EQ(engine.window.statusLines, reference.window.statusLines) << what;
            EXPECT_EQ(engine.window.processEventsCalls, reference.window.processEventsCalls) << what;
            EXPECT_EQ(engine.core.videoFrameCount, reference.core.videoFrameCount) << what;
            EXPECT_EQ(engine.core.stopRequested, reference.core.stopRequested) << what;
            EXPECT_EQ(engine.core.sourceFile->position(), reference.core.sourceFile->position()) << what;
            for (int slot = 1; slot <= 64; ++slot)
                EXPECT_EQ(engine.core.streamTable[slot], reference.core.streamTable[slot]) << what << slot;
            std::size_t written = 0;
            for (int i = 0; i < kOutputFileCount; ++i) {
                const auto a = fileBytes(engine.outDir / std::to_string(i));
                EXPECT_EQ(a, fileBytes(reference.outDir / std::to_string(i))) << what << " output " << i;
                written += a.size();
            }
            if (mode == RunMode::Demux && !cancel) {
                EXPECT_GT(written, 7u << 20);
            }
            if (mode == RunMode::Scan && !cancel) {
                EXPECT_GT(engine.core.videoFrameCount[0], 1000);
            }
            if (cancel) {
                EXPECT_EQ(engine.core.sourceFile->position(), 4 << 20);
            }
            engine.core.sourceFile.reset();
            reference.core.sourceFile.reset();
        }
    }
}
