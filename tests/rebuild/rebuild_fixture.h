// Shared set-up of the rebuild tests: a temporary folder with a source and an
// output folder, a window and a core, packs of every stream kind, and a reader
// for the ids of the packs in a rebuilt file.
#pragma once

#include "engine/core.h"
#include "rebuild/rebuild.h"
#include "support/evo_builder.h"
#include "support/memory_window.h"
#include "support/scratch_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace vantrel::test {

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One 2048-byte pack of a private-stream-1 sub-stream.
inline Bytes privatePack(std::uint8_t id, std::uint8_t seed = 0) {
    EvoBuilder b;
    b.packPrivate(id, pattern(300, seed), 90000);
    return b.bytes();
}

// One pack of a PES stream addressed by its stream_id (video or MPEG audio).
inline Bytes pesPack(std::uint8_t streamId, std::uint8_t seed = 0) {
    PesSpec s;
    s.streamId = streamId;
    s.pts = 90000;
    s.body = pattern(500, seed);
    EvoBuilder b;
    b.pack(s);
    return b.bytes();
}

// One VC-1 pack; the extension byte is written the way discs carry it, with
// the stream_id_extension_flag clear.
inline Bytes vc1Pack(std::uint8_t ext, std::uint8_t seed = 0) {
    EvoBuilder b;
    b.packVc1(ext, pattern(500, seed), 90000);
    Bytes p = b.bytes();
    p[22u + p[22]] = static_cast<std::uint8_t>(p[22u + p[22]] & 0x7F);
    return p;
}

// The id that the rebuild looks at in each 2048-byte pack: the sub-stream id
// of private stream 1, the stream_id_extension of 0xFD, else the stream_id.
inline std::vector<int> packIds(const Bytes& data) {
    std::vector<int> ids;
    for (std::size_t at = 0; at + 24 <= data.size(); at += 2048) {
        const std::uint8_t* p = data.data() + at;
        if (p[17] == 0xBD)
            ids.push_back(p[23u + p[22]]);
        else if (p[17] == 0xFD)
            ids.push_back(p[22u + p[22]]);
        else
            ids.push_back(p[17]);
    }
    return ids;
}

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RebuildFixture : public ::testing::Test {
protected:
    RebuildFixture() {
        std::filesystem::create_directories(m_dir / "src");
        std::filesystem::create_directories(m_dir / "out");
        window.fields[Field::Workdir] = (m_dir / "out").string();
        core.streamTable.clear();
    }

    // Writes a source under src/ and chooses it, as the source selection would.
    std::string useSource(const std::string& name, const Bytes& bytes) {
        std::string path = writeSource(name, bytes);
        window.fields[Field::EVOfile] = path;
        core.EVOname = name;
        core.EVObase = name.substr(0, name.size() - 4);
        return path;
    }
    std::string writeSource(const std::string& name, const Bytes& bytes) {
        std::string path = (m_dir / "src" / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // A stream as a scan would have recorded it, with its box ticked or not.
    void stream(int slot, int code, bool ticked) {
        core.streamTable[slot] = code;
        int box = slot <= 2
                      ? StreamBoxes::videoBox(slot - 1)
                      : (slot <= 32 ? StreamBoxes::audioBox(slot - 17) : StreamBoxes::subBox(slot - 33));
        core.boxes.setTicked(box, ticked);
    }

    std::filesystem::path out(const std::string& name) const { return m_dir / "out" / name; }
    std::filesystem::path dir() const { return m_dir; }

    MemoryWindow window;
    Core core{window};

private:
    ScratchDir m_scratch;
    std::filesystem::path m_dir{m_scratch.path()};
};

} // namespace vantrel::test
