// sup2pgs and the subpicture figures of info, through the command line: the
// sample disc's demuxed subpicture files convert without a warning, a damaged
// file converts what it can and warns with the unit's PTS (exit 1), a file
// without records fails as unreadable input; info counts each stream's units.
#include "cli_fixture.h"
#include "support/pgs_reader.h"
#include "support/sample_disc.h"
#include "support/subpicture_encoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace vantrel::cli::test {
namespace {

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(CliSup2pgs, SampleDiscSubpicturesDamagedFilesAndInfoFigures) {
    ScratchDir dir;
    const auto disc =
        vantrel::test::writeSampleDisc(dir.path("disc"), 100); // subtitles on frames 0, 48, 96, 144
    const CliResult demuxed = cli({"demux", disc.feature1, "-o", dir.path(), "--tracks", "cbSub00,cbSub01"});
    ASSERT_EQ(demuxed.code, 0) << demuxed.err;
    // The video starts at 1 s; demux says so, and how to shift.
    EXPECT_NE(
        demuxed.err.find("the video of FEATURE_1.EVO starts at 1.000 s (PTS 90000); its demuxed files start "
                         "at 0, while the subpicture files keep the disc's times: vantrel-cli sup2pgs "
                         "FILE.sup --shift 1.000 puts them in step"),
        std::string::npos)
        << demuxed.err;

    // Both streams of the two parts: four subtitles each.
    for (const char* name : {"FEATURE_1_2.Subpicture.00.sup", "FEATURE_1_2.Ext.Subpicture.01.sup"}) {
        SCOPED_TRACE(name);
        const CliResult r = cli({"--json", "sup2pgs", dir.path(name), "-o", dir.path("out.sup"), "--force"});
        ASSERT_EQ(r.code, 0) << r.err;
        const auto j = r.json();
        EXPECT_EQ(j["units"], 4);
        EXPECT_EQ(j["converted"], 4);
        EXPECT_EQ(j["malformed"], 0);
        EXPECT_EQ(j["first_display_pts"], 90000);
        std::vector<vantrel::test::PgsDisplaySet> sets;
        EXPECT_EQ(vantrel::test::readPgs(bytesOf(dir.path("out.sup")), sets), "");
        EXPECT_EQ(sets.size(), 8U);
    }

    // Shifted to the demuxed video's start: ffprobe reads the display sets' times.
    struct ShiftRow {
        std::vector<std::string> args;
        int code;
        std::string firstTime; // ffprobe's first packet time; "" for a refusal
        int converted = 4;
    };
    const std::vector<ShiftRow> shifts = {
        {{"--shift", "1"}, 0, "0.000000"},
        {{"--evo", disc.feature1}, 0, "0.000000"},
        {{"--shift", "-0.5"}, 0, "1.500000"},
        {{"--shift", "2"}, 1, "1.002000", 3}, // the first subtitle would start before 0: left out
        {{"--shift", "1s"}, 2, ""},
        {{"--shift", "1", "--evo", disc.feature1}, 2, ""},
    };
    for (const ShiftRow& row : shifts) {
        SCOPED_TRACE(row.args.front() + " " + row.args.back());
        std::vector<std::string> args = {
            "--json", "sup2pgs", dir.path("FEATURE_1_2.Subpicture.00.sup"), "-o", dir.path("shifted.sup"),
            "--force"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const CliResult r = cli(args);
        ASSERT_EQ(r.code, row.code) << r.err;
        if (row.firstTime.empty()) continue;
        EXPECT_EQ(r.json()["converted"], row.converted);
        std::string first;
        if (haveProgram("ffprobe")) {
            ASSERT_EQ(shell("ffprobe -v error -show_entries packet=pts_time -of csv=p=0 '" +
                                dir.path("shifted.sup") + "' | head -1",
                            &first),
                      0);
            EXPECT_EQ(first, row.firstTime + "\n");
        }
    }

    // The first unit cut short, the file's last bytes torn off: the two units
    // between still convert.
    auto records = bytesOf(dir.path("FEATURE_1_2.Subpicture.00.sup"));
    ASSERT_GT(records.size(), 4000U);
    records.erase(records.begin() + 200, records.begin() + 300);
    records.erase(records.end() - 700, records.end());
    writeBytes(dir.path("damaged.sup"), records);
    CliResult r = cli({"sup2pgs", dir.path("damaged.sup")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(
        r.err.find("warning: Subpicture unit at PTS 90000 (0:00:01.000) skipped: the unit is truncated"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("2 of 4 subpictures"), std::string::npos) << r.out;
    EXPECT_GT(bytesOf(dir.path("damaged.pgs.sup")).size(), 0U);

    writeBytes(dir.path("none.sup"), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    r = cli({"sup2pgs", dir.path("none.sup")});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("holds no subpicture record"), std::string::npos) << r.err;
    EXPECT_EQ(cli({"sup2pgs", dir.path("missing.sup")}).code, 3);
    EXPECT_EQ(cli({"sup2pgs", dir.path("none.sup"), "extra"}).code, 2);

    // mux-prep: each subpicture stream as a PGS file with the playlist's
    // language and name in the muxer's options; mkvmerge takes those tracks.
    const std::string prep = dir.path("prep") + "/";
    std::filesystem::create_directories(prep);
    r = cli({"mux-prep", dir.path("disc"), "--title", "1", "-o", prep});
    ASSERT_LE(r.code, 1) << r.err;
    const auto options = nlohmann::json::parse(std::ifstream(prep + "mux.json"));
    std::vector<std::string> subtitleArgs; // the option groups of the .pgs.sup files
    std::vector<std::string> group;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::string item = options[i];
        if (item.rfind("--", 0) == 0) {
            group.push_back("'" + item + "' '" + options[++i].get<std::string>() + "'");
        } else if (item != "+") {
            if (item.ends_with(".pgs.sup")) {
                subtitleArgs.insert(subtitleArgs.end(), group.begin(), group.end());
                subtitleArgs.push_back("'" + item + "'");
            }
            group.clear();
        }
    }
    std::string command = "mkvmerge -q -o '" + prep + "subs.mkv'";
    for (const std::string& a : subtitleArgs)
        if (a.rfind("'--output'", 0) != 0 && a.rfind("'--title'", 0) != 0 && a.rfind("'--chapters'", 0) != 0)
            command += " " + a;
    ASSERT_EQ(shell(command), 0) << command;
    std::string identify;
    ASSERT_EQ(shell("mkvmerge -J '" + prep + "subs.mkv'", &identify), 0);
    const auto tracks = nlohmann::json::parse(identify)["tracks"];
    ASSERT_EQ(tracks.size(), 2U) << identify;
    const std::pair<const char*, const char*> labels[] = {{"eng", "English"}, {"fre", "Notes"}};
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(tracks[i]["codec"], "HDMV PGS");
        EXPECT_EQ(tracks[i]["properties"]["language"], labels[i].first);
        EXPECT_EQ(tracks[i]["properties"]["track_name"], labels[i].second);
    }

    // info: per subpicture stream of each file, its units and display times.
    r = cli({"--json", "info", disc.feature1});
    ASSERT_EQ(r.code, 0) << r.err;
    int streams = 0;
    const auto info = r.json();
    for (const auto& file : info["titles"][0]["files"]) {
        for (const auto& s : file["streams"]) {
            if (s["kind"] != "subpicture") continue;
            ++streams;
            EXPECT_EQ(s["malformed_units"], 0);
            EXPECT_EQ(s["units"], file["name"] == "FEATURE_1.EVO" ? 3 : 1);
            EXPECT_EQ(s["first_display_pts"],
                      file["name"] == "FEATURE_1.EVO" ? 90000 : 90000 + 144 * 15015 / 4);
        }
    }
    EXPECT_EQ(streams, 4);
}

} // namespace
} // namespace vantrel::cli::test
