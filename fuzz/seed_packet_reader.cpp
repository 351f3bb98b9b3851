// Writes a seed corpus for the packet reader into the folder given as argv[1]:
// packs of every stream kind with PTS, PTS and DTS, PES extensions, stuffing,
// MPEG-1 pack headers, and packets cut by the end of the file. The first byte
// of each seed is the reader's read size.
#include "support/evo_builder.h"

#include <fstream>
#include <iostream>
#include <string>

using namespace vantrel::test;

namespace {

void write(const std::string& folder, const std::string& name, std::uint8_t piece, const Bytes& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(piece));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: seed_packet_reader FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];

    EvoBuilder all;
    all.packSystemHeader(2, 8, 0x03);
    all.pack(pesPacket(0xE0, pattern(100), 900000, 897000));
    all.pack(pesPacket(0xE2, pattern(100), 0x1FFFFFFFFull));
    all.packVc1(0x55, pattern(100, 1), 3003);
    all.packVc1(0x71, pattern(100, 2), 3003);
    for (std::uint8_t id : {0x20, 0x61, 0x80, 0x88, 0xA0, 0xB0, 0xC8, 0x90})
        all.packPrivate(id, pattern(120, id), 45000);
    all.pack(pesPacket(0xC0, pattern(100), 7));
    all.padding(200);
    write(folder, "all", 0x80 | 11, all.bytes());
    write(folder, "all-small-reads", 5, all.bytes());

    EvoBuilder odd;
    PesSpec stuffed = pesPacket(0xE1, pattern(40), 1);
    stuffed.stuffing = 9;
    odd.pes(stuffed);
    PesSpec pstd = pesPacket(0xFD, pattern(40), 5);
    pstd.streamIdExtension = 0x56;
    pstd.pstdBuffer = true;
    odd.pes(pstd);
    PesSpec shortHeader = pesPacket(0xE0, pattern(30), 9);
    shortHeader.headerDataLengthOverride = 2;
    odd.pes(shortHeader);
    odd.raw({0x00, 0x00, 0x01, 0xBA, 0x20, 0x00, 0x01, 0x00, 0x01, 0x80, 0x00, 0x01}); // MPEG-1 pack header
    odd.privateStream(0xA1, pattern(30), 90000);
    write(folder, "odd", 3, odd.bytes());

    EvoBuilder cut;
    cut.packHeader();
    cut.privateStream(0x81, pattern(300), 90000);
    Bytes bytes = cut.bytes();
    bytes.resize(bytes.size() - 100);
    write(folder, "cut", 0x80 | 12, bytes);
    // A pack header whose stuffing runs past the end.
    write(folder, "stuffing", 0x80 | 12, {0x00, 0x00, 0x01, 0xBA, 0x44, 0, 4, 0, 4, 1, 0, 0, 3, 0xFF, 0xFF});
    return 0;
}
