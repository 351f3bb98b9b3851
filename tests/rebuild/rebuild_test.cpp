#include "engine/click_handlers.h"
#include "engine/stream_numbering.h"
#include "files/errors.h"
#include "rebuild_fixture.h"

#include <algorithm>

namespace vantrel::test {
namespace {

using Ids = std::vector<int>;

class RebuildRun : public RebuildFixture {
protected:
    // Rebuilds the chosen source and returns the rebuilt file.
    Bytes rebuild(const std::string& outName) {
        bRebuildClick(core);
        return readFile(out(outName));
    }
};

TEST_F(RebuildRun, RenumbersKeptAudioInOrderOfAppearanceSharingOneCounter) {
    stream(19, 0xC2, true);
    stream(22, 0xC5, true);
    stream(20, 0x8B, true);
    useSource("MOVIE.EVO", privatePack(0xC2) + privatePack(0xC5) + privatePack(0xC2) + privatePack(0x8B) +
                               pesPack(0xC8) + privatePack(0xC5));
    Bytes rebuilt = rebuild("MOVIE.rebuilt.EVO");
    // The MPEG audio stream (stream_id 0xC8, unrecorded) draws from the same counter.
    EXPECT_EQ(packIds(rebuilt), (Ids{0xC0, 0xC1, 0xC0, 0x8A, 0xC3, 0xC1}));
    ASSERT_EQ(rebuilt.size(), 6u * 2048);
}

TEST_F(RebuildRun, UntickedStreamIsLeftOutAndTheOthersNumberFromZero) {
    stream(20, 0xC3, false);
    stream(21, 0xC4, true);
    stream(19, 0x8A, true);
    stream(34, 0x21, false);
    stream(35, 0x22, true);
    Bytes c4 = privatePack(0xC4, 7);
    useSource("MOVIE.EVO", privatePack(0xC3) + c4 + privatePack(0x21) + privatePack(0x8A) +
                               privatePack(0xC3) + privatePack(0x22));
    Bytes rebuilt = rebuild("MOVIE.rebuilt.EVO");
    EXPECT_EQ(packIds(rebuilt), (Ids{0xC0, 0x89, 0x20}));
    // A kept pack differs from its source only in the id byte.
    ASSERT_GE(rebuilt.size(), 2048u);
    Bytes first(rebuilt.begin(), rebuilt.begin() + 2048);
    c4[23u + c4[22]] = 0xC0;
    EXPECT_EQ(first, c4);
}

TEST_F(RebuildRun, VideoKeepsStreamIdsAndVc1CountsOnFromMpegVideo) {
    stream(1, 0xE0, true);
    useSource("MOVIE.EVO", pesPack(0xE0) + vc1Pack(0x55) + pesPack(0xE0) + vc1Pack(0x55));
    EXPECT_EQ(packIds(rebuild("MOVIE.rebuilt.EVO")), (Ids{0xE0, 0x56, 0xE0, 0x56}));
}

TEST_F(RebuildRun, UntickedVideoIsLeftOut) {
    stream(1, 0xE1, false);
    stream(2, 0x56, true);
    useSource("MOVIE.EVO", pesPack(0xE1) + vc1Pack(0x56) + pesPack(0xE1));
    EXPECT_EQ(packIds(rebuild("MOVIE.rebuilt.EVO")), (Ids{0x55}));
}

TEST_F(RebuildRun, SubStreamsOutsideTheRenumberedRangesKeepTheirIds) {
    // AC-3, LPCM, MLP, late E-AC-3 and subpictures beyond 0x2F are copied
    // whatever their boxes say, and keep the ids players know them by.
    stream(18, 0x81, false);
    stream(19, 0xA2, false);
    stream(20, 0xB3, true);
    stream(26, 0xC9, false);
    core.streamTable[50] = 0x31; // subpicture index 17: no box
    useSource("MOVIE.EVO", privatePack(0x81) + privatePack(0xA2) + privatePack(0xB3) + privatePack(0xC9) +
                               privatePack(0x31) + privatePack(0x61) + privatePack(0xC2));
    EXPECT_EQ(packIds(rebuild("MOVIE.rebuilt.EVO")), (Ids{0x81, 0xA2, 0xB3, 0xC9, 0x31, 0x61, 0xC0}));
}

TEST_F(RebuildRun, AfterAPlaylistReadEveryHandledStreamIsCopiedAndRenumbered) {
    // The playlist reader leaves marks, not stream codes: no box decides anything.
    core.streamTable[1] = 1;
    core.streamTable[17] = 1;
    core.streamTable[18] = 1;
    core.streamTable[33] = 1;
    useSource("MOVIE.EVO",
              pesPack(0xE1) + privatePack(0xC3) + privatePack(0x8D) + privatePack(0x2A) + privatePack(0xC7));
    EXPECT_EQ(packIds(rebuild("MOVIE.rebuilt.EVO")), (Ids{0xE0, 0xC0, 0x89, 0x20, 0xC2}));
}

TEST_F(RebuildRun, SystemHeaderBoundsFollowTheTickedBoxesAndKeepTheOtherBits) {
    core.boxes.setTicked(StreamBoxes::videoBox(0), true);
    core.boxes.setTicked(StreamBoxes::videoBox(1), false);
    core.boxes.setTicked(StreamBoxes::audioBox(0), true);
    core.boxes.setTicked(StreamBoxes::audioBox(4), true);
    core.boxes.setTicked(StreamBoxes::audioBox(15), true);
    core.boxes.setTicked(StreamBoxes::subBox(0), true); // subpictures do not count
    EvoBuilder b;
    b.packSystemHeader(2, 9, 0x03);
    Bytes source = b.bytes();
    useSource("MOVIE.EVO", source);
    Bytes rebuilt = rebuild("MOVIE.rebuilt.EVO");
    ASSERT_EQ(rebuilt.size(), 2048u);
    EXPECT_EQ(rebuilt[24] & 0x1F, 1);    // video_bound
    EXPECT_EQ(rebuilt[24] & 0xE0, 0xE0); // audio lock, video lock, marker
    EXPECT_EQ(rebuilt[23] >> 2, 3);      // audio_bound
    EXPECT_EQ(rebuilt[23] & 0x03, 0x03); // fixed and CSPS flags
    source[23] = rebuilt[23];
    source[24] = rebuilt[24];
    EXPECT_EQ(rebuilt, source); // nothing else changed
}

TEST_F(RebuildRun, WritesOnlyBlocksThatStartWithAPackHeaderAndAShortLastPackAsItIs) {
    stream(17, 0xC1, true);
    Bytes full = privatePack(0xC1);
    Bytes notAPack(2048, 0x00);
    notAPack[100] = 0x42;
    Bytes partial(full.begin(), full.begin() + 1000);
    useSource("A.EVO", full + notAPack + partial);
    Bytes rebuilt = rebuild("A.rebuilt.EVO");
    ASSERT_EQ(rebuilt.size(), 2048u + 1000u);
    EXPECT_EQ(rebuilt[23u + rebuilt[22]], 0xC0);
    EXPECT_EQ(rebuilt[2048u + 23u + rebuilt[2048u + 22u]], 0xC0); // the short pack is renumbered too

    useSource("B.EVO", full + Bytes(700, 0x00));
    EXPECT_EQ(rebuild("B.rebuilt.EVO").size(), 2048u);
}

TEST_F(RebuildRun, AShortLastPackIsNeverReadOrWrittenPastItsEnd) {
    // The bytes that would hold H, the sub-stream id or the system header
    // bounds lie beyond these last packs: they are copied exactly as they are.
    stream(17, 0xC1, true);
    core.boxes.setTicked(StreamBoxes::videoBox(0), true);
    Bytes full = privatePack(0xC1);
    for (std::size_t cut : {4u, 17u, 18u, 22u, 23u, 24u}) {
        Bytes shortPack(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        useSource("S.EVO", full + shortPack);
        Bytes rebuilt = rebuild("S.rebuilt.EVO");
        ASSERT_EQ(rebuilt.size(), 2048u + cut) << cut;
        EXPECT_TRUE(std::equal(shortPack.begin(), shortPack.end(), rebuilt.begin() + 2048)) << cut;
    }
    EvoBuilder b;
    b.packSystemHeader(0, 9, 0x01);
    Bytes sys(b.bytes().begin(), b.bytes().begin() + 24); // byte 23 present, byte 24 not
    useSource("T.EVO", sys);
    Bytes rebuilt = rebuild("T.rebuilt.EVO");
    ASSERT_EQ(rebuilt.size(), 24u);
    EXPECT_EQ(rebuilt[23], 0x01 + 4 * 1); // audio_bound 1 (one audio box ticked), flags kept
}

TEST_F(RebuildRun, LogsStatusAndButtonsOfACompleteRun) {
    useSource("MOVIE.EVO", privatePack(0xC0));
    window.options[Option::Continue] = true;
    bRebuildClick(core);
    std::string name = out("MOVIE.rebuilt.EVO").string();
    EXPECT_EQ(window.logLines, (std::vector<std::string>{"Opening file MOVIE.EVO", "File size: 0 Mbytes.",
                                                         "Creating " + name, "Done."}));
    EXPECT_EQ(window.statusLines,
              (std::vector<std::string>{"0: Opening", "0: Writing EVO...", "0: Ready", "1: "}));
    EXPECT_TRUE(window.buttons[Button::Rebuild]);
    EXPECT_FALSE(window.buttons[Button::Cancel]);
    EXPECT_EQ(core.demuxActive, 1);
    EXPECT_EQ(window.activePage, Page::Status);
    EXPECT_EQ(core.sourceFile, nullptr);
    EXPECT_EQ(core.outputFiles[videoOutput(0)], nullptr);
    EXPECT_FALSE(core.runActive);
}

TEST_F(RebuildRun, NamesTheFileAfterTheFirstPartAndWritesBothPartsIntoIt) {
    stream(22, 0xC5, true);
    stream(20, 0xC3, true);
    window.fields[Field::Workdir] = out("").string(); // with a trailing "/"
    useSource("FEATURE_1.EVO", privatePack(0xC5, 1) + privatePack(0xC5, 2));
    writeSource("FEATURE_2.EVO", privatePack(0xC3, 3) + privatePack(0xC5, 4));
    Bytes rebuilt = rebuild("FEATURE_1_2.rebuilt.EVO");
    // The numbering goes on in the second part; a stream keeps its new id.
    EXPECT_EQ(packIds(rebuilt), (Ids{0xC0, 0xC0, 0xC1, 0xC0}));
    EXPECT_EQ(rebuilt[2048 * 3 + 200], privatePack(0xC5, 4)[200]);
    EXPECT_EQ(window.logLines[3], "Continue on FEATURE_2.EVO");
    EXPECT_EQ(window.logLines.back(), "Done.");
    EXPECT_FALSE(std::filesystem::exists(out("FEATURE_1.rebuilt.EVO")));
}

TEST_F(RebuildRun, OnePartOnlyWhenThereIsNoContinuation) {
    Bytes part1 = privatePack(0x81);
    useSource("FEATURE_1.EVO", part1);
    EXPECT_EQ(rebuild("FEATURE_1.rebuilt.EVO"), part1); // no second part on disc

    writeSource("FEATURE_2.EVO", privatePack(0x82));
    window.options[Option::Continue] = false;
    EXPECT_EQ(rebuild("FEATURE_1.rebuilt.EVO"), part1);

    window.options[Option::Continue] = true;
    useSource("FEATURE_1.evo", part1); // the extension must be "EVO" exactly
    EXPECT_EQ(rebuild("FEATURE_1.rebuilt.EVO"), part1);
    EXPECT_FALSE(std::filesystem::exists(out("FEATURE_1_2.rebuilt.EVO")));
    for (const auto& line : window.logLines) EXPECT_EQ(line.find("Continue on"), std::string::npos);
}

TEST_F(RebuildRun, EmptyOutputFolderWritesIntoTheCurrentFolder) {
    useSource("MOVIE.EVO", privatePack(0x81));
    window.fields[Field::Workdir] = "";
    auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir());
    bRebuildClick(core);
    std::filesystem::current_path(before);
    EXPECT_EQ(window.logLines[2], "Creating MOVIE.rebuilt.EVO");
    EXPECT_EQ(readFile(dir() / "MOVIE.rebuilt.EVO").size(), 2048u);
}

TEST_F(RebuildRun, ProgressEvery4MiBWithTheRemainingTime) {
    Bytes pack = privatePack(0x81);
    Bytes source;
    source.reserve(2048 * 4200);
    for (int i = 0; i < 4200; ++i) source.insert(source.end(), pack.begin(), pack.end());
    useSource("BIG.EVO", source + Bytes(1000, 0));
    window.clock = 46000.5;
    window.clockStep = 0;
    bRebuildClick(core);
    std::vector<std::string> progress;
    for (const auto& line : window.statusLines)
        if (line.rfind("1: Rebuilding", 0) == 0) progress.push_back(line);
    EXPECT_EQ(progress,
              (std::vector<std::string>{"1: Rebuilding BIG.EVO 4/8 Mbytes, Remaining time: 0:00:01",
                                        "1: Rebuilding BIG.EVO 8/8 Mbytes, Remaining time: 0:00:01"}));
    EXPECT_EQ(window.processEventsCalls, 2);
    EXPECT_EQ(readFile(out("BIG.rebuilt.EVO")).size(), 4200u * 2048);
}

TEST_F(RebuildRun, EmptySourceGivesAnEmptyFileAndNoProgressPoint) {
    useSource("EMPTY.EVO", {});
    bRebuildClick(core);
    EXPECT_TRUE(std::filesystem::exists(out("EMPTY.rebuilt.EVO")));
    EXPECT_EQ(std::filesystem::file_size(out("EMPTY.rebuilt.EVO")), 0u);
    EXPECT_EQ(window.processEventsCalls, 0);
    EXPECT_EQ(window.logLines.back(), "Done.");
}

TEST_F(RebuildRun, CancelConfirmedStopsAfterTheCurrentPackWithoutContinuing) {
    Bytes pack = privatePack(0xC2);
    stream(19, 0xC2, true);
    Bytes source;
    for (int i = 0; i < 2048 + 50; ++i) source.insert(source.end(), pack.begin(), pack.end());
    useSource("FEATURE_1.EVO", source);
    writeSource("FEATURE_2.EVO", pack);
    window.confirmAnswer = true;
    window.onProcessEvents = [this] { bCancelClick(core); };
    bRebuildClick(core);
    EXPECT_EQ(window.questions, (std::vector<std::string>{"Confirm: Are you sure to stop demuxing?"}));
    EXPECT_EQ(std::filesystem::file_size(out("FEATURE_1_2.rebuilt.EVO")), 4194304u);
    for (const auto& line : window.logLines) EXPECT_EQ(line.find("Continue on"), std::string::npos);
    EXPECT_EQ(window.logLines.back(), "Done.");
    EXPECT_EQ(window.panel[0], " Ready");
    EXPECT_FALSE(window.buttons[Button::Cancel]);
}

TEST_F(RebuildRun, CancelAnsweredNoChangesNothingAndBoxesActFromTheNextPack) {
    Bytes pack = privatePack(0xC2);
    stream(19, 0xC2, true);
    Bytes source;
    for (int i = 0; i < 2048 + 50; ++i) source.insert(source.end(), pack.begin(), pack.end());
    useSource("MOVIE.EVO", source);
    window.confirmAnswer = false;
    window.onProcessEvents = [this] {
        bCancelClick(core);
        core.boxes.setTicked(StreamBoxes::audioBox(2), false); // from the pack at the 4 MiB point on
    };
    bRebuildClick(core);
    EXPECT_EQ(window.questions.size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(out("MOVIE.rebuilt.EVO")), 2047u * 2048);
}

TEST_F(RebuildRun, OneRunAtATime) {
    useSource("MOVIE.EVO", privatePack(0x81));
    core.runActive = true;
    bRebuildClick(core);
    EXPECT_TRUE(window.logLines.empty());
    EXPECT_FALSE(std::filesystem::exists(out("MOVIE.rebuilt.EVO")));
    EXPECT_TRUE(core.runActive);
}

TEST_F(RebuildRun, MissingSourceFailsAndFreesEverything) {
    useSource("MOVIE.EVO", privatePack(0x81));
    window.fields[Field::EVOfile] = (dir() / "src" / "GONE.EVO").string();
    try {
        bRebuildClick(core);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Cannot open file \"" + (dir() / "src" / "GONE.EVO").string() + "\". ", 0),
                  0u)
            << e.what();
    }
    EXPECT_EQ(window.logLines, (std::vector<std::string>{"Opening file MOVIE.EVO"}));
    EXPECT_FALSE(std::filesystem::exists(out("MOVIE.rebuilt.EVO")));
    EXPECT_TRUE(window.buttons[Button::Rebuild]);
    EXPECT_FALSE(core.runActive);
}

TEST_F(RebuildRun, UncreatableOutputFailsAndClosesTheSource) {
    useSource("MOVIE.EVO", privatePack(0x81));
    window.fields[Field::Workdir] = (dir() / "no-such-folder").string();
    EXPECT_THROW(bRebuildClick(core), Error);
    EXPECT_EQ(core.sourceFile, nullptr);
    EXPECT_EQ(window.logLines.size(), 2u); // opening and size, no "Creating", no "Done."
    EXPECT_TRUE(window.buttons[Button::Rebuild]);
}

TEST_F(RebuildRun, WriteErrorInsideTheCopyEndsTheRunWithCancelStillEnabled) {
    Bytes pack = privatePack(0x81);
    Bytes source;
    for (int i = 0; i < 200; ++i) source.insert(source.end(), pack.begin(), pack.end());
    useSource("MOVIE.EVO", source);
    window.onLog = [this](const std::string& line) {
        if (line.rfind("Creating ", 0) == 0) core.outputFiles[videoOutput(0)]->setWriteLimitForTest(4096);
    };
    try {
        bRebuildClick(core);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_NE(window.logLines.back(), "Done.");
    EXPECT_TRUE(window.buttons[Button::Cancel]);
    EXPECT_TRUE(window.buttons[Button::Rebuild]);
    EXPECT_EQ(core.sourceFile, nullptr);
    EXPECT_EQ(core.outputFiles[videoOutput(0)], nullptr);
    EXPECT_EQ(std::filesystem::file_size(out("MOVIE.rebuilt.EVO")), 4096u);
}

TEST_F(RebuildRun, WriteErrorAtTheCloseIsReportedNotSwallowed) {
    useSource("MOVIE.EVO", privatePack(0x81) + privatePack(0x81));
    window.onLog = [this](const std::string& line) {
        if (line.rfind("Creating ", 0) == 0) core.outputFiles[videoOutput(0)]->setWriteLimitForTest(1000);
    };
    EXPECT_THROW(bRebuildClick(core), Error);
    EXPECT_NE(window.logLines.back(), "Done.");
    EXPECT_EQ(core.outputFiles[videoOutput(0)], nullptr);
}

} // namespace
} // namespace vantrel::test
