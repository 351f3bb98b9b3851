// The converted stream judged by real clients: ffmpeg overlays it on a black
// 1920x1080 video and the frames at each display time must show exactly the
// encoded bitmaps (after the palette's BT.709 YCbCr->RGB conversion, within 2
// per channel) and nothing once they stop; mkvmerge must take it as HDMV PGS.
#include "subpicture/pgs_converter.h"
#include "support/subpicture_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct TempDir {
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vantrel-pgs-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What ffmpeg's renderer should show for an index: the palette colour in
// BT.709 limited range, blended by its alpha onto black.
std::array<int, 3> expectedRgb(const UnitSpec& s, std::uint8_t index) {
    const auto& c = s.palette[index];
    const double y = 1.164 * (c.y - 16), cr = c.cr - 128, cb = c.cb - 128;
    const double rgb[3] = {y + 1.793 * cr, y - 0.213 * cb - 0.533 * cr, y + 2.112 * cb};
    const double alpha = (255 - s.contrast[index]) / 255.0;
    std::array<int, 3> out{};
    for (int i = 0; i < 3; ++i)
        out[static_cast<std::size_t>(i)] =
            static_cast<int>(std::lround(std::clamp(rgb[i], 0.0, 255.0) * alpha));
    return out;
}

constexpr int kFps = 4;
constexpr std::uint32_t kTicksPerFrame = 90000 / kFps;

TEST(ClientRoundTrip, FfmpegShowsTheEncodedBitmapsAtTheirTimesAndNothingAfterwards) {
    if (!have("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());

    // Three subpictures starting on frames 8, 14 and 20, each shown for a second.
    std::vector<UnitSpec> specs(3);
    for (UnitSpec& s : specs) fillTestPalette(s);
    specs[0].colours = ColourBits::Two; // white text with a black outline, odd height
    drawText(specs[0], "HELLO", 3, 1, 2);
    specs[0].x = 200;
    specs[0].y = 900;
    specs[0].pts = 8 * kTicksPerFrame;

    specs[1].colours = ColourBits::Mixed; // many colours, one of them half transparent
    specs[1].contrast[7] = 127;
    specs[1].width = 301;
    specs[1].height = 41;
    specs[1].x = 600;
    specs[1].y = 101;
    specs[1].pixels.resize(301 * 41);
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < specs[1].pixels.size();) {
        const auto colour = static_cast<std::uint8_t>(1 + rng() % 255);
        for (unsigned n = 1 + rng() % 40; n > 0 && i < specs[1].pixels.size(); --n)
            specs[1].pixels[i++] = colour;
    }
    specs[1].startDelay = 2; // shown 2048 ticks after the unit's PTS
    specs[1].stopDelay = 2 + 88;
    specs[1].pts = 14 * kTicksPerFrame - 2 * 1024;

    specs[2].width = 1920; // full-width runs
    specs[2].height = 6;
    specs[2].y = 500;
    specs[2].pixels.assign(1920 * 6, 1);
    std::fill_n(specs[2].pixels.begin() + 1920 * 3, 1920, std::uint8_t{3});
    specs[2].pts = 20 * kTicksPerFrame;

    Bytes records;
    for (const UnitSpec& s : specs) appendSupRecord(records, s.pts, encodeUnit(s).bytes);
    {
        std::ofstream(dir / "in.sup", std::ios::binary)
            .write(reinterpret_cast<const char*>(records.data()),
                   static_cast<std::streamsize>(records.size()));
    }
    std::vector<std::string> warnings;
    const auto figures = subpicture::convertSupFile(dir / "in.sup", dir / "out.sup",
                                                    [&](const std::string& w) { warnings.push_back(w); });
    ASSERT_EQ(figures.converted, 3);
    ASSERT_TRUE(warnings.empty());

    // Frames 8, 14, 20 (display times) and 13, 19, 25 (after each stop).
    const int shown[] = {8, 14, 20}, after[] = {13, 19, 25};
    std::string select;
    for (int n : {8, 13, 14, 19, 20, 25})
        select += (select.empty() ? "" : "+") + std::string("eq(n\\,") + std::to_string(n) + ")";
    // The subtitles go into one file with the video first (times kept as
    // they are): ffmpeg renders a subtitle stream on time only beside the
    // video of its own input file.
    const std::string ffmpeg = "ffmpeg -nostdin -y -v error ";
    const std::string mux = ffmpeg +
                            "-copyts -f lavfi -i color=c=black:s=1920x1080:r=" + std::to_string(kFps) +
                            ":d=6.5 -i " + (dir / "out.sup") + " -map 0:v -map 1:s -c:v ffv1 -c:s copy " +
                            (dir / "black.mkv") + " 2>" + (dir / "ffmpeg.log");
    ASSERT_EQ(std::system(mux.c_str()), 0) << readText(dir / "ffmpeg.log");
    const std::string render = ffmpeg + "-i " + (dir / "black.mkv") +
                               " -filter_complex \"[0:v][0:s]overlay=format=rgb,select='" + select +
                               "'\" -vsync passthrough -pix_fmt rgb24 -f rawvideo " + (dir / "frames.rgb") +
                               " 2>" + (dir / "ffmpeg.log");
    ASSERT_EQ(std::system(render.c_str()), 0) << readText(dir / "ffmpeg.log");
    const std::string frames = readText(dir / "frames.rgb");
    constexpr std::size_t kFrameBytes = 1920 * 1080 * 3;
    ASSERT_EQ(frames.size(), 6 * kFrameBytes) << readText(dir / "ffmpeg.log");

    int largest = 0, compared = 0;
    for (int k = 0; k < 6; ++k) {
        const bool showing = k % 2 == 0;
        const UnitSpec& s = specs[static_cast<std::size_t>(k / 2)];
        SCOPED_TRACE("frame " + std::to_string(showing ? shown[k / 2] : after[k / 2]));
        const auto* frame =
            reinterpret_cast<const std::uint8_t*>(frames.data()) + static_cast<std::size_t>(k) * kFrameBytes;
        int mismatches = 0;
        for (int py = 0; py < 1080; ++py) {
            for (int px = 0; px < 1920; ++px) {
                const bool inside =
                    showing && px >= s.x && px < s.x + s.width && py >= s.y && py < s.y + s.height;
                std::array<int, 3> want{};
                if (inside)
                    want =
                        expectedRgb(s, s.pixels[static_cast<std::size_t>((py - s.y) * s.width + (px - s.x))]);
                const std::uint8_t* got =
                    frame + (static_cast<std::size_t>(py) * 1920 + static_cast<std::size_t>(px)) * 3;
                for (std::size_t ch = 0; ch < 3; ++ch) {
                    const int d = std::abs(got[ch] - want[ch]);
                    largest = std::max(largest, d);
                    if (d > 2 && mismatches++ < 5)
                        ADD_FAILURE() << "pixel " << px << "," << py << " channel " << ch << ": "
                                      << int(got[ch]) << " instead of " << want[ch];
                }
            }
        }
        ++compared;
        EXPECT_EQ(mismatches, 0);
    }
    std::printf("ffmpeg round trip: %d frames compared, largest channel difference %d\n", compared, largest);
}

TEST(ClientRoundTrip, MkvmergeTakesTheConvertedFileAsHdmvPgs) {
    if (!have("mkvmerge")) GTEST_SKIP() << "mkvmerge is not installed";
    TempDir dir;
    UnitSpec s;
    fillTestPalette(s);
    drawText(s, "MUX", 2, 1, 2);
    s.x = 300;
    s.y = 800;
    Bytes records;
    appendSupRecord(records, s.pts, encodeUnit(s).bytes);
    std::ofstream(dir / "in.sup", std::ios::binary)
        .write(reinterpret_cast<const char*>(records.data()), static_cast<std::streamsize>(records.size()));
    subpicture::convertSupFile(dir / "in.sup", dir / "out.sup", {});
    ASSERT_EQ(std::system(("mkvmerge -J " + (dir / "out.sup") + " >" + (dir / "id.json")).c_str()), 0);
    const std::string json = readText(dir / "id.json");
    EXPECT_NE(json.find("\"codec\": \"HDMV PGS\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"type\": \"subtitles\""), std::string::npos) << json;
}

} // namespace
} // namespace vantrel::test
