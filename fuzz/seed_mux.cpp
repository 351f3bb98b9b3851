// Writes a seed corpus for the muxing preparation's parsers into the folder
// given as argv[1]: the first byte chooses the piece size, the second the LPCM
// format byte, the rest is a program stream or an elementary stream.
#include "matroska/matroska_writer.h"
#include "support/evo_builder.h"
#include "support/title_builder.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

using namespace vantrel::test;

namespace {

void write(const std::string& folder, const std::string& name, std::uint8_t piece, std::uint8_t lpcm,
           const Bytes& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(piece));
    out.put(static_cast<char>(lpcm));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes dolby(std::uint8_t b2, std::uint8_t b3, std::uint8_t b4, std::uint8_t b5, std::size_t frameBytes,
            int count) {
    Bytes run;
    for (int i = 0; i < count; ++i) {
        Bytes frame(frameBytes, 0);
        const std::uint8_t head[7] = {0x0B, 0x77, b2, b3, b4, b5, 0x40};
        std::copy(head, head + 7, frame.begin());
        run.insert(run.end(), frame.begin(), frame.end());
    }
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: seed_mux FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];

    // Video headers: an MPEG-2 sequence header with picture starts, a VC-1
    // sequence header, an H.264 SPS with timing and access unit delimiters.
    const Bytes mpeg2 = {0x00, 0x00, 0x01, 0xB3, 0x78, 0x04, 0x38, 0x14, 0xFF, 0xFF, 0xE0, 0x18,
                         0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF, 0xF8, 0x00, 0x00, 0x01, 0x00,
                         0x00, 0x57, 0xFF, 0xF8, 0x00, 0x00, 0x01, 0xB5, 0x88, 0x13, 0x80};
    write(folder, "mpeg2", 7, 0, mpeg2);
    const Bytes vc1 = {0x00, 0x00, 0x01, 0x0F, 0xCA, 0x86, 0x2F, 0xF0, 0x87, 0x80, 0x40,
                       0x26, 0x00, 0x00, 0x01, 0x0D, 0x10, 0x00, 0x00, 0x01, 0x0D, 0x50};
    write(folder, "vc1", 5, 0, vc1);
    const Bytes h264 = {0x00, 0x00, 0x00, 0x01, 0x09, 0x10, 0x00, 0x00, 0x00, 0x01, 0x67, 0x64, 0x00,
                        0x29, 0xAC, 0x2C, 0xA8, 0x07, 0x80, 0x22, 0x7E, 0x5C, 0x04, 0x40, 0x00, 0x00,
                        0x03, 0x00, 0x40, 0x00, 0x00, 0x0F, 0x03, 0xC6, 0x0C, 0x65, 0x80, 0x00, 0x00,
                        0x00, 0x01, 0x09, 0x10, 0x00, 0x00, 0x00, 0x01, 0x65, 0x88, 0x80};
    write(folder, "h264", 9, 0, h264);

    // Audio frames: AC-3 448 kbit/s, E-AC-3 with a dependent frame, DTS core, TrueHD major sync.
    write(folder, "ac3", 64, 0, dolby(0x00, 0x00, 0x1E, 0x40, 1792, 3));
    Bytes eac3 = dolby(0x04, 0xFF, 0x3F, 0x80, 2560, 2);
    const Bytes dependent = dolby(0x4C, 0xFF, 0x3F, 0x80, 2560, 1);
    eac3.insert(eac3.begin() + 2560, dependent.begin(), dependent.end());
    write(folder, "eac3", 33, 0, eac3);
    Bytes dts(2 * 2012, 0);
    for (std::size_t at : {std::size_t{0}, std::size_t{2012}}) {
        const std::uint8_t head[10] = {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x7C, 0x7D, 0xB0, 0x34, 0x00};
        std::copy(head, head + 10, dts.begin() + static_cast<std::ptrdiff_t>(at));
    }
    write(folder, "dts", 50, 0, dts);
    Bytes thd(200, 0);
    const std::uint8_t unit[12] = {0x60, 0x64, 0x00, 0x00, 0xF8, 0x72, 0x6F, 0xBA, 0x00, 0x00, 0xB0, 0x00};
    std::copy(unit, unit + 12, thd.begin());
    write(folder, "truehd", 20, 0, thd);

    // LPCM: 16, 20 and 24 bits, mono to six channels, every rate code.
    for (std::uint8_t format : {0x01, 0x11, 0x45, 0x83, 0x20, 0x30})
        write(folder, "lpcm" + std::to_string(format), 12, format, pattern(600, format));

    // A Matroska head as the one-pass job writes it: video, then two forced subtitle tracks.
    {
        namespace mk = vantrel::matroska;
        mk::FileSpec fileSpec;
        fileSpec.path = folder + "/mkv.part";
        mk::TrackSpec video;
        video.kind = vantrel::EsKind::Mpeg2Video;
        video.codecPrivate = Bytes(mpeg2.begin(), mpeg2.begin() + 12);
        video.width = 1920;
        video.height = 1080;
        video.rateNum = 24000;
        video.rateDen = 1001;
        fileSpec.tracks.push_back(video);
        for (const char* name : {"English", "Notes"}) {
            mk::TrackSpec sub;
            sub.kind = vantrel::EsKind::Subpicture;
            sub.name = name;
            sub.forced = true;
            fileSpec.tracks.push_back(sub);
        }
        {
            mk::MatroskaWriter writer(fileSpec);
            writer.write(0, mpeg2.data(), mpeg2.size(), 0, 0, 3754, true);
            writer.finish();
        }
        write(folder, "mkv", 64, 0, readFile(fileSpec.path));
        std::remove(fileSpec.path.c_str());
    }

    // A program stream for the packet reader.
    EvoBuilder evo;
    evo.packSystemHeader(1, 4);
    evo.pack(pesPacket(0xE0, mpeg2, 900000, 897000));
    evo.packPrivate(0x80, dolby(0x00, 0x00, 0x1E, 0x40, 1792, 1), 900000);
    evo.packPrivate(0xA0, pattern(300), 900000);
    evo.packVc1(0x55, vc1, 3003);
    evo.packPrivate(0x21, pattern(100), 90000);
    write(folder, "evo", 63, 0, evo.bytes());
    // The pack header whose stuffing once led the reader past its bytes.
    write(folder, "stuffing", 63, 0, {0x00, 0x00, 0x01, 0xBA, 0x44, 0, 4, 0, 4, 1, 0, 0, 3, 0xFF, 0xFF});
    return 0;
}
