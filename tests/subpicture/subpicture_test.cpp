// Units made by the test-side encoder go through the decoder and the
// presentation graphics writer and are read back by the strict test reader:
// bitmaps, palettes, places and times must survive; damaged units are skipped
// with a warning naming their PTS while the units around them still convert.
#include "subpicture/pgs_converter.h"
#include "support/pgs_reader.h"
#include "support/subpicture_encoder.h"

#include <gtest/gtest.h>

#include <random>

namespace vantrel::test {
namespace {

using subpicture::Subpicture;

// Rows of runs whose lengths come from every length class (1, 2..9, 10..136,
// longer than one run can say), colours below `colours`.
void randomBitmap(UnitSpec& drawing, unsigned seed, int colours) {
    std::mt19937 rng(seed);
    drawing.pixels.resize(static_cast<std::size_t>(drawing.width) * static_cast<std::size_t>(drawing.height));
    const int classes[][2] = {{1, 1}, {2, 9}, {10, 136}, {137, 400}};
    std::size_t i = 0;
    while (i < drawing.pixels.size()) {
        const auto& c = classes[rng() % 4];
        const int n = c[0] + static_cast<int>(rng() % static_cast<unsigned>(c[1] - c[0] + 1));
        const auto colour = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(colours));
        for (int k = 0; k < n && i < drawing.pixels.size(); ++k) drawing.pixels[i++] = colour;
    }
}

Bytes records(const std::vector<UnitSpec>& specs) {
    Bytes out;
    for (const UnitSpec& s : specs) appendSupRecord(out, s.pts, encodeUnit(s).bytes);
    return out;
}

struct Converted {
    subpicture::StreamFigures figures;
    std::vector<std::string> warnings;
    std::vector<PgsDisplaySet> sets;
};

Converted convert(const Bytes& input) {
    Converted c;
    Bytes pgs;
    c.figures =
        subpicture::convertRecords(input, &pgs, [&](const std::string& w) { c.warnings.push_back(w); });
    const std::string problem = readPgs(pgs, c.sets);
    EXPECT_EQ(problem, "") << "the written stream does not read back";
    return c;
}

void expectShows(const PgsDisplaySet& set, const UnitSpec& drawing) {
    EXPECT_TRUE(set.shows);
    EXPECT_EQ(set.pts, drawing.pts + drawing.startDelay * 1024U);
    EXPECT_EQ(set.frameWidth, 1920);
    EXPECT_EQ(set.frameHeight, 1080);
    EXPECT_EQ(set.forced, drawing.forced);
    EXPECT_EQ(set.x, drawing.x);
    EXPECT_EQ(set.y, drawing.y);
    ASSERT_EQ(set.width, drawing.width);
    ASSERT_EQ(set.height, drawing.height);
    EXPECT_TRUE(set.pixels == drawing.pixels) << "bitmap differs";
    for (std::uint8_t index : drawing.pixels) {
        const PgsEntry& e = set.palette[index];
        ASSERT_TRUE(e.set) << "palette entry " << int(index) << " missing";
        EXPECT_EQ(e.y, drawing.palette[index].y);
        EXPECT_EQ(e.cr, drawing.palette[index].cr);
        EXPECT_EQ(e.cb, drawing.palette[index].cb);
        EXPECT_EQ(e.alpha, 255 - drawing.contrast[index]);
    }
}

struct Shape {
    const char* name;
    ColourBits colours;
    int width, height, colourCount;
    bool toEndOfLine;
};

TEST(Subpicture, EveryShapeSurvivesDecodingAndPresentationGraphics) {
    const Shape shapes[] = {
        {"2-bit, even height", ColourBits::Two, 37, 8, 4, true},
        {"2-bit, odd height", ColourBits::Two, 41, 9, 4, true},
        {"8-bit colours only", ColourBits::Eight, 300, 5, 256, true},
        {"mixed colours, odd height", ColourBits::Mixed, 200, 7, 256, false},
        {"full-width lines", ColourBits::Mixed, 1920, 3, 256, true},
        {"full-width lines without the end-of-line code", ColourBits::Mixed, 1920, 2, 6, false},
        {"one pixel", ColourBits::Two, 1, 1, 4, true},
        {"one line", ColourBits::Mixed, 50, 1, 256, true},
    };
    unsigned seed = 1;
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        UnitSpec drawing;
        fillTestPalette(drawing);
        drawing.contrast[7] = 128; // half transparent
        drawing.pts = 900000 + seed * 100000;
        drawing.startDelay = static_cast<std::uint16_t>(seed);
        drawing.stopDelay = static_cast<std::uint16_t>(90 + seed);
        drawing.forced = seed % 2 == 0;
        drawing.x = 1920 - shape.width - static_cast<int>(seed);
        if (drawing.x < 0) drawing.x = 0;
        drawing.y = 1080 - shape.height - 3 * static_cast<int>(seed);
        drawing.width = shape.width;
        drawing.height = shape.height;
        drawing.colours = shape.colours;
        drawing.toEndOfLine = shape.toEndOfLine;
        randomBitmap(drawing, seed++, shape.colourCount);
        if (shape.width == 1920)
            std::fill_n(drawing.pixels.begin(), 1920, std::uint8_t{5}); // one run across the frame

        Subpicture decoded;
        const Bytes unit = encodeUnit(drawing).bytes;
        ASSERT_EQ(subpicture::decodeUnit(unit, drawing.pts, decoded), "");
        EXPECT_EQ(decoded.startTime(), drawing.pts + drawing.startDelay * 1024U);
        EXPECT_EQ(decoded.stopTime(), drawing.pts + drawing.stopDelay * 1024U);
        EXPECT_TRUE(decoded.palette == drawing.palette);
        EXPECT_TRUE(decoded.contrast == drawing.contrast);
        EXPECT_TRUE(decoded.pixels == drawing.pixels);

        const Converted c = convert(records({drawing}));
        EXPECT_TRUE(c.warnings.empty());
        ASSERT_EQ(c.sets.size(), 2U);
        expectShows(c.sets[0], drawing);
        EXPECT_FALSE(c.sets[1].shows);
        EXPECT_EQ(c.sets[1].pts, drawing.pts + drawing.stopDelay * 1024U);
    }
}

TEST(Subpicture, LargeObjectIsSplitOverSeveralSegmentsAndSequencesAreKeptInOrder) {
    std::vector<UnitSpec> specs(3);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        UnitSpec& s = specs[i];
        fillTestPalette(s);
        s.width = 600;
        s.height = 200;
        s.pts = 4000000000U + static_cast<std::uint32_t>(i) * 150000U; // runs across the 32-bit wrap
        std::mt19937 rng(static_cast<unsigned>(i));
        s.pixels.resize(600 * 200);
        for (auto& p : s.pixels) p = static_cast<std::uint8_t>(1 + rng() % 255); // single pixels: no runs
    }
    specs[1].stopDelay = 200; // still shown when the third starts: replaced, not cleared
    const Converted c = convert(records(specs));
    ASSERT_EQ(c.sets.size(), 5U);
    EXPECT_GE(c.sets[0].objectSegments, 2);
    expectShows(c.sets[0], specs[0]);
    EXPECT_FALSE(c.sets[1].shows);
    expectShows(c.sets[2], specs[1]);
    expectShows(c.sets[3], specs[2]);
    EXPECT_FALSE(c.sets[4].shows);
    EXPECT_EQ(c.figures.converted, 3);
    EXPECT_EQ(c.figures.firstStart, specs[0].pts);
    EXPECT_EQ(c.figures.lastStart, specs[2].pts);
}

TEST(Subpicture, DamagedUnitIsSkippedWithItsPtsNamedAndTheNextUnitStillConverts) {
    UnitSpec good;
    fillTestPalette(good);
    drawText(good, "OK", 2, 1, 2);
    good.x = 100;
    good.y = 900;
    good.pts = 2000000;

    struct Damage {
        const char* name;
        const char* reason;
        void (*apply)(UnitSpec& drawing, EncodedUnit& unit);
    };
    const Damage damages[] = {
        {"truncated unit", "truncated",
         [](UnitSpec&, EncodedUnit& u) { u.bytes.resize(u.bytes.size() / 2); }},
        {"odd lines overlap the even ones", "ends early",
         [](UnitSpec&, EncodedUnit& u) {
             putBe32(u.bytes, u.paletteCommandAt - 256 - 1 - 4, static_cast<std::uint32_t>(u.evenAt + 1));
         }},
        {"both fields at one offset", "share the offset",
         [](UnitSpec&, EncodedUnit& u) {
             putBe32(u.bytes, u.paletteCommandAt - 256 - 1 - 4, static_cast<std::uint32_t>(u.evenAt));
         }},
        {"line offsets outside the unit", "outside the line data",
         [](UnitSpec&, EncodedUnit& u) { putBe32(u.bytes, u.paletteCommandAt - 256 - 1 - 8, 0xFFFFFF); }},
        {"area of 0 x 0", "is empty",
         [](UnitSpec& s, EncodedUnit& u) {
             s.width = s.height = 0;
             s.pixels.clear();
             u = encodeUnit(s);
         }},
        {"area larger than the frame", "larger than the 1920x1080 frame",
         [](UnitSpec& s, EncodedUnit& u) {
             s.x = 1900;
             u = encodeUnit(s);
         }},
        {"palette command cut by the unit's end", "palette command",
         [](UnitSpec&, EncodedUnit& u) {
             u.bytes.resize(u.paletteCommandAt + 1 + 100);
             putBe32(u.bytes, 2, static_cast<std::uint32_t>(u.bytes.size()));
         }},
        {"missing stop command", "no stop command",
         [](UnitSpec&, EncodedUnit& u) { u.bytes[u.stopSequenceAt + 6] = 0xFF; }},
        {"sequence chain that points back", "points back",
         [](UnitSpec&, EncodedUnit& u) {
             u.bytes[u.stopSequenceAt + 6] = 0xFF;
             putBe32(u.bytes, u.stopSequenceAt + 2, static_cast<std::uint32_t>(u.commandsAt));
         }},
        {"runs overflow a line", "overflows line",
         [](UnitSpec& s, EncodedUnit& u) {
             // The area says 3 pixels narrower than the lines are coded.
             s.width -= 3;
             const std::size_t at = u.paletteCommandAt - 256 - 1 - 9 - 6;
             const auto x2 = static_cast<std::uint32_t>(s.x + s.width - 1);
             u.bytes[at + 1] = static_cast<std::uint8_t>((u.bytes[at + 1] & 0xF0) | x2 >> 8);
             u.bytes[at + 2] = static_cast<std::uint8_t>(x2);
         }},
        {"command area outside the unit", "command area offset",
         [](UnitSpec&, EncodedUnit& u) {
             putBe32(u.bytes, 6, static_cast<std::uint32_t>(u.bytes.size() + 100));
         }},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        UnitSpec bad = good;
        bad.pts = 1000000;
        EncodedUnit unit = encodeUnit(bad);
        d.apply(bad, unit);
        Bytes input;
        appendSupRecord(input, bad.pts, unit.bytes);
        appendSupRecord(input, good.pts, encodeUnit(good).bytes);

        const Converted c = convert(input);
        ASSERT_EQ(c.warnings.size(), 1U);
        EXPECT_NE(c.warnings[0].find("PTS 1000000 (0:00:11.111)"), std::string::npos) << c.warnings[0];
        EXPECT_NE(c.warnings[0].find(d.reason), std::string::npos) << c.warnings[0];
        EXPECT_EQ(c.figures.units, 2);
        EXPECT_EQ(c.figures.malformed, 1);
        ASSERT_EQ(c.sets.size(), 2U);
        expectShows(c.sets[0], good);
    }
}

TEST(Subpicture, BytesOutsideAnyRecordAreSkippedAndAUnitWithoutARecordHeaderKeepsTheLastPts) {
    UnitSpec a, b;
    fillTestPalette(a);
    drawText(a, "A", 1, 1, 2);
    b = a;
    b.pts = a.pts + 200000;
    Bytes input = Bytes{'S', 'X', 1, 2, 3};
    appendSupRecord(input, a.pts, encodeUnit(a).bytes);
    input.insert(input.end(), {0x53, 0x50, 9, 9}); // a torn record header
    appendSupRecord(input, b.pts, encodeUnit(b).bytes);
    // A unit right behind b without a record header of its own: b's PTS, its own delays.
    UnitSpec d = b;
    d.startDelay = 100;
    d.stopDelay = 150;
    const Bytes unitD = encodeUnit(d).bytes;
    input.insert(input.end(), unitD.begin(), unitD.end());
    const Converted c = convert(input);
    EXPECT_EQ(c.figures.converted, 3);
    ASSERT_EQ(c.sets.size(), 6U);
    expectShows(c.sets[4], d);
    EXPECT_EQ(c.figures.strayBytes, 9U);
    EXPECT_EQ(c.warnings.size(), 2U);
}

} // namespace
} // namespace vantrel::test
