// A feature of three clips through `vantrel-cli mkv`, judged by mkvmerge -J,
// ffprobe's packets and ffmpeg's decode: without --title the longest title is
// taken; every video frame and every audio frame of every clip is there, a
// join rounded a tick either way loses nothing, each clip's audio starts at
// its own time, the LPCM samples are the source's, and a video-only clip adds
// only video. Titles of one clip: the playlist, not the file names, decides
// the files; a clip starting inside its EVO gives only its span.
#include "cli_fixture.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <sstream>

namespace vantrel::cli::test {
namespace {

namespace fs = std::filesystem;

// The time of every packet of one stream of a file, from ffprobe: its PTS,
// or its DTS where the demuxer gives none (VC-1 in Matroska).
std::vector<double> packetTimes(const std::string& file, const std::string& stream) {
    std::string text;
    shell("ffprobe -v error -select_streams " + stream +
              " -show_entries packet=pts_time,dts_time -of csv=p=0 '" + file + "' 2>/dev/null",
          &text);
    std::vector<double> times;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        const std::size_t comma = line.find(',');
        const std::string pts = line.substr(0, comma);
        times.push_back(std::stod(pts != "N/A" ? pts : line.substr(comma + 1)));
    }
    return times;
}

// The packets' data hashes of one stream (ffprobe -show_data_hash).
std::vector<std::string> packetHashes(const std::string& file, const std::string& stream) {
    std::string text;
    shell("ffprobe -v error -select_streams " + stream + " -show_packets -show_data_hash md5 '" + file +
              "' 2>/dev/null",
          &text);
    std::vector<std::string> hashes;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind("data_hash=", 0) == 0) hashes.push_back(line.substr(10));
    return hashes;
}

// ffmpeg's decode of one audio stream as raw 16-bit samples, md5.
std::string decodedMd5(const std::string& inputs, const std::string& map) {
    std::string text;
    shell("ffmpeg -v error " + inputs + " -map " + map + " -f s16le -c:a pcm_s16le - 2>/dev/null | md5sum",
          &text);
    return text.substr(0, 32);
}

std::uint64_t frames(std::uint64_t from, std::uint64_t to, std::uint64_t ticks) {
    return (to - from) / ticks;
}

class ThreeClips : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new ScratchDir;
        s_disc = new vantrel::test::ThreeClipDisc(vantrel::test::writeThreeClipDisc(s_dir->path("disc")));
    }
    static void TearDownTestSuite() {
        delete s_disc;
        delete s_dir;
    }
    void SetUp() override {
        for (const char* p : {"mkvmerge", "ffprobe", "ffmpeg"})
            if (!haveProgram(p)) GTEST_SKIP() << p << " missing";
    }
    static ScratchDir* s_dir;
    static vantrel::test::ThreeClipDisc* s_disc;
};
ScratchDir* ThreeClips::s_dir = nullptr;
vantrel::test::ThreeClipDisc* ThreeClips::s_disc = nullptr;

TEST_F(ThreeClips, TheLongestTitleWithEveryFrameOfEveryClip) {
    const auto& d = *s_disc;
    const std::string out = s_dir->path("feature.mkv");
    const CliResult r = cli({"mkv", d.root, "-o", out});
    ASSERT_EQ(r.code, 0) << r.err; // the joins within a tick are no warning
    EXPECT_NE(r.err.find("title 2 (Feature), the longest"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("DD+.stream.00 is not in INTERPOL.EVO"), std::string::npos) << r.err;

    std::string identify;
    ASSERT_EQ(shell("mkvmerge -J '" + out + "'", &identify), 0);
    const auto j = nlohmann::json::parse(identify);
    ASSERT_EQ(j["tracks"].size(), 9U) << identify;
    EXPECT_EQ(j["tracks"][0]["codec"], "VC-1");
    EXPECT_EQ(j["tracks"][2]["codec"], "E-AC-3");
    EXPECT_EQ(j["tracks"][3]["codec"], "AC-3");
    EXPECT_EQ(j["tracks"][5]["codec"], "PCM");
    EXPECT_EQ(j["chapters"][0]["num_entries"], 2);

    // Video: every frame of the three clips, each clip's first at its place.
    const int videoFrames = d.groups[0] + d.groups[1] + d.groups[2];
    const auto video = packetTimes(out, "v:0");
    ASSERT_EQ(video.size(), static_cast<std::size_t>(videoFrames));
    EXPECT_EQ(packetTimes(out, "v:1").size(), static_cast<std::size_t>(videoFrames));
    EXPECT_NEAR(video[static_cast<std::size_t>(d.groups[0])], 48 * 1001.0 / 24000, 0.0015);
    EXPECT_NEAR(video[static_cast<std::size_t>(d.groups[0] + d.groups[1])], 72 * 1001.0 / 24000, 0.0015);

    // E-AC-3 (a tick late at the join) and AC-3 (a tick early): every frame of
    // both clips, the second clip's first frame at its own time stamp.
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k == 0 ? "E-AC-3" : "AC-3");
        const std::string stream = "a:" + std::to_string(k);
        const std::uint64_t first = frames(90000, d.stats[0].audioEnd[k], 2880);
        const std::uint64_t second = frames(d.audioStart2[k], d.stats[1].audioEnd[k], 2880);
        const auto times = packetTimes(out, stream);
        ASSERT_EQ(times.size(), first + second);
        const double own =
            48 * 1001.0 / 24000 +
            (static_cast<double>(d.audioStart2[k]) - static_cast<double>(d.firstPts[1])) / 90000.0;
        EXPECT_NEAR(times[first], own, 0.0015);
        // Every packet is a whole frame as the disc has it: one hash throughout.
        const auto hashes = packetHashes(out, stream);
        ASSERT_EQ(hashes.size(), first + second);
        for (const auto& h : hashes) ASSERT_EQ(h, hashes.front());
    }

    // LPCM: ffmpeg's decode of the Matroska track is its decode of the two EVOs.
    std::string both;
    shell("(ffmpeg -v error -i '" + d.clips[0] +
              "' -map 0:i:0xa3 -f s16le -c:a pcm_s16le - 2>/dev/null; ffmpeg -v error -i '" + d.clips[1] +
              "' -map 0:i:0xa3 -f s16le -c:a pcm_s16le - 2>/dev/null) | md5sum",
          &both);
    EXPECT_EQ(decodedMd5("-i '" + out + "'", "0:a:3"), both.substr(0, 32));

    // title.json: every join reported, continuous, nothing dropped; the clips on the time line.
    const std::string prepared = s_dir->path("prepared");
    ASSERT_EQ(cli({"mux-prep", d.root, "-o", prepared}).code, 0);
    std::string text;
    shell("cat '" + prepared + "/title.json'", &text);
    const auto manifest = nlohmann::json::parse(text);
    ASSERT_EQ(manifest["clips"].size(), 3U);
    EXPECT_NEAR(manifest["clips"][2]["titleStartSeconds"].get<double>(), 72 * 1001.0 / 24000, 1e-6);
    int joins = 0;
    for (const auto& s : manifest["streams"]) {
        if (s["kind"] == "Subpicture") {
            EXPECT_EQ(s["muxed"], true) << s.dump();
        }
        for (const auto& join : s.value("joins", nlohmann::json::array())) {
            ++joins;
            EXPECT_EQ(join["continuous"], true) << s.dump();
            EXPECT_EQ(join["droppedFrames"], 0) << s.dump();
        }
    }
    EXPECT_EQ(joins, 5); // each audio stream once: INTERPOL adds nothing to audio
    fs::remove_all(prepared);
}

// Title 3 plays PEVOB_1 alone: the _1/_2 names add nothing to it. Title 4
// starts PEVOB_2 half a second in: it gives only that span, and says so.
TEST_F(ThreeClips, ThePlaylistDecidesTheFilesAndTheSpan) {
    const auto& d = *s_disc;
    const std::string alone = s_dir->path("first.mkv");
    const CliResult r3 = cli({"mkv", d.root, "--title", "3", "-o", alone});
    ASSERT_EQ(r3.code, 0) << r3.err;
    EXPECT_EQ(packetTimes(alone, "v:0").size(), static_cast<std::size_t>(d.groups[0]));

    const std::string late = s_dir->path("late.mkv");
    const CliResult r4 = cli({"mkv", d.root, "--title", "4", "-o", late});
    // Its one subtitle comes before the span: the subtitle tracks are left out, with a warning.
    ASSERT_EQ(r4.code, 1) << r4.err;
    EXPECT_NE(r4.err.find("PEVOB_2.EVO: the title plays 0.500 s of it, from 0.500 s in"), std::string::npos)
        << r4.err;
    const auto video = packetTimes(late, "v:0");
    EXPECT_EQ(video.size(), static_cast<std::size_t>(d.groups[1] - 12));
    // The audio starts with the span: no E-AC-3 frame from before it.
    const auto eac3 = packetTimes(late, "a:0");
    ASSERT_FALSE(eac3.empty());
    EXPECT_GE(eac3.front(), -0.001);
    EXPECT_LE(static_cast<double>(eac3.size()) * 0.032, 0.5 + 0.1);
}

} // namespace
} // namespace vantrel::cli::test
