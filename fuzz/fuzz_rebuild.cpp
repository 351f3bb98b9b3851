// Arbitrary bytes through the rebuild. The first kConfigBytes choose the ticks
// and the stream codes in the table, the rest is the source. Every pack goes
// once through the pack decision on an exact-size copy of its own (so a read
// or write past its end is caught), and the whole source through the copy loop
// and the file layer; both must give the same rebuilt bytes.
#include "engine/core.h"
#include "engine/stream_numbering.h"
#include "files/file_layer.h"
#include "rebuild/rebuild.h"
#include "support/memory_window.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kConfigBytes = 6;

int memoryFile(const char* name) {
    int fd = ::memfd_create(name, 0);
    if (fd < 0) std::abort();
    return fd;
}

std::string fdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

void configure(vantrel::Core& core, const std::uint8_t* cfg) {
    using vantrel::StreamBoxes;
    for (int i = 0; i < 2; ++i) core.boxes.setTicked(StreamBoxes::videoBox(i), (cfg[0] >> i) & 1);
    const unsigned audioTicks = static_cast<unsigned>(cfg[1]) | (static_cast<unsigned>(cfg[2]) << 8);
    const unsigned subTicks = static_cast<unsigned>(cfg[3]) | (static_cast<unsigned>(cfg[4]) << 8);
    for (int i = 0; i < 16; ++i) {
        core.boxes.setTicked(StreamBoxes::audioBox(i), (audioTicks >> i) & 1);
        core.boxes.setTicked(StreamBoxes::subBox(i), (subTicks >> i) & 1);
    }
    core.streamTable.clear();
    if (cfg[5] & 1) { // after a playlist read: marks, no codes
        for (int slot = 1; slot <= 64; ++slot)
            if ((cfg[5] >> (slot % 7)) & 1) core.streamTable[slot] = 1;
        return;
    }
    core.streamTable[1] = (cfg[0] & 0x04) ? 0x55 : 0xE0;
    core.streamTable[2] = (cfg[0] & 0x08) ? 0x56 : 0xE3;
    for (int i = 0; i < 16; ++i) {
        static const int kinds[4] = {0xC0, 0x88, 0x80, -1};
        int kind = kinds[(cfg[5] >> (1 + (i % 3) * 2)) & 3];
        if (i >= 8 && kind != -1) kind = 0xC0; // only E-AC-3 reaches indices 8..15
        core.streamTable[17 + i] = kind < 0 ? -1 : (kind == 0xC0 ? (kind | i) : (kind | (i & 7)));
        core.streamTable[33 + i] = ((cfg[0] >> 4) & 1) ? (0x20 | i) : (0x60 | i);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kConfigBytes) return 0;
    static const int inFd = memoryFile("rebuild-in");
    static const int outFd = memoryFile("rebuild-out");
    const std::uint8_t* source = data + kConfigBytes;
    const std::size_t n = size - kConfigBytes;

    vantrel::MemoryWindow window;
    window.clock = 1.0;
    vantrel::Core core(window);
    configure(core, data);

    // Pack by pack, each in an allocation of exactly its length.
    vantrel::RebuildState perPack;
    std::vector<std::uint8_t> expected;
    std::size_t at = 0;
    do {
        const std::size_t len = std::min(vantrel::kRebuildPackSize, n - at);
        std::unique_ptr<std::uint8_t[]> pack(new std::uint8_t[len]);
        if (len > 0) std::memcpy(pack.get(), source + at, len);
        if (vantrel::rebuildPack(core, perPack, pack.get(), len))
            expected.insert(expected.end(), pack.get(), pack.get() + len);
        at += len;
    } while (at < n);

    // The copy loop over the same bytes as a file.
    if (::ftruncate(inFd, 0) != 0) std::abort();
    if (n > 0 && ::pwrite(inFd, source, n, 0) != static_cast<ssize_t>(n)) std::abort();
    vantrel::RebuildState whole;
    core.sourceFile = std::make_unique<vantrel::InputFile>(fdPath(inFd));
    auto& rebuilt = core.outputFiles[static_cast<std::size_t>(vantrel::videoOutput(0))];
    rebuilt = std::make_unique<vantrel::OutputFile>(fdPath(outFd));
    vantrel::Rebuild(core, whole);
    rebuilt->close();
    rebuilt.reset();
    core.sourceFile.reset();

    std::vector<std::uint8_t> got(expected.size() + 1);
    const ssize_t r = ::pread(outFd, got.data(), got.size(), 0);
    if (r != static_cast<ssize_t>(expected.size())) std::abort();
    got.resize(expected.size());
    if (got != expected || whole.IdMap != perPack.IdMap) std::abort();
    return 0;
}
