#include "engine/audio_report.h"
#include "support/evo_builder.h"
#include "support/memory_window.h"

#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// A Dolby frame head at offset 'at': syncword and the five header bytes.
void putFrame(Bytes& run, std::size_t at, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
              std::uint8_t b4) {
    if (run.size() < at + 7) run.resize(at + 7, 0);
    const std::uint8_t head[7] = {0x0B, 0x77, b0, b1, b2, b3, b4};
    std::copy(std::begin(head), std::end(head), run.begin() + static_cast<std::ptrdiff_t>(at));
}

// E-AC-3: frmsiz 1279 (2560 bytes), 6 blocks, 48 kHz, 3/2 with LFE, bsid 16.
void putEac3(Bytes& run, std::size_t at) {
    putFrame(run, at, 0x04, 0xFF, 0x3F, 16 << 3, 0x00);
}

// AC-3: 48 kHz, frmsizecod 30 (448 kbit/s), bsid 8, bsmod 0, acmod 7.
void putAc3(Bytes& run, std::size_t at, std::uint8_t fscodAndRate = 0x1E) {
    putFrame(run, at, 0x12, 0x34, fscodAndRate, 8 << 3, 0xE0);
}

std::vector<std::string> report(const Bytes& run, int index) {
    MemoryWindow window;
    audioHeaderReport(window, run.data(), run.size(), index);
    return window.logLines;
}

} // namespace

TEST(AudioReport, DolbyDigitalPlusFrameConfirmedByTheNextSync) {
    Bytes run(10, 0);
    putEac3(run, 10);
    putEac3(run, 10 + 2560);
    EXPECT_EQ(report(run, 3),
              (std::vector<std::string>{
                  "   Stream 3 is Dolby Digital Plus", "   frame size = 2560, number of blocks per frame = 6",
                  "   bitrate = 640000, sampling rate = 48000", "   mode = 3/2, bsid = 16, lfe on =1"}));

    // One byte short of the second syncword: never confirmed.
    run.resize(10 + 2560 + 1);
    EXPECT_TRUE(report(run, 3).empty());
}

TEST(AudioReport, Ac3FrameLengthFollowsBitRateAndSampleRate) {
    Bytes run;
    putAc3(run, 0);
    putAc3(run, 1792);
    EXPECT_EQ(report(run, 2), (std::vector<std::string>{"   Stream 2 is Dolby Digital",
                                                        "   bitrate = 448000, sampling rate = 48000",
                                                        "   mode = 3/2, bsid = 8, bsmod =0"}));

    // Wrong distance: "no sync", then the search starts again at the next syncword.
    Bytes retry;
    putAc3(retry, 0);
    putAc3(retry, 1000);
    putAc3(retry, 2000);
    putAc3(retry, 2000 + 1792);
    auto lines = report(retry, 0);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "no sync");
    EXPECT_EQ(lines[1], "   Stream 0 is Dolby Digital");

    Bytes late;
    putAc3(late, 0);
    putAc3(late, 1793);
    EXPECT_EQ(report(late, 0), std::vector<std::string>{"no sync"});
}

TEST(AudioReport, ZeroRatesDropTheSyncSilently) {
    // frmsizecod 38 lies past the rate table; fscod 3 has no sample rate.
    for (std::uint8_t rateByte : {std::uint8_t{38}, std::uint8_t{63}, std::uint8_t{0xDE}}) {
        Bytes run;
        putAc3(run, 0, rateByte);
        putAc3(run, 1792, rateByte);
        putAc3(run, 3584, rateByte);
        EXPECT_TRUE(report(run, 0).empty()) << int(rateByte);
    }
    Bytes eac3;
    putFrame(eac3, 0, 0x04, 0xFF, 0xFF, 16 << 3, 0);
    putFrame(eac3, 2560, 0x04, 0xFF, 0xFF, 16 << 3, 0);
    EXPECT_TRUE(report(eac3, 0).empty());

    EXPECT_TRUE(report({}, 0).empty());
}
