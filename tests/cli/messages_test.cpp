// What vantrel-cli says when a user's input is not what it takes: the exit
// code and the first line of each message, one row per case.
#include "cli_fixture.h"
#include "support/evo_builder.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace vantrel::cli::test {
namespace {

namespace fs = std::filesystem;

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

int lineCount(const std::string& text, const std::string& start) {
    int n = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (text.compare(at, start.size(), start) == 0) ++n;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return n;
}

TEST(CliMessages, ExitCodesAndFirstLinesSayWhatToDo) {
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), 40);
    fs::create_directories(dir.path("readme"));
    { std::ofstream(dir.path("readme/README.txt")) << "not a disc"; }
    fs::create_directories(dir.path("folder.mkv"));
    // Cut 1000 bytes into its last pack.
    fs::copy_file(disc.feature1, dir.path("cut.EVO"));
    const auto size = fs::file_size(dir.path("cut.EVO"));
    fs::resize_file(dir.path("cut.EVO"), size - 1048);
    // Five subpicture units that are placeholders, not units with 32-bit offsets.
    vantrel::test::EvoBuilder placeholders;
    for (int i = 0; i < 5; ++i)
        placeholders.packPrivate(0x20, vantrel::test::pattern(200, 7),
                                 90000 + 90000u * static_cast<unsigned>(i));
    placeholders.writeTo(dir.path("placeholders.EVO"));
    { std::ofstream(dir.path("empty.iso")); }
    // A playlist whose title runs on past its last clip and whose first subtitle is described as SDH.
    const auto described = vantrel::test::writeSampleDisc(dir.path("described"), 40);
    {
        std::ifstream in(described.playlist);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto replaceAll = [&text](const std::string& from, const std::string& to) {
            for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
                text.replace(at, from.size(), to);
        };
        replaceAll("titleDuration=\"00:00:12:12\"", "titleDuration=\"00:00:14:00\"");
        replaceAll("mediaAttr=\"1\" description=\"English\"/>\n        <Subtitle track=\"2\"",
                   "mediaAttr=\"1\" description=\"English SDH\"/>\n        <Subtitle track=\"2\"");
        std::ofstream(described.playlist) << text;
    }

    struct Row {
        const char* what;
        std::vector<std::string> args;
        int code;
        std::string firstErr;     // the start of the first line on stderr ("" : none is printed)
        std::string errLine = {}; // a line stderr holds
        std::string outHas = {};  // text stdout holds
    };
    const std::string cutSize = std::to_string(size - 1048);
    const std::vector<Row> rows = {
        {"a folder that is no disc (info)",
         {"info", dir.path("readme")},
         3,
         "error: " + dir.path("readme") + ": no HVDVD_TS or VIDEO_TS folder, EVO or VOB file here"},
        {"a folder that is no disc (demux)",
         {"demux", dir.path("readme")},
         3,
         "error: " + dir.path("readme") + ": no HVDVD_TS or VIDEO_TS folder, EVO or VOB file here"},
        {"a folder that is no disc (mkv)",
         {"mkv", dir.path("readme"), "-o", dir.path("x.mkv")},
         3,
         "error: " + dir.path("readme") + ": no HVDVD_TS or VIDEO_TS folder, EVO or VOB file here"},
        {"-o names a folder",
         {"mkv", disc.root, "--title", "1", "-o", dir.path("folder.mkv")},
         5,
         "error: " + dir.path("folder.mkv") + " is a folder: name a file"},
        {"-o in a missing folder",
         {"mkv", disc.root, "--title", "1", "-o", dir.path("none/x.mkv")},
         5,
         "error: the folder " + dir.path("none") + " does not exist"},
        {"chapters -o onto a folder",
         {"chapters", disc.root, "-o", dir.path("folder.mkv")},
         5,
         "error: " + dir.path("folder.mkv") + " is a folder"},
        {"an EVO cut inside a pack (info)",
         {"--quiet", "info", dir.path("cut.EVO"), "--no-scan"},
         1,
         "warning: cut.EVO ends inside a pack at byte " + cutSize},
        {"an EVO cut inside a pack (demux)",
         {"--quiet", "demux", dir.path("cut.EVO"), "-o", dir.path("cutout"), "--tracks", "cbVideo0"},
         1,
         "warning: cut.EVO ends inside a pack at byte " + cutSize},
        {"rebuild keeps what it cannot leave out",
         {"--quiet", "rebuild", disc.feature1, "-o", dir.path("rebuilt"), "--tracks", "cbVideo0"},
         1,
         "warning: --tracks leaves out cbAudio01 (0x81, "},
        {"demux takes stream codes and captions",
         {"--quiet", "demux", disc.feature1, "-o", dir.path("picked"), "--tracks", "0x81,VC-1.stream.0"},
         0,
         ""},
        {"placeholder units: one line per stream",
         {"info", dir.path("placeholders.EVO")},
         1,
         "warning: placeholders.EVO: subpicture stream 0: 5 of 5 units skipped (first at "},
        {"--quiet quiets the summaries, the exit code keeps them",
         {"--quiet", "info", dir.path("placeholders.EVO")},
         1,
         ""},
        {"--version", {"--version"}, 0, ""},
        {"--json: the error as an object on stdout too",
         {"--json", "info", dir.path("readme")},
         3,
         "error: " + dir.path("readme") + ": no HVDVD_TS or VIDEO_TS folder"},
        {"--json: a usage error as an object",
         {"--json", "mkv", disc.root},
         2,
         "error: mkv needs -o OUT.mkv"},
        {"--json: an unknown command as an object", {"--json", "nosuch"}, 2, "error: unknown command nosuch"},
        {"an empty disc image",
         {"info", dir.path("empty.iso")},
         3,
         "error: Cannot open file \"" + dir.path("empty.iso") +
             "\". An empty file (0 bytes), not a disc image"},
        {"a titleDuration past the last clip's end",
         {"info", described.root, "--no-scan"},
         0,
         "",
         "title 1: its titleDuration 00:00:14:00 runs 11.458 s past the end of its last clip (00:00:02:13)"},
        {"SDH in a description: hearing impaired",
         {"--quiet", "--json", "info", described.root, "--no-scan"},
         0,
         "",
         "",
         "\"hearing_impaired\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const CliResult r = cli(row.args);
        EXPECT_EQ(r.code, row.code) << r.err;
        if (row.errLine.empty()) {
            EXPECT_EQ(firstLine(r.err).rfind(row.firstErr, 0), 0u) << r.err;
            if (row.firstErr.empty()) {
                EXPECT_EQ(r.err, "");
            }
        } else {
            EXPECT_NE(("\n" + r.err).find("\n" + row.errLine), std::string::npos) << r.err;
        }
        if (!row.outHas.empty()) {
            EXPECT_NE(r.out.find(row.outHas), std::string::npos) << r.out;
        }
        // With --json a failure is also one object on stdout: the error line's text and the exit code.
        if (row.code >= 2 && std::find(row.args.begin(), row.args.end(), "--json") != row.args.end()) {
            const nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
            EXPECT_EQ(j, nlohmann::json({{"error", firstLine(r.err).substr(7)}, {"exit", row.code}}))
                << r.out;
        }
    }
    EXPECT_EQ(lineCount(cli({"info", dir.path("placeholders.EVO")}).err, "warning:"), 1);
    EXPECT_EQ(lineCount(cli({"--verbose", "info", dir.path("placeholders.EVO")}).err,
                        "placeholders.EVO: Subpicture"),
              5);
    // The folder was made, and holds the two streams named.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path("picked")), fs::directory_iterator()), 2);

    const std::string help = cli({"--help"}).out;
    for (const char* code : {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 ", "  6 ", "  7 ", "  130 "})
        EXPECT_NE(help.find(code), std::string::npos) << code;
    EXPECT_EQ(cli({"--version"}).out.rfind("vantrel-cli ", 0), 0u);
    for (const Command* c : commandTable()) {
        const std::string own = cli({std::string(c->name), "--help"}).out;
        EXPECT_EQ(own.rfind("usage: vantrel-cli [--quiet] [--json] ", 0), 0u) << own;
        const bool writesFiles = c->name != "info";
        EXPECT_EQ(own.find("--force") != std::string::npos, writesFiles) << c->name;
    }

    std::string sampleHelp;
    EXPECT_EQ(shell("cd '" + dir.path() + "' && " + VANTREL_BINARY_DIR +
                        "/tests/support/vantrel-sample-disc --help",
                    &sampleHelp),
              0);
    EXPECT_EQ(sampleHelp.rfind("usage: vantrel-sample-disc", 0), 0u);
    EXPECT_FALSE(fs::exists(dir.path("--help")));
}

// On a terminal the progress line names its stage and reaches 100 % even on
// files smaller than the core's 4 MiB progress points: the program runs under
// script(1), which gives it one. Without a terminal none of it is written.
TEST(CliMessages, ProgressOnATerminalNamesItsStage) {
    if (!haveProgram("script")) GTEST_SKIP() << "no script(1) to give the program a terminal";
    ScratchDir dir;
    vantrel::test::writeSampleDisc(dir.path("disc"), 40);
    const std::pair<const char*, const char*> rows[] = {
        {"mux-prep disc --title 1 -o prep", "reading FEATURE_1.EVO"},
        {"demux disc --title 1 -o out", "demuxing FEATURE_2.EVO"},
        {"rebuild disc --title 1 -o rebuilt", "rebuilding FEATURE_2.EVO"},
    };
    for (const auto& [args, label] : rows) {
        SCOPED_TRACE(args);
        const std::string run = std::string(VANTREL_CLI) + " " + args;
        std::string screen;
        EXPECT_LE(shell("cd '" + dir.path() + "' && script -qfec '" + run + "' /dev/null", &screen), 1);
        EXPECT_NE(screen.find(std::string("\r\033[K") + label + " 100% "), std::string::npos) << screen;
        // The same run again into a pipe (after removing what the first one wrote).
        std::string piped;
        EXPECT_LE(shell("cd '" + dir.path() + "' && rm -rf prep out rebuilt && " + run + " 2>&1", &piped), 1);
        EXPECT_EQ(piped.find('\033'), std::string::npos) << piped;
    }
}

} // namespace
} // namespace vantrel::cli::test
