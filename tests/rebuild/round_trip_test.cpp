// The rebuilt file as other readers see it: the engine's own scan and demux
// runs, and ffprobe.
#include "rebuild_fixture.h"
#include "runs/runs.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>

namespace vantrel::test {
namespace {

// A little of every handled kind, interleaved, each pack with its own payload:
// MPEG-2 video 0xE0, E-AC-3 0xC2 and 0xC5, DTS-HD 0x8B, AC-3 0x87, subpictures
// 0x21 and 0x22.
Bytes mixedSource() {
    EvoBuilder b;
    b.packSystemHeader(1, 4);
    std::uint8_t seed = 1;
    for (int round = 0; round < 6; ++round) {
        std::uint64_t pts = 90000 + static_cast<std::uint64_t>(round) * 3003;
        PesSpec video;
        video.streamId = 0xE0;
        video.pts = pts;
        video.body = {0x00, 0x00, 0x01, 0xB3, 0x78, 0x04, 0x38, 0x33, 0x00, 0x00, 0x01, 0x00, 0x00, 0x0F};
        Bytes rest = pattern(1500, seed++);
        video.body.insert(video.body.end(), rest.begin(), rest.end());
        b.pack(video);
        for (std::uint8_t id : {0xC2, 0xC5, 0x8B, 0x87}) {
            Bytes frame{0x0B, 0x77};
            if (id == 0x8B) frame = {0x7F, 0xFE, 0x80, 0x01};
            Bytes payload = pattern(900, seed++);
            frame.insert(frame.end(), payload.begin(), payload.end());
            b.packPrivate(id, frame, pts);
        }
        b.packPrivate(0x21, pattern(400, seed++), pts);
        b.packPrivate(0x22, pattern(400, seed++), pts);
    }
    return b.bytes();
}

class RebuildRoundTrip : public RebuildFixture {
protected:
    // Scans the chosen source with the engine: StreamTable and boxes as a user would have them.
    void scan(const std::string& path, const std::string& name) {
        window.fields[Field::EVOfile] = path;
        core.EVOname = name;
        core.EVObase = name.substr(0, name.size() - 4);
        bCheckClick(core);
    }
    // Demuxes the ticked boxes into folder; the payload of each box by its stream code.
    std::map<int, Bytes> demuxed(const std::string& folder) {
        std::filesystem::create_directories(dir() / folder);
        window.fields[Field::Workdir] = (dir() / folder).string();
        bDemuxClick(core);
        std::map<int, Bytes> files;
        for (int box : StreamBoxes::tiedBoxes()) {
            if (!core.boxes.ticked(box)) continue;
            std::string ext = box < StreamBoxes::kFirstAudio ? "mpv"
                              : box < StreamBoxes::kFirstSub ? "mpa"
                                                             : "sup";
            auto path = dir() / folder / (core.EVObase + "." + core.boxes[box].caption + "." + ext);
            files[core.streamTable[StreamBoxes::slotOf(box)]] = readFile(path);
        }
        return files;
    }
};

TEST_F(RebuildRoundTrip, EngineFindsKeptStreamsUnderNewIdsWithIdenticalPayloads) {
    std::string source = useSource("MOVIE.EVO", mixedSource());
    scan(source, "MOVIE.EVO");
    ASSERT_EQ(core.streamTable[22], 0xC5);
    ASSERT_EQ(core.streamTable[35], 0x22);
    core.boxes.setTicked(StreamBoxes::audioBox(5), false); // drop E-AC-3 0xC5
    core.boxes.setTicked(StreamBoxes::subBox(2), false);   // drop subpicture 0x22
    std::map<int, Bytes> original = demuxed("a");

    window.fields[Field::EVOfile] = source;
    window.fields[Field::Workdir] = out("").string();
    bRebuildClick(core);
    scan(out("MOVIE.rebuilt.EVO").string(), "MOVIE.rebuilt.EVO");

    std::set<int> found;
    for (int box : StreamBoxes::tiedBoxes())
        if (core.streamTable[StreamBoxes::slotOf(box)] >= 0)
            found.insert(core.streamTable[StreamBoxes::slotOf(box)]);
    EXPECT_EQ(found, (std::set<int>{0xE0, 0xC0, 0x89, 0x87, 0x20}));

    std::map<int, Bytes> rebuilt = demuxed("b");
    const std::map<int, int> newId{{0xE0, 0xE0}, {0xC2, 0xC0}, {0x8B, 0x89}, {0x87, 0x87}, {0x21, 0x20}};
    ASSERT_EQ(original.size(), newId.size());
    for (const auto& [oldId, payload] : original) {
        SCOPED_TRACE(oldId);
        ASSERT_TRUE(newId.count(oldId));
        EXPECT_FALSE(payload.empty());
        EXPECT_EQ(rebuilt[newId.at(oldId)], payload);
    }
}

// Runs a command and returns what it printed; empty when it could not run.
std::string capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string text;
    if (!pipe) return text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) text += buffer;
    return text;
}

TEST_F(RebuildRoundTrip, FfprobeListsTheKeptStreams) {
    if (capture("command -v ffprobe").empty()) GTEST_SKIP() << "ffprobe is not installed";
    useSource("MOVIE.EVO", mixedSource());
    stream(1, 0xE0, true);
    stream(19, 0xC2, true);
    stream(22, 0xC5, false);
    stream(20, 0x8B, true);
    stream(24, 0x87, true);
    stream(34, 0x21, true);
    stream(35, 0x22, false);
    bRebuildClick(core);

    std::string listing = capture("ffprobe -v error -show_entries stream=id -of csv=p=0 '" +
                                  out("MOVIE.rebuilt.EVO").string() + "' 2>/dev/null");
    std::set<std::string> ids;
    std::size_t from = 0;
    while (from < listing.size()) {
        std::size_t end = listing.find('\n', from);
        if (end == std::string::npos) end = listing.size();
        if (end > from) ids.insert(listing.substr(from, end - from));
        from = end + 1;
    }
    EXPECT_EQ(ids, (std::set<std::string>{"0x1e0", "0xc0", "0x89", "0x87", "0x20"})) << listing;
}

} // namespace
} // namespace vantrel::test
