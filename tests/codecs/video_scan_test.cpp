// Pulldown is decided from the repeat flags in the bitstream: MPEG-2 from
// ffmpeg with and without a 3:2 cadence, VC-1 advanced-profile headers with
// the PULLDOWN flag; the verdict must not depend on how the stream is cut.
#include "codecs/video_scan.h"
#include "support/title_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace vantrel {
namespace {

using test::Bytes;

class BitWriter {
public:
    void put(std::uint32_t v, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_used % 8 == 0) m_bytes.push_back(0);
            if ((v >> i) & 1) m_bytes.back() |= static_cast<std::uint8_t>(0x80 >> (m_used % 8));
            ++m_used;
        }
    }
    Bytes bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
    std::size_t m_used = 0;
};

// A VC-1 stream: sequence header (1920x1080 display, 30000/1001), then frames
// whose headers carry TFF/RFF when the sequence is interlaced with PULLDOWN.
Bytes vc1Stream(bool pulldown, bool interlace, const std::vector<int>& rff) {
    BitWriter seq;
    seq.put(3, 2); // advanced profile
    seq.put(3, 3); // level
    seq.put(1, 2); // 4:2:0
    seq.put(0, 3 + 5 + 1);
    seq.put(959, 12); // coded size / 2 - 1
    seq.put(539, 12);
    seq.put(pulldown, 1);
    seq.put(interlace, 1);
    seq.put(0, 1); // TFCNTRFLAG
    seq.put(0, 1); // FINTERPFLAG
    seq.put(1, 1); // reserved
    seq.put(0, 1); // PSF
    seq.put(1, 1); // display extension
    seq.put(1919, 14);
    seq.put(1079, 14);
    seq.put(0, 1); // no aspect ratio
    seq.put(1, 1); // frame rate present
    seq.put(0, 1);
    seq.put(3, 8); // 30000
    seq.put(2, 4); // / 1001
    seq.put(0, 2);
    Bytes out = {0x00, 0x00, 0x01, 0x0F};
    const Bytes s = seq.bytes();
    out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), {0x00, 0x00, 0x01, 0x0E, 0x48, 0x00, 0x00, 0x00});
    for (std::size_t i = 0; i < rff.size(); ++i) {
        BitWriter f;
        if (interlace) f.put(0, 1);                // progressive frame coding
        f.put(i == 0 ? 0b110 : 0, i == 0 ? 3 : 1); // I, then P
        if (pulldown) {
            f.put(static_cast<std::uint32_t>(i % 2), 1);
            f.put(static_cast<std::uint32_t>(rff[i]), 1);
        }
        f.put(0x2A5, 10);
        out.insert(out.end(), {0x00, 0x00, 0x01, 0x0D});
        const Bytes b = f.bytes();
        out.insert(out.end(), b.begin(), b.end());
        out.insert(out.end(), 37, 0x55); // frame data free of start codes
    }
    return out;
}

struct Case {
    const char* name;
    EsKind kind;
    Bytes es;
    bool pulldown;
    std::int64_t frames;
};

TEST(VideoScan, PulldownFromRepeatFlagsWhateverTheCuts) {
    const std::string dir = test::tempDir("pulldown");
    test::shell("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=24000/1001 -frames:v 24 -c:v "
                "mpeg2video -bf 0 -f mpeg2video '" +
                dir + "v.m2v'");
    const Bytes progressive = test::readFile(dir + "v.m2v");
    ASSERT_FALSE(progressive.empty());
    Bytes telecined = progressive, interlaced = progressive;
    test::addPulldown(telecined, true);
    test::addPulldown(interlaced, false);
    std::vector<int> cadence, none;
    for (int i = 0; i < 24; ++i) {
        cadence.push_back(i % 2 == 0 ? 1 : 0);
        none.push_back(0);
    }
    const std::vector<Case> cases = {
        {"MPEG-2 24p", EsKind::Mpeg2Video, progressive, false, 24},
        {"MPEG-2 3:2", EsKind::Mpeg2Video, telecined, true, 24},
        {"MPEG-2 30i", EsKind::Mpeg2Video, interlaced, false, 24},
        {"VC-1 3:2", EsKind::Vc1, vc1Stream(true, true, cadence), true, 24},
        {"VC-1 pulldown flag, no repeats", EsKind::Vc1, vc1Stream(true, true, none), false, 24},
        {"VC-1 30i", EsKind::Vc1, vc1Stream(false, true, none), false, 24},
    };
    for (const Case& c : cases) {
        for (std::size_t cut :
             {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{2048}, c.es.size()}) {
            VideoScanner scan(c.kind);
            for (std::size_t at = 0; at < c.es.size(); at += cut)
                scan.feed(c.es.data() + at, std::min(cut, c.es.size() - at));
            scan.finish();
            const VideoFacts& f = scan.facts();
            EXPECT_EQ(f.pulldown(), c.pulldown) << c.name << " cut " << cut << ": " << f.describe();
            EXPECT_EQ(f.frames, c.frames) << c.name << " cut " << cut;
            if (c.pulldown) {
                EXPECT_NEAR(f.durationSeconds(), 24 * 1001.0 / 24000, 1e-6) << c.name;
            }
        }
    }
}

// H.264 has no repeat flags to count here: its rate is the SPS timing's, and
// ffprobe's frame rate and frame count are the verdict (x264 streams with
// access unit delimiters; progressive, with emulation prevention bytes in the
// SPS, and field-coded).
TEST(VideoScan, H264RateFromTheSpsTiming) {
    const std::string dir = test::tempDir("h264");
    for (const char* shape : {"24000/1001 aud=1", "25 aud=1:keyint=2", "30000/1001 aud=1:tff=1"}) {
        const std::string rate(shape, std::strchr(shape, ' '));
        const std::string file = dir + "v.h264";
        test::shell("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=" + rate +
                    " -frames:v 10 -pix_fmt yuv420p -c:v libx264 -x264-params " +
                    (std::strchr(shape, ' ') + 1) + " '" + file + "'");
        const Bytes es = test::readFile(file);
        ASSERT_FALSE(es.empty()) << shape;
        unsigned num = 0, den = 0;
        long long frames = 0;
        const std::string probe = test::shell("ffprobe -v error -count_frames -show_entries "
                                              "stream=r_frame_rate,nb_read_frames -of csv=p=0 '" +
                                              file + "'");
        ASSERT_EQ(std::sscanf(probe.c_str(), "%u/%u,%lld", &num, &den, &frames), 3) << probe;
        for (std::size_t cut : {std::size_t{1}, std::size_t{5}, es.size()}) {
            VideoScanner scan(EsKind::H264);
            for (std::size_t at = 0; at < es.size(); at += cut)
                scan.feed(es.data() + at, std::min(cut, es.size() - at));
            scan.finish();
            const VideoFacts& f = scan.facts();
            EXPECT_EQ(f.rateNum, num) << shape << " cut " << cut << ": " << f.describe();
            EXPECT_EQ(f.rateDen, den) << shape;
            EXPECT_EQ(f.frames, frames) << shape;
            EXPECT_NEAR(f.durationSeconds(), static_cast<double>(frames) * den / num, 1e-9) << shape;
        }
    }
    // An SPS that ends before its timing gives none.
    const Bytes cut = {0x64, 0x00, 0x0a, 0xac, 0xd9, 0x44, 0x7b, 0x01, 0x10};
    EXPECT_FALSE(readH264Timing(cut.data(), cut.size()));
}

} // namespace
} // namespace vantrel
