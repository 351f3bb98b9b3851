// Arbitrary bytes as a subpicture record stream and as one bare unit: every
// unit that decodes is written as presentation graphics and read back by the
// strict test reader, and the bitmap, place and palette must agree with the
// decoded ones (decode, encode, decode again). The whole stream through the
// converter must give a stream that reads back, and the bytes as packet
// payload through the EVO collector must keep its counts consistent.
#include "subpicture/evo_subpictures.h"
#include "subpicture/pgs_converter.h"
#include "support/pgs_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

using namespace vantrel;
using namespace vantrel::subpicture;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void roundTrip(std::span<const std::uint8_t> unit, std::uint32_t pts) {
    static Subpicture picture;
    if (!decodeUnit(unit, pts, picture).empty()) return;
    check(picture.width > 0 && picture.height > 0 && picture.x + picture.width <= kFrameWidth &&
          picture.y + picture.height <= kFrameHeight);
    check(picture.pixels.size() ==
          static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height));
    PgsWriter writer;
    std::vector<std::uint8_t> pgs;
    writer.show(picture, picture.startTime(), pgs);
    writer.clear(picture.stopTime(), pgs);
    std::vector<test::PgsDisplaySet> sets;
    check(test::readPgs(pgs, sets).empty());
    check(sets.size() == 2 && sets[0].shows && !sets[1].shows);
    const test::PgsDisplaySet& shown = sets[0];
    check(shown.pts == picture.startTime() && sets[1].pts == picture.stopTime());
    check(shown.x == picture.x && shown.y == picture.y && shown.width == picture.width &&
          shown.height == picture.height && shown.forced == picture.forced);
    check(shown.pixels == picture.pixels);
    for (std::uint8_t index : picture.pixels) {
        const test::PgsEntry& e = shown.palette[index];
        const YCrCb& c = picture.palette[index];
        check(e.set && e.y == c.y && e.cr == c.cr && e.cb == c.cb &&
              e.alpha == 255 - picture.contrast[index]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    roundTrip(bytes, 0);

    SupRecordReader reader(bytes);
    UnitRecord record;
    std::size_t records = 0;
    while (reader.next(record)) {
        check(++records <= size); // every record moves the walk forward
        if (!record.stray) roundTrip(record.unit, record.pts);
    }

    // Each record's unit as packet payload of one stream, cut into pieces of a
    // size the input's first byte sets, the first piece with the record's PTS.
    EvoSubpictureCollector collector({}, [](int) -> PgsSink { return [](std::span<const std::uint8_t>) {}; });
    const std::size_t piece = size > 0 ? 1 + data[0] % 97 : 1;
    SupRecordReader units(bytes);
    while (units.next(record)) {
        if (record.stray) continue;
        for (std::size_t at = 0; at < record.unit.size(); at += piece)
            collector.payload(static_cast<int>(record.pts & 1),
                              at == 0 ? std::optional<std::uint32_t>(record.pts) : std::nullopt,
                              record.unit.data() + at, std::min(piece, record.unit.size() - at));
    }
    collector.finish();
    for (const EvoSubpictureStream& s : collector.streams())
        check(s.figures.converted + s.figures.malformed == s.figures.units);

    std::vector<std::uint8_t> pgs;
    int warnings = 0;
    const StreamFigures figures = convertRecords(bytes, &pgs, [&](const std::string&) { ++warnings; });
    check(figures.converted + figures.malformed == figures.units);
    std::vector<test::PgsDisplaySet> sets;
    check(test::readPgs(pgs, sets).empty());
    return 0;
}
