// Writes a seed corpus for the engine-against-reference target into the folder
// given as argv[1]: five option/seed bytes, then program streams of every
// stream kind, headers with extensions and stuffing, short and broken packets,
// and a slice of a realistic feature.
#include "support/evo_builder.h"
#include "support/realistic_evo.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

using namespace vantrel::test;

namespace {

Bytes frames(std::uint8_t code, int count) {
    Bytes b;
    for (int i = 0; i < count; ++i) b.insert(b.end(), {0x00, 0x00, 0x01, code, 0x00, 0x00, 0x01});
    return b;
}

void writeSeed(const std::string& path, std::uint8_t options, std::uint32_t seed, const Bytes& stream) {
    Bytes bytes{options, static_cast<std::uint8_t>(seed), static_cast<std::uint8_t>(seed >> 8),
                static_cast<std::uint8_t>(seed >> 16), static_cast<std::uint8_t>(seed >> 24)};
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: seed_parser_diff FOLDER\n";
        return 2;
    }
    const std::string dir = argv[1];

    EvoBuilder video;
    video.packSystemHeader(2, 3, 0x03);
    video.pack(pesPacket(0xE0, frames(0x00, 40), 900000));
    video.pack(pesPacket(0xE1, frames(0x00, 10), 900000, 897000));
    video.pack(pesPacket(0xE2, frames(0x09, 12), 1));
    video.packVc1(0x55, frames(0x0D, 20), 3003);
    video.packVc1(0x56, frames(0x0D, 2));
    video.packVc1(0x71, pattern(100));
    PesSpec stuffed = pesPacket(0xE3, frames(0x09, 3), 77);
    stuffed.stuffing = 7;
    stuffed.streamIdExtension = 0x55;
    stuffed.pstdBuffer = true;
    video.pack(stuffed);
    writeSeed(dir + "/video", 0x01, 1, video.bytes());
    writeSeed(dir + "/video-tiled", 0x05, 0x00123456, video.bytes());

    EvoBuilder audio;
    audio.packSystemHeader(1, 8);
    for (std::uint8_t id : {0x80, 0x88, 0x81, 0xA1, 0xB2, 0xC3, 0x90, 0xA9, 0xB1, 0xB9})
        audio.packPrivate(id, pattern(200, id), 45000);
    audio.pack(pesPacket(0xC0, pattern(300), 7));
    writeSeed(dir + "/audio", 0x03, 7, audio.bytes());

    EvoBuilder sub;
    sub.pack(pesPacket(0xE0, pattern(50), 123456));
    sub.packPrivate(0x22, pattern(100, 1), 0x12345678);
    sub.packPrivate(0x22, pattern(100, 2));
    sub.packPrivate(0x62, pattern(100, 3), 0x100000000ull);
    sub.packPrivate(0x35, pattern(100, 4), 5);
    sub.pes(pesPacket(0xBD, Bytes{0x23}, 99)); // a header that fills its packet but for the id
    sub.padding(100);
    writeSeed(dir + "/sub", 0x80, 0xFFFFFFFF, sub.bytes());

    EvoBuilder broken;
    PesSpec shortPacket = pesPacket(0xE0, pattern(30), 1);
    shortPacket.packetLengthOverride = 4;
    broken.pes(shortPacket);
    PesSpec wrapped = pesPacket(0xE1, pattern(30), 2);
    wrapped.headerDataLengthOverride = 2;
    broken.pes(wrapped);
    broken.raw({0x00, 0x00, 0x01, 0xBE, 0x00, 0x03, 0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x01, 0xBB});
    broken.pes(pesPacket(0xE1, pattern(30)));
    writeSeed(dir + "/broken", 0x87, 3, broken.bytes());

    // A slice of a realistic feature.
    const std::string tmp = dir + "/.realistic.tmp";
    writeRealisticEvo(tmp, 48 * 2048, 5);
    std::ifstream in(tmp, std::ios::binary);
    Bytes feature((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::remove(tmp.c_str());
    writeSeed(dir + "/feature", 0x01, 11, feature);
    writeSeed(dir + "/feature-tiled", 0x85, 0x00ABCDEF, feature);
    return 0;
}
