// --tracks reads alike in every command: box names, stream codes, the captions
// info prints (with or without the playlist's description) and ISO 639
// languages pick the same streams, and a name that fits none lists the names
// there are. The files each run writes say what was picked; for mkv, mkvmerge -J.
#include "cli_fixture.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

namespace vantrel::cli::test {
namespace {

namespace fs = std::filesystem;

// The stream files of a folder (not the option files, chapters and manifest).
std::vector<std::string> streamFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : folderContents(folder))
        if (!name.ends_with(".json") && !name.ends_with(".xml")) names.push_back(name);
    return names;
}

TEST(CliTrackNames, EveryCommandTakesTheSameNames) {
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"));
    struct Row {
        std::string command;
        std::string tracks;
        int code;
        std::vector<std::string> files; // what the run writes (mkv: the codecs mkvmerge -J names)
        std::string errHas = {};
    };
    const std::vector<Row> rows = {
        {"demux", "cbSub00", 0, {"FEATURE_1_2.Subpicture.00.sup"}},
        {"demux", "DD+.6ch.stream.00.English", 0, {"FEATURE_1_2.DD+.stream.00.mpa"}},
        {"demux",
         "eng",
         0,
         {"FEATURE_1_2.DD+.stream.00.mpa", "FEATURE_1_2.DD.stream.01.mpa", "FEATURE_1_2.Subpicture.00.sup"}},
        {"mux-prep",
         "cbVideo0,cbSub00",
         0,
         {"FEATURE_1_2.Subpicture.00.pgs.sup", "FEATURE_1_2.VC-1.stream.0.vc1"}},
        {"mux-prep",
         "DD+.6ch.stream.00,FRE",
         0,
         {"FEATURE_1_2.DD+.stream.00.part1.eac3", "FEATURE_1_2.DD+.stream.00.part2.eac3",
          "FEATURE_1_2.Ext.Subpicture.01.pgs.sup"}},
        {"mkv", "0x55,de,8bitRLE.stream.01.Notes", 0, {"VC-1", "DTS", "HDMV PGS"}},
        {"mux-prep",
         "nosuch",
         2,
         {},
         "error: --tracks: nosuch names no stream of title 1 (it has: cbVideo0 0x55 "},
        {"demux",
         "cbAudio09",
         2,
         {},
         "error: --tracks: cbAudio09 holds no stream in FEATURE_1.EVO (it has: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command + " --tracks " + row.tracks);
        if (row.command == "mkv" && !haveProgram("mkvmerge")) continue;
        const std::string out = dir.path("out-" + std::to_string(&row - rows.data()));
        const bool mkv = row.command == "mkv";
        const CliResult r =
            cli({"--quiet", row.command, disc.root, "--tracks", row.tracks, "-o", mkv ? out + ".mkv" : out});
        ASSERT_EQ(r.code, row.code) << r.err;
        if (!row.errHas.empty()) {
            EXPECT_EQ(r.err.rfind(row.errHas, 0), 0u) << r.err;
            EXPECT_FALSE(fs::exists(out));
            continue;
        }
        if (!mkv) {
            EXPECT_EQ(streamFiles(out), row.files);
            continue;
        }
        std::string identify;
        ASSERT_EQ(shell("mkvmerge -J '" + out + ".mkv'", &identify), 0);
        std::vector<std::string> codecs;
        const nlohmann::json j = nlohmann::json::parse(identify);
        for (const auto& t : j["tracks"]) codecs.push_back(t["codec"]);
        EXPECT_EQ(codecs, row.files) << identify;
    }
}

} // namespace
} // namespace vantrel::cli::test
