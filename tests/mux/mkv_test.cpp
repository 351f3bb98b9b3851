// vantrel-cli mkv and mux-prep end to end on a two-part test disc built from
// real streams (MPEG-2 video with 3:2 repeat flags, AC-3, LPCM), with known
// delays, a known audio gap and a known overlap at the join; mkvmerge -J and
// ffprobe give the verdict. Then the failures: each its exit code, and no
// OUT.mkv left behind.
#include "cli/cli.h"
#include "codecs/video_scan.h"
#include "mux/lpcm.h"
#include "mux/mkv_job.h"
#include "support/title_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::mux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr double kFrame = 90000.0 * 1001 / 24000; // ticks
constexpr std::uint64_t kV1 = 900000;             // first video PTS of part 1
constexpr int kFrames = 48;                       // video frames per part
constexpr int kAc3Frames = 59;                    // 32 ms each
constexpr int kLpcmFrames = 93120;                // 1.94 s at 48 kHz, stereo 16-bit

struct Disc {
    std::string root, out;
    std::vector<std::int32_t> lpcm2; // part 2's LPCM samples
};

std::string ffmpegEs(const std::string& dir, const std::string& name, const std::string& args) {
    const std::string path = dir + name;
    test::shell("ffmpeg -v error -y " + args + " '" + path + "'");
    return path;
}

Disc& disc() {
    static Disc d = [] {
        Disc d;
        d.root = test::tempDir("disc");
        d.out = test::tempDir("out");
        fs::create_directories(d.root + "HVDVD_TS");
        fs::create_directories(d.root + "ADV_OBJ");
        const std::string tmp = test::tempDir("es");
        const std::string m2v = ffmpegEs(tmp, "v.m2v",
                                         "-f lavfi -i testsrc=size=320x240:rate=24000/1001 -frames:v 48 "
                                         "-c:v mpeg2video -bf 0 -g 12 -f mpeg2video");
        const std::string ac3 = ffmpegEs(
            tmp, "a.ac3",
            "-f lavfi -i sine=frequency=440:sample_rate=48000 -frames:a 59 -ac 2 -c:a ac3 -b:a 192k");
        test::Es video = test::loadEs(m2v, "mpegvideo");
        test::addPulldown(video.data);
        test::Es audio = test::loadEs(ac3, "ac3");
        for (int part = 0; part < 2; ++part) {
            const std::uint64_t v = kV1 + static_cast<std::uint64_t>(part * kFrames * kFrame);
            test::TrackSpec tv;
            tv.streamId = 0xE0;
            tv.es = video;
            tv.firstPts = v;
            tv.unitTicks = kFrame;
            test::TrackSpec ta;
            ta.streamId = 0xBD;
            ta.subId = 0x80;
            ta.es = audio;
            ta.unitTicks = 2880;
            // +100 ms in both parts: part 1 ends 14 ms before the video, so
            // appending would land part 2 64 ms early... with +50 ms in part 2
            // the figure is a gap of 64 ms.
            ta.firstPts = v + (part == 0 ? 9000 : 4500);
            const auto samples = test::noiseSamples(kLpcmFrames * 2, 16, part == 0 ? 11u : 12u);
            if (part == 1) d.lpcm2 = samples;
            test::TrackSpec tl;
            tl.streamId = 0xBD;
            tl.subId = 0xA1;
            tl.extraHeader = test::lpcmHeader(16, 48000, 2);
            tl.es = test::lpcmEs(samples, 2, 16, 240);
            tl.unitTicks = 450;
            tl.groupBytes = 4;
            // +60 ms: part 1 ends 2 ms before the video; part 2 starts 27 ms
            // before its video: an overlap of 25 ms.
            tl.firstPts = part == 0 ? v + 5400 : v - 2430;
            test::writeFile(d.root + "HVDVD_TS/FEATURE_" + std::to_string(part + 1) + ".EVO",
                            test::buildTitle({tv, ta, tl}));
        }
        std::ofstream xpl(d.root + "ADV_OBJ/VPLST000.XPL");
        xpl << R"(<?xml version="1.0" encoding="UTF-8"?>
<Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0">
  <TitleSet timeBase="24fps">
    <Title id="t1" titleNumber="1" displayName="Join test" titleDuration="00:00:04:00">
      <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP" titleTimeEnd="00:00:02:00" dataSource="Disc">
        <Video track="1" mediaAttr="1"/>
        <Audio track="1" streamNumber="1" mediaAttr="1" language="en" description="English"/>
        <Audio track="2" streamNumber="2" mediaAttr="2" language="fr"/>
      </PrimaryAudioVideoClip>
      <PrimaryAudioVideoClip titleTimeBegin="00:00:02:00" src="file:///dvddisc/HVDVD_TS/FEATURE_2.MAP" titleTimeEnd="00:00:04:00" dataSource="Disc">
        <Video track="1" mediaAttr="1"/>
        <Audio track="1" streamNumber="1" mediaAttr="1" language="en" description="English"/>
        <Audio track="2" streamNumber="2" mediaAttr="2" language="fr"/>
      </PrimaryAudioVideoClip>
      <ChapterList>
        <Chapter titleTimeBegin="00:00:00:00" displayName="Opening"/>
        <Chapter titleTimeBegin="00:00:02:00" displayName="Second"/>
      </ChapterList>
    </Title>
  </TitleSet>
</Playlist>
)";
        return d;
    }();
    return d;
}

struct CliRun {
    int code;
    std::string out, err;
};
CliRun cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = cli::runCli(args, out, err, false);
    return {code, out.str(), err.str()};
}

std::vector<double> packetTimes(const std::string& file, int audioIndex) {
    std::istringstream s(test::shell("ffprobe -v error -select_streams a:" + std::to_string(audioIndex) +
                                     " -show_entries packet=pts_time -of csv=p=0 '" + file + "'"));
    std::vector<double> t;
    std::string line;
    while (std::getline(s, line))
        if (!line.empty()) t.push_back(std::stod(line));
    return t;
}

void twoPartTitle(bool inProcess) {
    Disc& d = disc();
    const std::string out = d.out + "title.mkv";
    fs::remove(out);
    std::vector<std::string> args = {"mkv", d.root, "--title", "1", "-o", out};
    if (!inProcess) args.push_back("--keep-temp");
    const CliRun r = cli(args);
    // The join figures are warnings: exit 1, each on its own line.
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("warning: join gap 64 ms in DD.stream.00"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("warning: join overlap 25 ms in LPCM.stream.01"), std::string::npos) << r.err;
    std::size_t warnings = 0;
    for (std::size_t at = r.err.find("warning:"); at != std::string::npos;
         at = r.err.find("warning:", at + 1))
        ++warnings;
    EXPECT_EQ(warnings, 2u) << r.err;
    ASSERT_TRUE(fs::exists(out)) << r.err;

    const auto ident = nlohmann::json::parse(test::shell("mkvmerge -J '" + out + "'"));
    ASSERT_EQ(ident["tracks"].size(), 3u);
    const std::vector<std::tuple<std::string, std::string, std::string>> want = {
        {"video", "und", "Join test"}, {"audio", "eng", "English"}, {"audio", "fre", "LPCM 2.0"}};
    for (std::size_t i = 0; i < want.size(); ++i) {
        const auto& t = ident["tracks"][i];
        EXPECT_EQ(t["type"], std::get<0>(want[i]));
        EXPECT_EQ(t["properties"]["language"], std::get<1>(want[i]));
        EXPECT_EQ(t["properties"].value("track_name", ""), std::get<2>(want[i]));
    }
    EXPECT_EQ(ident["chapters"][0]["num_entries"], 2);
    EXPECT_EQ(ident["tracks"][1]["properties"]["default_track"], true);
    EXPECT_EQ(ident["tracks"][2]["properties"]["default_track"], false);

    // Delays: the audio starts where its first PTS lies against the video's.
    std::istringstream starts(test::shell(
        "ffprobe -v error -show_entries stream=start_time,r_frame_rate -of csv=p=0 '" + out + "'"));
    std::vector<double> start;
    std::string line, videoRate;
    while (std::getline(starts, line)) {
        if (line.empty()) continue;
        const auto comma = line.find(',');
        if (start.empty()) videoRate = line.substr(0, comma);
        start.push_back(std::stod(line.substr(comma + 1)));
    }
    ASSERT_EQ(start.size(), 3u);
    EXPECT_NEAR(start[1] - start[0], 0.100, 0.001);
    EXPECT_NEAR(start[2] - start[0], 0.060, 0.001);
    EXPECT_EQ(videoRate, "24000/1001") << "3:2 repeat flags give 24000/1001 frames";

    // After the join: AC-3 part 1 ends at 0.100 + 59 * 0.032 = 1.988 s and part 2
    // starts at its own PTS, 2.002 + 0.050 = 2.052 s; nothing in between.
    const auto ac3 = packetTimes(out, 0);
    ASSERT_EQ(ac3.size(), 2u * kAc3Frames);
    EXPECT_NEAR(ac3[kAc3Frames - 1] + 0.032, 1.988 + start[0], 0.001);
    EXPECT_NEAR(ac3[kAc3Frames], 2.052 + start[0], 0.001);
    // LPCM: part 2 starts 27 ms early, 25 ms of it overlap part 1, which ends
    // at 2.000 s; those samples are dropped and part 2 follows at 2.000 s.
    const auto pcm = packetTimes(out, 1);
    bool boundary = false;
    for (double t : pcm) boundary = boundary || std::fabs(t - 2.000 - start[0]) < 0.001;
    EXPECT_TRUE(boundary) << "no LPCM block starts at the join";

    if (inProcess) return;
    // The kept folder: the second part's WAV begins with sample frame 1200.
    std::string temp;
    for (const auto& e : fs::directory_iterator(d.out))
        if (e.is_directory() && e.path().filename().string().rfind(".title.mkv.tmp-", 0) == 0)
            temp = e.path().string();
    ASSERT_FALSE(temp.empty());
    const Bytes wav2 = test::readFile(temp + "/FEATURE_1_2.LPCM.stream.01.part2.wav");
    ASSERT_GT(wav2.size(), 100u);
    const std::size_t data = 12 + 36 + 24 + 8;
    for (int i = 0; i < 8; ++i) {
        const auto want16 = static_cast<std::uint16_t>(d.lpcm2[2400 + static_cast<std::size_t>(i)]);
        EXPECT_EQ(wav2[data + 2 * static_cast<std::size_t>(i)], want16 & 0xFF);
        EXPECT_EQ(wav2[data + 2 * static_cast<std::size_t>(i) + 1], want16 >> 8);
    }
    const auto manifest = nlohmann::json::parse(test::readFile(temp + "/title.json"));
    EXPECT_EQ(manifest["pulldown"]["detected"], true);
    const auto muxArgs = nlohmann::json::parse(test::readFile(temp + "/mux.json"));
    EXPECT_NE(std::find(muxArgs.begin(), muxArgs.end(), "0:24000/1001p"), muxArgs.end());
    fs::remove_all(temp);
}

// Both muxers, held to the same verdict of mkvmerge -J and ffprobe; the
// kept folder of prepared files with the second.
TEST(MkvCommand, TwoPartTitleTaggedInSyncAndJoined) {
    for (const bool inProcess : {true, false}) {
        SCOPED_TRACE(inProcess ? "in process" : "mkvmerge");
        twoPartTitle(inProcess);
    }
}

// The job's callbacks, as a window takes them: each warning as it arises (the
// same ones the outcome lists), and a stop asked while the clips are read ends
// the job at once with nothing left beside OUT.
TEST(MkvCommand, CallbacksGiveWarningsAsTheyComeAndStopTheRead) {
    Disc& d = disc();
    const std::string dir = test::tempDir("callbacks");
    mux::MkvJob job;
    job.parts = {d.root + "HVDVD_TS/FEATURE_1.EVO", d.root + "HVDVD_TS/FEATURE_2.EVO"};
    job.output = dir + "both.mkv";
    std::vector<std::string> seen;
    job.warning = [&](const std::string& text) { seen.push_back(text); };
    const mux::MkvOutcome outcome = mux::runMkvJob(job);
    EXPECT_EQ(seen, outcome.warnings);
    EXPECT_EQ(seen.size(), 2u);
    fs::remove(job.output);

    int asked = 0;
    bool muxed = false;
    job.stopRequested = [&] { return ++asked > 1; };
    job.progress = [&](const std::string& stage, std::int64_t, std::int64_t) {
        muxed = muxed || stage == "Muxing";
    };
    try {
        mux::runMkvJob(job);
        ADD_FAILURE() << "the job was not stopped";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Interrupted) << e.what();
    }
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(muxed) << "stopped only once the muxer ran";
    EXPECT_TRUE(fs::is_empty(dir)) << "left beside OUT";
}

TEST(MkvCommand, MuxPrepWritesFilesThatMkvmergeTakes) {
    Disc& d = disc();
    const std::string dir = test::tempDir("prep");
    const CliRun r =
        cli({"mux-prep", d.root + "HVDVD_TS/FEATURE_1.EVO", "-o", dir, "--tracks", "cbVideo0,0xA1"});
    EXPECT_EQ(r.code, 1) << r.err; // the LPCM overlap
    EXPECT_TRUE(fs::exists(dir + "FEATURE_1_2.MPEG-2.stream.0.m2v"));
    EXPECT_FALSE(fs::exists(dir + "FEATURE_1_2.DD.stream.00.part1.ac3")) << "left out by --tracks";
    int status = -1;
    const std::string log = test::shell("cd / && mkvmerge '@" + dir + "mux.json' 2>&1", &status);
    EXPECT_LE(status, 1) << log;
    const auto ident = nlohmann::json::parse(test::shell("mkvmerge -J '" + dir + "FEATURE_1_2.mkv'"));
    EXPECT_EQ(ident["tracks"].size(), 2u);
    EXPECT_EQ(ident["tracks"][1]["codec"], "PCM");
}

// A mkvmerge that is not there, one that fails halfway, an output that cannot
// be written, an LPCM stream with an unknown rate code: each its exit code
// and message, and no OUT.mkv.
TEST(MkvCommand, FailuresLeaveNoOutput) {
    Disc& d = disc();
    const std::string out = d.out + "fail.mkv";
    const std::string savedPath = std::getenv("PATH");
    auto withPath = [&](const std::string& path, const std::vector<std::string>& args) {
        ::setenv("PATH", path.c_str(), 1);
        CliRun r = cli(args);
        ::setenv("PATH", savedPath.c_str(), 1);
        return r;
    };
    // The rows about mkvmerge ask for it; the default muxes in process.
    const std::vector<std::string> args = {"mkv", d.root, "--title", "1", "-o", out, "--muxer", "mkvmerge"};

    CliRun r = withPath(test::tempDir("empty-path"), args);
    EXPECT_EQ(r.code, 6) << r.err;
    EXPECT_NE(r.err.find("mkvmerge cannot be run"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("install mkvtoolnix"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));

    // Writes part of its output, then fails. (The option file's third line is the output.)
    const std::string fake = test::tempDir("fake-muxer");
    std::string real = test::shell("command -v mkvmerge");
    real = real.substr(0, real.find('\n'));
    const std::string outputOfOptions = "out=$(sed -n '3p' \"${1#@}\" | sed 's/^ *\"//; s/\",$//')\n";
    {
        std::ofstream s(fake + "mkvmerge");
        s << "#!/bin/sh\n"
          << outputOfOptions << "head -c 100000 /dev/zero > \"$out\"\n"
          << "echo 'Progress: 40%'\necho 'Error: no space left on device' >&2\nexit 2\n";
    }
    fs::permissions(fake + "mkvmerge", fs::perms::owner_all);
    r = withPath(fake + ":" + savedPath, args);
    EXPECT_EQ(r.code, 6) << r.err;
    EXPECT_NE(r.err.find("no space left on device"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));

    // A folder under a regular file.
    test::writeFile(d.out + "plain", {1});
    r = cli({"mkv", d.root, "--title", "1", "-o", d.out + "plain/x.mkv"});
    EXPECT_EQ(r.code, 5) << r.err;
    EXPECT_NE(r.err.find("plain does not exist"), std::string::npos) << r.err;

    // The check: a mkvmerge whose result lacks a track.
    {
        std::ofstream s(fake + "mkvmerge");
        s << "#!/bin/sh\nif [ \"$1\" = -J ]; then exec '" << real << "' \"$@\"; fi\n"
          << outputOfOptions << "exec '" << real << "' -q -o \"$out\" --no-audio '" << d.root
          << "HVDVD_TS/FEATURE_1.EVO'\n";
    }
    r = withPath(fake + ":" + savedPath, args);
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_NE(r.err.find("tracks: 1 found, 3 meant"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));

    // Unknown LPCM rate code.
    const std::string bad = test::tempDir("bad-lpcm") + "BAD_1.EVO";
    test::TrackSpec t;
    t.streamId = 0xBD;
    t.subId = 0xA0;
    t.extraHeader = {0x00, 0x09, 0x80};
    t.es = test::lpcmEs(test::noiseSamples(4800, 16, 5), 2, 16, 240);
    t.unitTicks = 450;
    test::writeFile(bad, test::buildTitle({t}));
    r = cli({"mkv", bad, "-o", out});
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find("unknown LPCM sample rate code"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    for (const auto& e : fs::directory_iterator(d.out))
        EXPECT_EQ(e.path().filename().string().find(".fail.mkv.tmp-"), std::string::npos)
            << "temporary folder left";
}

} // namespace
} // namespace vantrel::mux
