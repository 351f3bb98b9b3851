// vantrel-cli mkv with subpicture streams: each becomes a PGS subtitle track
// with the playlist's language and description, not the default track, forced
// only where every unit starts forced, and timed against the video as the
// disc times it; mkvmerge -J and ffprobe give the verdict.
#include "cli/cli.h"
#include "support/subpicture_encoder.h"
#include "support/title_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::mux {
namespace {

namespace fs = std::filesystem;

// One subtitle unit as a track of its own, so that it begins its packets
// with its PTS as a disc's units do.
test::TrackSpec subtitle(std::uint8_t id, std::uint64_t pts, bool forced, int n) {
    test::UnitSpec drawing;
    test::fillTestPalette(drawing);
    drawing.colours = id < 0x60 ? test::ColourBits::Two : test::ColourBits::Mixed;
    test::drawText(drawing, "LINE " + std::to_string(n), 2, id < 0x60 ? 1 : 200, 2);
    drawing.x = 20;
    drawing.y = 180;
    drawing.pts = static_cast<std::uint32_t>(pts);
    drawing.stopDelay = 60;
    drawing.forced = forced;
    test::TrackSpec t;
    t.streamId = 0xBD;
    t.subId = id;
    t.firstPts = pts;
    t.es.data = test::encodeUnit(drawing).bytes;
    t.es.units.push_back({0, t.es.data.size()});
    return t;
}

TEST(MkvCommand, SubpictureStreamsBecomePgsTracksWithThePlaylistsLabels) {
    const std::string root = test::tempDir("subdisc");
    const std::string out = test::tempDir("subout") + "subs.mkv";
    fs::create_directories(root + "HVDVD_TS");
    fs::create_directories(root + "ADV_OBJ");
    const std::string es = test::tempDir("subes") + "v.m2v";
    test::shell(
        "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=24000/1001 -frames:v 72 -c:v mpeg2video "
        "-bf 0 -g 12 -f mpeg2video '" +
        es + "'");
    constexpr std::uint64_t kVideo = 900000;
    test::TrackSpec video;
    video.streamId = 0xE0;
    video.es = test::loadEs(es, "mpegvideo");
    video.firstPts = kVideo;
    video.unitTicks = 90000.0 * 1001 / 24000;
    // Two subtitles per stream, shown 0.5 s and 1.5 s after the first frame.
    std::vector<test::TrackSpec> tracks = {video};
    for (int n = 0; n < 2; ++n) {
        const std::uint64_t pts = kVideo + 45000 + 90000 * static_cast<std::uint64_t>(n);
        tracks.push_back(subtitle(0x20, pts, false, n + 1));
        tracks.push_back(subtitle(0x61, pts, true, n + 1));
    }
    test::writeFile(root + "HVDVD_TS/FEATURE_1.EVO", test::buildTitle(tracks));
    std::ofstream(root + "ADV_OBJ/VPLST000.XPL") << R"(<?xml version="1.0" encoding="UTF-8"?>
<Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0">
  <TitleSet timeBase="24fps">
    <Title id="t1" titleNumber="1" displayName="Subtitles" titleDuration="00:00:03:00">
      <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP" titleTimeEnd="00:00:03:00" dataSource="Disc">
        <Video track="1" mediaAttr="1"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="English"/>
        <Subtitle track="2" streamNumber="2" mediaAttr="2" description="Signs"/>
      </PrimaryAudioVideoClip>
      <TrackNavigationList>
        <SubtitleTrack track="1" langcode="en:00"/>
        <SubtitleTrack track="2" langcode="de:00"/>
      </TrackNavigationList>
    </Title>
  </TitleSet>
</Playlist>
)";

    std::ostringstream cliOut, cliErr;
    const int code = cli::runCli({"mkv", root, "--title", "1", "-o", out}, cliOut, cliErr, false);
    ASSERT_EQ(code, 0) << cliErr.str();
    const auto ident = nlohmann::json::parse(test::shell("mkvmerge -J '" + out + "'"));
    ASSERT_EQ(ident["tracks"].size(), 3u);
    const struct {
        const char* language;
        const char* name;
        bool forced;
    } want[] = {{"eng", "English", false}, {"ger", "Signs", true}};
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& t = ident["tracks"][i + 1];
        EXPECT_EQ(t["type"], "subtitles");
        EXPECT_EQ(t["codec"], "HDMV PGS");
        EXPECT_EQ(t["properties"]["language"], want[i].language);
        EXPECT_EQ(t["properties"]["track_name"], want[i].name);
        EXPECT_EQ(t["properties"]["default_track"], false);
        EXPECT_EQ(t["properties"]["forced_track"], want[i].forced);
    }
    std::istringstream times(
        test::shell("ffprobe -v error -select_streams s:0 -show_entries packet=pts_time -of "
                    "csv=p=0 '" +
                    out + "'"));
    std::vector<double> t;
    for (std::string line; std::getline(times, line);)
        if (!line.empty()) t.push_back(std::stod(line));
    ASSERT_EQ(t.size(), 4u) << "a display set and a clearing one per subtitle";
    EXPECT_NEAR(t[0], 0.5, 0.002);
    EXPECT_NEAR(t[2], 1.5, 0.002);
}

} // namespace
} // namespace vantrel::mux
