// The engine against the reference: the same arbitrary bytes, cut into blocks
// at offsets taken from the input, through the production PES parser and the
// byte-at-a-time reference parser in both modes; the payload runs (stream
// identity, PendingPts, record-header decision, bytes), the log lines and the
// stream table must agree. Then the whole pack loop against the reference
// pack loop on the same bytes as a file: output bytes per file, log and status
// lines, frame counts, events, cancel and the stream table.
//
// Input: byte 0 options (bit 0 count frames, 1 fast check, 7 confirm cancel;
// bits 2..6 see below), bytes 1..4 the seed for the block cuts, box ticks,
// output files and cancel point; the rest is the stream.
#include "engine/click_handlers.h"
#include "engine/core.h"
#include "engine/pack_loop.h"
#include "engine/pes_parser.h"
#include "engine/stream_numbering.h"
#include "files/file_layer.h"
#include "support/memory_window.h"
#include "support/realistic_evo.h"
#include "support/reference_parser.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace vantrel;
using vantrel::test::ReferenceParser;
using vantrel::test::Rng;

[[noreturn]] void mismatch(const char* what) {
    std::fprintf(stderr, "engine and reference differ: %s\n", what);
    std::abort();
}

struct Run {
    PayloadKind kind;
    VideoKind videoKind;
    AudioKind audioKind;
    std::int32_t videoIndex, audioIndex, subpictureIndex;
    std::uint32_t pendingPts;
    bool recordHeader;
    std::uint32_t ownPts;
    std::size_t offset, length;
    bool operator==(const Run&) const = default;
};

// The stream identity a parser shows while it hands a run over: the engine
// through its packet view, the reference through its fields.
struct Shown {
    PayloadKind kind;
    VideoKind videoKind;
    AudioKind audioKind;
    std::int32_t videoIndex, audioIndex, subpictureIndex;
    std::uint32_t pendingPts;
    bool firstRunOfPacket, ownPtsValid;
    std::uint32_t ownPts;
};
Shown shown(PesParser& parser) {
    const PesParser::PacketView p = parser.packet();
    return {p.payloadKind(),     p.videoKind(),  p.audioKind(),        p.videoIndex(),  p.audioIndex(),
            p.subpictureIndex(), p.pendingPts(), p.firstRunOfPacket(), p.ownPtsValid(), p.ownPts()};
}
Shown shown(ReferenceParser& p) {
    return {p.payloadKind,     p.videoKind,  p.audioKind,        p.videoIndex,  p.audioIndex,
            p.subpictureIndex, p.pendingPts, p.firstRunOfPacket, p.ownPtsValid, p.ownPts};
}
void clearPendingPts(PesParser& parser) {
    parser.packet().clearPendingPts();
}
void clearPendingPts(ReferenceParser& parser) {
    parser.pendingPts = 0;
}

// Records runs of either parser; checks that the run lies inside its block and
// carries the input's bytes; clears PendingPts where the pack loop would write
// a record header for a ticked subpicture box.
template <class Parser> struct Recorder {
    Parser& parser;
    const std::uint8_t* input;
    std::uint32_t subTicks;
    std::vector<Run> runs;
    const std::uint8_t* block = nullptr;
    std::size_t blockSize = 0;
    std::size_t base = 0;

    void run(std::size_t offset, std::size_t length) {
        if (offset > blockSize || length > blockSize - offset) mismatch("run outside its block");
        if (length > 0 && std::memcmp(block + offset, input + base + offset, length) != 0)
            mismatch("run bytes");
        const Shown p = shown(parser);
        const bool header = p.kind == PayloadKind::Subpicture && p.firstRunOfPacket && p.ownPtsValid;
        runs.push_back({p.kind, p.videoKind, p.audioKind, p.videoIndex, p.audioIndex, p.subpictureIndex,
                        p.pendingPts, header, header ? p.ownPts : 0, base + offset, length});
        if (header && p.subpictureIndex >= 0 && p.subpictureIndex < 16 && (subTicks >> p.subpictureIndex & 1))
            clearPendingPts(parser);
    }
};

struct EngineRecorder : PayloadHandler {
    explicit EngineRecorder(Recorder<PesParser> recorder) : r(std::move(recorder)) {}
    Recorder<PesParser> r;
    void payloadRun(std::size_t offset, std::size_t length) override { r.run(offset, length); }
};
struct ReferenceRecorder : ReferenceParser::Handler {
    explicit ReferenceRecorder(Recorder<ReferenceParser> recorder) : r(std::move(recorder)) {}
    Recorder<ReferenceParser> r;
    void payloadRun(std::size_t offset, std::size_t length) override { r.run(offset, length); }
};

// Block lengths: mostly short (headers cut anywhere), some long, some whole.
std::vector<std::size_t> blockLengths(std::size_t size, Rng& rng) {
    std::vector<std::size_t> lengths;
    std::size_t done = 0;
    while (done < size) {
        const std::uint32_t x = rng.next();
        std::size_t n;
        switch (x & 3) {
        case 0: n = 1 + (x >> 8) % 8; break;
        case 1: n = 1 + (x >> 8) % 300; break;
        case 2: n = 1 + (x >> 8) % 5000; break;
        default: n = size - done; break;
        }
        if (n > size - done) n = size - done;
        lengths.push_back(n);
        done += n;
    }
    return lengths;
}

void compareParsers(const std::uint8_t* data, std::size_t size, std::uint32_t seed, RunMode mode) {
    Rng rng{seed | 1};
    const std::uint32_t subTicks = rng.next();
    const std::vector<std::size_t> lengths = blockLengths(size, rng);

    MemoryWindow engineWindow, referenceWindow;
    StreamTable engineTable, referenceTable;
    engineTable.clear();
    referenceTable.clear();
    PesParser engine(engineTable, engineWindow);
    ReferenceParser reference(referenceTable, referenceWindow);
    engine.reset();
    reference.reset();
    EngineRecorder er({engine, data, subTicks, {}});
    ReferenceRecorder rr({reference, data, subTicks, {}});

    std::size_t base = 0;
    for (std::size_t n : lengths) {
        // An exact-size copy, so that a read past the block is caught.
        std::vector<std::uint8_t> block(data + base, data + base + n);
        er.r.block = rr.r.block = block.data();
        er.r.blockSize = rr.r.blockSize = n;
        er.r.base = rr.r.base = base;
        engine.parse(block.data(), n, mode, er);
        reference.parse(block.data(), n, mode, rr);
        if (er.r.runs.size() != rr.r.runs.size()) mismatch("number of runs");
        for (int slot = 1; slot <= 64; ++slot)
            if (engineTable[slot] != referenceTable[slot]) mismatch("stream table");
        if (engineWindow.logLines.size() != referenceWindow.logLines.size()) mismatch("number of log lines");
        base += n;
    }
    if (!(er.r.runs == rr.r.runs)) mismatch("payload runs");
    if (engineWindow.logLines != referenceWindow.logLines) mismatch("log lines");
    if (engine.packet().pendingPts() != reference.pendingPts) mismatch("pending PTS at the end");
}

// Memory files standing in for the source and the outputs.
int memoryFile() {
    const int fd = ::memfd_create("vantrel-diff", 0);
    if (fd < 0) std::abort();
    return fd;
}
std::string fdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}
std::vector<std::uint8_t> contents(int fd) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (r <= 0) std::abort();
        done += static_cast<std::size_t>(r);
    }
    return bytes;
}

struct Side {
    MemoryWindow window;
    Core core{window};
    std::array<int, kOutputFileCount> outputs{};
    Side() {
        for (int& fd : outputs) fd = memoryFile();
        window.clock = 45000.5;
        window.clockStep = 1.0 / 86400.0;
    }
};

struct PackLoopHarness {
    int source = memoryFile();
    Side engine, reference;
};

void writeAll(int fd, const std::uint8_t* data, std::size_t size, std::size_t at) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = ::pwrite(fd, data + done, size - done, static_cast<off_t>(at + done));
        if (w <= 0) std::abort();
        done += static_cast<std::size_t>(w);
    }
}

void runPackLoop(PackLoopHarness& h, Side& side, bool referenceSide, RunMode mode, std::uint8_t options,
                 std::uint32_t seed) {
    Rng rng{seed * 2654435761u | 1};
    const std::uint64_t ticks = (static_cast<std::uint64_t>(rng.next()) << 32) | rng.next();
    const std::uint64_t files = (static_cast<std::uint64_t>(rng.next()) << 32) | rng.next();
    const int cancelAt = static_cast<int>(rng.next() % 4); // 0: never, else at that event point

    MemoryWindow& w = side.window;
    Core& core = side.core;
    w.logLines.clear();
    w.statusLines.clear();
    w.questions.clear();
    w.processEventsCalls = 0;
    w.repaints = 0;
    w.clock = 45000.5;
    w.options[Option::CountFrames] = (options & 1) != 0;
    w.options[Option::FastCheck] = (options & 2) != 0;
    w.confirmAnswer = (options & 0x80) != 0;
    w.onProcessEvents = [&core, &w, cancelAt] {
        if (w.processEventsCalls == cancelAt) bCancelClick(core);
    };
    for (int box = 0; box < StreamBoxes::kCount; ++box) core.boxes.setTicked(box, (ticks >> box & 1) != 0);
    for (int i = 0; i < kOutputFileCount; ++i) {
        core.outputFiles[static_cast<std::size_t>(i)].reset();
        if (::ftruncate(side.outputs[static_cast<std::size_t>(i)], 0) != 0) std::abort();
        if (files >> i & 1)
            core.outputFiles[static_cast<std::size_t>(i)] =
                std::make_unique<OutputFile>(fdPath(side.outputs[static_cast<std::size_t>(i)]));
    }
    core.sourceFile = std::make_unique<InputFile>(fdPath(h.source));
    core.videoFrameCount = {3, 5};
    if (referenceSide)
        vantrel::test::referenceDemux(core, mode);
    else
        demux(core, mode);
    for (auto& out : core.outputFiles)
        if (out) out->close();
}

void comparePackLoops(PackLoopHarness& h, RunMode mode, std::uint8_t options, std::uint32_t seed) {
    runPackLoop(h, h.engine, false, mode, options, seed);
    runPackLoop(h, h.reference, true, mode, options, seed);
    Core& a = h.engine.core;
    Core& b = h.reference.core;
    MemoryWindow& wa = h.engine.window;
    MemoryWindow& wb = h.reference.window;
    if (wa.logLines != wb.logLines) mismatch("pack loop log lines");
    if (wa.statusLines != wb.statusLines) mismatch("pack loop status lines");
    if (wa.processEventsCalls != wb.processEventsCalls || wa.repaints != wb.repaints)
        mismatch("event points");
    if (wa.buttons != wb.buttons || wa.questions.size() != wb.questions.size())
        mismatch("buttons or questions");
    if (a.videoFrameCount != b.videoFrameCount) mismatch("frame counts");
    if (a.stopRequested != b.stopRequested || a.demuxActive != b.demuxActive) mismatch("flags");
    if (a.audioReported != b.audioReported) mismatch("audio reported");
    if (a.sourceFile->position() != b.sourceFile->position()) mismatch("source position");
    for (int slot = 1; slot <= 64; ++slot)
        if (a.streamTable[slot] != b.streamTable[slot]) mismatch("pack loop stream table");
    for (std::size_t i = 0; i < kOutputFileCount; ++i)
        if (contents(h.engine.outputs[i]) != contents(h.reference.outputs[i])) mismatch("output file bytes");
    a.sourceFile.reset();
    b.sourceFile.reset();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 5) return 0;
    const std::uint8_t options = input[0];
    std::uint32_t seed = 0;
    std::memcpy(&seed, input + 1, 4);
    const std::uint8_t* data = input + 5;
    const std::size_t n = size - 5;

    for (RunMode mode : {RunMode::Scan, RunMode::Demux}) compareParsers(data, n, seed, mode);

    // The pack loop over the bytes as a file. With option bits 2..6 at 0b00001
    // the bytes come twice, around a hole that carries the second copy across
    // the first 4 MiB progress point (and across the loop's larger reads); that
    // costs milliseconds, so only one input in sixteen asks for it.
    static PackLoopHarness h;
    if (::ftruncate(h.source, 0) != 0) std::abort();
    writeAll(h.source, data, n, 0);
    const bool tiled = (options & 0x7C) == 0x04 && n > 0;
    if (tiled) {
        const std::size_t second = (std::size_t{4} << 20) - (seed >> 8) % 70000;
        if (::ftruncate(h.source, static_cast<off_t>(second)) != 0) std::abort();
        writeAll(h.source, data, n, second);
    }
    if (tiled) {
        // One mode only: the hole makes these runs the slow ones.
        comparePackLoops(h, (seed >> 31) != 0 ? RunMode::Demux : RunMode::Scan, options, seed);
    } else {
        for (RunMode mode : {RunMode::Scan, RunMode::Demux}) comparePackLoops(h, mode, options, seed);
    }
    return 0;
}
