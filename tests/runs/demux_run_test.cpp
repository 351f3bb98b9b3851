#include "engine/click_handlers.h"
#include "engine/stream_numbering.h"
#include "files/errors.h"
#include "runs_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

constexpr int kVideo0 = 0;
const int kAudio00 = StreamBoxes::audioBox(0);

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string frameLine(int frames) {
    MemoryWindow w;
    Core c(w);
    c.videoFrameCount = {frames, 0};
    ReportVideoFrames(c);
    return w.logLines.at(0);
}

// A feature chosen and scanned: cbVideo0 MPEG-2.stream.0 and cbAudio00 DD+.stream.00 ticked.
struct DemuxSetup {
    ScratchDir dir;
    Feature f;
    Session s;
    std::string out;
    DemuxSetup(std::size_t packs1, std::size_t packs2, bool second = true)
        : f(makeFeature(dir, packs1, packs2, second)), out(dir / "out") {
        fs::create_directories(out);
        s.chooseSource(f.first);
        bCheckClick(s.core);
        s.window.logLines.clear();
        s.window.setFieldText(Field::Workdir, out);
    }
    Bytes video(const std::string& base) { return readFile(out + "/" + base + ".MPEG-2.stream.0.mpv"); }
    Bytes audio(const std::string& base) { return readFile(out + "/" + base + ".DD+.stream.00.mpa"); }
};

TEST(DemuxRun, NamesFollowFolderCaptionExtensionAndContinuation) {
    ScratchDir dir;
    Feature f = makeFeature(dir, 4, 4);
    std::string out = dir / "out";
    fs::create_directories(out);
    struct Case {
        std::string workdir;
        bool second;
        bool cont;
        int box;
        std::string caption;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {out, true, true, kAudio00 + 3, "DD+.stream.03", out + "/FEATURE_1_2.DD+.stream.03.mpa"},
        {out + "/", false, true, kVideo0, "MPEG-2.stream.0", out + "/FEATURE_1.MPEG-2.stream.0.mpv"},
        {out, true, true, kVideo0, "MPEG-2.stream.0", out + "/FEATURE_1_2.MPEG-2.stream.0.mpv"},
        {out + "/", true, true, kVideo0, "MPEG-2.stream.0", out + "/FEATURE_1_2.MPEG-2.stream.0.mpv"},
        {out, true, false, StreamBoxes::subBox(0), "Subpicture.00", out + "/FEATURE_1.Subpicture.00.sup"},
        // A caption never leads out of the output folder; the box keeps it.
        {out, false, true, kVideo0, "../../x", out + "/FEATURE_1..._.._x.mpv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        if (c.second)
            writeBytes(f.second, f.two.file);
        else
            fs::remove(f.second);
        Session s;
        s.chooseSource(f.first);
        s.window.options[Option::Continue] = c.cont;
        s.window.setFieldText(Field::Workdir, c.workdir);
        s.tick(c.box, c.caption);
        bDemuxClick(s.core);
        EXPECT_TRUE(contains(s.window.logLines, "Creating " + c.expected));
        EXPECT_TRUE(fs::exists(c.expected));
        EXPECT_EQ(s.core.boxes[c.box].caption, c.caption);
        EXPECT_EQ(contains(s.window.logLines, "Continue on FEATURE_2.EVO"), c.second && c.cont);
        EXPECT_TRUE(s.nothingHeld());
        fs::remove(c.expected);
    }
    EXPECT_EQ(filesIn(out), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(dir / "x.mpv"));
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"HVDVD_TS", "out"}));
}

TEST(DemuxRun, AnEmptyFolderWritesIntoTheCurrentFolder) {
    ScratchDir dir;
    Feature f = makeFeature(dir, 4, 4);
    std::string cwd = fs::current_path().string();
    fs::current_path(dir.path());
    Session s;
    s.chooseSource(f.first);
    s.tick(kVideo0, "VC-1.stream.0");
    bDemuxClick(s.core);
    fs::current_path(cwd);
    EXPECT_TRUE(contains(s.window.logLines, "Creating FEATURE_1_2.VC-1.stream.0.mpv"));
    EXPECT_TRUE(fs::exists(dir / "FEATURE_1_2.VC-1.stream.0.mpv"));
}

TEST(DemuxRun, OnlyAnUpperCaseFirstPartIsContinued) {
    ScratchDir dir;
    Feature f = makeFeature(dir, 4, 4);
    for (const std::string name : {"FEATURE_1.evo", "FEATURE_2.EVO", "FEATURE_1.VOB", "VTS_01_1.VOB"}) {
        SCOPED_TRACE(name);
        std::string path = f.folder + "/" + name;
        writeBytes(path, f.one.file);
        Session s;
        s.chooseSource(path);
        s.tick(kVideo0, "MPEG-2.stream.0");
        s.window.setFieldText(Field::Workdir, dir.path());
        bDemuxClick(s.core);
        std::string base = name.substr(0, name.size() - 4);
        EXPECT_TRUE(
            contains(s.window.logLines, "Creating " + dir.path() + "/" + base + ".MPEG-2.stream.0.mpv"));
        EXPECT_FALSE(contains(s.window.logLines, "Continue on FEATURE_2.EVO"));
        EXPECT_TRUE(contains(s.window.logLines, "Done."));
    }
}

TEST(DemuxRun, ContinuesIntoTheSecondPartInTheLoggedOrder) {
    DemuxSetup t(40, 24);
    t.s.window.statusLines.clear();
    bDemuxClick(t.s.core);
    const std::string base = t.out + "/FEATURE_1_2";
    EXPECT_EQ(t.s.window.logLines, (std::vector<std::string>{
                                       "Opening file FEATURE_1.EVO",
                                       "File size: 0 Mbytes.",
                                       "Creating " + base + ".MPEG-2.stream.0.mpv",
                                       "Creating " + base + ".DD+.stream.00.mpa",
                                       "Continue on FEATURE_2.EVO",
                                       "Done.",
                                       frameLine(t.f.one.frames + t.f.two.frames),
                                   }));
    EXPECT_EQ(t.s.window.statusLines,
              (std::vector<std::string>{"0: Opening", "0: Writing stream(s)", "0: Ready", "1: "}));
    EXPECT_EQ(t.video("FEATURE_1_2"), concat(t.f.one.video, t.f.two.video));
    EXPECT_EQ(t.audio("FEATURE_1_2"), concat(t.f.one.audio, t.f.two.audio));
    EXPECT_EQ(t.s.core.videoFrameCount[0], t.f.one.frames + t.f.two.frames);
    EXPECT_TRUE(t.s.window.buttons[Button::Demux]);
    EXPECT_TRUE(t.s.nothingHeld());

    // A second run gives the same names and replaces the files.
    bDemuxClick(t.s.core);
    EXPECT_EQ(t.video("FEATURE_1_2"), concat(t.f.one.video, t.f.two.video));
    EXPECT_EQ(filesIn(t.out).size(), 2u);
}

TEST(DemuxRun, WithoutASecondPartOnePass) {
    DemuxSetup t(40, 24, false);
    bDemuxClick(t.s.core);
    EXPECT_EQ(t.video("FEATURE_1"), t.f.one.video);
    EXPECT_EQ(t.audio("FEATURE_1"), t.f.one.audio);
    EXPECT_FALSE(contains(t.s.window.logLines, "Continue on FEATURE_2.EVO"));
    EXPECT_EQ(t.s.window.logLines.back(), frameLine(t.f.one.frames));
}

TEST(DemuxRun, TheSecondPartIsTestedAgainAfterTheFirstPass) {
    {
        SCOPED_TRACE("appears during the first pass: no _2, but continued");
        DemuxSetup t(kPacksOver4MiB, 24, false);
        t.s.window.onProcessEvents = [&] { writeBytes(t.f.second, t.f.two.file); };
        bDemuxClick(t.s.core);
        EXPECT_TRUE(contains(t.s.window.logLines, "Continue on FEATURE_2.EVO"));
        EXPECT_EQ(t.video("FEATURE_1"), concat(t.f.one.video, t.f.two.video));
        EXPECT_EQ(t.s.window.logLines.back(), frameLine(t.f.one.frames + t.f.two.frames));
    }
    {
        SCOPED_TRACE("disappears during the first pass: _2, one pass");
        DemuxSetup t(kPacksOver4MiB, 24);
        t.s.window.onProcessEvents = [&] { fs::remove(t.f.second); };
        bDemuxClick(t.s.core);
        EXPECT_FALSE(contains(t.s.window.logLines, "Continue on FEATURE_2.EVO"));
        EXPECT_EQ(t.video("FEATURE_1_2"), t.f.one.video);
        EXPECT_EQ(t.s.window.logLines.back(), frameLine(t.f.one.frames));
    }
    {
        SCOPED_TRACE("continuation unticked during the first pass: _2, one pass");
        DemuxSetup t(kPacksOver4MiB, 24);
        t.s.window.onProcessEvents = [&] { t.s.window.options[Option::Continue] = false; };
        bDemuxClick(t.s.core);
        EXPECT_FALSE(contains(t.s.window.logLines, "Continue on FEATURE_2.EVO"));
        EXPECT_EQ(t.video("FEATURE_1_2"), t.f.one.video);
        EXPECT_EQ(t.audio("FEATURE_1_2"), t.f.one.audio);
    }
    {
        SCOPED_TRACE("continuation ticked during the run after starting unticked: no second pass");
        DemuxSetup t(kPacksOver4MiB, 24);
        t.s.window.options[Option::Continue] = false;
        t.s.window.onProcessEvents = [&] { t.s.window.options[Option::Continue] = true; };
        bDemuxClick(t.s.core);
        EXPECT_FALSE(contains(t.s.window.logLines, "Continue on FEATURE_2.EVO"));
        EXPECT_EQ(t.video("FEATURE_1"), t.f.one.video);
    }
}

TEST(DemuxRun, CancelInEitherPassEndsTheRunWithDone) {
    {
        SCOPED_TRACE("first pass");
        DemuxSetup t(kPacksOver4MiB, kPacksOver4MiB);
        t.s.window.confirmAnswer = true;
        t.s.window.onProcessEvents = [&] { bCancelClick(t.s.core); };
        bDemuxClick(t.s.core);
        EXPECT_EQ(t.s.window.questions.size(), 1u);
        EXPECT_FALSE(contains(t.s.window.logLines, "Continue on FEATURE_2.EVO"));
        EXPECT_EQ(t.s.window.logLines.back(), "Done.");
        Bytes video = t.video("FEATURE_1_2");
        EXPECT_LT(video.size(), t.f.one.video.size());
        EXPECT_GT(video.size(), 0u);
        EXPECT_TRUE(startsWith(t.f.one.video, video));
        EXPECT_TRUE(t.s.window.buttons[Button::Demux]);
        EXPECT_TRUE(t.s.nothingHeld());
    }
    {
        SCOPED_TRACE("second pass");
        DemuxSetup t(kPacksOver4MiB, kPacksOver4MiB);
        t.s.window.confirmAnswer = true;
        int calls = 0;
        t.s.window.onProcessEvents = [&] {
            if (++calls == 2) bCancelClick(t.s.core);
        };
        bDemuxClick(t.s.core);
        EXPECT_EQ(calls, 2);
        EXPECT_TRUE(contains(t.s.window.logLines, "Continue on FEATURE_2.EVO"));
        EXPECT_EQ(t.s.window.logLines.back(), "Done.");
        Bytes video = t.video("FEATURE_1_2");
        ASSERT_TRUE(startsWith(video, t.f.one.video));
        Bytes fromSecond(video.begin() + static_cast<std::ptrdiff_t>(t.f.one.video.size()), video.end());
        EXPECT_GT(fromSecond.size(), 0u);
        EXPECT_LT(fromSecond.size(), t.f.two.video.size());
        EXPECT_TRUE(startsWith(t.f.two.video, fromSecond));
        EXPECT_TRUE(t.s.nothingHeld());
    }
}

TEST(DemuxRun, OneRunAtATime) {
    DemuxSetup t(kPacksOver4MiB, 24);
    const ByteSource* during = nullptr;
    std::size_t linesBefore = 0, linesAfter = 0;
    t.s.window.onProcessEvents = [&] {
        during = t.s.core.sourceFile.get();
        linesBefore = t.s.window.logLines.size();
        bCheckClick(t.s.core);
        bDemuxClick(t.s.core);
        linesAfter = t.s.window.logLines.size();
        EXPECT_EQ(t.s.core.sourceFile.get(), during);
        EXPECT_TRUE(t.s.core.outputFiles[videoOutput(0)] != nullptr);
    };
    bDemuxClick(t.s.core);
    ASSERT_NE(during, nullptr);
    EXPECT_EQ(linesAfter, linesBefore);
    EXPECT_EQ(t.video("FEATURE_1_2"), concat(t.f.one.video, t.f.two.video));
    EXPECT_TRUE(t.s.nothingHeld());

    // Once the run is over, the buttons work again.
    t.s.window.onProcessEvents = nullptr;
    t.s.window.logLines.clear();
    bCheckClick(t.s.core);
    EXPECT_EQ(t.s.window.logLines.front(), "Opening file FEATURE_1.EVO");
}

TEST(DemuxRun, ATickAddedDuringTheRunWritesNothingWithoutAFile) {
    DemuxSetup t(kPacksOver4MiB, 24);
    t.s.core.boxes.setTicked(kAudio00, false);
    t.s.window.onProcessEvents = [&] { t.s.core.boxes.setTicked(kAudio00, true); };
    bDemuxClick(t.s.core);
    EXPECT_EQ(t.s.window.logLines.back(), frameLine(t.f.one.frames + t.f.two.frames));
    EXPECT_EQ(filesIn(t.out), std::vector<std::string>{"FEATURE_1_2.MPEG-2.stream.0.mpv"});
    EXPECT_TRUE(t.s.nothingHeld());
}

TEST(DemuxRun, AMissingSourceCreatesNothing) {
    DemuxSetup t(8, 8);
    fs::remove(t.f.first);
    EXPECT_THROW(bDemuxClick(t.s.core), Error);
    EXPECT_EQ(t.s.window.logLines, (std::vector<std::string>{"Opening file FEATURE_1.EVO"}));
    EXPECT_EQ(t.s.window.panel[0], " Opening");
    EXPECT_FALSE(t.s.window.buttons[Button::Demux]);
    EXPECT_EQ(filesIn(t.out), std::vector<std::string>{});
    EXPECT_TRUE(t.s.nothingHeld());
}

TEST(DemuxRun, AnOutputThatCannotBeCreatedEndsTheRunWithEarlierOutputsEmptyAndClosed) {
    {
        SCOPED_TRACE("output folder missing");
        DemuxSetup t(8, 8);
        std::string missing = t.dir / "no/such";
        t.s.window.setFieldText(Field::Workdir, missing);
        try {
            bDemuxClick(t.s.core);
            FAIL() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot create file \"" + missing +
                          "/FEATURE_1_2.MPEG-2.stream.0.mpv\". No such file or directory");
        }
        EXPECT_FALSE(fs::exists(t.dir / "no"));
        EXPECT_EQ(t.s.window.logLines,
                  (std::vector<std::string>{"Opening file FEATURE_1.EVO", "File size: 0 Mbytes."}));
        EXPECT_FALSE(t.s.window.buttons[Button::Demux]);
        EXPECT_TRUE(t.s.nothingHeld());
    }
    {
        SCOPED_TRACE("second output refused");
        DemuxSetup t(8, 8);
        std::string blocked = t.out + "/FEATURE_1_2.DD+.stream.00.mpa";
        fs::create_directory(blocked);
        try {
            bDemuxClick(t.s.core);
            FAIL() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + blocked + "\". Is a directory");
        }
        EXPECT_EQ(t.s.window.logLines.back(), "Creating " + t.out + "/FEATURE_1_2.MPEG-2.stream.0.mpv");
        EXPECT_TRUE(fs::exists(t.out + "/FEATURE_1_2.MPEG-2.stream.0.mpv"));
        EXPECT_EQ(fs::file_size(t.out + "/FEATURE_1_2.MPEG-2.stream.0.mpv"), 0u);
        EXPECT_FALSE(t.s.window.buttons[Button::Demux]);
        EXPECT_TRUE(t.s.nothingHeld());
        // The button comes back with the next change of a tick.
        t.s.core.boxes.setTicked(kAudio00, false);
        EXPECT_TRUE(t.s.window.buttons[Button::Demux]);
    }
}

TEST(DemuxRun, SomethingAtTheSecondPartsPathThatIsNotARegularFileIsNoSecondPart) {
    DemuxSetup t(24, 8, false);
    // A socket exists at the second part's path, but it cannot be read as a file.
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(t.f.second.size(), sizeof addr.sun_path);
    std::copy(t.f.second.begin(), t.f.second.end(), addr.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    bDemuxClick(t.s.core);
    ::close(sock);
    EXPECT_FALSE(contains(t.s.window.logLines, "Continue on FEATURE_2.EVO"));
    EXPECT_TRUE(contains(t.s.window.logLines, "Done."));
    EXPECT_EQ(t.video("FEATURE_1"), t.f.one.video);
    EXPECT_EQ(t.audio("FEATURE_1"), t.f.one.audio);
    EXPECT_TRUE(t.s.nothingHeld());
}

TEST(DemuxRun, AWriteErrorInThePackLoopEndsTheRunWithFilesClosed) {
    DemuxSetup t(kPacksOver4MiB, 24);
    t.s.window.onProcessEvents = [&] { t.s.core.outputFiles[videoOutput(0)]->setWriteLimitForTest(1000); };
    try {
        bDemuxClick(t.s.core);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Stream write error");
    }
    EXPECT_FALSE(contains(t.s.window.logLines, "Done."));
    EXPECT_FALSE(t.s.window.buttons[Button::Demux]);
    EXPECT_TRUE(t.s.nothingHeld());
}

TEST(DemuxRun, AnOutputFolderRemovedDuringTheRunIsAWriteError) {
    DemuxSetup t(kPacksOver4MiB, 8);
    // At the progress point the files are open; then they have no name on disk.
    t.s.window.onProcessEvents = [&] { fs::remove_all(t.out); };
    try {
        bDemuxClick(t.s.core);
        ADD_FAILURE() << "the run ended as if the streams were written";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_FALSE(contains(t.s.window.logLines, "Done."));
    EXPECT_TRUE(t.s.nothingHeld());
}

} // namespace
} // namespace vantrel::test
