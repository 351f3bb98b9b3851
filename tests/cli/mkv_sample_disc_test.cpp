// The sample disc through `vantrel-cli mkv`: every stream of its title muxes
// without a warning, and mkvmerge -J of the result names each track's codec,
// language and name, the subtitle tracks as PGS, and the three chapters; the
// file lasts as long as the title (12.5 s) within the check's second.
#include "cli_fixture.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

namespace vantrel::cli::test {
namespace {

TEST(CliMkvSampleDisc, EveryTrackMuxesWithItsLanguageAndName) {
    if (!haveProgram("mkvmerge")) GTEST_SKIP() << "mkvmerge missing";
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"));
    const std::string out = dir.path("feature.mkv");
    const CliResult r = cli({"mkv", disc.root, "--title", "1", "-o", out});
    ASSERT_EQ(r.code, 0) << r.err;

    std::string identify;
    ASSERT_EQ(shell("mkvmerge -J '" + out + "'", &identify), 0);
    const auto j = nlohmann::json::parse(identify);
    struct Expected {
        const char* type;
        const char* codec;
        const char* language;
        const char* name;
        bool isDefault;
    };
    // Audio in the disc's stream order: the first audio (DD+ 0xC0) is the default one.
    const Expected expected[] = {
        {"video", "VC-1", "und", "Sample feature", true}, {"video", "MPEG-1/2", "und", "", false},
        {"audio", "E-AC-3", "eng", "English", true},      {"audio", "AC-3", "eng", "Commentary", false},
        {"audio", "DTS", "ger", "German", false},         {"audio", "PCM", "und", "Stereo", false},
        {"audio", "MLP", "jpn", "Lossless", false},       {"subtitles", "HDMV PGS", "eng", "English", false},
        {"subtitles", "HDMV PGS", "fre", "Notes", false},
    };
    ASSERT_EQ(j["tracks"].size(), std::size(expected)) << identify;
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        const auto& t = j["tracks"][i];
        EXPECT_EQ(t["type"], expected[i].type);
        EXPECT_EQ(t["codec"], expected[i].codec);
        EXPECT_EQ(t["properties"]["language"], expected[i].language);
        EXPECT_EQ(t["properties"].value("track_name", ""), expected[i].name);
        EXPECT_EQ(t["properties"]["default_track"], expected[i].isDefault);
    }
    ASSERT_EQ(j["chapters"].size(), 1U);
    EXPECT_EQ(j["chapters"][0]["num_entries"], 3);
    const double seconds = j["container"]["properties"]["duration"].get<double>() / 1e9;
    EXPECT_NEAR(seconds, 12.5, 1.0);
}

} // namespace
} // namespace vantrel::cli::test
