// One LPCM rate table: the survey (what `info` shows) and the WAV writer's
// header reading name the rate that ffmpeg's DVD LPCM decoder reads from the
// same packets, for each of the four rate codes.
#include "disc/pts_survey.h"
#include "mux/lpcm.h"
#include "support/evo_builder.h"
#include "support/title_builder.h"

#include <gtest/gtest.h>

namespace vantrel::mux {
namespace {

TEST(LpcmRate, SurveyWavAndFfmpegAgreeOnEveryRateCode) {
    const std::string dir = test::tempDir("lpcm-rate");
    for (int rate : {48000, 96000, 44100, 32000}) {
        const test::Bytes header = test::lpcmHeader(16, rate, 2);
        test::EvoBuilder evo;
        for (int i = 0; i < 20; ++i) {
            test::Bytes body = {0xA0, 0x01, 0x00, 0x04};
            body.insert(body.end(), header.begin(), header.end());
            const test::Bytes samples = test::pattern(1600, static_cast<std::uint8_t>(i));
            body.insert(body.end(), samples.begin(), samples.end());
            evo.pack(test::pesPacket(0xBD, body, 90000 + static_cast<std::uint64_t>(i) * 900));
        }
        const std::string file = dir + "a" + std::to_string(rate) + ".evo";
        evo.writeTo(file);
        const std::string probe = test::shell(
            "ffprobe -v error -select_streams a -show_entries stream=sample_rate -of csv=p=0 '" + file + "'");
        ASSERT_EQ(std::stoi(probe), rate) << probe;
        const disc::FileSurvey survey = disc::surveyFile(file);
        ASSERT_EQ(survey.streams.size(), 1u);
        EXPECT_EQ(survey.streams[0].sampleRate, rate);
        std::string why;
        const auto format = parseLpcmHeader(header.data(), why);
        ASSERT_TRUE(format) << why;
        EXPECT_EQ(format->sampleRate, rate);
    }
}

} // namespace
} // namespace vantrel::mux
