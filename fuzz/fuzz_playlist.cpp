// Arbitrary bytes through the playlist reader: the tag scanner (whole and cut
// in two), the item rules and the attribute lookups on every line, then the
// whole Read XPL run over the bytes as a playlist file.
#include "engine/core.h"
#include "playlist/playlist.h"
#include "playlist/playlist_items.h"
#include "playlist/tag_scanner.h"
#include "support/memory_window.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vantrel;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

std::vector<std::string> scanLines(const std::uint8_t* data, std::size_t size, std::size_t cut) {
    TagScanner scanner;
    std::vector<std::string> lines;
    auto onLine = [&](const std::string& line) { lines.push_back(line); };
    scanner.feed(data, cut, onLine);
    scanner.feed(data + cut, size - cut, onLine);
    return lines;
}

const std::string& playlistPath() {
    // In memory where the system offers it: the run reads the file at every input.
    static const std::string path = [] {
        const std::string dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string p = dir + "/vantrel-fuzz-playlist-" + std::to_string(::getpid()) + ".XPL";
        static const std::string removeAtExit = p;
        std::atexit([] { std::remove(removeAtExit.c_str()); });
        return p;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines = scanLines(data, size, 0);
    // The state carries over between blocks: any cut gives the same lines.
    check(scanLines(data, size, size == 0 ? 0 : data[0] % (size + 1)) == lines);

    std::string name;
    AttrTable video, audio, sub;
    const ItemTargets targets{name, video, audio, sub};
    for (const std::string& line : lines) {
        for (char c : line) check(static_cast<unsigned char>(c) >= 32);
        applyItemRules(line, targets);
        for (const char* attr : {"index", "codec", "displayName", "track", "streamNumber", "description"}) {
            const std::string value = GetAttr(line, attr);
            check(value.size() <= 255 && value.find('"') == std::string::npos);
            (void)GetAttrInt(line, attr);
        }
    }
    check(video[0].empty() && audio[0].empty() && sub[0].empty());

    // The whole run over the bytes as a file.
    if (std::FILE* f = std::fopen(playlistPath().c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    MemoryWindow window;
    Core core(window);
    window.fields[Field::XPLfile] = playlistPath();
    core.EVObase = "FEATURE_1";
    bReadXPLClick(core);
    check(core.sourceFile == nullptr && !core.runActive && window.memoVisible);
    check(window.memo.size() <= lines.size());
    for (int slot = 1; slot <= 64; ++slot) check(core.streamTable[slot] == -1 || core.streamTable[slot] == 1);
    for (int slot = 49; slot <= 64; ++slot) check(core.streamTable[slot] == -1);
    check(core.videoAttr[0].empty() && core.audioAttr[0].empty() && core.subpictureAttr[0].empty());
    return 0;
}
