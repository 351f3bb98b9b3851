// The file written in one pass (--muxer internal) held against the one
// mkvmerge makes of the prepared files (--muxer mkvmerge), title by title:
// the same tracks in the same order with the same codec ids, languages,
// names and flags and the same chapters (mkvmerge -J), and per track the same
// packets with the same payloads, each within 1 ms of the other's time
// (ffprobe, the blocks as they are).
#include "cli_fixture.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <map>

namespace vantrel::cli::test {
namespace {

using nlohmann::json;

json jsonOf(const std::string& command) {
    std::string text;
    EXPECT_EQ(shell(command, &text), 0) << command;
    return json::parse(text, nullptr, false);
}

// What mkvmerge -J says of each track and of the chapters, as one text per track.
std::vector<std::string> identification(const std::string& file, int& chapters) {
    const json j = jsonOf("mkvmerge -J '" + file + "'");
    std::vector<std::string> tracks;
    for (const json& t : j.value("tracks", json::array())) {
        const json p = t.value("properties", json::object());
        std::string line = t.value("type", "") + " " + p.value("codec_id", "") + " " +
                           p.value("language", "") + " \"" + p.value("track_name", "") + "\"";
        for (const char* flag : {"default_track", "forced_track", "flag_commentary", "flag_hearing_impaired",
                                 "flag_visual_impaired"})
            if (p.value(flag, false)) line += std::string(" ") + flag;
        tracks.push_back(line);
    }
    chapters = 0;
    for (const json& c : j.value("chapters", json::array())) chapters += c.value("num_entries", 0);
    return tracks;
}

struct Packet {
    double seconds = 0;
    std::string hash;
};

// Every packet of every stream, in time order, with its payload's hash.
std::map<int, std::vector<Packet>> packets(const std::string& file) {
    const json j =
        jsonOf("ffprobe -v quiet -fflags +noparse -show_packets -show_data_hash MD5 -of json '" + file + "'");
    std::map<int, std::vector<Packet>> out;
    for (const json& p : j.value("packets", json::array())) {
        Packet k;
        const std::string at = p.value("pts_time", p.value("dts_time", "0"));
        k.seconds = std::stod(at);
        k.hash = p.value("data_hash", "");
        out[p.value("stream_index", -1)].push_back(k);
    }
    for (auto& [stream, list] : out)
        std::stable_sort(list.begin(), list.end(),
                         [](const Packet& a, const Packet& b) { return a.seconds < b.seconds; });
    return out;
}

struct Row {
    const char* what;
    std::string disc;
    std::vector<std::string> args;
};

TEST(MkvMuxers, OnePassFileIsMkvmergesFile) {
    for (const char* p : {"mkvmerge", "ffprobe"})
        if (!haveProgram(p)) GTEST_SKIP() << p << " missing";
    ScratchDir dir;
    const vantrel::test::SampleDisc sample = vantrel::test::writeSampleDisc(dir.path("sample"));
    const vantrel::test::ThreeClipDisc three = vantrel::test::writeThreeClipDisc(dir.path("three"));
    // Its clips end where its files do, 5 s before its titleDuration.
    const vantrel::test::SampleDisc shorter = vantrel::test::writeSampleDisc(dir.path("short"), 120);
    const std::vector<Row> rows = {
        {"the sample disc's title of two parts", sample.root, {"--title", "1"}},
        {"the longest title of three clips, a join rounded either way", three.root, {}},
        {"a clip from half a second into its EVO", three.root, {"--title", "4"}},
        {"a titleDuration past the last clip's end", shorter.root, {}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string& disc = row.disc;
        std::string files[2];
        const char* muxers[2] = {"internal", "mkvmerge"};
        for (int m = 0; m < 2; ++m) {
            files[m] = dir.path(std::to_string(n) + "." + muxers[m] + ".mkv");
            std::vector<std::string> args = {"mkv", disc, "-o", files[m], "--muxer", muxers[m]};
            args.insert(args.end(), row.args.begin(), row.args.end());
            const CliResult r = cli(args);
            ASSERT_LE(r.code, 1) << muxers[m] << ": " << r.err;
        }
        ++n;
        int chapters[2] = {0, 0};
        std::vector<std::string> tracks = identification(files[0], chapters[0]);
        const std::vector<std::string> reference = identification(files[1], chapters[1]);
        // The tracks are laid out before the pass: a subpicture stream none
        // of whose units converts keeps its track, empty, where mkvmerge's
        // file has none.
        while (tracks.size() > reference.size() && tracks.back().rfind("subtitles ", 0) == 0)
            tracks.pop_back();
        EXPECT_EQ(tracks, reference);
        EXPECT_EQ(chapters[0], chapters[1]);
        const auto ours = packets(files[0]);
        const auto theirs = packets(files[1]);
        ASSERT_EQ(ours.size(), theirs.size()); // the empty tracks hold no packet
        for (const auto& [stream, list] : theirs) {
            SCOPED_TRACE("stream " + std::to_string(stream));
            const auto& mine = ours.at(stream);
            ASSERT_EQ(mine.size(), list.size());
            EXPECT_FALSE(list.empty());
            double worst = 0;
            int hashes = 0;
            for (std::size_t i = 0; i < list.size(); ++i) {
                worst = std::max(worst, std::fabs(mine[i].seconds - list[i].seconds));
                hashes += mine[i].hash == list[i].hash ? 0 : 1;
            }
            EXPECT_LE(worst, 0.0010001);
            EXPECT_EQ(hashes, 0) << "packets whose payload differs";
        }
    }
}

} // namespace
} // namespace vantrel::cli::test
