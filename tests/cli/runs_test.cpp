// demux and rebuild write what the window's runs write (the headless driver
// drives those), and every way of failing has its exit code and message.
#include "cli_fixture.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::cli::test {
namespace {

TEST(CliRuns, FilesEqualTheWindowsRuns) {
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), 60);
    const std::string others = "cbVideo1,cbAudio00,cbAudio01,cbAudio03,cbAudio04,cbSub00,cbSub01";
    struct Case {
        std::string name;
        std::vector<std::string> cli;   // after the output folder
        std::vector<std::string> bench; // after --evo and --workdir
    };
    const std::vector<Case> cases = {
        {"demux all, continued", {"demux", disc.feature1}, {"read-evo", "demux"}},
        {"demux of a title, some tracks",
         {"demux", disc.root, "--title", "1", "--tracks", "cbVideo0,cbAudio02"},
         {"read-evo", "--untick", others, "demux"}},
        {"demux of the second part alone", {"demux", disc.feature2}, {"read-evo", "demux"}},
        {"rebuild all", {"rebuild", disc.feature1}, {"read-evo", "rebuild"}},
        {"rebuild, some tracks",
         {"rebuild", disc.playlist, "--title", "1", "--tracks", "cbVideo0,cbAudio02"},
         {"read-evo", "--untick", others, "rebuild"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string ours = dir.path("ours-" + std::to_string(&c - cases.data()));
        const std::string theirs = dir.path("theirs-" + std::to_string(&c - cases.data()));
        std::filesystem::create_directories(ours);
        std::filesystem::create_directories(theirs);
        std::vector<std::string> args = {"--quiet"};
        args.insert(args.end(), c.cli.begin(), c.cli.end());
        args.insert(args.end(), {"-o", ours});
        const CliResult r = cli(args);
        // Rebuild copies AC-3, LPCM and MLP streams that --tracks leaves out, and says so.
        const bool keptAnyway = c.cli[0] == "rebuild" && r.err.find("warning: --tracks leaves out ") == 0;
        ASSERT_EQ(r.code, keptAnyway ? 1 : 0) << r.err;
        const bool second = c.cli[1] == disc.feature2;
        std::string command = std::string(VANTREL_BENCH) + " --evo '" +
                              (second ? disc.feature2 : disc.feature1) + "' --workdir '" + theirs + "'";
        for (const std::string& a : c.bench) command += " '" + a + "'";
        ASSERT_EQ(shell(command + " >/dev/null 2>&1"), 0) << command;
        const auto a = folderContents(ours);
        const auto b = folderContents(theirs);
        ASSERT_FALSE(a.empty());
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].first, b[i].first);
            EXPECT_TRUE(a[i].second == b[i].second) << a[i].first << " differs";
        }
    }
}

TEST(CliRuns, ExitCodesAndMessages) {
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), 8);
    std::ofstream(dir.path("plain.EVO")) << "just text, no pack header";
    std::ofstream(dir.path("file")) << "a regular file";
    std::ofstream(dir.path("cut.XPL"))
        << "<Playlist>\n<TitleSet>\n<Title titleNumber=\"1\">\n<Chapter displayName=\"Arr";
    // root may write anywhere: a folder under a regular file cannot be created by anyone.
    const std::string unwritable = dir.path("file/out");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string error; // the start of stderr's error line
    };
    const std::vector<Case> cases = {
        {{"info", dir.path("missing")},
         3,
         "error: Cannot open file \"" + dir.path("missing") + "\". No such file"},
        {{"demux", dir.path("missing.EVO")}, 3, "error: Cannot open file \""},
        {{"info", dir.path("plain.EVO")}, 3, "error: " + dir.path("plain.EVO") + " is not a program stream"},
        {{"rebuild", dir.path("plain.EVO")},
         3,
         "error: " + dir.path("plain.EVO") + " is not a program stream"},
        {{"info", disc.root, "--title", "4"}, 4, "error: title 4 not found; the playlist has title 1"},
        {{"demux", disc.playlist, "--title", "2"}, 4, "error: title 2 not found"},
        {{"chapters", disc.feature1}, 4, "error: " + disc.feature1 + " is not a playlist"},
        {{"chapters", dir.path("file")}, 4, "error: " + dir.path("file") + " is not a playlist"},
        {{"info", dir.path("cut.XPL")},
         4,
         "error: not a well-formed playlist: line 4: the text ends inside an element (cut short?) (" +
             dir.path("cut.XPL") + ")"},
        {{"demux", disc.feature1, "--title", "1"}, 0, ""},
        {{"info", disc.root + "HVDVD_TS", "--no-scan"}, 0, ""},
        {{"demux", disc.feature1, "-o", unwritable},
         5,
         "error: Cannot create folder \"" + unwritable + "\". Not a directory"},
        {{"rebuild", disc.feature1, "-o", unwritable},
         5,
         "error: Cannot create folder \"" + unwritable + "\". Not a directory"},
        {{"chapters", disc.playlist, "-o", unwritable + "/c.txt"},
         5,
         "error: the folder " + unwritable + " does not exist"},
        // Without --title the longest title, as every command takes it.
        {{"demux", disc.root, "-o", dir.path("default")}, 0, ""},
        {{"rebuild", disc.root, "-o", dir.path("default")}, 0, ""},
        {{"info", disc.root, "--title", "x"}, 2, "error: --title needs a whole number"},
        {{"demux", disc.feature1, "--tracks", "cbAudio09"}, 2, "error: --tracks: cbAudio09 holds no stream"},
        {{"frobnicate"}, 2, "error: unknown command frobnicate"},
        {{}, 2, ""},
    };
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path()); // outputs without -o land here
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        std::vector<std::string> args = {"--quiet"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = cli(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.err.rfind(c.error, 0), 0u) << r.err;
    }
    std::filesystem::current_path(cwd);
}

TEST(CliRuns, HelpForEveryCommand) {
    const CliResult all = cli({"--help"});
    EXPECT_EQ(all.code, 0);
    for (const Command* c : commandTable()) {
        SCOPED_TRACE(std::string(c->name));
        EXPECT_NE(all.out.find("  " + std::string(c->name) + " "), std::string::npos);
        const CliResult one = cli({std::string(c->name), "--help"});
        EXPECT_EQ(one.code, 0);
        EXPECT_EQ(one.out.rfind("usage: vantrel-cli", 0), 0u) << one.out;
    }
}

TEST(CliRuns, ProgressLineOnlyOnATerminal) {
    for (bool terminal : {false, true}) {
        std::ostringstream err;
        Console console(err, false, terminal);
        console.progressStart("FEATURE_1.EVO", 200 * 1048576);
        console.progressUpdate(50 * 1048576);
        console.warning("w");
        if (terminal) {
            EXPECT_NE(err.str().find("FEATURE_1.EVO  25% "), std::string::npos) << err.str();
            EXPECT_NE(err.str().find(" MB/s "), std::string::npos);
            EXPECT_NE(err.str().find(" left"), std::string::npos);
        } else {
            EXPECT_EQ(err.str(), "warning: w\n");
        }
    }
}

} // namespace
} // namespace vantrel::cli::test
