// Micro-benchmarks of the engine's two inner loops, in bytes per second: the
// PES parser over an in-memory realistic EVO (32,768-byte blocks, as the pack
// loop hands them over) and the frame counter over the video payload runs of
// the same EVO; each next to the byte-at-a-time reference.
#include "codecs/frame_counter.h"
#include "engine/core.h"
#include "engine/pack_loop.h"
#include "engine/pes_parser.h"
#include "support/memory_window.h"
#include "support/realistic_evo.h"
#include "support/reference_parser.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace vantrel;
using vantrel::test::ReferenceParser;

constexpr std::size_t kEvoBytes = 32 << 20;

// The realistic EVO in memory, written once.
const std::vector<std::uint8_t>& evo() {
    static const std::vector<std::uint8_t> bytes = [] {
        const std::string path = "/tmp/vantrel-microbench-" + std::to_string(::getpid()) + ".EVO";
        vantrel::test::writeRealisticEvo(path, kEvoBytes, 3);
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
        std::remove(path.c_str());
        return data;
    }();
    return bytes;
}

struct NullHandler : PayloadHandler {
    std::size_t bytes = 0;
    void payloadRun(std::size_t, std::size_t length) override { bytes += length; }
};
struct NullReferenceHandler : ReferenceParser::Handler {
    std::size_t bytes = 0;
    void payloadRun(std::size_t, std::size_t length) override { bytes += length; }
};

template <class Parser, class Handler> void parseEvo(benchmark::State& state) {
    const auto& data = evo();
    const auto mode = static_cast<RunMode>(state.range(0));
    MemoryWindow window;
    StreamTable table;
    Parser parser(table, window);
    Handler handler;
    for (auto _ : state) {
        table.clear();
        window.logLines.clear();
        parser.reset();
        for (std::size_t at = 0; at < data.size(); at += kPackBufferSize)
            parser.parse(data.data() + at, std::min(kPackBufferSize, data.size() - at), mode, handler);
        benchmark::DoNotOptimize(handler.bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_PesParser(benchmark::State& state) {
    parseEvo<PesParser, NullHandler>(state);
}
void BM_ReferenceParser(benchmark::State& state) {
    parseEvo<ReferenceParser, NullReferenceHandler>(state);
}
BENCHMARK(BM_PesParser)
    ->Arg(static_cast<int>(RunMode::Scan))
    ->Arg(static_cast<int>(RunMode::Demux))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceParser)
    ->Arg(static_cast<int>(RunMode::Scan))
    ->Arg(static_cast<int>(RunMode::Demux))
    ->Unit(benchmark::kMillisecond);

// The video payload runs of the EVO, cut by the 32,768-byte blocks as the pack
// loop sees them: one buffer and the runs' extents in it.
struct VideoRuns {
    std::vector<std::uint8_t> bytes;
    std::vector<std::pair<std::size_t, std::size_t>> runs;
};

const VideoRuns& videoRuns() {
    static const VideoRuns video = [] {
        struct Collect : ReferenceParser::Handler {
            ReferenceParser* parser = nullptr;
            const std::uint8_t* block = nullptr;
            VideoRuns out;
            void payloadRun(std::size_t offset, std::size_t length) override {
                if (parser->payloadKind != PayloadKind::Video) return;
                out.runs.emplace_back(out.bytes.size(), length);
                out.bytes.insert(out.bytes.end(), block + offset, block + offset + length);
            }
        };
        const auto& data = evo();
        MemoryWindow window;
        StreamTable table;
        table.clear();
        ReferenceParser parser(table, window);
        parser.reset();
        Collect collect;
        collect.parser = &parser;
        for (std::size_t at = 0; at < data.size(); at += kPackBufferSize) {
            collect.block = data.data() + at;
            parser.parse(collect.block, std::min(kPackBufferSize, data.size() - at), RunMode::Demux, collect);
        }
        return std::move(collect.out);
    }();
    return video;
}

std::uint32_t referenceCount(const std::uint8_t* run, std::size_t length, std::uint32_t code) {
    std::uint32_t reg = 0, found = 0;
    for (std::size_t i = 0; i < length; ++i) {
        reg = (reg << 8) | run[i];
        if (reg == code) ++found;
    }
    return found;
}

template <std::uint32_t (*Count)(const std::uint8_t*, std::size_t, std::uint32_t)>
void countFrames(benchmark::State& state) {
    const VideoRuns& video = videoRuns();
    std::uint64_t frames = 0;
    for (auto _ : state) {
        for (const auto& [offset, length] : video.runs)
            frames += Count(video.bytes.data() + offset, length, 0x100);
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * video.bytes.size()));
    state.counters["frames"] = static_cast<double>(frames / state.iterations());
}

void BM_FrameCounter(benchmark::State& state) {
    countFrames<countFrameStarts>(state);
}
void BM_ReferenceFrameCounter(benchmark::State& state) {
    countFrames<referenceCount>(state);
}
BENCHMARK(BM_FrameCounter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceFrameCounter)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
