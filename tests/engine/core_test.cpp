#include "engine/click_handlers.h"
#include "engine/core.h"
#include "engine/run_scope.h"
#include "engine/stream_numbering.h"
#include "engine/time_format.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "files/path_parts.h"
#include "support/memory_window.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>

using namespace vantrel;
using vantrel::test::ScratchDir;

TEST(StreamBoxes, NumberingTiesBoxesToSlotsAndOutputs) {
    EXPECT_EQ(StreamBoxes::name(0), "cbVideo0");
    EXPECT_EQ(StreamBoxes::name(7), "cbVideo7");
    EXPECT_EQ(StreamBoxes::name(8), "cbAudio00");
    EXPECT_EQ(StreamBoxes::name(23), "cbAudio15");
    EXPECT_EQ(StreamBoxes::name(24), "cbSub00");
    EXPECT_EQ(StreamBoxes::name(39), "cbSub15");
    EXPECT_EQ(StreamBoxes::find("cbAudio03"), 11);
    EXPECT_EQ(StreamBoxes::find("cbAudio3"), -1);
    EXPECT_EQ(StreamBoxes::slotOf(1), 2);
    EXPECT_EQ(StreamBoxes::slotOf(5), -1);
    EXPECT_EQ(StreamBoxes::slotOf(StreamBoxes::audioBox(3)), 20);
    EXPECT_EQ(StreamBoxes::slotOf(StreamBoxes::subBox(15)), 48);
    EXPECT_EQ(StreamBoxes::outputOf(0), videoOutput(0));
    EXPECT_EQ(StreamBoxes::outputOf(StreamBoxes::audioBox(15)), audioOutput(15));
    EXPECT_EQ(StreamBoxes::outputOf(StreamBoxes::subBox(2)), subOutput(2));
    EXPECT_EQ(StreamBoxes::tiedBoxes().front(), 0);
    EXPECT_EQ(StreamBoxes::tiedBoxes()[2], StreamBoxes::audioBox(0));
    EXPECT_EQ(StreamBoxes::tiedBoxes().back(), StreamBoxes::subBox(15));
}

TEST(StreamBoxes, ResetAndTickHandlerKeepDemuxInStep) {
    MemoryWindow w;
    Core core(w);
    EXPECT_EQ(core.boxes[0].caption, "Video stream");
    EXPECT_EQ(core.boxes[30].tooltip, "Check the desired subpicture streams");

    core.boxes.setTicked(StreamBoxes::audioBox(2), true);
    EXPECT_TRUE(w.buttons[Button::Demux]);
    Resetcbs(core);
    EXPECT_EQ(core.boxes[0].caption, "No video stream");
    EXPECT_EQ(core.boxes[StreamBoxes::audioBox(2)].caption, "No audio stream");
    EXPECT_EQ(core.boxes[StreamBoxes::subBox(0)].caption, "No subpicture");
    EXPECT_FALSE(core.boxes[StreamBoxes::audioBox(2)].enabled);
    EXPECT_TRUE(core.boxes.ticked(StreamBoxes::audioBox(2))) << "a reset leaves ticks alone";
    EXPECT_TRUE(w.buttons[Button::Demux]);

    // Setting a tick to the value it has does not run the handler.
    w.buttons[Button::Demux] = false;
    core.boxes.setTicked(StreamBoxes::audioBox(2), true);
    EXPECT_FALSE(w.buttons[Button::Demux]);

    core.boxes.setTicked(StreamBoxes::audioBox(2), false);
    EXPECT_FALSE(w.buttons[Button::Demux]);
    core.boxes.setTicked(5, true); // a box without a stream counts as well
    EXPECT_TRUE(w.buttons[Button::Demux]);
}

TEST(Cancel, AsksOnlyWhileDemuxing) {
    MemoryWindow w;
    Core core(w);
    bCancelClick(core);
    EXPECT_EQ(core.stopRequested, 1);
    EXPECT_TRUE(w.questions.empty());

    core.stopRequested = 0;
    core.demuxActive = 1;
    w.confirmAnswer = false;
    bCancelClick(core);
    EXPECT_EQ(core.stopRequested, 0);
    ASSERT_EQ(w.questions.size(), 1u);
    EXPECT_EQ(w.questions[0], "Confirm: Are you sure to stop demuxing?");
    w.confirmAnswer = true;
    bCancelClick(core);
    EXPECT_EQ(core.stopRequested, 1);
}

TEST(RunScope, SecondRunDoesNothingWhileOneIsActive) {
    MemoryWindow w;
    Core core(w);
    {
        RunScope outer(core);
        EXPECT_TRUE(outer.acquired());
        RunScope inner(core);
        EXPECT_FALSE(inner.acquired());
    }
    EXPECT_FALSE(core.runActive);
}

TEST(TimeFormat, LongTimeFormats) {
    double halfHour = 1800.0 / 86400.0;
    EXPECT_EQ(formatTimeOfDay(halfHour, "h:mm:ss"), "0:30:00");
    EXPECT_EQ(formatTimeOfDay(halfHour, "HH:mm:ss"), "00:30:00");
    EXPECT_EQ(formatTimeOfDay(halfHour, "h:mm:ss AP"), "12:30:00 AM");
    EXPECT_EQ(formatTimeOfDay(13.5 / 24.0, "h:mm:ss ap"), "1:30:00 PM");
    EXPECT_EQ(formatTimeOfDay(13.5 / 24.0, "HH:mm:ss t"), "13:30:00");
    // 86461 s wraps below one day.
    EXPECT_EQ(formatTimeOfDay(86461.0 / 86400.0, "h:mm:ss"), "0:01:01");
    // 43157 frames at 23.976 fps.
    EXPECT_EQ(formatTimeOfDay(43157 / 23.976 / 86400, "h:mm:ss"), "0:30:00");
}

TEST(Paths, FileAndFolderParts) {
    EXPECT_EQ(fileNamePart("/disc/HVDVD_TS/FEATURE_1.EVO"), "FEATURE_1.EVO");
    EXPECT_EQ(folderPart("/disc/HVDVD_TS/FEATURE_1.EVO"), "/disc/HVDVD_TS/");
    EXPECT_EQ(fileNamePart("X.EVO"), "X.EVO");
    EXPECT_EQ(folderPart("X.EVO"), "");
}

TEST(FileLayer, ErrorsCarryTheAbsolutePathAndSystemText) {
    const ScratchDir scratch;
    const std::string& dir = scratch.path();
    try {
        InputFile in(dir + "/missing.evo");
        FAIL() << "opened a missing file";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + dir + "/missing.evo\". No such file or directory");
    }
    try {
        OutputFile out(dir + "/no/such/folder/x.mpv");
        FAIL() << "created a file in a missing folder";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + dir + "/no/such/folder/x.mpv\". No such file or directory");
    }
    // A relative path is shown expanded.
    try {
        InputFile in("relative-missing.evo");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + std::filesystem::current_path().string() +
                                             "/relative-missing.evo\". No such file or directory");
    }
}

TEST(FileLayer, ReadWriteSizesAndWriteErrors) {
    const ScratchDir scratch;
    const std::string& dir = scratch.path();
    std::string path = dir + "/out.bin";
    {
        OutputFile out(path);
        out.write("abc", 3);
        std::string big(600000, 'x');
        out.write(big.data(), big.size());
        out.close();
    }
    EXPECT_EQ(std::filesystem::file_size(path), 600003u);
    EXPECT_TRUE(fileExists(path));
    EXPECT_FALSE(fileExists(dir)) << "a folder is not a file";

    InputFile in(path);
    EXPECT_EQ(in.size(), 600003);
    char buf[4] = {};
    EXPECT_EQ(in.read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
    std::string rest(600000, '\0');
    EXPECT_EQ(in.read(rest.data(), rest.size()), 600000u);
    EXPECT_EQ(rest, std::string(600000, 'x'));
    EXPECT_EQ(in.read(buf, 4), 0u) << "reads at the end return nothing";
    EXPECT_EQ(in.position(), 600003);

    // Creating again cuts the file to length 0.
    { OutputFile again(path); }
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    // A buffered write that the file system refuses surfaces at the latest on close.
    OutputFile limited(path);
    limited.setWriteLimitForTest(10);
    limited.write("0123456789ABCDEF", 16);
    try {
        limited.close();
        FAIL() << "a lost write was reported as success";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    // A large write that goes straight through fails at once.
    OutputFile direct(dir + "/direct.bin");
    direct.setWriteLimitForTest(1000);
    std::string big(300000, 'y');
    EXPECT_THROW(direct.write(big.data(), big.size()), Error);
}

TEST(FileLayer, FullDiskIsAStreamWriteError) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    OutputFile full("/dev/full");
    full.write("x", 1);
    EXPECT_THROW(full.close(), Error);
}

TEST(FileLayer, RunningOutOfMemoryReadsOutOfMemory) {
    EXPECT_EQ(errorText(std::bad_alloc()), "Out of memory");
    EXPECT_EQ(errorText(std::bad_array_new_length()), "Out of memory");
    EXPECT_EQ(errorText(Error("Stream write error")), "Stream write error");
}
