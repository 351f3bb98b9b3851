// Nothing typed at vantrel-cli destroys a file: outputs onto inputs, existing
// outputs without --force, a full disk and Ctrl+C, each against the real
// program. Every row checks the exit code, the first line on stderr, that every
// file that was there is there with its bytes, and that nothing was left behind.
#include "cli_fixture.h"
#include "support/evo_builder.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vantrel::cli::test {
namespace {

namespace fs = std::filesystem;

// Every file and folder under a folder, by path, with a hash of its bytes.
std::map<std::string, std::size_t> tree(const std::string& root) {
    std::map<std::string, std::size_t> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(e.path(), root).string();
        if (!e.is_regular_file()) {
            files[name + "/"] = 0;
            continue;
        }
        std::ifstream in(e.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        files[name] = std::hash<std::string>{}(bytes.str());
    }
    return files;
}

// The first error or warning line; notes (the clock, the title taken) may come before it.
std::string firstLine(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && text.compare(at, 6, "error:") != 0 && text.compare(at, 8, "warning:") != 0) {
        const std::size_t next = text.find('\n', at);
        if (next == std::string::npos) return text.substr(at);
        at = next + 1;
    }
    return text.substr(at, text.find('\n', at) - at);
}

struct ProgramResult {
    int code = -1;
    std::string err;
};

// The real program, from the scratch folder, with an environment prefix.
ProgramResult program(const ScratchDir& dir, const std::string& env, const std::string& args) {
    const std::string err = dir.path("stderr.txt");
    ProgramResult r;
    r.code = shell("cd '" + dir.path() + "' && " + env + " timeout 120 " + VANTREL_CLI + " " + args +
                   " >/dev/null 2>'" + err + "'");
    std::ifstream in(err);
    std::stringstream text;
    text << in.rdbuf();
    r.err = text.str();
    fs::remove(err);
    return r;
}

// The nth write on a file whose path holds pattern fails with ENOSPC.
std::string diskFull(const std::string& pattern, int nth = 2) {
    return "LD_PRELOAD=" + std::string(VANTREL_FAULT_SHIM) +
           " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 VANTREL_FAULT='write " +
           std::to_string(nth) + " 28 " + pattern + "'";
}

// What another run holds while it writes: an exclusive lock on a file or folder.
class Locked {
public:
    explicit Locked(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_EQ(::flock(m_fd, LOCK_EX), 0) << path;
    }
    ~Locked() { ::close(m_fd); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    int m_fd;
};

// A DVD-style VOB whose audio ids 0x80 (AC-3), 0x88 (DTS) and 0xA0 (LPCM) all
// have the audio index 0 under the window's rules.
void writeSharedBoxVob(const std::string& path) {
    vantrel::test::EvoBuilder b;
    for (int i = 0; i < 8; ++i) {
        const std::uint64_t pts = 90000 + static_cast<std::uint64_t>(i) * 2880;
        b.packPrivate(0x80, vantrel::test::pattern(1500, 1), pts);
        b.packPrivate(0x88, vantrel::test::pattern(1500, 2), pts);
        b.packPrivate(0xA0, vantrel::test::pattern(1500, 3), pts);
    }
    b.writeTo(path);
}

TEST(CliDataLoss, RefusalsFullDisksAndSharedBoxesLeaveEveryFileAsItWas) {
    const bool muxer = haveProgram("mkvmerge");
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), 40);
    fs::create_directories(dir.path("subs"));
    ASSERT_EQ(cli({"--quiet", "demux", disc.feature1, "-o", dir.path("subs"), "--tracks", "cbSub00"}).code,
              0);
    const auto subs = folderContents(dir.path("subs"));
    ASSERT_EQ(subs.size(), 1u);
    const std::string sup = "subs/" + subs[0].first;
    { std::ofstream(dir.path("old.mkv")) << "an earlier result"; }
    { std::ofstream(dir.path("old.txt")) << "earlier chapters"; }
    const std::string earlierPgs = sup.substr(0, sup.size() - 4) + ".pgs.sup";
    { std::ofstream(dir.path(earlierPgs)) << "an earlier conversion"; }
    fs::create_directories(dir.path("prep"));
    { std::ofstream(dir.path("prep/mux.json")) << "[]"; }
    fs::create_directories(dir.path("out"));
    writeSharedBoxVob(dir.path("shared.VOB"));
    // Copies gone wrong: a lower-case copy without its second clip, and a first clip cut to half.
    vantrel::test::writeSampleDisc(dir.path("lower"), 40);
    fs::remove(dir.path("lower/HVDVD_TS/FEATURE_2.EVO"));
    fs::rename(dir.path("lower/HVDVD_TS/FEATURE_1.EVO"), dir.path("lower/HVDVD_TS/feature_1.evo"));
    fs::rename(dir.path("lower/HVDVD_TS"), dir.path("lower/hvdvd_ts"));
    vantrel::test::writeSampleDisc(dir.path("cut"), 200);
    fs::resize_file(dir.path("cut/HVDVD_TS/FEATURE_1.EVO"),
                    fs::file_size(dir.path("cut/HVDVD_TS/FEATURE_1.EVO")) / 2 / 2048 * 2048);
    fs::create_directories(dir.path("rebuilt"));
    { std::ofstream(dir.path("rebuilt/FEATURE_1_2.rebuilt.EVO")) << "an earlier rebuild"; }
    // A title that muxes whole, for the rows that get as far as the final rename.
    vantrel::test::writeSampleDisc(dir.path("full"));
    // Another run at work: it holds the lock of its temporary of out/busy.mkv,
    // and of the folder prep/ it writes into.
    fs::create_directories(dir.path("out/.busy.mkv.tmp-AbC123"));
    const Locked busyTemp(dir.path("out/.busy.mkv.tmp-AbC123"));
    const Locked busyPrep(dir.path("prep"));
    // A run killed while it muxed out/k.mkv.
    fs::create_directories(dir.path("out/.k.mkv.tmp-XyZ789"));
    { std::ofstream(dir.path("out/.k.mkv.tmp-XyZ789/FEATURE_1.vc1")) << "half a stream"; }
    // What an earlier run with --keep-temp kept: no killed run's.
    fs::create_directories(dir.path("out/.kept.mkv.tmp-Keep01"));
    { std::ofstream(dir.path("out/.kept.mkv.tmp-Keep01/.kept")) << "kept with --keep-temp\n"; }
    { std::ofstream(dir.path("out/.kept.mkv.tmp-Keep01/mux.json")) << "[]"; }
    // Another run that gives its file the name out/late.mkv while this one muxes.
    std::string realMuxer;
    if (muxer) shell("command -v mkvmerge | tr -d '\\n'", &realMuxer);
    fs::create_directories(dir.path("bin"));
    {
        std::ofstream wrapper(dir.path("bin/mkvmerge"));
        wrapper << "#!/bin/sh\ncase \"$1\" in -J) ;; *) echo \"another run's file\" >out/late.mkv ;; esac\n"
                << "exec '" << realMuxer << "' \"$@\"\n";
    }
    fs::permissions(dir.path("bin/mkvmerge"), fs::perms::owner_all);
    const std::string lateRun = "PATH=\"" + dir.path("bin") + ":$PATH\"";
    const std::string lateAppears =
        "LD_PRELOAD=" + std::string(VANTREL_FAULT_SHIM) +
        " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
        " VANTREL_FAULT='appear 3 0 .late.mkv.tmp-' VANTREL_FAULT_APPEAR=out/late.mkv";

    struct Row {
        const char* what;
        std::string args;
        std::string env;
        int code;
        std::string firstLine; // the start of the first error or warning line on stderr
        bool needsMuxer = false;
        std::string leaves = {}; // a file the row makes (its bytes: a second run's), removed after the row
        std::string gone = {};   // a folder the row removes (a killed run's temporary)
        std::string note = {};   // a line stderr holds
    };
    const std::vector<Row> rows = {
        {"mkv onto a title's EVO", "mkv disc --title 1 -o disc/HVDVD_TS/FEATURE_2.EVO --force", "", 5,
         "error: disc/HVDVD_TS/FEATURE_2.EVO is an input of this run"},
        {"mkv onto the EVO through another name",
         "mkv disc/HVDVD_TS/FEATURE_1.EVO -o disc/./HVDVD_TS/FEATURE_1.EVO --force", "", 5,
         "error: disc/./HVDVD_TS/FEATURE_1.EVO is an input of this run"},
        {"mkv onto the playlist", "mkv disc --title 1 -o disc/ADV_OBJ/VPLST000.XPL --force", "", 5,
         "error: disc/ADV_OBJ/VPLST000.XPL is an input of this run"},
        {"sup2pgs onto its input", "sup2pgs " + sup + " -o " + sup + " --force", "", 5,
         "error: " + sup + " is an input of this run"},
        {"chapters onto the playlist", "chapters disc -o disc/ADV_OBJ/VPLST000.XPL --force", "", 5,
         "error: disc/ADV_OBJ/VPLST000.XPL is an input of this run"},
        {"mkv over an existing file", "mkv disc --title 1 -o old.mkv", "", 5,
         "error: old.mkv exists: give --force to replace it"},
        {"chapters over an existing file", "chapters disc -o old.txt", "", 5,
         "error: old.txt exists: give --force to replace it"},
        {"sup2pgs over its earlier output", "sup2pgs " + sup, "", 5,
         "error: " + earlierPgs + " exists: give --force to replace it"},
        {"mux-prep over an earlier preparation", "mux-prep disc --title 1 -o prep", "", 5,
         "error: prep/mux.json exists: give --force"},
        {"mux-prep into a file", "mux-prep disc --title 1 -o old.txt", "", 5,
         "error: old.txt is a file, not a folder"},
        {"demux onto a full disk", "demux disc/HVDVD_TS/FEATURE_1.EVO -o out", diskFull(".stream."), 5,
         "error: Cannot write file \"" + dir.path("out") + "/FEATURE_1"},
        {"rebuild onto a full disk", "rebuild disc/HVDVD_TS/FEATURE_1.EVO -o out", diskFull(".rebuilt."), 5,
         "error: Cannot write file \"" + dir.path("out") +
             "/FEATURE_1_2.rebuilt.EVO\". No space left on device"},
        {"sup2pgs onto a full disk", "sup2pgs " + sup + " -o out/x.sup", diskFull("x.sup", 1), 5,
         "error: Cannot write file \"" + dir.path("out") + "/x.sup\". No space left on device"},
        {"mkv onto a full disk", "mkv disc --title 1 -o out/x.mkv", diskFull(".tmp-"), 5,
         "error: Cannot write file \"out/.x.mkv.tmp-"},
        {"mkv onto a full disk through mkvmerge", "mkv disc --title 1 -o out/x.mkv --muxer mkvmerge",
         diskFull(".tmp-"), 5, "error: Cannot write file \"" + dir.path("out") + "/.x.mkv.tmp-", true},
        {"mkv of a lower-case copy with a clip missing", "mkv lower/hvdvd_ts/feature_1.evo -o out/x.mkv", "",
         3, "error: title 1 plays FEATURE_2.EVO, which is not in lower/hvdvd_ts/"},
        {"demux of a title with a clip missing", "demux lower -o out", "", 3,
         "error: title 1 plays lower/hvdvd_ts/FEATURE_2.EVO, which is not there"},
        {"info of a cut file", "info cut", "", 1, "warning: FEATURE_1.EVO holds "},
        {"mkv of a cut file", "mkv cut -o out/x.mkv", "", 3, "error: title 1: FEATURE_1.EVO holds "},
        {"demux over an existing output", "demux disc/HVDVD_TS/FEATURE_1.EVO -o subs --tracks cbSub00", "", 5,
         "error: " + sup + " exists: give --force to replace it"},
        {"rebuild over an existing output", "rebuild disc/HVDVD_TS/FEATURE_1.EVO -o rebuilt", "", 5,
         "error: rebuilt/FEATURE_1_2.rebuilt.EVO exists: give --force to replace it"},
        {"mkv while another run writes OUT", "mkv full -o out/busy.mkv", "", 5,
         "error: another run is writing out/busy.mkv now (out/.busy.mkv.tmp-AbC123)"},
        {"mux-prep while another run writes into DIR", "mux-prep full -o prep --force", "", 5,
         "error: another run is writing into prep/ now"},
        {"mkv when OUT appears during the run", "mkv full -o out/late.mkv", lateAppears, 5,
         "error: out/late.mkv appeared while this run worked (another run?)", false, "out/late.mkv"},
        {"mkv through mkvmerge when OUT appears during the run", "mkv full -o out/late.mkv --muxer mkvmerge",
         lateRun, 5, "error: out/late.mkv appeared while this run worked (another run?)", true,
         "out/late.mkv"},
        {"mkv after a killed run to OUT", "mkv full -o out/k.mkv", "", 0, "", true, "out/k.mkv",
         "out/.k.mkv.tmp-XyZ789",
         "removed out/.k.mkv.tmp-XyZ789, left by a run to out/k.mkv that did not finish"},
        {"mkv beside what --keep-temp kept", "mkv full -o out/kept.mkv", "", 0, "", true, "out/kept.mkv"},
        {"info on streams that share a box", "info shared.VOB", "", 1,
         "warning: shared.VOB: streams 0x80 (AC-3), 0x88 (DTS) and 0xA0 (LPCM) share the stream box "
         "cbAudio00"},
    };
    auto before = tree(dir.path());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.needsMuxer && !muxer) continue;
        const ProgramResult r = program(dir, row.env, row.args);
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_EQ(firstLine(r.err).rfind(row.firstLine, 0), 0u) << r.err;
        if (!row.note.empty()) {
            EXPECT_NE(("\n" + r.err).find("\n" + row.note + "\n"), std::string::npos) << r.err;
        }
        if (!row.leaves.empty()) {
            std::ifstream made(dir.path(row.leaves), std::ios::binary);
            std::string head(18, '\0');
            made.read(head.data(), 18);
            EXPECT_EQ(head == "another run's file", row.code != 0)
                << row.leaves << " is not what it should be";
            made.close();
            fs::remove(dir.path(row.leaves));
        }
        if (!row.gone.empty()) {
            EXPECT_FALSE(fs::exists(dir.path(row.gone))) << row.gone;
            std::erase_if(before, [&](const auto& e) { return e.first.rfind(row.gone, 0) == 0; });
        }
        EXPECT_EQ(tree(dir.path()), before) << "a file changed, went or was left behind";
    }
    // The full-disk message names the device's reason even where the row above cannot spell the name out.
    EXPECT_NE(program(dir, diskFull(".stream."), "demux disc/HVDVD_TS/FEATURE_1.EVO -o out")
                  .err.find("No space left on device"),
              std::string::npos);

    // demux of the shared box: the window's one file, with the warning and exit 1.
    const ProgramResult shared = program(dir, "", "--quiet demux shared.VOB -o out");
    EXPECT_EQ(shared.code, 1) << shared.err;
    EXPECT_NE(shared.err.find("demux writes them into one file; mux-prep and mkv keep them apart"),
              std::string::npos)
        << shared.err;
    EXPECT_EQ(folderContents(dir.path("out")).size(), 1u);
}

// Ctrl+C while a long run writes: the program stops (mkvmerge too), removes
// what it did not finish, says "interrupted" and exits 130.
TEST(CliDataLoss, InterruptRemovesWhatTheRunDidNotFinish) {
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), 2500);
    fs::create_directories(dir.path("out"));
    struct Row {
        const char* what;
        std::vector<std::string> args;
        std::string waitFor; // the signal goes when a path under out/ holds this
        bool needsMuxer;
    };
    const std::vector<Row> rows = {
        {"mkv while it writes",
         {"mkv", disc.root, "--title", "1", "-o", dir.path("out/x.mkv")},
         ".x.mkv.tmp-",
         false},
        {"mkv while mkvmerge runs",
         {"mkv", disc.root, "--title", "1", "-o", dir.path("out/x.mkv"), "--muxer", "mkvmerge"},
         "mux.json",
         true},
        {"demux while it writes", {"demux", disc.feature1, "-o", dir.path("out")}, ".stream.", false},
        {"mux-prep while it writes",
         {"mux-prep", disc.root, "--title", "1", "-o", dir.path("out/prep")},
         ".stream.",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.needsMuxer && !haveProgram("mkvmerge")) continue;
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::vector<char*> argv{const_cast<char*>(VANTREL_CLI)};
            for (const std::string& a : row.args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            if (!::freopen("/dev/null", "w", stdout) || !::freopen(dir.path("err.txt").c_str(), "w", stderr))
                ::_exit(99);
            ::execv(VANTREL_CLI, argv.data());
            ::_exit(98);
        }
        bool seen = false;
        for (int i = 0; i < 1200 && !seen; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            std::error_code ec;
            for (const auto& e : fs::recursive_directory_iterator(dir.path("out"), ec))
                seen = seen || e.path().string().find(row.waitFor) != std::string::npos;
        }
        EXPECT_TRUE(seen) << "the run did not get that far";
        ::kill(pid, SIGINT);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        std::ifstream in(dir.path("err.txt"));
        std::stringstream err;
        err << in.rdbuf();
        EXPECT_EQ(WEXITSTATUS(status), 130) << err.str();
        EXPECT_NE(("\n" + err.str()).find("\ninterrupted\n"), std::string::npos) << err.str();
        EXPECT_TRUE(fs::is_empty(dir.path("out")))
            << "left behind: " << fs::directory_iterator(dir.path("out"))->path();
        EXPECT_EQ(shell("pgrep -f '[m]kvmerge.*" + dir.path("out") + "' >/dev/null"), 1)
            << "mkvmerge still runs";
    }
}

} // namespace
} // namespace vantrel::cli::test
