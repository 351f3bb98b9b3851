// Discs laid out as real ones are: a playlist inside its protection wrapper
// reads as the plain playlist; a clip whose time map says it holds
// interleaved angles is named by info and refused by the commands that read
// it through; a disc with IFO files and no playlist is named as such.
#include "cli_fixture.h"
#include "support/evo_builder.h"
#include "support/sample_disc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::cli::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The XML inside a wrapper of the given type, with `tail` bytes after it.
std::string wrapped(const std::string& xml, unsigned char type, std::uint32_t length, std::size_t tail) {
    std::string bytes(0x11B, '\0');
    bytes.replace(0, 4, "AACS");
    bytes[4] = static_cast<char>(type);
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(7 + i)] = static_cast<char>(length >> (24 - 8 * i));
    return bytes + xml + std::string(tail, '\0');
}

// info --json without what names the place it read.
std::string titlesOf(const std::string& input) {
    const CliResult r = cli({"--json", "info", input});
    EXPECT_LE(r.code, 1) << r.err;
    json titles = json::parse(r.out)["titles"];
    for (json& title : titles)
        for (json& f : title["files"]) f.erase("path");
    return titles.dump(1);
}

json identifiedTracks(const std::string& mkv) {
    std::string identify;
    EXPECT_EQ(shell("mkvmerge -J '" + mkv + "'", &identify), 0);
    json tracks = json::parse(identify)["tracks"];
    for (json& t : tracks) t["properties"].erase("uid");
    return tracks;
}

TEST(CliDiscLayouts, WrappedPlaylistReadsAsThePlainOne) {
    const bool images = shell("/usr/bin/python3 -c 'import pycdlib' 2>/dev/null") == 0;
    const bool muxer = haveProgram("mkvmerge");
    ScratchDir dir;
    const std::string plain = vantrel::test::writeThreeClipDisc(dir.path("plain")).root;
    const std::string xml = readBytes(plain + "ADV_OBJ/VPLST000.XPL");
    const std::string plainTitles = titlesOf(plain);
    json plainTracks;
    if (muxer) {
        ASSERT_LE(cli({"mkv", plain, "-o", dir.path("plain.mkv")}).code, 1);
        plainTracks = identifiedTracks(dir.path("plain.mkv"));
    }
    struct Case {
        const char* name;
        unsigned char type;
        bool image;
    };
    for (const Case& c :
         {Case{"folder", 0x02, false}, Case{"image", 0x12, true}, Case{"folder-21", 0x21, false}}) {
        SCOPED_TRACE(c.name);
        if (c.image && !images) continue;
        const std::string folder = dir.path(c.name);
        fs::copy(plain, folder, fs::copy_options::recursive);
        writeBytes(folder + "/ADV_OBJ/VPLST000.XPL",
                   wrapped(xml, c.type, static_cast<std::uint32_t>(xml.size()), 300));
        std::string input = folder;
        if (c.image) {
            input = folder + ".iso";
            ASSERT_EQ(shell("/usr/bin/python3 '" VANTREL_SOURCE_DIR
                            "/tests/support/tools/make_udf_image.py' '" +
                            folder + "' '" + input + "' >/dev/null 2>&1"),
                      0);
        }
        EXPECT_EQ(titlesOf(input), plainTitles);
        if (!muxer) continue;
        const std::string mkv = dir.path(std::string(c.name) + ".mkv");
        const CliResult r = cli({"mkv", input, "-o", mkv});
        ASSERT_LE(r.code, 1) << r.err;
        EXPECT_EQ(identifiedTracks(mkv), plainTracks);
    }
    // A wrapper whose length runs past the file's end, and one cut inside its header.
    for (const std::string& bytes : {wrapped(xml, 0x12, static_cast<std::uint32_t>(xml.size() + 1), 0),
                                     wrapped(xml, 0x12, 0xFFFFFFFFu, 0), std::string("AACS\x12", 5)}) {
        writeBytes(plain + "ADV_OBJ/VPLST000.XPL", bytes);
        const CliResult r = cli({"chapters", plain});
        EXPECT_EQ(r.code, 4) << r.err;
        EXPECT_NE(r.err.find("wrap"), std::string::npos) << r.err;
    }
}

TEST(CliDiscLayouts, InterleavedAnglesAreNamedAndRefused) {
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), 20);
    auto timeMap = [](std::uint16_t type, int tables) {
        std::string bytes = "HDDVD_TMAP00" + std::string(0x200 - 12, '\0');
        bytes[20] = static_cast<char>(type >> 8);
        bytes[21] = static_cast<char>(type & 0xFF);
        bytes[0x37] = static_cast<char>(tables);
        return bytes;
    };
    writeBytes(dir.path("disc/HVDVD_TS/FEATURE_1.MAP"), timeMap(0x2000, 1)); // contiguous: nothing to say
    writeBytes(dir.path("disc/HVDVD_TS/FEATURE_2.MAP"), timeMap(0x2202, 2));
    const std::string said = "FEATURE_2.EVO holds 2 interleaved angles";

    const CliResult info = cli({"info", disc.root, "--no-scan"});
    EXPECT_EQ(info.code, 1) << info.err;
    EXPECT_NE(info.err.find("warning: title 1: " + said), std::string::npos) << info.err;
    EXPECT_EQ(info.err.find("FEATURE_1.EVO holds"), std::string::npos) << info.err;

    fs::create_directory(dir.path("out"));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"demux", disc.root, "--title", "1", "-o", dir.path("out/d")},
          {"rebuild", disc.root, "--title", "1", "-o", dir.path("out/r")},
          {"mkv", disc.root, "--title", "1", "-o", dir.path("out/x.mkv")},
          {"mkv", disc.feature2, "-o", dir.path("out/y.mkv")}}) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const CliResult r = cli(args);
        EXPECT_EQ(r.code, 3) << r.err;
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fs::is_empty(dir.path("out")));
    // Without the maps the title reads as before.
    fs::remove(dir.path("disc/HVDVD_TS/FEATURE_2.MAP"));
    EXPECT_EQ(cli({"info", disc.root, "--no-scan"}).code, 0);
}

TEST(CliDiscLayouts, StandardContentIsNamedAndItsFilesRead) {
    ScratchDir dir;
    const auto disc = vantrel::test::writeSampleDisc(dir.path("disc"), 20);
    fs::remove_all(dir.path("disc/ADV_OBJ"));
    const std::string said = "a Standard Content disc: titles are not read from a playlist";
    const CliResult before = cli({"--json", "info", disc.root});
    EXPECT_EQ(before.err.find(said), std::string::npos) << before.err;
    writeBytes(dir.path("disc/HVDVD_TS/hvi00001.ifo"), std::string(2048, '\0'));
    const CliResult r = cli({"--json", "info", disc.root});
    EXPECT_EQ(r.code, before.code) << r.err;
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_EQ(r.json()["files"], before.json()["files"]); // the EVO files, by their names, as before
    EXPECT_EQ(r.json()["files"].size(), 2u);
}

// Streams of ids no reader knows (where picture-in-picture may lie) are named, never passed over.
TEST(CliDiscLayouts, UnknownStreamsAreNamedWithTheirIds) {
    ScratchDir dir;
    vantrel::test::EvoBuilder evo;
    evo.packSystemHeader(1, 1).packVc1(0x55, vantrel::test::pattern(100), 90000);
    for (int i = 0; i < 3; ++i) evo.packPrivate(0x90, vantrel::test::pattern(100), 90000);
    evo.packPrivate(0xB8, vantrel::test::pattern(100), 90000)
        .packVc1(0x57, vantrel::test::pattern(100), 90000);
    evo.writeTo(dir.path("PIP.EVO"));
    const CliResult r = cli({"--json", "info", dir.path("PIP.EVO")});
    EXPECT_EQ(r.code, 1) << r.err;
    const json warnings = r.json()["warnings"];
    for (const char* said : {"PIP.EVO: stream 0xBD, sub-stream 0x90: 3 packets",
                             "PIP.EVO: stream 0xBD, sub-stream 0xB8: 1 packets",
                             "PIP.EVO: stream 0xFD, stream_id_extension 0x57: 1 packets"}) {
        bool found = false;
        for (const json& w : warnings) found = found || w.get<std::string>().rfind(said, 0) == 0;
        EXPECT_TRUE(found) << said << " in " << warnings.dump(1);
    }
    EXPECT_EQ(warnings.size(), 3u) << warnings.dump(1);
}

} // namespace
} // namespace vantrel::cli::test
