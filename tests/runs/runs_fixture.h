// Shared pieces of the run tests: two-part features built
// with the EVO builder, and a session (in-memory window plus Core).
#pragma once

#include "engine/click_handlers.h"
#include "engine/core.h"
#include "runs/runs.h"
#include "runs/source_selection.h"
#include "support/evo_builder.h"
#include "support/memory_window.h"
#include "support/scratch_dir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vantrel::test {

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

inline bool startsWith(const Bytes& data, const Bytes& prefix) {
    return prefix.size() <= data.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

// One source file: a system header pack, then MPEG-2 video (0xE0) and DD+
// (0xC0) packs, three video packs to one audio pack. Every video pack starts
// its payload with a picture start code and counts as one frame; the filler
// never holds a 00 byte, so no other start code appears.
struct Part {
    Bytes file;
    Bytes video; // what video output 0 receives from this part
    Bytes audio; // what audio output 0 receives from this part
    int frames = 0;
};

inline Bytes filler(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(0x10 + (i * 7 + seed) % 0xE0);
    return b;
}

inline Part makePart(std::size_t packs, std::uint8_t seed) {
    Part part;
    EvoBuilder evo;
    evo.packSystemHeader(1, 1);
    for (std::size_t i = 1; i < packs; ++i) {
        auto s = static_cast<std::uint8_t>(seed + i);
        if (i % 4 == 0) {
            PesSpec shape;
            shape.streamId = 0xBD;
            shape.body = privateHeader(0xC0);
            Bytes payload = filler(EvoBuilder::packPayloadRoom(shape), s);
            evo.packPrivate(0xC0, payload);
            part.audio.insert(part.audio.end(), payload.begin(), payload.end());
        } else {
            PesSpec packet;
            packet.streamId = 0xE0;
            packet.pts = 3600 * i;
            Bytes payload{0x00, 0x00, 0x01, 0x00};
            Bytes rest = filler(EvoBuilder::packPayloadRoom(packet) - payload.size(), s);
            payload.insert(payload.end(), rest.begin(), rest.end());
            packet.body = payload;
            evo.pack(packet);
            part.video.insert(part.video.end(), payload.begin(), payload.end());
            ++part.frames;
        }
    }
    part.file = evo.bytes();
    return part;
}

// Packs in a part just over 4 MiB: the pack loop lets pending events through once in it.
constexpr std::size_t kPacksOver4MiB = 2048 + 256;

// A two-part feature in DIR/HVDVD_TS/: FEATURE_1.EVO and (when wanted) FEATURE_2.EVO.
struct Feature {
    std::string folder, first, second;
    Part one, two;
};

inline Feature makeFeature(const ScratchDir& dir, std::size_t packs1, std::size_t packs2,
                           bool writeSecond = true) {
    Feature f;
    f.folder = dir / "HVDVD_TS";
    std::filesystem::create_directories(f.folder);
    f.first = f.folder + "/FEATURE_1.EVO";
    f.second = f.folder + "/FEATURE_2.EVO";
    f.one = makePart(packs1, 1);
    f.two = makePart(packs2, 101);
    writeBytes(f.first, f.one.file);
    if (writeSecond) writeBytes(f.second, f.two.file);
    return f;
}

// The window and the core, with the boxes as start-up leaves them.
struct Session {
    MemoryWindow window;
    Core core{window};
    Session() { Resetcbs(core); }
    void chooseSource(const std::string& path) {
        window.setFieldText(Field::EVOfile, path);
        EVOadj(core);
    }
    void tick(int box, const std::string& caption) {
        core.boxes.setTicked(box, true);
        core.boxes.setCaption(box, caption);
    }
    bool nothingHeld() const {
        if (core.sourceFile || core.runActive) return false;
        for (const auto& f : core.outputFiles)
            if (f) return false;
        return true;
    }
};

} // namespace vantrel::test
