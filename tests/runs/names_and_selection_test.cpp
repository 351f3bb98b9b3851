#include "runs_fixture.h"

#include "engine/pes_parser.h"
#include "packets/stream_ids.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

TEST(StreamNames, KindNamesByCodeRangeWithInclusiveEdges) {
    struct Case {
        std::int32_t code;
        const char* video;
        const char* audio;
        const char* sub;
    };
    const Case cases[] = {
        {0x54, "", "", ""},
        {0x55, "VC-1.stream", "", ""},
        {0x56, "VC-1.stream", "", ""},
        {0x57, "", "", ""},
        {0xDF, "", "", ""},
        {0xE0, "MPEG-2.stream", "", ""},
        {0xE1, "MPEG-2.stream", "", ""},
        {0xE2, "H.264.stream", "", ""},
        {0xE3, "H.264.stream", "", ""},
        {0xE4, "", "", ""},
        {0x7F, "", "", ""},
        {0x80, "", "DD.stream", ""},
        {0x87, "", "DD.stream", ""},
        {0x88, "", "DTSHD.stream", ""},
        {0x8F, "", "DTSHD.stream", ""},
        {0x90, "", "", ""},
        {0x9F, "", "", ""},
        {0xA0, "", "LPCM.stream", ""},
        {0xA7, "", "LPCM.stream", ""},
        {0xA8, "", "", ""},
        {0xB0, "", "MLP.stream", ""},
        {0xB7, "", "MLP.stream", ""},
        {0xB8, "", "", ""},
        {0xC0, "", "DD+.stream", ""},
        {0xCF, "", "DD+.stream", ""},
        {0xD0, "", "", ""},
        {0x1F, "", "", ""},
        {0x20, "", "", "Subpicture"},
        {0x2F, "", "", "Subpicture"},
        {0x30, "", "", ""},
        {0x5F, "", "", ""},
        {0x60, "", "", "Ext.Subpicture"},
        {0x6F, "", "", "Ext.Subpicture"},
        {0x70, "", "", ""},
        {-1, "", "", ""},
        {1, "", "", ""},
        {0x1E0, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(VideoStreamName(c.code), c.video);
        EXPECT_EQ(AudioStreamName(c.code), c.audio);
        EXPECT_EQ(SubpictureStreamName(c.code), c.sub);
    }
}

// The parser, the stream names and the boxes take their ids from one table: a
// stream the parser records in a slot that has a box always has a name, and
// the name is the one of the kind the parser found.
TEST(StreamNames, EveryStreamThatReachesABoxIsNamed) {
    struct NoRuns : PayloadHandler {
        void payloadRun(std::size_t, std::size_t) override {}
    };
    for (int id = 0; id < 256; ++id) {
        SCOPED_TRACE(id);
        EvoBuilder b;
        const auto byte = static_cast<std::uint8_t>(id);
        b.privateStream(byte, pattern(8, 1));
        if (ids::kVideo.holds(id)) b.pes(pesPacket(byte, pattern(8, 2)));
        if (ids::kVc1Video.holds(id)) b.vc1(byte, pattern(8, 3));
        MemoryWindow window;
        StreamTable table;
        table.clear();
        PesParser parser(table, window);
        NoRuns none;
        parser.parse(b.bytes().data(), b.bytes().size(), RunMode::Scan, none);
        for (int box : StreamBoxes::tiedBoxes()) {
            const std::int32_t code = table[StreamBoxes::slotOf(box)];
            if (code < 0) continue;
            std::string name;
            switch (StreamBoxes::kindOf(box)) {
            case StreamKind::Video: name = VideoStreamName(code); break;
            case StreamKind::Audio: name = AudioStreamName(code); break;
            case StreamKind::Subpicture: name = SubpictureStreamName(code); break;
            }
            EXPECT_NE(name, "") << StreamBoxes::name(box) << " holds " << code;
        }
        // "DTS HD audio stream 3 found!" goes with DTSHD.stream, and so on.
        const std::pair<std::string, std::string> logged[] = {{"DD audio", "DD.stream"},
                                                              {"DD+ audio", "DD+.stream"},
                                                              {"DTS HD audio", "DTSHD.stream"},
                                                              {"LPCM audio", "LPCM.stream"},
                                                              {"MLP audio", "MLP.stream"}};
        for (const std::string& line : window.logLines) {
            for (const auto& [prefix, expected] : logged) {
                if (line.rfind(prefix, 0) == 0) {
                    EXPECT_EQ(AudioStreamName(id), expected) << line;
                }
            }
        }
    }
}

TEST(ReportVideoFrames, OneLinePerCountedStreamAtTheFilmRate) {
    MemoryWindow window;
    Core core(window);
    core.videoFrameCount = {43157, 0};
    ReportVideoFrames(core);
    core.videoFrameCount = {-5, 24};
    ReportVideoFrames(core);
    // 2,073,000 frames are 86,461 s: only the part below one day is shown.
    core.videoFrameCount = {2073000, 1};
    ReportVideoFrames(core);
    EXPECT_EQ(window.logLines, (std::vector<std::string>{
                                   "43157 frames (0:30:00 s) count in video stream 0.",
                                   "24 frames (0:00:01 s) count in video stream 1.",
                                   "2073000 frames (0:01:01 s) count in video stream 0.",
                                   "1 frames (0:00:00 s) count in video stream 1.",
                               }));

    // The user's long time format renders the duration.
    window.logLines.clear();
    window.timeFormat = "HH:mm:ss";
    core.videoFrameCount = {43157, 0};
    ReportVideoFrames(core);
    EXPECT_EQ(window.logLines,
              (std::vector<std::string>{"43157 frames (00:30:00 s) count in video stream 0."}));
}

TEST(SourceSelection, DiscFolderBringsItsPlaylistAndPlaylistPointsBack) {
    Session s;
    s.chooseSource("/media/disc/HVDVD_TS/FEATURE_1.EVO");
    EXPECT_EQ(s.core.EVOname, "FEATURE_1.EVO");
    EXPECT_EQ(s.core.EVObase, "FEATURE_1");
    EXPECT_EQ(s.core.EVOdir, "/media/disc/HVDVD_TS/");
    EXPECT_EQ(s.core.XPLdir, "/media/disc/ADV_OBJ/");
    EXPECT_EQ(s.core.XPLname, "VPLST000.XPL");
    EXPECT_EQ(s.core.xplDialogFileName, "VPLST000.XPL");
    EXPECT_EQ(s.window.fields[Field::XPLfile], "/media/disc/ADV_OBJ/VPLST000.XPL");
    EXPECT_TRUE(s.window.buttons[Button::Check]);
    EXPECT_TRUE(s.window.buttons[Button::ReadXPL]);

    // A playlist from another disc points the EVO dialog there; the EVO field stays.
    s.window.setFieldText(Field::XPLfile, "/mnt/other/ADV_OBJ/VPLST000.XPL");
    XPLadj(s.core);
    EXPECT_EQ(s.core.XPLdir, "/mnt/other/ADV_OBJ/");
    EXPECT_EQ(s.core.XPLname, "VPLST000.XPL");
    EXPECT_EQ(s.core.EVOdir, "/mnt/other/HVDVD_TS/");
    EXPECT_EQ(s.window.fields[Field::EVOfile], "/media/disc/HVDVD_TS/FEATURE_1.EVO");
    EXPECT_EQ(s.core.EVOname, "FEATURE_1.EVO");

    // A playlist outside ADV_OBJ/ leaves EVOdir alone.
    s.window.setFieldText(Field::XPLfile, "/home/u/lists/VPLST000.XPL");
    XPLadj(s.core);
    EXPECT_EQ(s.core.XPLdir, "/home/u/lists/");
    EXPECT_EQ(s.core.EVOdir, "/mnt/other/HVDVD_TS/");

    // An empty playlist field disables Read XPL.
    s.window.setFieldText(Field::XPLfile, "");
    XPLadj(s.core);
    EXPECT_EQ(s.core.XPLname, "");
    EXPECT_FALSE(s.window.buttons[Button::ReadXPL]);
}

TEST(SourceSelection, OutsideADiscFolderOnlyTheBareNameIsShown) {
    Session s;
    // Right after start-up: no playlist known, Read XPL stays disabled.
    s.chooseSource("/home/u/hvdvd_ts/FEATURE_1.evo"); // lower-case folder: no disc
    EXPECT_EQ(s.core.EVOname, "FEATURE_1.evo");
    EXPECT_EQ(s.core.EVObase, "FEATURE_1");
    EXPECT_EQ(s.core.EVOdir, "/home/u/hvdvd_ts/");
    EXPECT_EQ(s.core.XPLdir, "");
    EXPECT_EQ(s.core.XPLname, "");
    EXPECT_EQ(s.window.fields[Field::XPLfile], "VPLST000.XPL");
    EXPECT_TRUE(s.window.buttons[Button::Check]);
    EXPECT_FALSE(s.window.buttons[Button::ReadXPL]);

    // After a disc source the playlist name stays known for a later source elsewhere.
    s.chooseSource("/d/HVDVD_TS/A.EVO");
    s.chooseSource("/x/B.VOB");
    EXPECT_EQ(s.core.XPLdir, "/d/ADV_OBJ/");
    EXPECT_EQ(s.window.fields[Field::XPLfile], "VPLST000.XPL");
    EXPECT_TRUE(s.window.buttons[Button::ReadXPL]);

    // Names of four characters or fewer leave no base; a bare name has no folder.
    s.chooseSource("/x/.EVO");
    EXPECT_EQ(s.core.EVObase, "");
    s.chooseSource("F.EV");
    EXPECT_EQ(s.core.EVOname, "F.EV");
    EXPECT_EQ(s.core.EVObase, "");
    EXPECT_EQ(s.core.EVOdir, "");

    // A relative disc folder is recognised too.
    s.chooseSource("HVDVD_TS/FEATURE_1.EVO");
    EXPECT_EQ(s.core.XPLdir, "ADV_OBJ/");
    EXPECT_EQ(s.window.fields[Field::XPLfile], "ADV_OBJ/VPLST000.XPL");

    // An empty source field disables Read EVO.
    s.chooseSource("");
    EXPECT_FALSE(s.window.buttons[Button::Check]);
    EXPECT_EQ(s.core.EVOname, "");
}

} // namespace
} // namespace vantrel::test
