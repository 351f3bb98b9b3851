// Writes seeds for the rebuild fuzz target into the folder given as argv[1]:
// six configuration bytes (ticks and table) followed by a small source with
// every stream kind the rebuild handles, a junk block and a short last pack.
#include "support/evo_builder.h"

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using vantrel::test::Bytes;
using vantrel::test::EvoBuilder;
using vantrel::test::pattern;
using vantrel::test::PesSpec;

namespace {

void write(const std::string& folder, const std::string& name, const Bytes& config, const Bytes& body) {
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(config.data()), static_cast<std::streamsize>(config.size()));
    out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}

Bytes mixed() {
    EvoBuilder b;
    b.packSystemHeader(1, 3, 0x03);
    PesSpec video;
    video.streamId = 0xE0;
    video.pts = 90000;
    video.body = pattern(600, 1);
    b.pack(video);
    b.packVc1(0x55, pattern(300, 2), 90000);
    for (std::uint8_t id : {0xC2, 0xC5, 0x8B, 0x81, 0xA1, 0xB1, 0x21, 0x2F, 0x61})
        b.packPrivate(id, pattern(200, id));
    PesSpec mpa;
    mpa.streamId = 0xC3;
    mpa.body = pattern(100, 3);
    b.pack(mpa);
    return b.bytes();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: seed_rebuild FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];
    Bytes source = mixed();

    // VC-1 as discs carry it: the stream_id_extension_flag clear.
    Bytes vc1 = source;
    for (std::size_t at = 0; at + 2048 <= vc1.size(); at += 2048)
        if (vc1[at + 17] == 0xFD) vc1[at + 22 + vc1[at + 22]] &= 0x7F;

    write(folder, "all-ticked", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, vc1);
    write(folder, "some-ticked", {0x05, 0x0C, 0x00, 0x02, 0x00, 0x14}, vc1);
    write(folder, "playlist-marks", {0x00, 0x00, 0x00, 0x00, 0x00, 0x2B}, source);

    Bytes tail = source;
    tail.insert(tail.end(), 2048, 0x00);                                 // a block that is not a pack
    tail.insert(tail.end(), source.begin(), source.begin() + 2048 + 23); // a short last pack
    write(folder, "short-tail", {0x03, 0x04, 0x00, 0x00, 0x00, 0x06}, tail);
    write(folder, "empty", {0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, {});
    return 0;
}
