// Chapter files as a muxer reads them: mkvmerge muxes each format, and the
// chapter starts that mkvmerge and ffprobe read back equal ours within 1 ms.
#include "cli_fixture.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace vantrel::cli::test {
namespace {

using nlohmann::json;

// Our chapter starts, in ms, as the JSON form gives them.
std::vector<double> ourStarts(const std::vector<std::string>& args) {
    std::vector<std::string> full = {"--quiet", "chapters"};
    full.insert(full.end(), args.begin(), args.end());
    full.insert(full.end(), {"--format", "json"});
    const CliResult r = cli(full);
    EXPECT_EQ(r.code, 0) << r.err;
    std::vector<double> starts;
    const json parsed = r.json();
    for (const json& c : parsed["chapters"]) starts.push_back(c["start_ms"].get<double>());
    return starts;
}

void expectReadBack(const ScratchDir& dir, const std::vector<std::string>& args,
                    const std::vector<double>& want) {
    // A subtitle track long enough to hold every chapter is all mkvmerge needs.
    const std::string srt = dir.path("track.srt");
    std::ofstream(srt)
        << "1\n00:00:00,000 --> 00:00:01,000\nstart\n\n2\n02:00:00,000 --> 02:00:01,000\nend\n";
    for (const std::string format : {"ogm", "xml"}) {
        SCOPED_TRACE(format);
        const std::string chapters = dir.path("chapters." + format);
        const std::string mkv = dir.path("t." + format + ".mkv");
        std::vector<std::string> full = {"--quiet", "chapters"};
        full.insert(full.end(), args.begin(), args.end());
        full.insert(full.end(), {"--format", format, "-o", chapters, "--force"}); // one file, written again
        const CliResult r = cli(full);
        ASSERT_EQ(r.code, 0) << r.err;
        std::string log;
        ASSERT_EQ(
            shell("mkvmerge -q -o '" + mkv + "' --chapters '" + chapters + "' '" + srt + "' 2>&1", &log), 0)
            << log;

        std::string identify;
        ASSERT_EQ(shell("mkvmerge -J '" + mkv + "'", &identify), 0);
        const json id = json::parse(identify);
        ASSERT_EQ(id["chapters"].size(), 1u);
        EXPECT_EQ(id["chapters"][0]["num_entries"], want.size());

        std::string probe;
        ASSERT_EQ(shell("ffprobe -v error -show_chapters -of json '" + mkv + "'", &probe), 0);
        const json chaptersRead = json::parse(probe)["chapters"];
        ASSERT_EQ(chaptersRead.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            const double ms = std::stod(chaptersRead[i]["start_time"].get<std::string>()) * 1000.0;
            EXPECT_NEAR(ms, want[i], 1.0) << "chapter " << i + 1;
        }
    }
}

TEST(CliChapters, MkvmergeAndFfprobeReadThemAtOurTimes) {
    if (!haveProgram("mkvmerge") || !haveProgram("ffprobe")) GTEST_SKIP() << "mkvmerge or ffprobe missing";
    ScratchDir dir;
    // A real playlist without its EVO files, read at 59.94: sixteen chapters up to 53:46:00, at 3229.226 s.
    const std::string xpl = std::string(VANTREL_DATA_DIR) + "/authoring-test-playlist.XPL";
    if (std::filesystem::exists(xpl)) {
        const std::vector<double> starts = ourStarts({xpl, "--title", "2"});
        ASSERT_EQ(starts.size(), 16u);
        EXPECT_DOUBLE_EQ(starts[15], (53 * 60 + 46) * 1001.0);
        expectReadBack(dir, {xpl, "--title", "2"}, starts);
    }
    // The sample disc, whose PTS span calls for 24000/1001: 4.004 s and 8.008 s.
    vantrel::test::writeSampleDisc(dir.path("disc"));
    const std::vector<double> starts = ourStarts({dir.path("disc"), "--title", "1"});
    EXPECT_EQ(starts, (std::vector<double>{0.0, 4004.0, 8008.0}));
    expectReadBack(dir, {dir.path("disc"), "--title", "1"}, starts);
}

TEST(CliChapters, ClockOptionAndItsReport) {
    ScratchDir dir;
    vantrel::test::writeSampleDisc(dir.path("disc"), 20);
    const std::string xpl = dir.path("disc/ADV_OBJ/VPLST000.XPL");
    struct Case {
        std::vector<std::string> clock;
        std::string line2; // the second chapter, at 96 frames of 24 fps
        std::string report;
    };
    const Case cases[] = {
        {{"--clock", "24"}, "CHAPTER02=00:00:04.000", "clock 24: --clock 24"},
        {{"--clock", "23.976"}, "CHAPTER02=00:00:04.004", "clock 23.976: --clock 23.976"},
        // 20 + 11 frames of 3754 ticks span 1.293 s: the exact 12.5 s is nearer than 12.5125 s.
        {{},
         "CHAPTER02=00:00:04.000",
         "clock 24: titleDuration is 12.500 s at 24 and 12.512 s at 23.976; the "
         "video PTS span is 1.293 s; 24 is closer"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"chapters", xpl};
        args.insert(args.end(), c.clock.begin(), c.clock.end());
        const CliResult r = cli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(c.line2 + "\nCHAPTER02NAME=Middle\n"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.report), std::string::npos) << r.err;
    }
    const CliResult wrong = cli({"chapters", xpl, "--clock", "59.94"});
    EXPECT_EQ(wrong.code, 2);
    EXPECT_NE(wrong.err.find("--clock takes auto, 24 or 23.976"), std::string::npos) << wrong.err;
}

} // namespace
} // namespace vantrel::cli::test
