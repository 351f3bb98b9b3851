#include "engine/click_handlers.h"
#include "files/errors.h"
#include "runs_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantrel::test {
namespace {

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ScanRun, LabelsTheFoundStreamsAndReports) {
    ScratchDir dir;
    Feature f = makeFeature(dir, 40, 8);
    Session s;
    s.chooseSource(f.first);
    s.window.activePage = Page::Options;
    bCheckClick(s.core);

    const auto& log = s.window.logLines;
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "Opening file FEATURE_1.EVO");
    EXPECT_EQ(log[1], "File size: 0 Mbytes.");
    EXPECT_EQ(log[log.size() - 2], "Done.");
    EXPECT_EQ(log.back(), std::to_string(f.one.frames) + " frames (0:00:01 s) count in video stream 0.");
    EXPECT_EQ(s.window.statusLines.front(), "0: Opening");
    EXPECT_EQ(s.window.statusLines[1], "0: Reading");
    EXPECT_EQ(s.window.panel[0], " Ready");
    EXPECT_EQ(s.window.panel[1], " ");
    EXPECT_EQ(s.window.activePage, Page::Status);

    for (int box = 0; box < StreamBoxes::kCount; ++box) {
        SCOPED_TRACE(StreamBoxes::name(box));
        bool found = box == StreamBoxes::videoBox(0) || box == StreamBoxes::audioBox(0);
        EXPECT_EQ(s.core.boxes[box].enabled, found);
        EXPECT_EQ(s.core.boxes[box].ticked, found);
        if (!found) {
            EXPECT_EQ(s.core.boxes[box].caption, StreamBoxes::resetCaption(box));
        }
    }
    EXPECT_EQ(s.core.boxes[StreamBoxes::videoBox(0)].caption, "MPEG-2.stream.0");
    EXPECT_EQ(s.core.boxes[StreamBoxes::audioBox(0)].caption, "DD+.stream.00");
    EXPECT_TRUE(s.window.buttons[Button::Demux]);
    EXPECT_TRUE(s.window.buttons[Button::Check]);
    EXPECT_TRUE(s.nothingHeld());

    // The same file again: same boxes, and the ticks do not change, so the click handler stays quiet.
    s.window.boxChanges.clear();
    s.window.setButtonEnabled(Button::Demux, false);
    bCheckClick(s.core);
    EXPECT_EQ(s.core.boxes[StreamBoxes::audioBox(0)].caption, "DD+.stream.00");
    EXPECT_FALSE(s.window.buttons[Button::Demux]);
}

TEST(ScanRun, CaptionsFollowTheSlotOfEachStream) {
    ScratchDir dir;
    EvoBuilder evo;
    PesSpec h264;
    h264.streamId = 0xE3;
    h264.body = {0x00, 0x00, 0x01, 0x09, 0x10};
    evo.pack(h264);
    evo.packPrivate(0xCA, filler(100, 3));
    evo.packPrivate(0x89, filler(100, 4));
    evo.packPrivate(0x61, filler(100, 5));
    evo.packPrivate(0x35, filler(100, 6)); // subpicture index 21: no box
    std::string path = dir / "MIXED.EVO";
    writeBytes(path, evo.bytes());

    Session s;
    s.chooseSource(path);
    bCheckClick(s.core);
    std::vector<std::string> enabled;
    for (int box = 0; box < StreamBoxes::kCount; ++box)
        if (s.core.boxes[box].enabled)
            enabled.push_back(StreamBoxes::name(box) + " " + s.core.boxes[box].caption);
    EXPECT_EQ(enabled, (std::vector<std::string>{"cbVideo1 H.264.stream.1", "cbAudio01 DTSHD.stream.01",
                                                 "cbAudio10 DD+.stream.10", "cbSub01 Ext.Subpicture.01"}));
    EXPECT_EQ(s.window.logLines.back(), "1 frames (0:00:00 s) count in video stream 1.");
}

TEST(ScanRun, AFileWithoutStreamsUnticksWhatAnEarlierScanTicked) {
    ScratchDir dir;
    Feature f = makeFeature(dir, 12, 4);
    std::string empty = dir / "EMPTY.EVO";
    EvoBuilder pad;
    pad.packHeader().padding(2048 - 14);
    writeBytes(empty, pad.bytes());

    Session s;
    s.chooseSource(f.first);
    bCheckClick(s.core);
    ASSERT_TRUE(s.window.buttons[Button::Demux]);

    s.chooseSource(empty);
    s.window.logLines.clear();
    bCheckClick(s.core);
    for (int box = 0; box < StreamBoxes::kCount; ++box) {
        EXPECT_FALSE(s.core.boxes[box].enabled);
        EXPECT_FALSE(s.core.boxes[box].ticked);
        EXPECT_EQ(s.core.boxes[box].caption, StreamBoxes::resetCaption(box));
    }
    EXPECT_FALSE(s.window.buttons[Button::Demux]);
    EXPECT_EQ(s.window.logLines.back(), "Done.");
}

TEST(ScanRun, CancelStopsWithoutAQuestionAndLeavesNoFrameLine) {
    ScratchDir dir;
    Feature f = makeFeature(dir, kPacksOver4MiB, 4);
    Session s;
    s.core.demuxActive = 1; // as a demux run before leaves it
    s.chooseSource(f.first);
    s.window.onProcessEvents = [&] { bCancelClick(s.core); };
    bCheckClick(s.core);
    EXPECT_TRUE(s.window.questions.empty());
    EXPECT_EQ(s.window.logLines.back(), "Done.");
    EXPECT_EQ(s.core.videoFrameCount[0], 0);
    // The boxes show what was found before the stop.
    EXPECT_TRUE(s.core.boxes[StreamBoxes::videoBox(0)].ticked);
    EXPECT_TRUE(s.window.buttons[Button::Check]);
    EXPECT_TRUE(s.nothingHeld());
}

TEST(ScanRun, AnUnreadableSourceEndsTheRunAfterTheOpeningLine) {
    ScratchDir dir;
    Session s;
    // Boxes as an earlier scan left them.
    s.tick(StreamBoxes::videoBox(0), "MPEG-2.stream.0");
    s.core.boxes.setEnabled(StreamBoxes::videoBox(0), true);
    s.chooseSource(dir / "HVDVD_TS/GONE_1.EVO");
    try {
        bCheckClick(s.core);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + dir.path() + "/HVDVD_TS/GONE_1.EVO\". No such file or directory");
    }
    EXPECT_EQ(s.window.logLines, (std::vector<std::string>{"Opening file GONE_1.EVO"}));
    EXPECT_EQ(s.window.panel[0], " Opening");
    EXPECT_FALSE(s.window.buttons[Button::Check]);
    EXPECT_FALSE(s.core.boxes[StreamBoxes::videoBox(0)].enabled);
    EXPECT_EQ(s.core.boxes[StreamBoxes::videoBox(0)].caption, "No video stream");
    EXPECT_TRUE(s.nothingHeld());
    EXPECT_FALSE(contains(s.window.logLines, "Done."));
}

} // namespace
} // namespace vantrel::test
