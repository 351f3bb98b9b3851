#include "runs/runs_fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <sstream>

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::vector<std::string> out, err;
};

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

Result runBench(const ScratchDir& dir, const std::string& args) {
    std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
    std::string command = std::string(VANTREL_BENCH_EXE) + " " + args + " >" + out + " 2>" + err;
    int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = lines(out);
    r.err = lines(err);
    return r;
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string stepLine(const std::vector<std::string>& err, const std::string& step) {
    for (const auto& line : err)
        if (line.rfind("step " + step + ": ", 0) == 0) return line;
    return {};
}

TEST(VantrelBench, ScansAndDemuxesATwoPartFeatureLikeAUser) {
    ScratchDir dir;
    Feature f = makeFeature(dir, 40, 24);
    std::string out = dir / "out";
    fs::create_directories(out);
    Result r =
        runBench(dir, "--evo " + f.first + " --workdir " + out + " read-evo --untick cbAudio00 --dump demux");
    ASSERT_EQ(r.status, 0);

    // The log, and a dump of the window after each of the two steps.
    EXPECT_EQ(r.out.front(), "Opening file FEATURE_1.EVO");
    EXPECT_TRUE(has(r.out, "Creating " + out + "/FEATURE_1_2.MPEG-2.stream.0.mpv"));
    EXPECT_TRUE(has(r.out, "Continue on FEATURE_2.EVO"));
    EXPECT_TRUE(has(r.out, std::to_string(f.one.frames + f.two.frames) +
                               " frames (0:00:02 s) count in video stream 0."));
    EXPECT_TRUE(has(r.out, "box cbVideo0 enabled ticked MPEG-2.stream.0"));
    EXPECT_TRUE(has(r.out, "box cbAudio00 enabled unticked DD+.stream.00"));
    EXPECT_TRUE(has(r.out, "box cbSub15 disabled unticked No subpicture"));
    EXPECT_TRUE(has(r.out, "panel0  Ready"));
    EXPECT_TRUE(has(r.out, "button bDemux enabled"));
    EXPECT_TRUE(has(r.out, "button bCancel disabled"));
    EXPECT_TRUE(has(r.out, "tree Video"));
    EXPECT_EQ(std::count_if(r.out.begin(), r.out.end(),
                            [](const std::string& l) { return l.rfind("box ", 0) == 0; }),
              80);

    EXPECT_TRUE(has(r.err, "panel0 Writing stream(s)"));
    std::string scan = stepLine(r.err, "read-evo"), demux = stepLine(r.err, "demux");
    EXPECT_NE(scan.find(", " + std::to_string(f.one.file.size()) + " bytes read, "), std::string::npos)
        << scan;
    EXPECT_NE(demux.find(", " + std::to_string(f.one.file.size() + f.two.file.size()) + " bytes read, "),
              std::string::npos)
        << demux;

    EXPECT_EQ(readFile(out + "/FEATURE_1_2.MPEG-2.stream.0.mpv"), concat(f.one.video, f.two.video));
    EXPECT_FALSE(fs::exists(out + "/FEATURE_1_2.DD+.stream.00.mpa"));
}

// Read XPL after Read EVO resets the box of a stream the playlist does not
// list (its caption "No audio stream") and leaves its tick: Demux still writes
// the stream, named by the caption the scan gave it.
TEST(VantrelBench, AStreamThePlaylistOmitsKeepsItsOwnNameInDemux) {
    ScratchDir dir;
    Feature f = makeFeature(dir, 40, 24);
    const std::string xpl = dir / "VPLST000.XPL";
    std::ofstream(xpl)
        << "<Playlist>\n<MediaAttributeList>\n<VideoAttributeItem index=\"1\" codec=\"MPEG-2\"/>\n"
           "</MediaAttributeList>\n<TitleSet timeBase=\"60fps\">\n"
           "<Title titleNumber=\"1\" displayName=\"Feature\" titleDuration=\"00:00:02:00\">\n"
           "<PrimaryAudioVideoClip titleTimeBegin=\"00:00:00:00\" "
           "src=\"file:///dvddisc/HVDVD_TS/FEATURE_1.MAP\" titleTimeEnd=\"00:00:02:00\">\n"
           "<Video track=\"1\" mediaAttr=\"1\"/>\n</PrimaryAudioVideoClip>\n</Title>\n</TitleSet>\n"
           "</Playlist>\n";
    const std::string out = dir / "out";
    fs::create_directories(out);
    const Result r = runBench(dir, "--evo " + f.first + " --xpl " + xpl + " --workdir " + out +
                                       " read-evo read-xpl --dump demux");
    ASSERT_EQ(r.status, 0) << (r.err.empty() ? "" : r.err.back());
    // The boxes as the playlist left them: the audio box reset but ticked.
    EXPECT_TRUE(has(r.out, "box cbVideo0 enabled ticked MPEG-2.stream.0"));
    EXPECT_TRUE(has(r.out, "box cbAudio00 disabled ticked No audio stream"));
    EXPECT_TRUE(has(r.out, "Creating " + out + "/FEATURE_1_2.DD+.stream.00.mpa"));
    EXPECT_EQ(readFile(out + "/FEATURE_1_2.DD+.stream.00.mpa"), concat(f.one.audio, f.two.audio));
    EXPECT_EQ(readFile(out + "/FEATURE_1_2.MPEG-2.stream.0.mpv"), concat(f.one.video, f.two.video));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
}

TEST(VantrelBench, ErrorsAndMisuse) {
    ScratchDir dir;
    Result gone = runBench(dir, "--evo " + (dir / "GONE_1.EVO") + " read-evo");
    EXPECT_EQ(gone.status, 2);
    EXPECT_EQ(gone.out, std::vector<std::string>{"Opening file GONE_1.EVO"});
    EXPECT_TRUE(
        has(gone.err, "error: Cannot open file \"" + (dir / "GONE_1.EVO") + "\". No such file or directory"));

    // Nothing ticked: Demux cannot be pressed.
    Feature f = makeFeature(dir, 8, 8);
    Result disabled = runBench(dir, "--evo " + f.first + " demux");
    EXPECT_EQ(disabled.status, 1);
    EXPECT_TRUE(disabled.out.empty());

    EXPECT_EQ(runBench(dir, "--evo " + f.first + " --tick cbAudio99 demux").status, 1);
    EXPECT_EQ(runBench(dir, "--evo " + f.first + " --frobnicate read-evo").status, 1);
    EXPECT_EQ(runBench(dir, "--evo " + f.first).status, 1);
}

} // namespace
} // namespace vantrel::test
