// Writes a seed corpus for the pack loop into the folder given as argv[1]:
// packs of every stream kind, a system header, Dolby frames, subpicture
// packets with and without PTS, and a packet cut by the first block boundary.
#include "support/evo_builder.h"

#include <iostream>
#include <optional>
#include <string>

using namespace vantrel::test;

namespace {

Bytes frames(std::uint8_t code, int count) {
    Bytes b;
    for (int i = 0; i < count; ++i) b.insert(b.end(), {0x00, 0x00, 0x01, code, 0x12, 0x34});
    return b;
}

Bytes dolby(std::uint8_t b2, std::uint8_t b3, std::uint8_t b4, std::size_t frameBytes) {
    Bytes run(frameBytes + 8, 0);
    const std::uint8_t head[7] = {0x0B, 0x77, 0x04, 0xFF, b2, b3, b4};
    for (std::size_t at : {std::size_t{0}, frameBytes})
        for (std::size_t i = 0; i < 7; ++i) run[at + i] = head[i];
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: seed_pack_loop FOLDER\n";
        return 2;
    }
    const std::string dir = argv[1];

    EvoBuilder video;
    video.packSystemHeader(2, 3, 0x03);
    video.pack(pesPacket(0xE0, frames(0x00, 40), 900000));
    video.pack(pesPacket(0xE1, frames(0x00, 10), 900000, 897000));
    video.pack(pesPacket(0xE2, frames(0x09, 12), 1));
    video.packVc1(0x55, frames(0x0D, 20), 3003);
    video.packVc1(0x71, pattern(100));
    PesSpec stuffed = pesPacket(0xE3, frames(0x09, 3));
    stuffed.stuffing = 7;
    video.pack(stuffed);
    video.writeTo(dir + "/video.evo");

    EvoBuilder audio;
    audio.packSystemHeader(1, 8);
    for (std::uint8_t id : {0x80, 0x88, 0x81, 0xA1, 0xB2, 0xC3, 0x90})
        audio.packPrivate(id, pattern(200, id), 45000);
    audio.pack(pesPacket(0xC0, pattern(300), 7));
    audio.privateStream(0xC0, dolby(0x3F, 0x80, 0x00, 2560)); // E-AC-3, confirmed
    audio.privateStream(0x82, dolby(0x1E, 0x40, 0xE0, 1792)); // AC-3 448 kbit/s
    audio.writeTo(dir + "/audio.evo");

    EvoBuilder sub;
    sub.pack(pesPacket(0xE0, pattern(50), 123456));
    sub.packPrivate(0x22, pattern(100, 1), 0x12345678);
    sub.packPrivate(0x22, pattern(100, 2));
    sub.packPrivate(0x62, pattern(100, 3), 0x100000000ull);
    sub.packPrivate(0x35, pattern(100, 4), 5);
    sub.padding(100);
    sub.writeTo(dir + "/sub.evo");

    // A packet cut by the block boundary, and a header shorter than its packet length says.
    EvoBuilder cut;
    cut.raw(Bytes(32768 - 40, 0xFF));
    cut.privateStream(0x21, pattern(400, 5), 90000);
    PesSpec broken = pesPacket(0xE0, pattern(30), 1);
    broken.packetLengthOverride = 4;
    cut.pes(broken);
    cut.pes(pesPacket(0xE1, pattern(30)));
    cut.writeTo(dir + "/cut.evo");
    return 0;
}
