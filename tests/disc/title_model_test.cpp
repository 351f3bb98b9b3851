// The structured playlist model: attribute reading, title numbering, languages
// joined by track, chapter names, and the clock decision for title times.
#include "disc/disc_model.h"
#include "disc/title_model.h"
#include "files/errors.h"
#include "names/language_codes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

// What a reading gives, in one line: per title its number, EVO files, chapters
// (count, first and last name) and each stream's box with codec and language.
std::string summary(const Playlist& p) {
    std::string out = p.name + "@" + std::to_string(p.frameRate);
    for (const Title& t : p.titles) {
        out += " #" + std::to_string(t.number);
        for (const std::string& evo : t.evoNames()) out += " " + evo;
        out += " [" + std::to_string(t.chapters.size());
        if (!t.chapters.empty()) out += ": " + t.chapters.front().name + ".." + t.chapters.back().name;
        for (const Chapter& c : t.chapters) out += c.time ? "" : " (a time unread)";
        out += "]";
        for (const PlaylistStream& s : t.streams) out += " " + s.box() + "=" + s.codec + "/" + s.language6392;
    }
    return out;
}

// The XML of real playlists: each text reads the same as the plain one.
TEST(TitleModel, XmlAsRealPlaylistsWriteIt) {
    const std::string want = "Disc@50 #3 F_1.EVO [2: A..B] cbAudio00=DD+/ger cbSub00=/eng";
    const char* const plain = R"(<Playlist displayName="Disc">
<MediaAttributeList><AudioAttributeItem index="1" codec="DD+"/></MediaAttributeList>
<TitleSet timeBase="50fps">
<Title titleNumber="3">
<PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/F_1.MAP">
<Audio track="1" streamNumber="1" mediaAttr="1"/>
<Subtitle track="1" streamNumber="1"/>
</PrimaryAudioVideoClip>
<ChapterList>
<Chapter displayName="A" titleTimeBegin="00:00:00:00"/>
<Chapter displayName="B" titleTimeBegin="00:01:00:00"/>
</ChapterList>
<TrackNavigationList><AudioTrack track="1" langcode="de:00"/><SubtitleTrack track="1" langcode="en:01"/></TrackNavigationList>
</Title>
</TitleSet>
</Playlist>)";
    auto crlf = [](std::string text) {
        for (std::size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 2))
            text.insert(i, "\r");
        return text;
    };
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string text = plain;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"plain", plain},
        {"CRLF line ends", crlf(plain)},
        {"comments inside elements and lists",
         replace("<ChapterList>\n", "<ChapterList><!-- <Chapter displayName=\"X\"/> -->\n<!--\n-->")},
        {"a comment between attributes' lines, a tag spread over lines",
         replace("<Title titleNumber=\"3\">",
                 "<!-- <Title titleNumber=\"9\"> -->\n<Title\r\n\ttitleNumber='3'\n\t>")},
        {"the default namespace and schema attributes",
         replace("<Playlist displayName=\"Disc\">",
                 "<Playlist xmlns=\"http://www.dvdforum.org/2005/HDDVDVideo/Playlist\" "
                 "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                 "xsi:schemaLocation=\"http://www.dvdforum.org/2005/HDDVDVideo/Playlist Playlist.xsd\" "
                 "displayName=\"Disc\">")},
        {"a prefixed playlist namespace",
         [&] {
             std::string text = plain;
             for (std::size_t i = 0; (i = text.find('<', i)) != std::string::npos; ++i)
                 text.insert(text[i + 1] == '/' ? i + 2 : i + 1, "p:");
             return text.replace(text.find("<p:Playlist "), 12,
                                 "<p:Playlist xmlns:p=\"http://www.dvdforum.org/2005/HDDVDVideo/Playlist\" ");
         }()},
        {"another namespace's elements of the same names",
         replace("</TitleSet>",
                 "<x:Title xmlns:x=\"urn:other\" titleNumber=\"8\"/></TitleSet>"
                 "<x:TitleSet xmlns:x=\"urn:other\"><x:Title titleNumber=\"9\"/></x:TitleSet>")},
        {"tags in CDATA and in attribute values",
         replace("<ChapterList>",
                 "<ChapterList description=\"a > b /> c\"><![CDATA[<Chapter displayName=\"X\"/>]]>")},
        {"names that start like the model's",
         replace("<ChapterList>",
                 "<ChapterListExtra><Chapter displayName=\"X\"/></ChapterListExtra><ChapterList>")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(summary(parsePlaylist(c.text)), want);
    }
}

// Text that is not XML: refused with the line and the reason, never read as far as it goes.
TEST(TitleModel, MalformedXmlGivesLineAndReason) {
    std::string cut;
    {
        std::ifstream in(std::string(VANTREL_DATA_DIR) + "/retail-two-clip-commentary.XPL", std::ios::binary);
        if (!in) GTEST_SKIP() << "the real playlists are not there";
        cut.assign(1500, '\0');
        in.read(cut.data(), 1500);
    }
    struct Case {
        const char* what;
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"a real playlist cut at byte 1500", cut, "line 35: the text ends inside an element (cut short?)"},
        {"an unterminated attribute",
         "<Playlist><TitleSet><Title>\n<ChapterList>\n<Chapter displayName=\"Arrival/>\n"
         "<Chapter titleTimeBegin=\"00:10:00:00\"/>\n</ChapterList></Title></TitleSet></Playlist>",
         "line 4: a broken start tag (an attribute's quote missing?)"},
        {"garbage", "\x89PNG\r\n\x1a\n garbage text without any tag", "line 3: no XML element at all"},
        {"a stray '<'", "<Playlist>\n<TitleSet>\n< Title/>\n</TitleSet></Playlist>",
         "line 3: a '<' that starts no tag"},
        {"crossed end tags", "<Playlist>\n<TitleSet><Title>\n</TitleSet></Title></Playlist>",
         "line 3: an end tag that does not match"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            parsePlaylist(c.text);
            ADD_FAILURE() << "read";
        } catch (const MalformedPlaylist& e) {
            EXPECT_EQ(std::string(e.what()).rfind("not a well-formed playlist: " + c.error, 0), 0u)
                << e.what();
        }
    }
}

// The real playlists, read as a whole.
TEST(TitleModel, RealPlaylists) {
    const std::pair<const char*, const char*> files[] = {
        {"authoring-test-playlist.XPL",
         "@60 #1 PEVOB2.EVO [1: Chapter 01..Chapter 01] cbVideo0=/und cbAudio00=/eng"
         " #2 PEVOB3.EVO [16: Chapter 1..Chapter 16] cbVideo0=/und cbAudio00=/eng cbAudio01=/eng "
         "cbAudio02=/eng"
         " cbAudio03=/eng cbAudio04=/eng cbAudio05=/eng cbAudio06=/eng cbAudio07=/eng"
         " #3 PEVOB4.EVO [1: Chapter 01..Chapter 01] cbVideo0=/und #4 PEVOB5.EVO [1: Chapter 01..Chapter 01] "
         "cbVideo0=/und"},
        {"retail-feature-1-2.XPL",
         "@60 #1 FEATURE_1.EVO FEATURE_2.EVO [10: Chapter  1..Chapter 10] cbVideo0=VC-1/und cbAudio00=DD+/eng"
         " cbSub00=8bitRLC/eng"},
        {"retail-two-clip-commentary.XPL",
         "Enter the Dragon HD DVD@60 #2 PEVOB_1.EVO PEVOB_2.EVO [29: Chapter 1..Chapter 29] cbVideo0=VC-1/und"
         " cbAudio00=DD+/eng cbAudio01=DD+/fre cbAudio02=DD+/spa cbAudio03=DD+/eng cbSub00=8bitRLC/eng"
         " cbSub01=8bitRLC/eng cbSub02=8bitRLC/fre cbSub03=8bitRLC/spa"},
    };
    for (const auto& [name, want] : files) {
        SCOPED_TRACE(name);
        const std::string path = std::string(VANTREL_DATA_DIR) + "/" + name;
        if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not there";
        EXPECT_EQ(summary(readPlaylist(path)), want);
    }
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
