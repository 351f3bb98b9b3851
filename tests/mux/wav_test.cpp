// LPCM to WAV against ffmpeg's own decode of the same program stream, and the
// WAV headers as ffprobe and mkvmerge read them.
#include "files/errors.h"
#include "mux/lpcm.h"
#include "mux/mux_prep.h"
#include "support/title_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

namespace vantrel::mux {
namespace {

using test::Bytes;

// The PCM bytes of a WAV file's data chunk (RIFF or RF64).
Bytes dataChunk(const Bytes& wav) {
    std::size_t p = 12;
    while (p + 8 <= wav.size()) {
        std::uint32_t size =
            static_cast<std::uint32_t>(wav[p + 4] | wav[p + 5] << 8 | wav[p + 6] << 16 | wav[p + 7] << 24);
        if (std::memcmp(&wav[p], "data", 4) == 0) {
            const std::size_t start = p + 8;
            const std::size_t len =
                size == 0xFFFFFFFFu ? wav.size() - start : std::min<std::size_t>(size, wav.size() - start);
            return Bytes(wav.begin() + static_cast<std::ptrdiff_t>(start),
                         wav.begin() + static_cast<std::ptrdiff_t>(start + len));
        }
        p += 8 + size + (size & 1);
    }
    return {};
}

struct WavCase {
    int bits, rate, channels;
    bool rf64;
    const char* layout; // ffprobe's channel layout
};

class LpcmToWav : public ::testing::TestWithParam<WavCase> {};

TEST_P(LpcmToWav, EqualsFfmpegDecodeAndReadsBack) {
    const WavCase c = GetParam();
    const std::string dir = test::tempDir("wav" + std::to_string(c.bits) + "-" + std::to_string(c.channels) +
                                          (c.rf64 ? "-rf64" : ""));
    // About 0.4 s with an odd number of sample frame pairs' worth of packets.
    const std::size_t frames = static_cast<std::size_t>(c.rate) * 2 / 5;
    const auto samples = test::noiseSamples(frames * static_cast<std::size_t>(c.channels), c.bits,
                                            7u * static_cast<std::uint32_t>(c.bits + c.channels));
    test::TrackSpec t;
    t.streamId = 0xBD;
    t.subId = 0xA1;
    t.extraHeader = test::lpcmHeader(c.bits, c.rate, c.channels);
    t.es = test::lpcmEs(samples, c.channels, c.bits, c.rate / 200);
    t.unitTicks = 90000.0 / 200;
    // Packets hold whole sample frames and whole groups.
    const std::size_t ch = static_cast<std::size_t>(c.channels);
    const std::size_t blockSamples = c.bits == 16 ? ch : std::lcm<std::size_t>(4, ch);
    t.groupBytes = blockSamples * static_cast<std::size_t>(c.bits) / 8;
    const std::string evo = dir + "T_1.EVO";
    test::writeFile(evo, test::buildTitle({t}));

    PrepOptions o;
    o.parts = {evo};
    o.folder = dir;
    o.baseName = "T";
    o.forceRf64 = c.rf64;
    const PrepResult r = prepareStreams(o);
    ASSERT_EQ(r.streams.size(), 1u);
    ASSERT_EQ(r.streams[0].files.size(), 1u);
    const std::string wav = r.streams[0].files[0];
    EXPECT_EQ(wav.substr(wav.size() - 4), ".wav");

    const std::string fmt = c.bits == 16 ? "s16le" : "s24le";
    const Bytes ffmpeg = [&] {
        const std::string out = dir + "ffmpeg.raw";
        test::shell("ffmpeg -v error -y -i '" + evo + "' -map 0:a:0 -f " + fmt + " '" + out + "'");
        return test::readFile(out);
    }();
    const Bytes ours = dataChunk(test::readFile(wav));
    ASSERT_FALSE(ffmpeg.empty());
    EXPECT_EQ(ours.size(), ffmpeg.size());
    EXPECT_TRUE(ours == ffmpeg) << "PCM differs from ffmpeg's decode";

    const std::string probe =
        test::shell("ffprobe -v error -show_entries stream=sample_rate,channels,channel_layout,"
                    "bits_per_sample,bits_per_raw_sample -of default=nw=1 '" +
                    wav + "'");
    EXPECT_NE(probe.find("sample_rate=" + std::to_string(c.rate)), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=" + std::to_string(c.channels)), std::string::npos) << probe;
    if (*c.layout) {
        EXPECT_NE(probe.find(std::string("channel_layout=") + c.layout), std::string::npos) << probe;
    }
    EXPECT_NE(probe.find("bits_per_sample=" + std::to_string(c.bits == 16 ? 16 : 24)), std::string::npos)
        << probe;

    const std::string ident = test::shell("mkvmerge -J '" + wav + "'");
    EXPECT_NE(ident.find("\"codec\": \"PCM\""), std::string::npos) << ident;
    EXPECT_NE(ident.find("\"audio_channels\": " + std::to_string(c.channels)), std::string::npos) << ident;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LpcmToWav,
    ::testing::Values(WavCase{16, 48000, 2, false, ""}, WavCase{16, 48000, 6, false, "5.1"},
                      WavCase{24, 48000, 2, false, "stereo"}, WavCase{24, 96000, 6, false, "5.1"},
                      WavCase{20, 48000, 2, false, "stereo"}, WavCase{24, 48000, 2, true, "stereo"}));

// Unknown codes are refused, never guessed; a header that changes mid-stream
// is named with its position.
TEST(LpcmHeader, UnknownCodesAndChangesAreErrors) {
    std::string why;
    const std::uint8_t quant3[3] = {0, 0xC1, 0x80};
    EXPECT_FALSE(parseLpcmHeader(quant3, why));
    EXPECT_NE(why.find("quantisation"), std::string::npos);
    const std::uint8_t rate[3] = {0, 0x09, 0x80};
    EXPECT_FALSE(parseLpcmHeader(rate, why));
    EXPECT_NE(why.find("rate"), std::string::npos);

    const std::string dir = test::tempDir("lpcm-bad");
    auto track = [](Bytes header) {
        test::TrackSpec t;
        t.streamId = 0xBD;
        t.subId = 0xA0;
        t.extraHeader = header;
        t.es = test::lpcmEs(test::noiseSamples(9600, 16, 3), 2, 16, 240);
        t.unitTicks = 450;
        return t;
    };
    PrepOptions o;
    o.folder = dir;
    o.baseName = "B";
    o.parts = {dir + "bad_rate.EVO"};
    test::writeFile(o.parts[0].path, test::buildTitle({track({0, 0x09, 0x80})}));
    try {
        prepareStreams(o);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InputUnreadable) << e.what();
    }

    // The second packet's header says 24 bits.
    Bytes good = test::buildTitle({track(test::lpcmHeader(16, 48000, 2))});
    const std::size_t second = 2048 + 14 + 9 + 5 + 4 + 1;
    ASSERT_EQ(good[second], 0x01);
    good[second] = 0x81;
    o.parts = {dir + "change.EVO"};
    test::writeFile(o.parts[0].path, good);
    try {
        prepareStreams(o);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InputUnreadable);
        EXPECT_NE(std::string(e.what()).find("changes at byte 2062"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace vantrel::mux
