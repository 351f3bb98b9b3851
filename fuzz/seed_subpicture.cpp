// Writes subpicture record streams into the folder given as argv[1]: 2-bit and
// 8-bit units of small areas, odd and even heights, several units in a row,
// and the damaged shapes the decoder must skip.
#include "support/subpicture_encoder.h"

#include <fstream>
#include <iostream>
#include <string>

using namespace vantrel::test;

namespace {

UnitSpec small(int width, int height, ColourBits colours, std::uint32_t pts) {
    UnitSpec s;
    fillTestPalette(s);
    s.width = width;
    s.height = height;
    s.x = 30;
    s.y = 40;
    s.pts = pts;
    s.colours = colours;
    s.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const int top = colours == ColourBits::Two ? 4 : 256;
    for (std::size_t i = 0; i < s.pixels.size(); ++i)
        s.pixels[i] = static_cast<std::uint8_t>((i / 3 + i / 17) % static_cast<std::size_t>(top));
    return s;
}

void write(const std::string& folder, const std::string& name, const Bytes& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: seed_subpicture FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];
    int n = 0;
    auto record = [&](const UnitSpec& s, EncodedUnit u) {
        Bytes out;
        appendSupRecord(out, s.pts, u.bytes);
        write(folder, "unit" + std::to_string(n++), out);
    };
    const UnitSpec shapes[] = {small(8, 4, ColourBits::Two, 90000), small(9, 5, ColourBits::Eight, 90000),
                               small(140, 3, ColourBits::Mixed, 180000), small(1, 1, ColourBits::Two, 1)};
    for (const UnitSpec& s : shapes) record(s, encodeUnit(s));
    UnitSpec text;
    fillTestPalette(text);
    drawText(text, "HI", 1, 1, 2);
    record(text, encodeUnit(text));

    // Damaged: cut in half, palette cut by the unit's end, no stop.
    EncodedUnit cut = encodeUnit(shapes[0]);
    cut.bytes.resize(cut.bytes.size() / 2);
    record(shapes[0], cut);
    EncodedUnit palette = encodeUnit(shapes[1]);
    palette.bytes.resize(palette.paletteCommandAt + 50);
    putBe32(palette.bytes, 2, static_cast<std::uint32_t>(palette.bytes.size()));
    record(shapes[1], palette);
    EncodedUnit noStop = encodeUnit(shapes[2]);
    noStop.bytes[noStop.stopSequenceAt + 6] = 0xFF;
    record(shapes[2], noStop);

    // A stream of several units, overlapping in time.
    Bytes stream;
    for (std::uint32_t i = 0; i < 3; ++i) {
        UnitSpec s =
            small(6 + static_cast<int>(i), 2 + static_cast<int>(i), ColourBits::Mixed, 90000 + i * 60000);
        appendSupRecord(stream, s.pts, encodeUnit(s).bytes);
    }
    write(folder, "stream", stream);
    // A bare unit, for the path that reads the input as one unit.
    write(folder, "bare", encodeUnit(shapes[1]).bytes);
    return 0;
}
