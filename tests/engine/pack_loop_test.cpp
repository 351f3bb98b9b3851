#include "engine/click_handlers.h"
#include "engine/core.h"
#include "engine/pack_loop.h"
#include "engine/stream_numbering.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "support/evo_builder.h"
#include "support/memory_window.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

using namespace vantrel;
using namespace vantrel::test;

namespace {

namespace fs = std::filesystem;

// Records every switch of a button, not just the last state.
class RecordingWindow : public MemoryWindow {
public:
    void setButtonEnabled(Button button, bool enabled) override {
        if (button == Button::Cancel) cancelStates.push_back(enabled);
        MemoryWindow::setButtonEnabled(button, enabled);
    }
    std::vector<bool> cancelStates;
};

class PackLoop : public ::testing::Test {
protected:
    PackLoop() : core(window) { window.options[Option::FastCheck] = false; }
    ~PackLoop() override {
        for (auto& f : core.outputFiles) f.reset();
        core.sourceFile.reset();
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    void openSource(const Bytes& data, const std::string& name = "FEATURE_1.EVO") {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        core.sourceFile = std::make_unique<InputFile>(path(name));
    }

    // Ticks a box and creates its output file, as the demux run does.
    void tickWithFile(int box) {
        core.boxes.setTicked(box, true);
        int output = StreamBoxes::outputOf(box);
        core.outputFiles[static_cast<std::size_t>(output)] =
            std::make_unique<OutputFile>(path("out" + std::to_string(output)));
    }

    Bytes output(int number) {
        auto& file = core.outputFiles[static_cast<std::size_t>(number)];
        if (file) file->close();
        std::ifstream in(path("out" + std::to_string(number)), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    RecordingWindow window;
    Core core;
    ScratchDir scratch;
    fs::path dir{scratch.path()};
};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

PesSpec videoSpec(std::uint8_t id, Bytes body, std::optional<std::uint64_t> pts = {}) {
    PesSpec s;
    s.streamId = id;
    s.body = std::move(body);
    s.pts = pts;
    return s;
}

// A video payload holding 'frames' start codes of the given kind.
Bytes framePayload(int frames, std::uint8_t code) {
    Bytes body;
    for (int i = 0; i < frames; ++i) body = concat({body, {0x00, 0x00, 0x01, code, 0x55, 0x66}});
    return body;
}

} // namespace

TEST_F(PackLoop, EmptyFileReadsNothingAndTogglesCancel) {
    core.stopRequested = 1;
    core.streamTable[1] = 0xE0;
    openSource({});
    demux(core, RunMode::Scan);
    EXPECT_EQ(window.cancelStates, (std::vector<bool>{true, false}));
    EXPECT_TRUE(window.logLines.empty());
    EXPECT_TRUE(window.statusLines.empty());
    for (int slot = 1; slot <= 64; ++slot) EXPECT_EQ(core.streamTable[slot], -1);
    EXPECT_EQ(core.stopRequested, 0);
    EXPECT_EQ(core.demuxActive, 0);
    demux(core, RunMode::Demux);
    EXPECT_EQ(core.demuxActive, 1);
}

TEST_F(PackLoop, SystemHeaderLineSingularAndPlural) {
    auto scan = [&](int video, int audio, std::size_t total) {
        EvoBuilder b;
        b.packSystemHeader(video, audio);
        b.raw(Bytes(total - b.size(), 0));
        window.logLines.clear();
        openSource(b.bytes());
        demux(core, RunMode::Scan);
        return window.logLines;
    };
    EXPECT_EQ(scan(1, 3, 40000), std::vector<std::string>{"It contains 1 video stream and 3 audio streams."});
    EXPECT_EQ(scan(2, 1, 32768), std::vector<std::string>{"It contains 2 video streams and 1 audio stream."});
    EXPECT_TRUE(scan(1, 1, 32767).empty()) << "no first full block";

    // Not directly behind a 14-byte pack header.
    EvoBuilder late;
    late.raw({0xFF}).packSystemHeader(1, 3).raw(Bytes(40000, 0));
    window.logLines.clear();
    openSource(late.bytes());
    demux(core, RunMode::Scan);
    EXPECT_TRUE(window.logLines.empty());

    // Demux mode logs nothing.
    openSource(late.bytes());
    EvoBuilder plain;
    plain.packSystemHeader(1, 3).raw(Bytes(40000, 0));
    openSource(plain.bytes());
    demux(core, RunMode::Demux);
    EXPECT_TRUE(window.logLines.empty());
}

TEST_F(PackLoop, ProgressEveryFourMebibytesWithRemainingTime) {
    // 64 MiB, sparse; the clock moves one minute each time events are processed.
    EvoBuilder b;
    b.pack(videoSpec(0xE0, pattern(100)));
    const std::string name = "FEATURE_1.EVO";
    openSource(b.bytes(), name);
    fs::resize_file(path(name), 64 * 1048576);
    core.sourceFile = std::make_unique<InputFile>(path(name));
    window.clock = 40000.25;
    window.onProcessEvents = [&] { window.clock += 60.0 / 86400.0; };

    demux(core, RunMode::Scan);
    ASSERT_EQ(window.statusLines.size(), 16u);
    EXPECT_EQ(window.statusLines[0], "1: Reading FEATURE_1.EVO 4/64 Mbytes, Remaining time: 0:00:01");
    EXPECT_EQ(window.statusLines[1], "1: Reading FEATURE_1.EVO 8/64 Mbytes, Remaining time: 0:07:01");
    EXPECT_EQ(window.statusLines[2], "1: Reading FEATURE_1.EVO 12/64 Mbytes, Remaining time: 0:08:41");
    EXPECT_EQ(window.statusLines[15], "1: Reading FEATURE_1.EVO 64/64 Mbytes, Remaining time: 0:00:01");
    EXPECT_EQ(window.processEventsCalls, 16);
    EXPECT_EQ(window.repaints, 1);

    window.statusLines.clear();
    core.sourceFile = std::make_unique<InputFile>(path(name));
    demux(core, RunMode::Demux);
    EXPECT_EQ(window.statusLines[0].rfind("1: Demuxing FEATURE_1.EVO 4/64 Mbytes, Remaining time: ", 0), 0u);
}

TEST_F(PackLoop, CancelStopsAtTheNextBlockAndClearsFrameCounts) {
    EvoBuilder b;
    for (int i = 0; i < 2200; ++i) b.pack(videoSpec(0xE0, framePayload(2, 0x00)));
    openSource(b.bytes()); // about 4.3 MiB
    core.videoFrameCount = {5, 6};
    window.onProcessEvents = [&] { bCancelClick(core); };
    demux(core, RunMode::Scan);
    EXPECT_EQ(core.sourceFile->position(), 4 * 1048576);
    EXPECT_EQ(core.stopRequested, 1);
    EXPECT_EQ(core.videoFrameCount[0], 0);
    EXPECT_EQ(core.videoFrameCount[1], 0);
    EXPECT_TRUE(window.questions.empty()) << "a scan stops without a question";
    EXPECT_EQ(window.cancelStates, (std::vector<bool>{true, false}));
}

TEST_F(PackLoop, FastCheckStopsAFullScanAfter9156Blocks) {
    EvoBuilder b;
    for (int i = 0; i < 4; ++i) b.pack(videoSpec(0xE0, framePayload(3, 0x00)));
    const std::string name = "BIG.EVO";
    openSource(b.bytes(), name);
    fs::resize_file(path(name), 1000000000);
    core.sourceFile = std::make_unique<InputFile>(path(name));
    window.options[Option::FastCheck] = true;

    demux(core, RunMode::Scan);
    EXPECT_EQ(core.sourceFile->position(), 9156LL * 32768);
    EXPECT_EQ(core.stopRequested, 1);
    EXPECT_EQ(core.videoFrameCount[0], 0);
    EXPECT_EQ(window.logLines, std::vector<std::string>{"MPEG-2 video stream 0 found!"});
}

TEST_F(PackLoop, FramesCountedPerIndexAndTickedBox) {
    EvoBuilder b;
    b.pack(videoSpec(0xE0, framePayload(3, 0x00)));
    b.pack(videoSpec(0xE1, framePayload(2, 0x00)));
    b.pack(videoSpec(0xE3, concat({framePayload(4, 0x09), framePayload(1, 0x00)})));
    b.packVc1(0x55, framePayload(5, 0x0D));
    // Start codes cut by the block boundary: each run starts with a register of
    // zeros, which stand in for a cut-off 00 00 but not for a cut-off 00 00 01.
    b.raw(Bytes(32768 - b.size() - 13, 0xFF));
    b.pes(videoSpec(0xE0, {0x12, 0x00, 0x00, 0x01, 0x00}));
    b.raw(Bytes(32768 * 2 - b.size() - 12, 0xFF));
    b.pes(videoSpec(0xE0, {0x12, 0x00, 0x00, 0x01, 0x00}));
    const Bytes data = b.bytes();

    openSource(data);
    demux(core, RunMode::Scan);
    EXPECT_EQ(core.videoFrameCount[0], 3 + 5 + 0 + 1);
    EXPECT_EQ(core.videoFrameCount[1], 2 + 4);

    core.videoFrameCount = {0, 0};
    tickWithFile(StreamBoxes::videoBox(1));
    openSource(data);
    demux(core, RunMode::Demux);
    EXPECT_EQ(core.videoFrameCount[0], 0) << "cbVideo0 not ticked";
    EXPECT_EQ(core.videoFrameCount[1], 6);

    window.options[Option::CountFrames] = false;
    core.videoFrameCount = {0, 0};
    openSource(data);
    demux(core, RunMode::Scan);
    EXPECT_EQ(core.videoFrameCount[1], 0);
}

TEST_F(PackLoop, DemuxWritesTickedStreamsOnly) {
    EvoBuilder b;
    b.pack(videoSpec(0xE0, pattern(500, 1)));
    b.packPrivate(0x80, pattern(300, 2));
    b.packPrivate(0x88, pattern(200, 3)); // shares audio index 0
    b.pack(videoSpec(0xC0, pattern(100, 4)));
    b.packPrivate(0xA1, pattern(64, 5));
    b.pack(videoSpec(0xE1, pattern(50, 6)));
    b.packPrivate(0x23, pattern(30, 7));
    tickWithFile(StreamBoxes::videoBox(0));
    tickWithFile(StreamBoxes::audioBox(0));
    tickWithFile(StreamBoxes::audioBox(1));
    tickWithFile(StreamBoxes::subBox(3));
    openSource(b.bytes());
    demux(core, RunMode::Demux);

    EXPECT_EQ(output(videoOutput(0)), pattern(500, 1));
    EXPECT_EQ(output(audioOutput(0)), concat({pattern(300, 2), pattern(200, 3)}))
        << "MPEG audio payload goes to no file";
    EXPECT_EQ(output(audioOutput(1)), pattern(64, 5));
    EXPECT_EQ(output(subOutput(3)), pattern(30, 7));
    EXPECT_FALSE(core.outputFiles[static_cast<std::size_t>(videoOutput(1))]);
    EXPECT_EQ(core.streamTable[2], 0xE1);
    EXPECT_EQ(core.streamTable[17], 0x80);
}

TEST_F(PackLoop, BoxTickedWithoutItsFileIsPassedOver) {
    EvoBuilder b;
    b.packPrivate(0x82, pattern(300, 2));
    b.packPrivate(0x81, pattern(300, 3));
    tickWithFile(StreamBoxes::audioBox(1));
    // Ticked while the run is going, after the files were created.
    core.boxes.setTicked(StreamBoxes::audioBox(2), true);
    openSource(b.bytes());
    demux(core, RunMode::Demux);
    EXPECT_EQ(output(audioOutput(1)), pattern(300, 3));
}

TEST_F(PackLoop, SubpictureRecordHeaderOnlyAheadOfAPacketWithItsOwnPts) {
    EvoBuilder b;
    b.packPrivate(0x22, pattern(40, 1), 0x12345678);
    b.packPrivate(0x22, pattern(20, 2)); // no PTS: payload only
    b.pack(videoSpec(0xE0, pattern(10), 0x0ABCDEF0));
    b.packPrivate(0x22, pattern(20, 3));                // another stream's PTS is not this packet's
    b.packPrivate(0x22, pattern(5, 4), 0x100000000ull); // low 32 bits 0
    // A packet cut by the block boundary gets one header, before its first run.
    b.raw(Bytes(32768 - b.size() - 20, 0xFF));
    b.privateStream(0x22, pattern(300, 5), 0x01020304);
    tickWithFile(StreamBoxes::subBox(2));
    openSource(b.bytes());
    demux(core, RunMode::Demux);

    auto header = [](std::uint32_t pts) {
        return Bytes{'S',
                     'P',
                     static_cast<std::uint8_t>(pts),
                     static_cast<std::uint8_t>(pts >> 8),
                     static_cast<std::uint8_t>(pts >> 16),
                     static_cast<std::uint8_t>(pts >> 24),
                     0,
                     0,
                     0,
                     0};
    };
    const Bytes want = concat({header(0x12345678), pattern(40, 1), pattern(20, 2), pattern(20, 3), header(0),
                               pattern(5, 4), header(0x01020304), pattern(300, 5)});
    const Bytes got = output(subOutput(2));
    EXPECT_EQ(got, want);
    ASSERT_GE(got.size(), 10u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 10),
              (Bytes{0x53, 0x50, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(PackLoop, DolbyDigitalPlusReportedOncePerIndexOnItsFirstRun) {
    Bytes frames(2600, 0);
    const std::uint8_t head[7] = {0x0B, 0x77, 0x04, 0xFF, 0x3F, 0x80, 0x00};
    std::copy(std::begin(head), std::end(head), frames.begin());
    std::copy(std::begin(head), std::end(head), frames.begin() + 2560);

    EvoBuilder b;
    b.privateStream(0xC0, pattern(10)); // too short, but it is the first run of index 0
    b.privateStream(0xC0, frames);
    b.privateStream(0xC1, frames);
    b.privateStream(0xC1, frames);
    b.privateStream(0x82, frames); // DD is not reported
    openSource(b.bytes());
    demux(core, RunMode::Scan);
    EXPECT_EQ(window.logLines,
              (std::vector<std::string>{"DD+ audio stream 0 found!", "DD+ audio stream 1 found!",
                                        "   Stream 1 is Dolby Digital Plus",
                                        "   frame size = 2560, number of blocks per frame = 6",
                                        "   bitrate = 640000, sampling rate = 48000",
                                        "   mode = 3/2, bsid = 16, lfe on =1", "DD audio stream 2 found!"}));
    EXPECT_EQ(core.audioReported[0], 1);
    EXPECT_EQ(core.audioReported[1], 1);
    EXPECT_EQ(core.audioReported[2], 0);
}

TEST_F(PackLoop, WriteErrorEndsTheCallAtOnce) {
    EvoBuilder b;
    for (int i = 0; i < 400; ++i) b.pack(videoSpec(0xE0, pattern(1500)));
    tickWithFile(StreamBoxes::videoBox(0));
    core.outputFiles[static_cast<std::size_t>(videoOutput(0))]->setWriteLimitForTest(1000);
    openSource(b.bytes());
    try {
        demux(core, RunMode::Demux);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_LT(core.sourceFile->position(), core.sourceFile->size());
    EXPECT_EQ(window.cancelStates, std::vector<bool>{true}) << "Cancel stays enabled";
}

TEST_F(PackLoop, ShortWriteOfARecordHeaderIsNotLost) {
    EvoBuilder b;
    b.packPrivate(0x20, {}, 90000);
    tickWithFile(StreamBoxes::subBox(0));
    core.outputFiles[static_cast<std::size_t>(subOutput(0))]->setWriteLimitForTest(5);
    openSource(b.bytes());
    demux(core, RunMode::Demux);
    EXPECT_EQ(core.outputFiles[static_cast<std::size_t>(subOutput(0))]->size(), 10);
    EXPECT_THROW(core.outputFiles[static_cast<std::size_t>(subOutput(0))]->close(), Error);
}
