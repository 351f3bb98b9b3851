// The structured playlist model: attribute reading, title numbering, languages
// joined by track, chapter names, and the clock decision for title times.
#include "disc/disc_model.h"
#include "disc/title_model.h"
#include "engine/errors.h"

#include <gtest/gtest.h>

namespace vantrel::disc {
namespace {

const char* const kPlaylist = R"(<?xml version="1.0"?>
<!-- a comment with <Title titleNumber="9"> inside -->
<Playlist displayName='Caf&#233; &amp; more'>
  <MediaAttributeList>
    <AudioAttributeItem index="1" codec="DD+" channels="6"/>
    <SubpictureAttributeItem index="1" codec="2bitRLE"/>
  </MediaAttributeList>
  <TitleSet timeBase="50fps">
    <FirstPlayTitle titleDuration="00:00:01:00"/>
    <Title displayName="No number" titleDuration="00:00:10:25">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/MENU.MAP" titleTimeBegin="00:00:00:00" titleTimeEnd="00:00:10:25">
        <Audio track="1" streamNumber="2" mediaAttr="1" description="Fallback" langcode="es:00"/>
      </PrimaryAudioVideoClip>
    </Title>
    <Title titleNumber="7" displayName="Feature" titleDuration="01:00:00:00">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP">
        <Video track="1"/>
        <Audio track="2" streamNumber="1" mediaAttr="1" description="Main"/>
        <Audio track="3" streamNumber="3" mediaAttr="1" description="Undetermined"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="Subs"/>
      </PrimaryAudioVideoClip>
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_2.MAP">
        <Audio track="2" streamNumber="1" mediaAttr="1" description="Main"/>
      </PrimaryAudioVideoClip>
      <ChapterList>
        <Chapter titleTimeBegin="00:00:00:00" displayName="Start"/>
        <Chapter titleTimeBegin="00:10:00:49"/>
        <Chapter titleTimeBegin="broken"/>
      </ChapterList>
      <TrackNavigationList>
        <AudioTrack track="2" langcode="de:00"/>
        <AudioTrack track="3" langcode="*:00"/>
        <SubtitleTrack track="1" langcode="ZH:00"/>
      </TrackNavigationList>
    </Title>
  </TitleSet>
</Playlist>
)";

TEST(TitleModel, ReadsTitlesStreamsLanguagesAndChapters) {
    const Playlist p = parsePlaylist(kPlaylist);
    EXPECT_EQ(p.name, "Caf\xC3\xA9 & more");
    EXPECT_EQ(p.frameRate, 50);
    ASSERT_EQ(p.titles.size(), 2u); // the first-play title is not a title

    // No titleNumber: the position counts; the element's own langcode is the fallback.
    const Title* first = p.findTitle(1);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->hasTitleNumber);
    ASSERT_EQ(first->streams.size(), 1u);
    EXPECT_EQ(first->streams[0].language6392, "spa");
    EXPECT_EQ(first->streams[0].box(), "cbAudio01");

    const Title* feature = p.findTitle(7);
    ASSERT_NE(feature, nullptr);
    EXPECT_EQ(p.findTitle(2), nullptr); // a given titleNumber replaces the position
    EXPECT_EQ(feature->evoNames(), (std::vector<std::string>{"FEATURE_1.EVO", "FEATURE_2.EVO"}));

    struct Want {
        StreamKind kind;
        std::string box, caption, lang1, lang2;
    };
    const std::vector<Want> want = {
        {StreamKind::Video, "cbVideo0", ".stream.0", "", "und"},
        {StreamKind::Audio, "cbAudio00", "DD+.6ch.stream.00.Main", "de", "ger"},
        {StreamKind::Audio, "cbAudio02", "DD+.6ch.stream.02.Undetermined", "", "und"},
        {StreamKind::Subtitle, "cbSub00", "2bitRLE.stream.00.Subs", "ZH", "chi"},
    };
    ASSERT_EQ(feature->streams.size(), want.size()); // the second clip's audio is listed once
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].caption);
        const PlaylistStream& s = feature->streams[i];
        EXPECT_EQ(s.kind, want[i].kind);
        EXPECT_EQ(s.box(), want[i].box);
        EXPECT_EQ(s.caption(), want[i].caption);
        EXPECT_EQ(s.language6391, want[i].lang1);
        EXPECT_EQ(s.language6392, want[i].lang2);
    }

    ASSERT_EQ(feature->chapters.size(), 3u);
    EXPECT_EQ(feature->chapters[0].name, "Start");
    EXPECT_EQ(feature->chapters[1].name, "Chapter 02");
    ASSERT_TRUE(feature->chapters[1].time.has_value());
    EXPECT_DOUBLE_EQ(titleSeconds(*feature->chapters[1].time, 50, Clock::Exact), 600.98);
    EXPECT_FALSE(feature->chapters[2].time.has_value());
}

TEST(TitleModel, TextWithoutPlaylistElementIsRefused) {
    EXPECT_THROW(parsePlaylist("<html><body>no</body></html>"), Error);
    EXPECT_THROW(parsePlaylist(std::string("\x00\x00\x01\xBA", 4)), Error);
}

TEST(TitleModel, TitleTimes) {
    struct Case {
        const char* text;
        bool valid;
        long long frames60;
    };
    const Case cases[] = {
        {"00:00:00:00", true, 0}, {"00:58:06:00", true, 209160}, {"01:00:00:59", true, 216059},
        {"00:00:01", false, 0},   {"00:00:00:00:00", false, 0},  {"aa:00:00:00", false, 0},
        {"", false, 0},           {"00::00:00", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto t = parseTitleTime(c.text);
        ASSERT_EQ(t.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(t->frameCount(60), c.frames60);
        }
    }
}

// The clock that reads the title times: exact rate, or rate x 1000/1001,
// whichever brings titleDuration closer to the video's PTS span.
TEST(TitleModel, ClockDecision) {
    struct Case {
        const char* duration;
        int rate;
        std::optional<double> span;
        Clock want;
    };
    const Case cases[] = {
        // One hour of title time: exact 3600 s, or 3603.6 s at 59.94.
        {"01:00:00:00", 60, 3600.0, Clock::Exact},
        {"01:00:00:00", 60, 3603.6, Clock::Ntsc},
        {"01:00:00:00", 60, 3601.7, Clock::Exact}, // nearer 3600 than 3603.6
        {"01:00:00:00", 60, 3601.9, Clock::Ntsc},
        {"01:00:00:00", 60, std::nullopt, Clock::Ntsc}, // no files: 60000/1001, as real discs count
        {"00:00:12:12", 24, 12.555, Clock::Ntsc},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.duration) + " " + std::to_string(c.span.value_or(-1)));
        EXPECT_EQ(chooseClock(parseTitleTime(c.duration), c.rate, c.span).clock, c.want);
    }
    EXPECT_EQ(chooseClock(std::nullopt, 60, 10.0).clock, Clock::Ntsc);
    EXPECT_EQ(clockName(60, Clock::Ntsc), "59.94");
    EXPECT_EQ(clockName(24, Clock::Ntsc), "23.976");
    EXPECT_EQ(clockName(50, Clock::Exact), "50");
}

TEST(TitleModel, Iso639) {
    const std::pair<const char*, const char*> codes[] = {
        {"en", "eng"}, {"de", "ger"}, {"fr", "fre"}, {"nl", "dut"}, {"zh", "chi"},  {"ja", "jpn"},
        {"EN", "eng"}, {"*", "und"},  {"", "und"},   {"xx", "und"}, {"eng", "und"},
    };
    for (const auto& [in, out] : codes) EXPECT_EQ(iso6392B(in), out) << in;
}

} // namespace
} // namespace vantrel::disc
