#include "engine/core.h"
#include "files/errors.h"
#include "playlist/playlist.h"
#include "support/memory_window.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace vantrel;
using vantrel::test::ScratchDir;
using Lines = std::vector<std::string>;

namespace {

// A playlist in the shape of a disc's VPLST000.XPL, cut into parts so that the
// titles can be put together in different orders.
const std::string kHead = R"(<?xml version="1.0" encoding="UTF-8"?>
<Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0" displayName="Harbour Lights Disc">
	<Configuration>
		<StreamingBuffer size="0"/>
	</Configuration>
	<MediaAttributeList>
		<VideoAttributeItem index="1" codec="VC-1" sampleAspectRatio="16:9"/>
		<AudioAttributeItem index="1" codec="DD+" sampleFrequency="48" channels="6"/>
		<AudioAttributeItem index="2" codec="DTS-HD" channels="2"/>
		<SubpictureAttributeItem index="1" codec="8bitRLE"/>
	</MediaAttributeList>
	<TitleSet timeBase="60fps">
)";

const std::string kMenu =
    R"(		<Title id="Menu" titleNumber="1" displayName="Menu" titleDuration="00:00:30:00" onEnd="Menu">
			<PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" src="file:///dvddisc/HVDVD_TS/MENU.MAP" titleTimeEnd="00:00:30:00" dataSource="Disc">
				<Video track="1" mediaAttr="1"/>
				<Audio track="1" streamNumber="1" mediaAttr="2" description="Menu"/>
			</PrimaryAudioVideoClip>
		</Title>
)";

const std::string kClipStreams = R"(				<Video track="1" mediaAttr="1"/>
				<Audio track="1" streamNumber="2" mediaAttr="1" description="English"/>
				<Audio track="2" streamNumber="3" mediaAttr="2" description="Francais"/>
				<Subtitle track="1" streamNumber="1" mediaAttr="1" description="English"/>
				<Subtitle track="2" streamNumber="11" mediaAttr="1" description="Deutsch"/>
)";

const std::string kFeature =
    R"(		<Title id="Feature" titleNumber="2" displayName="Harbour Lights" titleDuration="01:52:10:12">
			<PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP" titleTimeEnd="00:58:00:00" dataSource="Disc">
)" + kClipStreams +
    R"(			</PrimaryAudioVideoClip>
			<PrimaryAudioVideoClip titleTimeBegin="00:58:00:00" src="file:///dvddisc/HVDVD_TS/FEATURE_2.MAP" titleTimeEnd="01:52:10:12" seamless="true" dataSource="Disc">
)" + kClipStreams +
    R"(			</PrimaryAudioVideoClip>
			<ChapterList>
				<Chapter titleTimeBegin="00:00:00:00" displayName="Opening"/>
				<Chapter titleTimeBegin="00:12:34:15" displayName="The Quay"/>
				<Chapter titleTimeBegin="01:02:03:04" displayName="Night Tide"/>
			</ChapterList>
			<TrackNavigationList>
				<VideoTrack track="1"/>
				<AudioTrack track="1" langcode="en:00"/>
				<AudioTrack track="2" langcode="fr:00"/>
				<SubtitleTrack track="1" langcode="en:00"/>
			</TrackNavigationList>
		</Title>
)";

const std::string kExtras =
    R"(		<Title id="Extras" titleNumber="3" displayName="Extras" titleDuration="00:10:00:00">
			<PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" src="file:///dvddisc/HVDVD_TS/FEATURE_10.MAP" titleTimeEnd="00:10:00:00" dataSource="Disc">
				<Video track="1" mediaAttr="1"/>
				<Audio track="1" streamNumber="5" mediaAttr="1" description="Commentary"/>
			</PrimaryAudioVideoClip>
		</Title>
)";

const std::string kTail = "\t</TitleSet>\n</Playlist>\n";

const Lines kFeatureTree{"Info",
                         "  Title: Harbour Lights Disc",
                         "  Name: Harbour Lights",
                         "  Duration: 01:52:10:12",
                         "Video",
                         "  VC-1.stream.0",
                         "Audio",
                         "  DD+.6ch.stream.01.English",
                         "  DTS-HD.2ch.stream.02.Francais",
                         "Subtitle",
                         "  8bitRLE.stream.00.English",
                         "  8bitRLE.stream.10.Deutsch",
                         "Chapter",
                         "  00:00:00:00: Opening",
                         "  00:12:34:15: The Quay",
                         "  01:02:03:04: Night Tide"};

class ReadXPL : public ::testing::Test {
protected:
    ReadXPL() : core(window) {
        core.EVObase = "FEATURE_1";
        core.EVOname = "FEATURE_1.EVO";
        core.XPLname = "VPLST000.XPL";
    }

    std::string write(const std::string& content, const std::string& name = "VPLST000.XPL") {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        window.fields[Field::XPLfile] = path;
        return path;
    }

    void read(const std::string& content) {
        write(content);
        bReadXPLClick(core);
    }

    // Memo lines from the one that begins with `first` through the one that begins with `last`.
    bool memoRunsFrom(const std::string& first, const std::string& last) const {
        return !window.memo.empty() && window.memo.front().rfind(first, 0) == 0 &&
               window.memo.back().rfind(last, 0) == 0;
    }

    std::vector<int> listedSlots() const {
        std::vector<int> slots;
        for (int slot = 1; slot <= 64; ++slot) {
            if (core.streamTable[slot] == 1)
                slots.push_back(slot);
            else
                EXPECT_EQ(core.streamTable[slot], -1) << "slot " << slot;
        }
        return slots;
    }

    ScratchDir scratch;
    std::filesystem::path dir{scratch.path()};
    MemoryWindow window;
    Core core;
};

} // namespace

TEST_F(ReadXPL, ShowsTheTitleThatPlaysTheSourceAndLabelsItsStreams) {
    // A scan before the read left a stream code in a slot and a ticked box the title does not list.
    core.streamTable.clear();
    core.streamTable[20] = 0xC3;
    core.boxes.setEnabled(StreamBoxes::audioBox(3), true);
    core.boxes.setTicked(StreamBoxes::audioBox(3), true);

    const std::string content = kHead + kMenu + kFeature + kExtras + kTail;
    read(content);

    EXPECT_EQ(window.memo.size(), 27u);
    EXPECT_EQ(window.memo.front(),
              "    <Title id=\"Feature\" titleNumber=\"2\" displayName=\"Harbour Lights\" "
              "titleDuration=\"01:52:10:12\">");
    EXPECT_EQ(window.memo[2], "        <Video track=\"1\" mediaAttr=\"1\"/>");
    EXPECT_EQ(window.memo[7], "      </PrimaryAudioVideoClip>");
    EXPECT_EQ(window.memo.back(), "    </Title>");
    EXPECT_EQ(window.treeLines(), kFeatureTree);

    EXPECT_EQ(window.logLines,
              (Lines{"Open VPLST000.XPL", "Filesize: " + std::to_string(content.size()) + " bytes",
                     "VC-1.stream.0 found!", "DD+.6ch.stream.01.English found!",
                     "DTS-HD.2ch.stream.02.Francais found!", "8bitRLE.stream.00.English found!",
                     "8bitRLE.stream.10.Deutsch found!", "Done."}));
    EXPECT_EQ(listedSlots(), (std::vector<int>{1, 18, 19, 33, 43}));

    struct Expect {
        int box;
        std::string caption;
    };
    for (const Expect& e : {Expect{StreamBoxes::videoBox(0), "VC-1.stream.0"},
                            Expect{StreamBoxes::audioBox(1), "DD+.6ch.stream.01.English"},
                            Expect{StreamBoxes::audioBox(2), "DTS-HD.2ch.stream.02.Francais"},
                            Expect{StreamBoxes::subBox(0), "8bitRLE.stream.00.English"},
                            Expect{StreamBoxes::subBox(10), "8bitRLE.stream.10.Deutsch"}}) {
        const BoxState& box = core.boxes[e.box];
        EXPECT_TRUE(box.enabled && box.ticked) << e.caption;
        EXPECT_EQ(box.caption, e.caption);
        EXPECT_EQ(box.tooltip, e.box == 0 ? "Check the desired video stream" : e.caption);
    }
    // The formerly ticked box keeps its tick but is disabled with its reset caption.
    const BoxState& old = core.boxes[StreamBoxes::audioBox(3)];
    EXPECT_TRUE(old.ticked);
    EXPECT_FALSE(old.enabled);
    EXPECT_EQ(old.caption, "No audio stream");
    EXPECT_FALSE(core.boxes[StreamBoxes::videoBox(1)].enabled);
    EXPECT_TRUE(window.buttons[Button::Demux]);

    EXPECT_EQ(window.activePage, Page::XPL);
    EXPECT_TRUE(window.buttons[Button::ReadXPL]);
    EXPECT_EQ(window.memoVisibility, (std::vector<bool>{false, true}));
    EXPECT_EQ(window.statusLines,
              (Lines{"1: " + std::to_string(content.size()) + "/" + std::to_string(content.size()) + " bytes",
                     "0: Ready", "1: "}));
    EXPECT_EQ(core.sourceFile, nullptr);
    EXPECT_FALSE(core.runActive);
}

TEST_F(ReadXPL, ReadingTheSameFileTwiceGivesTheSameMemoAndTree) {
    const std::string content = kHead + kMenu + kFeature + kTail;
    read(content);
    const Lines memo = window.memo, tree = window.treeLines();
    const std::size_t logged = window.logLines.size();
    bReadXPLClick(core);
    EXPECT_EQ(window.memo, memo);
    EXPECT_EQ(window.treeLines(), tree);
    EXPECT_EQ(tree, kFeatureTree);
    EXPECT_EQ(Lines(window.logLines.begin() + static_cast<long>(logged), window.logLines.end()),
              Lines(window.logLines.begin(), window.logLines.begin() + static_cast<long>(logged)));
}

TEST_F(ReadXPL, AnEarlierFeatureTenClipTakesTheAnchor) {
    read(kHead + kMenu + kExtras + kFeature + kTail);
    EXPECT_TRUE(memoRunsFrom("    <Title id=\"Extras\"", "    </Title>"));
    EXPECT_EQ(window.memo.size(), 6u);
    EXPECT_EQ(window.treeLines(), (Lines{"Info", "  Title: Harbour Lights Disc", "  Name: Extras",
                                         "  Duration: 00:10:00:00", "Video", "  VC-1.stream.0", "Audio",
                                         "  DD+.6ch.stream.04.Commentary", "Subtitle", "Chapter"}));
    EXPECT_EQ(listedSlots(), (std::vector<int>{1, 21}));
}

TEST_F(ReadXPL, ATitleWhoseOwnTagNamesTheSourceShowsThePreviousTitle) {
    core.EVObase = "Feature";
    read(kHead + kMenu + kFeature + kTail);
    EXPECT_TRUE(memoRunsFrom("    <Title id=\"Menu\"", "    </Title>"));
    EXPECT_EQ(window.treeLines(), (Lines{"Info", "  Title: Harbour Lights Disc", "  Name: Menu",
                                         "  Duration: 00:00:30:00", "Video", "  VC-1.stream.0", "Audio",
                                         "  DTS-HD.2ch.stream.00.Menu", "Subtitle", "Chapter"}));

    // With no title before it, the memo runs from the first line to the first closing title.
    read(kHead + kFeature + kMenu + kTail);
    EXPECT_TRUE(memoRunsFrom("<?xml version=\"1.0\"", "    </Title>"));
    EXPECT_EQ(window.memo[1].rfind("<Playlist xmlns=", 0), 0u);
    const Lines tree = window.treeLines();
    EXPECT_EQ(tree, kFeatureTree);
}

TEST_F(ReadXPL, WithoutAChosenSourceTheWholePlaylistStaysAndTheTreeIsUntouched) {
    core.EVObase.clear();
    const Lines startTree = window.treeLines();
    core.boxes.setTicked(StreamBoxes::audioBox(0), true);
    read(kHead + kMenu + kFeature + kTail);

    EXPECT_EQ(window.memo.front(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    EXPECT_EQ(window.memo.back(), "</Playlist>");
    EXPECT_EQ(window.memo.size(), 47u);
    EXPECT_EQ(window.treeLines(), startTree);
    EXPECT_EQ(startTree, (Lines{"Video", "Audio", "Subpicture", "Chapter"}));
    EXPECT_TRUE(listedSlots().empty());
    for (int box = 0; box < StreamBoxes::kCount; ++box) EXPECT_FALSE(core.boxes[box].enabled) << box;
    EXPECT_EQ(window.logLines.size(), 3u);
    EXPECT_EQ(window.logLines.back(), "Done.");
}

TEST_F(ReadXPL, ASecondPlaylistKeepsTheTableEntriesItDoesNotSet) {
    read(kHead + kFeature + kTail);
    const std::string other = R"(<?xml version="1.0"?>
<Playlist displayName="Second Disc">
 <MediaAttributeList>
  <AudioAttributeItem index="1" codec="LPCM" channels="2"/>
 </MediaAttributeList>
 <TitleSet timeBase="60fps">
  <Title id="t" displayName="Main" titleDuration="00:01:00:00">
   <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP">
    <Video track="1" mediaAttr="1"/>
    <Audio track="1" streamNumber="1" mediaAttr="1" description="A"/>
    <Audio track="2" streamNumber="2" mediaAttr="2" description="B"/>
   </PrimaryAudioVideoClip>
  </Title>
 </TitleSet>
</Playlist>)";
    read(other);
    EXPECT_EQ(core.audioAttr[1], "LPCM.2ch");
    EXPECT_EQ(core.audioAttr[2], "DTS-HD.2ch");
    EXPECT_EQ(core.videoAttr[1], "VC-1");
    EXPECT_EQ(window.treeLines(),
              (Lines{"Info", "  Title: Second Disc", "  Name: Main", "  Duration: 00:01:00:00", "Video",
                     "  VC-1.stream.0", "Audio", "  LPCM.2ch.stream.00.A", "  DTS-HD.2ch.stream.01.B",
                     "Subtitle", "Chapter"}));
    // The boxes of the first read that this title does not list are disabled again.
    EXPECT_FALSE(core.boxes[StreamBoxes::audioBox(2)].enabled);
    EXPECT_FALSE(core.boxes[StreamBoxes::subBox(10)].enabled);
    EXPECT_EQ(listedSlots(), (std::vector<int>{1, 17, 18}));
}

TEST_F(ReadXPL, StreamsOutsideTheTablesAreListedButTouchNoSlotOrBox) {
    const std::string content = R"(<Playlist><Title displayName="T" titleDuration="1">
<Video track="2" mediaAttr="1"/>
<Video track="0"/>
<Video track="17" mediaAttr="1"/>
<Audio streamNumber="17" mediaAttr="1" description="high"/>
<Audio streamNumber="0" mediaAttr="1" description="none"/>
<Audio streamNumber="16" mediaAttr="9" description="last"/>
<Subtitle streamNumber="16" mediaAttr="-2" description="s"/>
<Subtitle streamNumber="33" description="far"/>
<Clip src="FEATURE_1.MAP"/>
</Title></Playlist>)";
    core.videoAttr[1] = "H.264";
    core.audioAttr[1] = "DD";
    read(content);
    EXPECT_EQ(window.treeLines(),
              (Lines{"Info", "  Name: T", "  Duration: 1", "Video", "  H.264.stream.1", "  .stream.-1",
                     "  H.264.stream.16", "Audio", "  DD.stream.16.high", "  DD.stream.-1.none",
                     "  .stream.15.last", "Subtitle", "  .stream.15.s", "  .stream.32.far", "Chapter"}));
    EXPECT_EQ(listedSlots(), (std::vector<int>{2, 32, 48}));
    for (int box = 0; box < StreamBoxes::kCount; ++box) {
        const bool expected = box == StreamBoxes::audioBox(15) || box == StreamBoxes::subBox(15);
        EXPECT_EQ(core.boxes[box].enabled, expected) << box;
        EXPECT_EQ(core.boxes[box].ticked, expected) << box;
    }
    EXPECT_EQ(core.boxes[StreamBoxes::audioBox(15)].caption, ".stream.15.last");
    EXPECT_EQ(std::count_if(window.logLines.begin(), window.logLines.end(),
                            [](const std::string& l) { return l.ends_with(" found!"); }),
              8);
}

TEST_F(ReadXPL, ATagAcrossTheBlockBoundaryIsOneLine) {
    // Text outside tags is dropped, so the padding puts the tag across byte 32768.
    const std::string tag = "<Audio streamNumber=\"1\" description=\"Cross\"/>";
    std::string content = "<Title displayName=\"x\" src=\"FEATURE_1\">";
    content += std::string(32768 - 10 - content.size(), 'p') + tag + "</Title>";
    read(content);
    EXPECT_EQ(window.memo, (Lines{"<Title displayName=\"x\" src=\"FEATURE_1\">", "  " + tag, "</Title>"}));
    EXPECT_EQ(window.treeLines()[5], "  .stream.00.Cross");
    const std::string size = std::to_string(content.size());
    EXPECT_EQ(window.statusLines, (Lines{"1: 32768/" + size + " bytes", "1: " + size + "/" + size + " bytes",
                                         "0: Ready", "1: "}));
}

TEST_F(ReadXPL, AFileThatCannotBeOpenedChangesNothingButTheBoxes) {
    read(kHead + kFeature + kTail);
    const Lines memo = window.memo, tree = window.treeLines();
    const std::size_t logged = window.logLines.size();

    window.fields[Field::XPLfile] = (dir / "missing.XPL").string();
    try {
        bReadXPLClick(core);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + (dir / "missing.XPL").string() + "\". No such file or directory");
    }
    EXPECT_EQ(window.memo, memo);
    EXPECT_EQ(window.treeLines(), tree);
    EXPECT_EQ(window.logLines.size(), logged);
    EXPECT_TRUE(window.buttons[Button::ReadXPL]);
    EXPECT_TRUE(window.memoVisible);
    for (int box = 0; box < StreamBoxes::kCount; ++box) EXPECT_FALSE(core.boxes[box].enabled) << box;
    EXPECT_EQ(core.sourceFile, nullptr);
    EXPECT_FALSE(core.runActive);
}

TEST_F(ReadXPL, AClickDuringAnotherRunDoesNothing) {
    write(kHead + kFeature + kTail);
    core.runActive = true;
    bReadXPLClick(core);
    EXPECT_TRUE(window.logLines.empty());
    EXPECT_TRUE(window.memo.empty());
    EXPECT_TRUE(core.runActive);
}

TEST_F(ReadXPL, TheAuthoringTestPlaylist) {
    const std::string path = std::string(VANTREL_DATA_DIR) + "/authoring-test-playlist.XPL";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
    window.fields[Field::XPLfile] = path;

    // PEVOB1 plays in the first-play title, which is no "<Title ": the memo runs
    // from the first line to the first closing title, and the tree shows that title.
    core.EVObase = "PEVOB1";
    bReadXPLClick(core);
    EXPECT_EQ(window.logLines[1], "Filesize: 6805 bytes");
    EXPECT_EQ(window.memo.front(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    EXPECT_EQ(window.memo[3], "    <StreamingBuffer size=\"0\"/>");
    EXPECT_EQ(window.memo.back(), "    </Title>");
    // The comment spanning two lines ends in a bare "-->": its indentation stands as a line.
    EXPECT_NE(std::find(window.memo.begin(), window.memo.end(), std::string(10, ' ')), window.memo.end());
    EXPECT_EQ(window.treeLines(),
              (Lines{"Info", "  Name: MM", "  Duration: 00:01:00:01", "Video", "  .stream.0", "Audio",
                     "  .stream.00.", "Subtitle", "Chapter", "  00:00:00:00: "}));
    EXPECT_EQ(listedSlots(), (std::vector<int>{1, 17}));

    core.EVObase = "PEVOB3";
    bReadXPLClick(core);
    EXPECT_TRUE(memoRunsFrom("    <Title id=\"feature\"", "    </Title>"));
    const Lines tree = window.treeLines();
    ASSERT_EQ(tree.size(), 32u);
    EXPECT_EQ(tree[1], "  Name: feature");
    EXPECT_EQ(tree[2], "  Duration: 00:58:06:00");
    EXPECT_EQ(tree[6], "  .stream.00.");
    EXPECT_EQ(tree[13], "  .stream.07.");
    EXPECT_EQ(tree[16], "  00:00:00:00: Chapter 1");
    EXPECT_EQ(tree[31], "  00:53:46:00: Chapter 16");
    for (int n = 0; n < 8; ++n) {
        const BoxState& box = core.boxes[StreamBoxes::audioBox(n)];
        EXPECT_TRUE(box.enabled && box.ticked);
        EXPECT_EQ(box.tooltip, box.caption);
    }
    EXPECT_FALSE(core.boxes[StreamBoxes::audioBox(8)].enabled);
}
