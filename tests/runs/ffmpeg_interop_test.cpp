// Interop with a real peer: DVD-style VOB files muxed by ffmpeg, demuxed here
// and by ffmpeg; the elementary streams must agree byte for byte.
#include "runs_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vantrel::test {
namespace {

bool haveFfmpeg() {
    return std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
}

int run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

const std::string kFfmpeg = "ffmpeg -nostdin -y -v fatal ";
const std::string kVideoSource = "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 ";

// Demuxes a VOB with the scan and demux runs into out/, as a user would.
void demuxHere(Session& s, const std::string& vob, const std::string& out) {
    s.chooseSource(vob);
    bCheckClick(s.core);
    s.window.setFieldText(Field::Workdir, out);
    bDemuxClick(s.core);
}

// AC-3 (sub-stream 0x80) and LPCM (0xA0) share audio index 0, hence one box and
// one output file, so each audio kind gets a VOB of its own.
TEST(FfmpegInterop, VideoAndAc3MatchFfmpegsExtraction) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed; the interop check needs it";
    ScratchDir dir;
    std::string vob = dir / "AC3.VOB";
    ASSERT_EQ(run(kFfmpeg + kVideoSource + "-f lavfi -i sine=frequency=440:duration=1:sample_rate=48000 " +
                  "-map 0 -map 1 -c:v mpeg2video -c:a ac3 -f vob " + vob),
              0);
    ASSERT_EQ(run(kFfmpeg + "-i " + vob + " -map 0:v -c copy -f mpeg2video " + (dir / "ref.m2v") +
                  " -map 0:a -c copy -f ac3 " + (dir / "ref.ac3")),
              0);

    Session s;
    demuxHere(s, vob, dir.path());
    EXPECT_EQ(s.core.boxes[StreamBoxes::videoBox(0)].caption, "MPEG-2.stream.0");
    EXPECT_EQ(s.core.boxes[StreamBoxes::audioBox(0)].caption, "DD.stream.00");
    EXPECT_EQ(s.window.logLines.back(), "25 frames (0:00:01 s) count in video stream 0.");

    Bytes video = readFile(dir / "AC3.MPEG-2.stream.0.mpv");
    Bytes ac3 = readFile(dir / "AC3.DD.stream.00.mpa");
    ASSERT_FALSE(video.empty());
    ASSERT_FALSE(ac3.empty());
    EXPECT_TRUE(video == readFile(dir / "ref.m2v")) << "video differs from ffmpeg's extraction";
    EXPECT_TRUE(ac3 == readFile(dir / "ref.ac3")) << "AC-3 differs from ffmpeg's extraction";
}

TEST(FfmpegInterop, LpcmEqualsFfmpegsDecodeToBigEndian16Bit) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed; the interop check needs it";
    ScratchDir dir;
    std::string vob = dir / "LPCM.VOB";
    ASSERT_EQ(run(kFfmpeg + kVideoSource + "-f lavfi -i sine=frequency=880:duration=1:sample_rate=48000 " +
                  "-map 0 -map 1 -c:v mpeg2video -c:a pcm_s16be -ac 2 -f vob " + vob),
              0);
    ASSERT_EQ(run(kFfmpeg + "-i " + vob + " -map 0:a -f s16be " + (dir / "ref.raw") +
                  " -map 0:v -c copy -f mpeg2video " + (dir / "ref.m2v")),
              0);

    Session s;
    demuxHere(s, vob, dir.path());
    EXPECT_EQ(s.core.boxes[StreamBoxes::audioBox(0)].caption, "LPCM.stream.00");
    Bytes lpcm = readFile(dir / "LPCM.LPCM.stream.00.mpa");
    ASSERT_EQ(lpcm.size(), 48000u * 2 * 2);
    EXPECT_TRUE(lpcm == readFile(dir / "ref.raw")) << "LPCM differs from ffmpeg's decode";
    EXPECT_TRUE(readFile(dir / "LPCM.MPEG-2.stream.0.mpv") == readFile(dir / "ref.m2v"));
}

} // namespace
} // namespace vantrel::test
