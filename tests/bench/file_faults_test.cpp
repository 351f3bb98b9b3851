// Faults of the file system during a run, through the headless driver. The
// fault-injection shim fails one call of the file layer, walked across each
// step; FIFOs, devices, links to the run's own files and a file-size limit are
// set up for real.
#include "runs/runs_fixture.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <map>

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

struct BenchRun {
    int status = -1;
    std::vector<std::string> out, err;

    int count(const std::string& line) const {
        return static_cast<int>(std::count(out.begin(), out.end(), line));
    }
    bool erred(const std::string& text) const {
        return std::find(err.begin(), err.end(), "error: " + text) != err.end();
    }
    std::string error() const {
        for (const auto& line : err)
            if (line.rfind("error: ", 0) == 0) return line.substr(7);
        return "(none)";
    }
    bool leftFilesOpen() const {
        return std::any_of(err.begin(), err.end(),
                           [](const std::string& l) { return l.rfind("vantrel-bench: still open", 0) == 0; });
    }
};

std::vector<std::string> fileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// Runs vantrel-bench through the shell: ENV assignments, then PREFIX (a
// command that runs the driver, such as prlimit), then the driver's ARGS. A
// run that waits for more than a minute is stopped (status 124).
BenchRun bench(const ScratchDir& dir, const std::string& env, const std::string& prefix,
               const std::string& args) {
    const std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
    const std::string command = env + " timeout 60 " + prefix + " " + std::string(VANTREL_BENCH_EXE) + " " +
                                args + " >" + out + " 2>" + err;
    const int raw = std::system(command.c_str());
    BenchRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = fileLines(out);
    r.err = fileLines(err);
    return r;
}

// The environment that loads the shim with one fault ("OP N ERRNO PATTERN")
// and, when counts is given, writes the calls on paths that contain track.
std::string shimEnv(const std::string& fault, const std::string& counts = "", const std::string& track = "") {
    std::string env =
        "LD_PRELOAD=" + std::string(VANTREL_FAULT_SHIM) +
        " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 VANTREL_FAULT='" + fault + "'";
    if (!counts.empty()) env += " VANTREL_FAULT_COUNTS=" + counts + " VANTREL_FAULT_TRACK=" + track;
    return env;
}

// A two-part feature of about 10 and 5 reads, outputs of several writes each,
// and a playlist of four reads, in a scratch folder with an output folder.
struct Inputs {
    ScratchDir dir;
    Feature f;
    std::string xpl, out;
    Inputs() : f(makeFeature(dir, 640, 320)) {
        fs::create_directories(dir / "ADV_OBJ");
        xpl = dir / "ADV_OBJ/VPLST000.XPL";
        std::string text = samplePlaylist();
        for (int i = 0; i < 15000; ++i) text += "<Pad/>\n";
        writeBytes(xpl, Bytes(text.begin(), text.end()));
        out = dir / "out";
        fs::create_directories(out);
    }
    std::string expand(std::string text) const {
        const std::map<std::string, std::string> names{
            {"{F1}", f.first}, {"{F2}", f.second}, {"{XPL}", xpl}, {"{OUT}", out}};
        for (const auto& [key, value] : names)
            for (auto at = text.find(key); at != std::string::npos; at = text.find(key))
                text.replace(at, key.size(), value);
        return text;
    }
};

// Calls per kind ("read", "write", ...) and path, as the shim counted them.
using Counts = std::vector<std::tuple<std::string, long, std::string>>;

Counts countCalls(const Inputs& in, const std::string& args) {
    const std::string counts = in.dir / "counts.txt";
    const BenchRun r = bench(in.dir, shimEnv("none 0 0", counts, in.dir.path()), "", in.expand(args));
    EXPECT_EQ(r.status, 0) << args;
    Counts result;
    for (const std::string& line : fileLines(counts)) {
        std::istringstream fields(line);
        std::string op, path;
        long n = 0;
        fields >> op >> n >> path;
        result.emplace_back(op, n, path);
    }
    return result;
}

long calls(const Counts& counts, const std::string& op, const std::string& pattern) {
    long n = 0;
    for (const auto& [kind, count, path] : counts)
        if (kind == op && path.find(pattern) != std::string::npos) n += count;
    return n;
}

std::map<std::string, Bytes> outputs(const std::string& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = readFile(entry.path().string());
    return files;
}

enum class At { First, Middle, Last };

struct FaultPoint {
    const char* step; // the step that the fault hits
    const char* op;   // read, write, close, open, fstat, or shorten (after that read)
    const char* pattern;
    At at; // among the step's calls of that kind on matching paths
    int err;
    // The error text ({B} and {S}: the byte counts of a shortened file); empty
    // for an interruption, which is retried and changes nothing.
    const char* expected;
    bool inFirstPart; // nothing of the second part may follow
};

// The driver's arguments for a step, and the steps that run before it.
struct StepArgs {
    const char* before;
    const char* args;
};
const std::map<std::string, StepArgs> kSteps{
    {"read-evo", {"", "--evo {F1} read-evo"}},
    {"demux", {"--evo {F1} read-evo", "--evo {F1} --workdir {OUT} read-evo demux"}},
    {"rebuild", {"--evo {F1} read-evo", "--evo {F1} --workdir {OUT} read-evo rebuild"}},
    {"read-xpl", {"", "--xpl {XPL} read-xpl"}},
};

TEST(FileFaults, EveryFaultPointEndsTheStepWithItsErrorAndKeepsWhatWasWritten) {
    const char* const readError = "Cannot read file \"{F1}\". Input/output error";
    const char* const ended1 = "Cannot read file \"{F1}\". The file ended at byte {B} of {S}";
    const char* const ended2 = "Cannot read file \"{F2}\". The file ended at byte {B} of {S}";
    const FaultPoint points[] = {
        {"read-evo", "open", "FEATURE_1.EVO", At::First, EACCES,
         "Cannot open file \"{F1}\". Permission denied", true},
        {"read-evo", "fstat", "FEATURE_1.EVO", At::First, EIO,
         "Cannot open file \"{F1}\". Input/output error", true},
        {"read-evo", "read", "FEATURE_1.EVO", At::First, EIO, readError, true},
        {"read-evo", "read", "FEATURE_1.EVO", At::Middle, EIO, readError, true},
        {"read-evo", "shorten", "FEATURE_1.EVO", At::Middle, 0, ended1, true},
        {"demux", "read", "FEATURE_1.EVO", At::First, EIO, readError, true},
        {"demux", "read", "FEATURE_1.EVO", At::Middle, EIO, readError, true},
        {"demux", "shorten", "FEATURE_1.EVO", At::Middle, 0, ended1, true},
        {"demux", "open", "FEATURE_2.EVO", At::First, EACCES, "Cannot open file \"{F2}\". Permission denied",
         true},
        {"demux", "read", "FEATURE_2.EVO", At::First, EIO, "Cannot read file \"{F2}\". Input/output error",
         false},
        {"demux", "shorten", "FEATURE_2.EVO", At::First, 0, ended2, false},
        {"demux", "open", "/out/", At::First, ENOSPC,
         "Cannot create file \"{OUT}/FEATURE_1_2.MPEG-2.stream.0.mpv\". No space left on device", true},
        {"demux", "write", "/out/", At::First, ENOSPC, "Stream write error", true},
        {"demux", "write", "/out/", At::Middle, ENOSPC, "Stream write error", false},
        {"demux", "write", "/out/", At::Last, ENOSPC, "Stream write error", false},
        {"demux", "close", "/out/", At::First, EIO, "Stream write error", false},
        {"demux", "read", "FEATURE_1.EVO", At::Middle, EINTR, "", false},
        {"demux", "write", "/out/", At::Middle, EINTR, "", false},
        {"demux", "fstat", "/out/", At::Last, EIO, "Stream write error", false},
        {"rebuild", "read", "FEATURE_1.EVO", At::First, EIO, readError, true},
        {"rebuild", "read", "FEATURE_1.EVO", At::Middle, EIO, readError, true},
        {"rebuild", "shorten", "FEATURE_1.EVO", At::Middle, 0, ended1, true},
        {"rebuild", "read", "FEATURE_2.EVO", At::First, EIO, "Cannot read file \"{F2}\". Input/output error",
         false},
        {"rebuild", "write", "/out/", At::First, ENOSPC, "Stream write error", true},
        {"rebuild", "write", "/out/", At::Middle, ENOSPC, "Stream write error", false},
        {"rebuild", "write", "/out/", At::Last, ENOSPC, "Stream write error", false},
        {"rebuild", "close", "/out/", At::First, EIO, "Stream write error", false},
        {"read-xpl", "open", "VPLST000.XPL", At::First, EACCES,
         "Cannot open file \"{XPL}\". Permission denied", true},
        {"read-xpl", "fstat", "VPLST000.XPL", At::First, EIO,
         "Cannot open file \"{XPL}\". Input/output error", true},
        {"read-xpl", "read", "VPLST000.XPL", At::First, EIO, "Cannot read file \"{XPL}\". Input/output error",
         true},
        {"read-xpl", "read", "VPLST000.XPL", At::Middle, EIO,
         "Cannot read file \"{XPL}\". Input/output error", true},
        {"read-xpl", "shorten", "VPLST000.XPL", At::Middle, 0,
         "Cannot read file \"{XPL}\". The file ended at byte {B} of {S}", true},
    };

    // Per step: the calls of the steps before it and of the whole run, and the
    // outputs of the run without a fault.
    struct Reference {
        Counts before, all;
        std::map<std::string, Bytes> outputs;
    };
    std::map<std::string, Reference> references;
    for (const auto& [step, args] : kSteps) {
        Inputs in;
        Reference& ref = references[step];
        if (*args.before != '\0') ref.before = countCalls(in, args.before);
        ref.all = countCalls(in, args.args);
        ref.outputs = outputs(in.out);
    }

    for (const FaultPoint& p : points) {
        const std::string op = p.op;
        const std::string countedOp = op == "shorten" ? "read" : op;
        const Reference& ref = references.at(p.step);
        const long before = calls(ref.before, countedOp, p.pattern);
        const long during = calls(ref.all, countedOp, p.pattern) - before;
        ASSERT_GE(during, p.at == At::Middle ? 3 : 1)
            << p.step << " " << op << " " << p.pattern << ": too few calls";
        const long nth = p.at == At::First ? 1 : p.at == At::Middle ? during / 2 : during;

        Inputs in;
        const std::string where = std::string(p.step) + ": " + op + " #" + std::to_string(nth) + " of " +
                                  std::to_string(during) + " on " + p.pattern;
        std::string expected = in.expand(p.expected);
        if (op == "shorten") {
            // The file is cut where that read ended: reads are 128 KiB for an EVO, 32 KiB for a playlist.
            const bool playlist = std::string(p.pattern) == "VPLST000.XPL";
            const std::string file = playlist                                    ? in.xpl
                                     : std::string(p.pattern) == "FEATURE_2.EVO" ? in.f.second
                                                                                 : in.f.first;
            const auto cut = static_cast<long>(nth) * (playlist ? 32768 : 131072);
            expected.replace(expected.find("{B}"), 3, std::to_string(cut));
            expected.replace(expected.find("{S}"), 3, std::to_string(fs::file_size(file)));
        }
        const BenchRun r = bench(
            in.dir,
            shimEnv(op + " " + std::to_string(before + nth) + " " + std::to_string(p.err) + " " + p.pattern),
            "", in.expand(kSteps.at(p.step).args));
        std::cout << "fault " << where << (p.err != 0 ? " errno " + std::to_string(p.err) : std::string())
                  << " -> exit " << r.status << ", error: " << r.error() << '\n';

        EXPECT_FALSE(r.leftFilesOpen()) << where;
        if (expected.empty()) {
            EXPECT_EQ(r.status, 0) << where << ": " << r.error();
            EXPECT_EQ(outputs(in.out), ref.outputs) << where;
            continue;
        }
        EXPECT_EQ(r.status, 2) << where;
        EXPECT_TRUE(r.erred(expected)) << where << "\n  expected: " << expected << "\n  got: " << r.error();
        // Only the steps before the faulted one end with "Done.".
        EXPECT_EQ(r.count("Done."), *kSteps.at(p.step).before != '\0' ? 1 : 0) << where;
        if (p.inFirstPart) {
            EXPECT_EQ(r.count("Continue on FEATURE_2.EVO"), 0) << where;
        }
        for (const auto& [name, bytes] : outputs(in.out)) {
            const auto full = ref.outputs.find(name);
            ASSERT_NE(full, ref.outputs.end()) << where << ": " << name << " is not an output of the run";
            EXPECT_TRUE(startsWith(full->second, bytes)) << where << ": " << name << " (" << bytes.size()
                                                         << " bytes) is not a prefix of the full output";
        }
    }
}

// Nothing that is not a regular file is read or written, and no open waits:
// FIFOs and devices as source, playlist, second part or output.
TEST(FileFaults, FifosAndDevicesAreRefusedWithoutWaiting) {
    struct Case {
        const char* what;
        const char* fifo;   // made a FIFO (a path under the scratch folder), or empty
        const char* device; // the second part made a link to this device, or empty
        const char* args;
        int status;
        const char* expected; // the error, or the log line that must be there
    };
    const Case cases[] = {
        {"FIFO as source", "HVDVD_TS/FEATURE_1.EVO", "", "--evo {F1} read-evo", 2,
         "Cannot open file \"{F1}\". Not a regular file"},
        {"FIFO as playlist", "ADV_OBJ/VPLST000.XPL", "", "--xpl {XPL} read-xpl", 2,
         "Cannot open file \"{XPL}\". Not a regular file"},
        {"FIFO as output", "out/FEATURE_1_2.rebuilt.EVO", "", "--evo {F1} --workdir {OUT} rebuild", 2,
         "Cannot create file \"{OUT}/FEATURE_1_2.rebuilt.EVO\". Not a regular file"},
        {"FIFO as second part", "HVDVD_TS/FEATURE_2.EVO", "", "--evo {F1} --workdir {OUT} read-evo demux", 0,
         "Creating {OUT}/FEATURE_1.MPEG-2.stream.0.mpv"},
        {"device as second part", "", "/dev/zero", "--evo {F1} --workdir {OUT} read-evo demux", 0,
         "Creating {OUT}/FEATURE_1.MPEG-2.stream.0.mpv"},
    };
    for (const Case& c : cases) {
        Inputs in;
        if (*c.fifo != '\0') {
            fs::remove(in.dir / c.fifo);
            ASSERT_EQ(::mkfifo((in.dir / c.fifo).c_str(), 0600), 0) << c.what;
        }
        if (*c.device != '\0') {
            fs::remove(in.f.second);
            fs::create_symlink(c.device, in.f.second);
        }
        const BenchRun r = bench(in.dir, "", "", in.expand(c.args));
        EXPECT_NE(r.status, 124) << c.what << ": the open waited";
        EXPECT_EQ(r.status, c.status) << c.what;
        const std::string expected = in.expand(c.expected);
        if (c.status == 0) {
            // No second part: the outputs are those of the first part alone.
            EXPECT_EQ(r.count(expected), 1) << c.what;
            EXPECT_EQ(r.count("Continue on FEATURE_2.EVO"), 0) << c.what;
            EXPECT_EQ(r.count("Done."), 2) << c.what;
            EXPECT_EQ(readFile(in.out + "/FEATURE_1.MPEG-2.stream.0.mpv"), in.f.one.video) << c.what;
        } else {
            EXPECT_TRUE(r.erred(expected)) << c.what << ": " << r.error();
        }
    }
}

// An output name that leads to one of the run's sources, or to an output that
// the run already writes, is refused before a byte of that file is lost.
TEST(FileFaults, OutputsThatAreTheRunsOwnFilesAreRefused) {
    struct Case {
        const char* what;
        const char* link;   // made under the output folder, or empty
        const char* target; // {F1} or {F2}
        bool hard;
        const char* args;
        const char* busy; // the output that is refused
    };
    const Case cases[] = {
        {"rebuilt file a link to the second part", "FEATURE_1_2.rebuilt.EVO", "{F2}", false,
         "--evo {F1} --workdir {OUT} read-evo rebuild", "{OUT}/FEATURE_1_2.rebuilt.EVO"},
        {"rebuilt file a hard link to the source", "FEATURE_1_2.rebuilt.EVO", "{F1}", true,
         "--evo {F1} --workdir {OUT} read-evo rebuild", "{OUT}/FEATURE_1_2.rebuilt.EVO"},
        {"stream file a link to the source", "FEATURE_1_2.DD+.stream.00.mpa", "{F1}", false,
         "--evo {F1} --workdir {OUT} read-evo demux", "{OUT}/FEATURE_1_2.DD+.stream.00.mpa"},
        // Boxes ticked for streams that the title does not have share one caption.
        {"one stream file twice", "", "", false,
         "--evo {F1} --xpl {XPL} --workdir {OUT} read-xpl --tick cbAudio14,cbAudio15 demux",
         "{OUT}/FEATURE_1_2.No audio stream.mpa"},
    };
    for (const Case& c : cases) {
        Inputs in;
        if (*c.link != '\0') {
            const std::string target = in.expand(c.target), link = in.out + "/" + c.link;
            if (c.hard)
                fs::create_hard_link(target, link);
            else
                fs::create_symlink(target, link);
        }
        const BenchRun r = bench(in.dir, "", "", in.expand(c.args));
        EXPECT_EQ(r.status, 2) << c.what;
        const std::string expected =
            "Cannot create file \"" + in.expand(c.busy) + "\". Device or resource busy";
        EXPECT_TRUE(r.erred(expected)) << c.what << ": " << r.error();
        EXPECT_EQ(readFile(in.f.first), in.f.one.file) << c.what;
        EXPECT_EQ(readFile(in.f.second), in.f.two.file) << c.what;
    }
}

// Under a file-size limit a write fails and is reported; the program is not killed.
TEST(FileFaults, AFileSizeLimitIsAStreamWriteError) {
    Inputs in;
    const long limit = 300000;
    const BenchRun r = bench(in.dir, "", "prlimit --fsize=" + std::to_string(limit),
                             in.expand("--evo {F1} --workdir {OUT} read-evo demux"));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.erred("Stream write error")) << r.error();
    EXPECT_EQ(r.count("Done."), 1);
    const Bytes video = readFile(in.out + "/FEATURE_1_2.MPEG-2.stream.0.mpv");
    EXPECT_EQ(video.size(), static_cast<std::size_t>(limit));
    EXPECT_TRUE(startsWith(concat(in.f.one.video, in.f.two.video), video));
}

// A file that is not a playlist at all is refused before it is read.
TEST(FileFaults, APlaylistOver64MiBIsRefusedBeforeReading) {
    Inputs in;
    ASSERT_EQ(::truncate(in.xpl.c_str(), 64 * 1048576 + 1), 0);
    const BenchRun r = bench(in.dir, "", "", in.expand("--xpl {XPL} read-xpl"));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.erred("Cannot open file \"" + in.xpl + "\". Not a playlist (larger than 64 MiB)"))
        << r.error();
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(std::any_of(r.err.begin(), r.err.end(), [](const std::string& line) {
        return line.rfind("step read-xpl: ", 0) == 0 && line.find(", 0 bytes read, ") != std::string::npos;
    }));
}

} // namespace
} // namespace vantrel::test
