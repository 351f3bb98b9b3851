// Arbitrary bytes as a source file through the pack loop, in scan mode and in
// demux mode, with every stream box ticked and every output going to /dev/null.
#include "engine/core.h"
#include "engine/pack_loop.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "support/memory_window.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

struct Harness {
    vantrel::MemoryWindow window;
    vantrel::Core core{window};
    int fd = -1;
    std::string path;

    Harness() {
        fd = ::memfd_create("vantrel-fuzz-source", 0);
        if (fd < 0) std::abort();
        path = "/proc/self/fd/" + std::to_string(fd);
        window.clock = 45000.5;
        window.clockStep = 1.0 / 86400.0;
        for (int box = 0; box < vantrel::StreamBoxes::kCount; ++box) core.boxes.setTicked(box, true);
        for (auto& out : core.outputFiles) out = std::make_unique<vantrel::OutputFile>("/dev/null");
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness h;
    if (::ftruncate(h.fd, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
        ssize_t w = ::pwrite(h.fd, data + done, size - done, static_cast<off_t>(done));
        if (w <= 0) std::abort();
        done += static_cast<std::size_t>(w);
    }
    // The first byte decides the option ticks, so both sides of each are tried.
    const std::uint8_t options = size > 0 ? data[0] : 0;
    h.window.options[vantrel::Option::CountFrames] = (options & 1) != 0;
    h.window.options[vantrel::Option::FastCheck] = (options & 2) != 0;

    for (vantrel::RunMode mode : {vantrel::RunMode::Scan, vantrel::RunMode::Demux}) {
        h.core.sourceFile = std::make_unique<vantrel::InputFile>(h.path);
        h.core.videoFrameCount = {0, 0};
        vantrel::demux(h.core, mode);
        if (h.core.sourceFile->position() != h.core.sourceFile->size()) std::abort();
        for (int slot = 1; slot <= 64; ++slot) {
            const std::int32_t code = h.core.streamTable[slot];
            if (code < -1 || code > 0xFF) std::abort();
        }
        h.core.sourceFile.reset();
    }
    h.window.logLines.clear();
    h.window.statusLines.clear();
    return 0;
}
