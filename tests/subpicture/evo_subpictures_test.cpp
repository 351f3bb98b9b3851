// The sample disc's subpicture streams, read straight from the EVO and through
// the demux run's .sup file: real units with text that shows, the same
// presentation graphics both ways.
#include "runs/runs_fixture.h"
#include "subpicture/evo_subpictures.h"
#include "support/evo_subpicture_pass.h"
#include "support/pgs_reader.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace vantrel::test {
namespace {

TEST(EvoSubpictures, SampleDiscStreamsGiveTheSameTextDirectlyAndThroughTheDemuxedFile) {
    ScratchDir dir;
    const SampleDisc disc = writeSampleDisc(dir / "disc", 100); // subtitles on frames 0, 48 and 96 of part 1

    std::map<int, Bytes> direct;
    std::vector<std::string> warnings;
    subpicture::EvoSubpictureCollector collector(
        [&](const std::string& w) { warnings.push_back(w); },
        [&](int index) {
            return [&direct, index](std::span<const std::uint8_t> b) {
                direct[index].insert(direct[index].end(), b.begin(), b.end());
            };
        });
    collectEvoSubpictures(disc.feature1, collector);
    EXPECT_TRUE(warnings.empty());

    Session s;
    s.window.options[Option::Continue] = false;
    s.chooseSource(disc.feature1);
    bCheckClick(s.core);
    s.window.setFieldText(Field::Workdir, dir.path());
    bDemuxClick(s.core);

    const std::pair<int, const char*> streams[] = {{0, "Subpicture.00"}, {1, "Ext.Subpicture.01"}};
    for (const auto& [index, caption] : streams) {
        SCOPED_TRACE(caption);
        const auto& stream = collector.streams()[static_cast<std::size_t>(index)];
        EXPECT_TRUE(stream.present);
        EXPECT_EQ(stream.figures.units, 3);
        EXPECT_EQ(stream.figures.converted, 3);
        EXPECT_EQ(stream.figures.malformed, 0);
        EXPECT_EQ(stream.figures.firstStart, 90000U);
        EXPECT_EQ(stream.figures.lastStart, 90000U + 96 * 15015 / 4);

        Bytes fromFile;
        const auto figures = subpicture::convertRecords(
            readFile(dir / (std::string("FEATURE_1.") + caption + ".sup")), &fromFile, {});
        EXPECT_EQ(figures.converted, 3);
        EXPECT_TRUE(fromFile == direct[index]) << "the demuxed file converts differently";

        std::vector<PgsDisplaySet> sets;
        ASSERT_EQ(readPgs(direct[index], sets), "");
        ASSERT_EQ(sets.size(), 6U);
        for (std::size_t i = 0; i < sets.size(); i += 2) {
            ASSERT_TRUE(sets[i].shows);
            EXPECT_FALSE(sets[i + 1].shows);
            // Text: opaque fill and outline pixels, a transparent background around them.
            const auto opaque =
                std::count_if(sets[i].pixels.begin(), sets[i].pixels.end(),
                              [&](std::uint8_t p) { return sets[i].palette[p].alpha == 255; });
            EXPECT_GT(opaque, static_cast<long>(sets[i].pixels.size() / 10));
            EXPECT_LT(opaque, static_cast<long>(sets[i].pixels.size()));
            EXPECT_GT(sets[i].width, 300);
        }
    }
}

} // namespace
} // namespace vantrel::test
