// info --json against what the disc writers put in: titles, streams,
// languages, chapters, PTS, delays and joins; and a real playlist without EVO files.
#include "cli_fixture.h"
#include "support/evo_builder.h"
#include "support/sample_disc.h"
#include "support/timed_evo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace vantrel::cli::test {
namespace {

using nlohmann::json;
using vantrel::test::TimedCodec;
using vantrel::test::TimedStream;

const json* streamByBox(const json& title, const std::string& box) {
    for (const json& s : title["streams"])
        if (s["box"] == box) return &s;
    return nullptr;
}

TEST(CliInfo, SampleDiscAsTheWriterMadeIt) {
    ScratchDir dir;
    const int groups = 200;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), groups);
    const CliResult r = cli({"--json", "info", dir.path("disc")});
    ASSERT_EQ(r.code, 0) << r.err;
    const json j = r.json();
    EXPECT_EQ(j["playlist"]["name"], "Vantrel sample disc");
    ASSERT_EQ(j["titles"].size(), 1u);
    const json& t = j["titles"][0];
    EXPECT_EQ(t["number"], 1);
    EXPECT_EQ(t["name"], "Sample feature");
    EXPECT_EQ(t["duration"], "00:00:12:12");
    ASSERT_EQ(t["files"].size(), 2u);
    EXPECT_EQ(t["files"][0]["name"], "FEATURE_1.EVO");
    EXPECT_EQ(t["files"][1]["name"], "FEATURE_2.EVO");

    // 301 frames of 3753.75 ticks: 12.554 s, nearer 12:12 at 23.976 (12.5125 s) than at 24 (12.5 s).
    EXPECT_EQ(t["clock"]["rate"], "23.976");
    EXPECT_NEAR(t["duration_s"].get<double>(), 12.5125, 1e-6);
    const std::vector<std::pair<std::string, double>> chapters = {
        {"Opening", 0.0}, {"Middle", 4004.0}, {"Ending", 8008.0}};
    ASSERT_EQ(t["chapters"].size(), chapters.size());
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        EXPECT_EQ(t["chapters"][i]["name"], chapters[i].first);
        EXPECT_DOUBLE_EQ(t["chapters"][i]["start_ms"].get<double>(), chapters[i].second);
    }

    // Every stream starts at PTS 90000 in the first part's first pack; the
    // writer carries the audio on into the second part from where the first
    // ended, and frames are 3753.75 ticks apart, so every join is nil to the
    // tick (LPCM: to its 1.875-tick sample).
    struct Want {
        std::string box, kind, codec, id, caption, language, language1, description;
        std::optional<double> join;
    };
    const std::vector<Want> want = {
        {"cbVideo0", "video", "VC-1", "0x55", "VC-1.stream.0", "und", "", "", 0.0},
        {"cbVideo1", "video", "MPEG-2", "0xE1", "MPEG-2.stream.1", "und", "", "", 0.0},
        {"cbAudio00", "audio", "DD+", "0xC0", "DD+.6ch.stream.00.English", "eng", "en", "English", 0.0},
        {"cbAudio01", "audio", "DD", "0x81", "DD.6ch.stream.01.Commentary", "eng", "en", "Commentary", 0.0},
        {"cbAudio02", "audio", "DTS-HD", "0x8A", "DTS-HD.6ch.stream.02.German", "ger", "de", "German",
         std::nullopt},
        {"cbAudio03", "audio", "LPCM", "0xA3", "LPCM.2ch.stream.03.Stereo", "und", "", "Stereo", 0.0},
        {"cbAudio04", "audio", "MLP", "0xB4", "MLP.6ch.stream.04.Lossless", "jpn", "ja", "Lossless",
         std::nullopt},
        {"cbSub00", "subtitle", "Subpicture", "0x20", "2bitRLE.stream.00.English", "eng", "en", "English",
         std::nullopt},
        {"cbSub01", "subtitle", "Ext.Subpicture", "0x61", "8bitRLE.stream.01.Notes", "fre", "fr", "Notes",
         std::nullopt},
    };
    ASSERT_EQ(t["streams"].size(), want.size());
    for (const Want& w : want) {
        SCOPED_TRACE(w.box);
        const json* s = streamByBox(t, w.box);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ((*s)["kind"], w.kind);
        EXPECT_EQ((*s)["codec"], w.codec);
        EXPECT_EQ((*s)["id"], w.id);
        EXPECT_EQ((*s)["caption"], w.caption);
        EXPECT_EQ((*s)["language"], w.language);
        EXPECT_EQ((*s)["language_639_1"], w.language1);
        EXPECT_EQ((*s)["description"], w.description);
        EXPECT_EQ((*s)["first_pts"], 90000);
        EXPECT_EQ((*s)["delay_ms"], 0.0);
        ASSERT_TRUE(s->contains("join_ms"));
        if (w.join) {
            EXPECT_NEAR((*s)["join_ms"].get<double>(), *w.join, 0.01);
        }
        if (w.kind == "subtitle") {
            EXPECT_TRUE((*s)["join_ms"].is_null()); // no duration to end on
        }
    }
    // Per file: the first part's last video PTS, the second's first.
    EXPECT_EQ(t["files"][0]["streams"][0]["last_pts"], 90000 + 15015 * (groups - 1) / 4);
    EXPECT_EQ(t["files"][1]["streams"][0]["first_pts"], 90000 + 15015 * groups / 4);
}

// A title of two files whose playlist lists both, written to the tick.
std::string twoClipPlaylist() {
    return R"(<?xml version="1.0"?>
<Playlist displayName="Timed">
  <TitleSet timeBase="60fps">
    <Title titleNumber="3" displayName="Joined" titleDuration="00:00:03:36">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP"/>
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_2.MAP"/>
    </Title>
  </TitleSet>
</Playlist>
)";
}

TEST(CliInfo, DelaysAndJoinsToTheTick) {
    ScratchDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir.path("disc/HVDVD_TS"));
    fs::create_directories(dir.path("disc/ADV_OBJ"));
    std::ofstream(dir.path("disc/ADV_OBJ/VPLST000.XPL")) << twoClipPlaylist();

    // First part: video from 90000, 48 frames (ends 270000). AC-3 starts 40 ms
    // after the video and ends at 255600; E-AC-3 starts 20 ms before it; LPCM
    // ends at 252000.
    const std::uint64_t v0 = 90000;
    const std::vector<TimedStream> first = {
        {TimedCodec::Vc1, 0x55, v0, 48},
        {TimedCodec::Ac3, 0x80, v0 + 3600, 57},
        {TimedCodec::Eac3, 0xC1, v0 - 1800, 28},
        {TimedCodec::Lpcm, 0xA2, v0, 180},
    };
    // Second part: the video goes on seamlessly, AC-3 after a 32 ms gap, E-AC-3
    // 10 ms early (an overlap), LPCM seamlessly.
    const std::uint64_t ac3End = v0 + 3600 + 57 * 2880;
    const std::uint64_t eac3End = v0 - 1800 + 28 * 5760;
    const std::vector<TimedStream> second = {
        {TimedCodec::Vc1, 0x55, v0 + 48 * 3750, 24},
        {TimedCodec::Ac3, 0x80, ac3End + 2880, 20},
        {TimedCodec::Eac3, 0xC1, eac3End - 900, 10},
        {TimedCodec::Lpcm, 0xA2, v0 + 180 * 900, 60},
    };
    vantrel::test::writeTimedEvo(dir.path("disc/HVDVD_TS/FEATURE_1.EVO"), first);
    vantrel::test::writeTimedEvo(dir.path("disc/HVDVD_TS/FEATURE_2.EVO"), second);

    const CliResult r = cli({"--json", "info", dir.path("disc"), "--title", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    const json t = r.json()["titles"][0];
    const std::vector<std::tuple<std::string, std::string, double, double>> streams = {
        {"video", "0x55", 0.0, 0.0},
        {"audio", "0x80", 40.0, 32.0},
        {"audio", "0xC1", -20.0, -10.0},
        {"audio", "0xA2", 0.0, 0.0},
    };
    for (const auto& [kind, id, delay, join] : streams) {
        SCOPED_TRACE(id);
        const json* found = nullptr;
        for (const json& s : t["streams"])
            if (s["id"] == id) found = &s;
        ASSERT_NE(found, nullptr);
        EXPECT_EQ((*found)["kind"], kind);
        EXPECT_DOUBLE_EQ((*found)["delay_ms"].get<double>(), delay);
        EXPECT_DOUBLE_EQ((*found)["join_ms"].get<double>(), join);
    }

    // Without a playlist the file alone: its streams with PTS and delays.
    fs::remove(dir.path("disc/ADV_OBJ/VPLST000.XPL"));
    const CliResult alone = cli({"--json", "info", dir.path("disc/HVDVD_TS/FEATURE_1.EVO")});
    ASSERT_EQ(alone.code, 0) << alone.err;
    const json files = alone.json()["files"];
    ASSERT_EQ(files.size(), 1u);
    bool sawAc3 = false;
    for (const json& s : files[0]["streams"])
        if (s["id"] == "0x80") {
            sawAc3 = true;
            EXPECT_EQ(s["first_pts"], v0 + 3600);
            EXPECT_EQ(s["last_pts"], v0 + 3600 + 56 * 2880);
            EXPECT_DOUBLE_EQ(s["delay_ms"].get<double>(), 40.0);
        }
    EXPECT_TRUE(sawAc3);
}

TEST(CliInfo, AuthoringTestPlaylistWithoutEvoFiles) {
    const std::string xpl = std::string(VANTREL_DATA_DIR) + "/authoring-test-playlist.XPL";
    if (!std::filesystem::exists(xpl)) GTEST_SKIP() << xpl << " is not there";
    const CliResult r = cli({"--json", "info", xpl});
    ASSERT_EQ(r.code, 0) << r.err;
    const json j = r.json();
    const std::vector<std::tuple<int, std::string, std::string, std::size_t>> titles = {
        {1, "MM", "00:01:00:01", 1},
        {2, "feature", "00:58:06:00", 16},
        {3, "card", "00:00:10:00", 1},
        {4, "logo", "00:00:20:00", 1}};
    ASSERT_EQ(j["titles"].size(), titles.size());
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const auto& [number, name, duration, chapters] = titles[i];
        const json& t = j["titles"][i];
        EXPECT_EQ(t["number"], number);
        EXPECT_EQ(t["name"], name);
        EXPECT_EQ(t["duration"], duration);
        EXPECT_EQ(t["chapters"].size(), chapters);
        EXPECT_EQ(t["clock"]["rate"], "59.94"); // no EVO files: 60000/1001, as real discs count
        EXPECT_EQ(t["default"], number == 2);   // the longest title with clips
    }
    const json& feature = j["titles"][1];
    EXPECT_DOUBLE_EQ(feature["duration_s"].get<double>(), 3489.486);
    const int starts[16][2] = {{0, 0},   {4, 42},  {9, 17},  {12, 55}, {16, 36}, {19, 59},
                               {21, 42}, {24, 33}, {28, 25}, {32, 19}, {37, 43}, {40, 56},
                               {43, 5},  {47, 35}, {50, 28}, {53, 46}};
    for (int c = 0; c < 16; ++c) {
        const json& ch = feature["chapters"][static_cast<std::size_t>(c)];
        EXPECT_EQ(ch["name"], "Chapter " + std::to_string(c + 1));
        EXPECT_DOUBLE_EQ(ch["start_ms"].get<double>(), (starts[c][0] * 60 + starts[c][1]) * 1001.0);
    }
    ASSERT_EQ(feature["streams"].size(), 9u); // one video, eight audio
    for (const json& s : feature["streams"])
        if (s["kind"] == "audio") {
            EXPECT_EQ(s["language"], "eng");
            EXPECT_EQ(s["language_639_1"], "en");
            EXPECT_FALSE(s.contains("join_ms"));
        }
}

} // namespace
} // namespace vantrel::cli::test
