#include "realistic_evo.h"

#include "evo_builder.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace vantrel::test {

namespace {

// Fills with noise that never forms 00 00 01 (keeps start codes where we put them).
void noise(Bytes& out, std::size_t n, Rng& rng) {
    for (std::size_t i = 0; i < n; ++i) {
        auto b = static_cast<std::uint8_t>(rng.next() >> 24);
        if (b == 0) b = 0x5A;
        out.push_back(b);
    }
}

// One E-AC-3 frame of 1536 bytes: frmsiz 767, fscod 0 (48 kHz), numblkscod 3, acmod 7, lfe, bsid 16.
Bytes eac3Frame(Rng& rng) {
    Bytes f{0x0B, 0x77, 0x02, 0xFF, 0x3F, 0x80};
    noise(f, 1536 - f.size(), rng);
    return f;
}

// A DTS core-like frame header followed by noise.
Bytes dtsChunk(std::size_t n, Rng& rng) {
    Bytes f{0x7F, 0xFE, 0x80, 0x01};
    noise(f, n - f.size(), rng);
    return f;
}

class PackWriter {
public:
    explicit PackWriter(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {
        if (!m_file) throw std::runtime_error("cannot create " + path);
    }
    ~PackWriter() {
        if (m_file) std::fclose(m_file);
    }
    void put(const EvoBuilder& b) {
        if (std::fwrite(b.bytes().data(), 1, b.size(), m_file) != b.size())
            throw std::runtime_error("write failed");
        m_bytes += b.size();
    }
    std::uint64_t bytes() const { return m_bytes; }

private:
    std::FILE* m_file;
    std::uint64_t m_bytes = 0;
};

} // namespace

RealisticEvoStats writeRealisticEvo(const std::string& path, std::uint64_t bytes, std::uint32_t seed) {
    Rng rng{seed * 2654435761u + 1};
    PackWriter out(path);
    RealisticEvoStats stats;
    const std::uint64_t packs = bytes / 2048;
    std::uint64_t pts = 90000;
    std::uint64_t frame = 0;
    Bytes eac3Pending;
    std::uint64_t audioPts = 90000;

    for (std::uint64_t p = 0; p < packs; ++p) {
        EvoBuilder b;
        std::uint32_t slot = static_cast<std::uint32_t>(p % 100);
        if (p == 0) {
            b.packSystemHeader(1, 3);
        } else if (p % 512 == 1) {
            // Navigation pack: private stream 2 packet, skipped whole by the parser.
            b.packHeader();
            Bytes nav{0x00, 0x00, 0x01, 0xBF, 0x07, 0xEC};
            noise(nav, 2048 - 14 - 6, rng);
            b.raw(nav);
        } else if (slot == 10 || slot == 60) {
            // E-AC-3, 0xC0: frames cut across packs.
            PesSpec shape;
            shape.streamId = 0xBD;
            shape.pts = audioPts;
            shape.body = privateHeader(0xC0);
            std::size_t room = EvoBuilder::packPayloadRoom(shape);
            while (eac3Pending.size() < room) {
                Bytes f = eac3Frame(rng);
                eac3Pending.insert(eac3Pending.end(), f.begin(), f.end());
            }
            Bytes payload(eac3Pending.begin(), eac3Pending.begin() + static_cast<std::ptrdiff_t>(room));
            eac3Pending.erase(eac3Pending.begin(), eac3Pending.begin() + static_cast<std::ptrdiff_t>(room));
            b.packPrivate(0xC0, payload, audioPts);
            audioPts += 2880;
        } else if (slot == 20 || slot == 70) {
            PesSpec shape;
            shape.streamId = 0xBD;
            shape.pts = audioPts;
            shape.body = privateHeader(0x89);
            b.packPrivate(0x89, dtsChunk(EvoBuilder::packPayloadRoom(shape), rng), audioPts);
        } else if (slot == 30 || slot == 80) {
            PesSpec shape;
            shape.streamId = 0xBD;
            shape.pts = audioPts;
            shape.body = privateHeader(0xA2);
            Bytes pcm;
            noise(pcm, EvoBuilder::packPayloadRoom(shape), rng);
            b.packPrivate(0xA2, pcm, audioPts);
        } else if (slot == 40 || slot == 90) {
            std::uint8_t id = slot == 40 ? 0x20 : 0x21;
            Bytes sp;
            noise(sp, 600, rng);
            b.packPrivate(id, sp, pts);
        } else if (slot == 50) {
            b.packHeader();
            b.padding(2048 - 14);
        } else {
            // Video: a GOP of I P B B ... every 3 packs starts a picture.
            PesSpec s;
            s.streamId = 0xE0;
            bool pictureStart = (p % 3) == 0;
            Bytes body;
            if (pictureStart) {
                if (frame % 12 == 0) {
                    body.insert(body.end(),
                                {0x00, 0x00, 0x01, 0xB3, 0x78, 0x04, 0x38, 0x33, 0x02, 0x9C, 0x20, 0x00});
                }
                body.insert(body.end(), {0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF, 0xF8});
                bool bFrame = frame % 3 != 0;
                s.pts = pts + frame * 3754;
                if (!bFrame) s.dts = pts + frame * 3754 - 3754;
                ++frame;
            }
            std::size_t room = EvoBuilder::packPayloadRoom(s);
            // Leave room that is 0 or at least 6 bytes (a padding packet needs 6).
            // Slice start codes every 256 bytes, as coded pictures carry them.
            std::uint8_t sliceNo = 1;
            while (body.size() + 4 <= room) {
                std::size_t chunk = std::min<std::size_t>(252, room - body.size() - 4);
                body.insert(body.end(), {0x00, 0x00, 0x01, sliceNo});
                sliceNo = static_cast<std::uint8_t>(sliceNo % 0x44 + 1);
                noise(body, chunk, rng);
            }
            noise(body, room - body.size(), rng);
            s.body = std::move(body);
            b.pack(s);
        }
        out.put(b);
        ++stats.packs;
    }
    stats.bytes = out.bytes();
    stats.videoFrames = frame;
    return stats;
}

} // namespace vantrel::test
