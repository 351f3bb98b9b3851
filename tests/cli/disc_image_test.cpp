// The disc as people keep it: a UDF image read in place gives what its folder
// gives; a broken image fails with exit 3 and leaves nothing; the playlist's
// track flags reach mkvmerge; the boot playlist, the default title and the
// 59.94 Hz clock of real playlists.
#include "cli_fixture.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace vantrel::cli::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

bool canWriteImages() {
    return shell("/usr/bin/python3 -c 'import pycdlib' 2>/dev/null") == 0;
}

// FOLDER as an ISO 9660 image with a UDF 2.60 bridge.
void writeImage(const std::string& folder, const std::string& image) {
    std::string log;
    ASSERT_EQ(shell("/usr/bin/python3 '" VANTREL_SOURCE_DIR "/tests/support/tools/make_udf_image.py' '" +
                        folder + "' '" + image + "' 2>&1",
                    &log),
              0)
        << log;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void replaceOnce(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

// mkvmerge -J's tracks without what differs from run to run.
json identifiedTracks(const std::string& mkv) {
    std::string identify;
    EXPECT_EQ(shell("mkvmerge -J '" + mkv + "'", &identify), 0);
    json tracks = json::parse(identify)["tracks"];
    for (json& t : tracks) t["properties"].erase("uid");
    return tracks;
}

std::string simpleChapters(const std::string& mkv) {
    std::string text;
    EXPECT_EQ(shell("mkvextract '" + mkv + "' chapters --simple - 2>/dev/null", &text), 0);
    return text;
}

// The packets' data hashes of every stream of a file (ffprobe -show_data_hash).
std::string packetHashes(const std::string& file) {
    std::string text;
    EXPECT_EQ(shell("ffprobe -v error -show_packets -show_data_hash md5 -show_entries "
                    "packet=stream_index,pts,dts,data_hash -of csv=p=0 '" +
                        file + "' 2>/dev/null",
                    &text),
              0);
    return text;
}

// The sample disc as some copying tools leave it: every folder and file name in lower case.
std::string writeLowerCaseCopy(const std::string& root) {
    vantrel::test::writeSampleDisc(root);
    for (const char* folder : {"HVDVD_TS", "ADV_OBJ"}) {
        const fs::path from = fs::path(root) / folder;
        for (const auto& e : fs::directory_iterator(from)) {
            std::string name = e.path().filename().string();
            for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            fs::rename(e.path(), from / name);
        }
        std::string lower = folder;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        fs::rename(from, fs::path(root) / lower);
    }
    return root + "/";
}

// What a run of demux or rebuild wrote into a folder: names and bytes.
std::string writtenFiles(const std::vector<std::string>& args, const std::string& out) {
    fs::create_directories(out);
    std::vector<std::string> all{"--quiet"};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"-o", out});
    const CliResult r = cli(all);
    EXPECT_LE(r.code, 1) << r.err;
    std::string listing;
    for (const auto& [name, bytes] : folderContents(out))
        listing += name + " " + std::to_string(std::hash<std::string>{}(bytes)) + "\n";
    return listing;
}

TEST(CliDiscImage, GivesWhatItsFolderGives) {
    if (!canWriteImages()) GTEST_SKIP() << "python3-pycdlib missing";
    struct Case {
        const char* name;
        std::string (*write)(const std::string& root);
        std::vector<std::string> mkvArgs; // beyond INPUT and -o
        const char* chapter2;             // the second chapter, as chapters and the MKV give it
        std::size_t feature;              // the index of the default title in info's JSON
        std::size_t files;                // the EVO files of the default title
    };
    const Case cases[] = {
        {"two-part",
         [](const std::string& root) { return vantrel::test::writeSampleDisc(root).root; },
         {"--title", "1"},
         "CHAPTER02=00:00:04.004",
         0,
         2},
        // Both clips and the playlist's languages, whatever case the names have.
        {"lower-case copy", writeLowerCaseCopy, {}, "CHAPTER02=00:00:04.004", 0, 2},
        // Three clips, the feature not the first title, mkv without --title.
        {"three-clip",
         [](const std::string& root) { return vantrel::test::writeThreeClipDisc(root).root; },
         {},
         "CHAPTER02=00:00:02.002",
         1,
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string folder = c.write(dir.path("disc"));
        const std::string image = dir.path("disc.iso");
        writeImage(dir.path("disc"), image);

        // info: the same titles, streams, chapters, clock and time stamps; only the paths differ.
        const CliResult onImage = cli({"--json", "info", image});
        const CliResult onFolder = cli({"--json", "info", folder});
        ASSERT_EQ(onImage.code, onFolder.code) << onImage.err;
        ASSERT_LE(onImage.code, 1) << onImage.err;
        std::string imageText = onImage.out, folderText = onFolder.out;
        for (std::string* t : {&imageText, &folderText}) {
            json j = json::parse(*t);
            j.erase("input");
            j["playlist"].erase("path");
            for (json& title : j["titles"])
                for (json& f : title["files"]) f.erase("path");
            *t = j.dump(1);
        }
        EXPECT_EQ(imageText, folderText);
        EXPECT_TRUE(onImage.json()["titles"][c.feature]["default"].get<bool>());
        EXPECT_EQ(onImage.json()["titles"][c.feature]["files"].size(), c.files);

        // demux and rebuild of the default title: the folder's files, byte for byte.
        for (const char* command : {"demux", "rebuild"}) {
            const std::string fromImage =
                writtenFiles({command, image}, dir.path(std::string(command) + "-i"));
            if (c.files == 2) {
                EXPECT_NE(fromImage.find("_2."), std::string::npos) << command << ": " << fromImage;
            }
            EXPECT_EQ(fromImage, writtenFiles({command, folder}, dir.path(std::string(command) + "-f")));
        }

        const CliResult chaptersImage = cli({"chapters", image});
        const CliResult chaptersFolder = cli({"chapters", folder});
        ASSERT_LE(chaptersImage.code, 1) << chaptersImage.err; // the three clips warn of the naming
        EXPECT_EQ(chaptersImage.code, chaptersFolder.code);
        EXPECT_EQ(chaptersImage.out, chaptersFolder.out);
        EXPECT_NE(chaptersImage.out.find(c.chapter2), std::string::npos) << chaptersImage.out;

        if (!haveProgram("mkvmerge") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "mkvmerge or ffprobe missing";
        auto mkv = [&](const std::string& input, const std::string& out) {
            std::vector<std::string> args{"mkv", input, "-o", out};
            args.insert(args.end(), c.mkvArgs.begin(), c.mkvArgs.end());
            return cli(args);
        };
        const CliResult mkvImage = mkv(image, dir.path("image.mkv"));
        const CliResult mkvFolder = mkv(folder, dir.path("folder.mkv"));
        ASSERT_LE(mkvImage.code, 1) << mkvImage.err;
        ASSERT_EQ(mkvImage.code, mkvFolder.code) << mkvFolder.err;
        EXPECT_EQ(identifiedTracks(dir.path("image.mkv")), identifiedTracks(dir.path("folder.mkv")));
        const std::string hashes = packetHashes(dir.path("image.mkv"));
        EXPECT_GT(hashes.size(), 1000u);
        EXPECT_EQ(hashes, packetHashes(dir.path("folder.mkv")));
        // One clock for the title: the Matroska chapters are those of the chapters command.
        const std::string inMkv = simpleChapters(dir.path("image.mkv"));
        EXPECT_EQ(inMkv, simpleChapters(dir.path("folder.mkv")));
        EXPECT_NE(inMkv.find(c.chapter2), std::string::npos) << inMkv;
    }
}

// An image is read as its folder also without a playlist, and a command opens
// the image file once, however often it looks into it.
TEST(CliDiscImage, ImagesWithoutPlaylistsAndOneOpenPerCommand) {
    if (!canWriteImages()) GTEST_SKIP() << "python3-pycdlib missing";
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"));
    fs::remove_all(dir.path("disc/ADV_OBJ"));
    writeImage(dir.path("disc"), dir.path("bare.iso"));
    const CliResult onImage = cli({"info", dir.path("bare.iso")});
    const CliResult onFolder = cli({"info", dir.path("disc")});
    EXPECT_EQ(onImage.code, onFolder.code) << onImage.err;
    EXPECT_LE(onImage.code, 1) << onImage.err;
    EXPECT_NE(onImage.out.find("FEATURE_1.EVO"), std::string::npos) << onImage.out;

    if (!haveProgram("strace")) GTEST_SKIP() << "strace missing";
    writeImage(dir.path("disc"), dir.path("disc.iso"));
    for (const char* command : {"info", "chapters"}) {
        SCOPED_TRACE(command);
        std::string trace;
        // LeakSanitizer cannot run under ptrace.
        shell("cd '" + dir.path() +
                  "' && ASAN_OPTIONS=detect_leaks=0 strace -f -e trace=open,openat -o trace.txt " +
                  VANTREL_CLI + " --quiet " + command +
                  " disc.iso >/dev/null 2>&1; grep -c 'disc.iso\"' trace.txt",
              &trace);
        EXPECT_LE(std::atoi(trace.c_str()), 2) << trace;
        EXPECT_GE(std::atoi(trace.c_str()), 1) << trace;
    }
}

TEST(CliDiscImage, BrokenImagesFailWithExitThreeAndLeaveNothing) {
    if (!canWriteImages()) GTEST_SKIP() << "python3-pycdlib missing";
    ScratchDir dir;
    vantrel::test::writeSampleDisc(dir.path("disc"), 60);
    writeImage(dir.path("disc"), dir.path("whole.iso"));
    const std::string whole = readText(dir.path("whole.iso"));
    std::string noise(200000, '\0');
    std::mt19937 random(19);
    for (char& c : noise) c = static_cast<char>(random());
    struct Case {
        std::string name, bytes, error;
    };
    const Case cases[] = {
        {"inside-feature-1.iso", whole.substr(0, whole.size() / 2), "The file ended at byte"},
        {"inside-feature-2.iso", whole.substr(0, whole.size() - 100000),
         "FEATURE_2.EVO\". The file ended at byte"},
        {"noise.iso", noise, "Not a UDF disc image"},
        {"tiny.iso", whole.substr(0, 4096), "Not a UDF disc image"},
    };
    for (const Case& c : cases) {
        writeText(dir.path(c.name), c.bytes);
        fs::create_directory(dir.path("out"));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"info", dir.path(c.name)},
              {"chapters", dir.path(c.name)},
              {"mkv", dir.path(c.name), "--title", "1", "-o", dir.path("out/x.mkv")}}) {
            SCOPED_TRACE(c.name + " " + args[0]);
            const CliResult r = cli(args);
            EXPECT_EQ(r.code, 3) << r.err;
            EXPECT_TRUE(r.err.rfind("error: ", 0) == 0 || r.err.find("\nerror: ") != std::string::npos)
                << r.err;
            EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
            EXPECT_TRUE(fs::is_empty(dir.path("out")));
        }
    }
}

TEST(CliDiscImage, PlaylistFlagsReachMkvmergeAndAdvancedSubtitlesAreNamed) {
    if (!haveProgram("mkvmerge")) GTEST_SKIP() << "mkvmerge missing";
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"));
    std::string xpl = readText(disc.playlist);
    replaceOnce(xpl, "<AudioTrack track=\"2\" langcode=\"en:01\"/>",
                "<AudioTrack track=\"2\" langcode=\"en:03\"/>");
    replaceOnce(
        xpl, "<SubtitleTrack track=\"1\" langcode=\"en:00\"/>",
        "<SubtitleTrack track=\"1\" langcode=\"en:09\"/><SubtitleTrack track=\"3\" langcode=\"en:05\"/>");
    replaceOnce(
        xpl, "<ChapterList>",
        "<AdvancedSubtitleSegment src=\"file:///dvddisc/ADV_OBJ/TRIVIA.XAS\" titleTimeBegin=\"00:00:00:00\" "
        "titleTimeEnd=\"00:00:12:12\"><Subtitle track=\"3\" description=\"Trivia\"/>"
        "</AdvancedSubtitleSegment><ChapterList>");
    writeText(disc.playlist, xpl);
    const std::string warning = "subtitle track 3 (\"Trivia\") is an AdvancedSubtitleSegment";

    const CliResult info = cli({"--json", "info", disc.root, "--no-scan"});
    ASSERT_EQ(info.code, 1) << info.err; // done, with a warning
    EXPECT_NE(info.err.find(warning), std::string::npos) << info.err;
    std::map<std::string, json> flags;
    const json infoJson = info.json();
    for (const json& s : infoJson["titles"][0]["streams"])
        flags[s["caption"].get<std::string>()] = {s["flags"], s["advanced_subtitle"]};
    EXPECT_EQ(flags["AdvancedSubtitle.track.03"], json::parse(R"([["hearing_impaired"], true])"));
    int commentaries = 0, forced = 0;
    for (const auto& [caption, f] : flags) {
        commentaries += f[0] == json::parse(R"(["commentary"])");
        forced += f[0] == json::parse(R"(["forced"])");
    }
    EXPECT_EQ(commentaries, 1);
    EXPECT_EQ(forced, 1);

    const CliResult mkv = cli({"mkv", disc.root, "--title", "1", "-o", dir.path("f.mkv")});
    ASSERT_LE(mkv.code, 1) << mkv.err;
    EXPECT_NE(mkv.err.find(warning + ", markup of the disc's applications and not a subpicture stream; it "
                                     "cannot be converted"),
              std::string::npos)
        << mkv.err;
    for (const json& t : identifiedTracks(dir.path("f.mkv"))) {
        const json& p = t["properties"];
        const std::string name = p.value("track_name", ""); // a video track may have none
        SCOPED_TRACE(name);
        EXPECT_EQ(p.value("flag_commentary", false), name == "Commentary");
        EXPECT_EQ(p.value("forced_track", false), t["type"] == "subtitles" && name == "English");
    }
}

TEST(CliDiscImage, SelectorBootPlaylistGivesWayToThePlaylistWithClips) {
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), 20);
    writeText(
        dir.path("disc/ADV_OBJ/VPLST001.XPL"),
        "<Playlist><TitleSet timeBase=\"60fps\"><Title titleNumber=\"1\" titleDuration=\"00:00:01:00\">"
        "<ChapterList><Chapter titleTimeBegin=\"00:00:00:00\"/></ChapterList></Title></TitleSet></Playlist>");
    const CliResult r = cli({"chapters", disc.root});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("VPLST001.XPL, the boot playlist, maps no clips (a selector); VPLST000.XPL is read "
                         "instead"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("CHAPTER03NAME=Ending"), std::string::npos) << r.out;
    // A boot playlist with clips is the one read.
    fs::copy_file(disc.playlist, dir.path("disc/ADV_OBJ/VPLST002.XPL"));
    const CliResult boot = cli({"--json", "info", disc.root, "--no-scan"});
    EXPECT_NE(boot.json()["playlist"]["path"].get<std::string>().find("VPLST002.XPL"), std::string::npos);
}

// Real playlists without their EVO files: their feature's chapters at 59.94.
TEST(CliDiscImage, RetailPlaylistsReadAt5994) {
    struct Case {
        const char* file;
        int title;
        int chapters;
    };
    for (const Case& c :
         {Case{"authoring-test-playlist.XPL", 2, 16}, Case{"retail-two-clip-commentary.XPL", 2, 29},
          Case{"retail-feature-1-2.XPL", 1, 10}}) {
        SCOPED_TRACE(c.file);
        const std::string xpl = std::string(VANTREL_DATA_DIR) + "/" + c.file;
        if (!fs::exists(xpl)) GTEST_SKIP() << xpl << " missing";
        const CliResult r = cli({"--json", "chapters", xpl});
        ASSERT_EQ(r.code, 0) << r.err;
        const json j = r.json();
        EXPECT_EQ(j["title"], c.title);
        EXPECT_EQ(j["clock"]["rate"], "59.94");
        ASSERT_EQ(j["chapters"].size(), static_cast<std::size_t>(c.chapters));
        for (const json& ch : j["chapters"]) {
            int h = 0, m = 0, s = 0, f = 0;
            ASSERT_EQ(std::sscanf(ch["time"].get<std::string>().c_str(), "%d:%d:%d:%d", &h, &m, &s, &f), 4);
            const double frames = ((h * 60.0 + m) * 60.0 + s) * 60.0 + f;
            EXPECT_NEAR(ch["start_ms"].get<double>(), frames * 1001.0 / 60.0, 0.001);
        }
    }
    const CliResult info =
        cli({"--json", "info", std::string(VANTREL_DATA_DIR) + "/retail-two-clip-commentary.XPL"});
    ASSERT_EQ(info.code, 0) << info.err;
    const json infoJson = info.json();
    std::vector<std::string> commentary;
    for (const json& s : infoJson["titles"][0]["streams"])
        if (s["flags"] == json::parse(R"(["commentary"])")) commentary.push_back(s["description"]);
    EXPECT_EQ(commentary, std::vector<std::string>{"Commentary"});
    EXPECT_TRUE(infoJson["titles"][0]["default"].get<bool>());
}

} // namespace
} // namespace vantrel::cli::test
