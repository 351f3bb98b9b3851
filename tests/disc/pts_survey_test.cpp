// How long each codec's audio plays after its last PTS: frames that start in
// the packets from the one with the last PTS on, each at its own duration; the
// bytes of LPCM at the header's byte rate.
#include "disc/pts_survey.h"
#include "support/evo_builder.h"

#include <gtest/gtest.h>

namespace vantrel::disc {
namespace {

using test::Bytes;
using test::EvoBuilder;

Bytes frames(std::initializer_list<std::pair<Bytes, std::size_t>> list) {
    Bytes out;
    for (const auto& [header, size] : list) {
        Bytes f = header;
        f.resize(size, 0x00);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

TEST(PtsSurvey, AudioAfterTheLastPts) {
    // AC-3 at 44.1 kHz, 448 kbit/s: 975 words a frame (1950 bytes).
    const Bytes ac3 = {0x0B, 0x77, 0x00, 0x00, 0x40 | 30, 0x40, 0xE0};
    // E-AC-3, 6 blocks at 48 kHz: independent (sub-stream 0), dependent, and an
    // independent frame of sub-stream 1; only the first kind counts.
    const Bytes independent = {0x0B, 0x77, 0x01, 0x7F, 0x3F, 0x80};
    const Bytes dependent = {0x0B, 0x77, 0x41, 0x7F, 0x3F, 0x80};
    const Bytes substream1 = {0x0B, 0x77, 0x09, 0x7F, 0x3F, 0x80};
    // DTS core: 16 blocks of 32 samples at 48 kHz, 1000-byte frames.
    const Bytes dts = {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C, 0x3E, 0x72, 0x74};
    // MLP access units of 64 bytes, the first with a major sync (48 kHz).
    const Bytes mlpSync = {0x00, 0x20, 0x00, 0x00, 0xF8, 0x72, 0x6F, 0xBB, 0x00};
    const Bytes mlpUnit = {0x00, 0x20, 0x00, 0x00};

    EvoBuilder evo;
    evo.packPrivate(0x80, frames({{ac3, 1950}}), 90000);
    evo.packPrivate(0x80, frames({{ac3, 1950}})); // no PTS: still after the last one
    evo.packPrivate(0xC1, frames({{independent, 768}, {dependent, 768}}), 90000);
    evo.packPrivate(0xC1, frames({{substream1, 400}}));
    evo.packPrivate(0x8A, frames({{dts, 1000}, {dts, 1000}}), 90000);
    Bytes mlp = frames({{mlpSync, 64}});
    for (int i = 0; i < 9; ++i)
        mlp.insert(mlp.end(), mlpUnit.begin(), mlpUnit.end()), mlp.resize(mlp.size() + 60, 0);
    evo.packPrivate(0xB3, mlp, 90000);
    // LPCM 24-bit, 96 kHz, six channels: 1,728,000 bytes a second; 1728 bytes are 1 ms.
    test::PesSpec lpcm;
    lpcm.streamId = 0xBD;
    lpcm.pts = 90000;
    lpcm.body = {0xA4, 0x01, 0x00, 0x01, 0x00, 0x95, 0x80};
    lpcm.body.resize(lpcm.body.size() + 1728, 0x00);
    evo.pack(lpcm);
    // A stream whose last packet holds no frame header ends nowhere known.
    evo.packPrivate(0x85, Bytes(100, 0x00), 90000);

    const FileSurvey survey = surveyBytes(evo.bytes().data(), evo.size());
    struct Want {
        int index;
        const char* codec;
        std::optional<double> ticks;
        int rate;
    };
    const Want want[] = {
        {0, "DD", 2 * 1536 * 90000.0 / 44100, 44100},
        {1, "DD+", 2880.0, 48000},
        {2, "DTS-HD", 2 * 512 * 90000.0 / 48000, 48000},
        {3, "MLP", 10 * 75.0, 48000},
        {4, "LPCM", 90.0, 96000},
        {5, "DD", std::nullopt, 0},
    };
    for (const Want& w : want) {
        SCOPED_TRACE(std::string(w.codec) + " " + std::to_string(w.index));
        const StreamSurvey* s = survey.find(SurveyKind::Audio, w.index);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->codec, w.codec);
        ASSERT_EQ(s->tailTicks.has_value(), w.ticks.has_value());
        if (w.ticks) {
            EXPECT_NEAR(*s->tailTicks, *w.ticks, 1e-6);
            EXPECT_EQ(s->sampleRate, w.rate);
        }
    }
}

} // namespace
} // namespace vantrel::disc
