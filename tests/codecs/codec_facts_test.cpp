// The audio codec headers against frames from ffmpeg's encoders, judged by
// ffprobe: every frame's length, samples, rate and channels as ffprobe reads
// them, the window's AC-3 search on the same stream, and the LPCM header that
// ffmpeg's VOB muxer writes.
#include "codecs/codec_facts.h"
#include "support/title_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>

namespace vantrel::codec {
namespace {

using test::Bytes;

enum class Walk { Dolby, Dts, AccessUnits };

struct Row {
    const char* name;
    const char* encoder; // ffmpeg's codec options and raw muxer
    const char* format;  // ffprobe's demuxer for the stream
    int sampleRate;
    int channels;
    Walk walk;
};

// The stream ffmpeg writes from a short tone, and ffprobe's reading of it.
struct Probed {
    Bytes data;
    nlohmann::json stream;
    nlohmann::json packets;
};

Probed encode(const std::string& dir, const Row& row, const std::string& container = {}) {
    const std::string file = dir + row.name + (container.empty() ? ".es" : container);
    test::shell(
        "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(row.sampleRate) +
        ":duration=0.3 -ac " + std::to_string(row.channels) + " " + row.encoder + " '" + file + "'");
    const nlohmann::json probe = nlohmann::json::parse(
        test::shell("ffprobe -v error -f " + std::string(row.format) +
                    " -show_entries stream=sample_rate,channels,bit_rate,bits_per_raw_sample,time_base"
                    ":packet=size,duration -of json '" +
                    file + "'"));
    return {test::readFile(file), probe["streams"][0], probe["packets"]};
}

int number(const nlohmann::json& value) {
    return value.is_string() ? std::stoi(value.get<std::string>()) : value.get<int>();
}

// A packet's duration in samples: ffprobe gives it in the stream's time base.
int samplesOf(const nlohmann::json& packet, const nlohmann::json& stream, int rate) {
    const std::string base = stream["time_base"].get<std::string>();
    const long long num = std::stoll(base.substr(0, base.find('/')));
    const long long den = std::stoll(base.substr(base.find('/') + 1));
    return static_cast<int>(std::llround(static_cast<double>(number(packet["duration"]) * num * rate) /
                                         static_cast<double>(den)));
}

TEST(CodecFacts, FramesAsFfprobeReadsThem) {
    const std::string dir = test::tempDir("codec-facts");
    const std::vector<Row> rows = {
        {"ac3_48k_stereo", "-c:a ac3 -b:a 192k -f ac3", "ac3", 48000, 2, Walk::Dolby},
        {"ac3_44k_5.1", "-c:a ac3 -b:a 384k -f ac3", "ac3", 44100, 6, Walk::Dolby}, // odd frame sizes
        {"ac3_32k_mono", "-c:a ac3 -b:a 96k -f ac3", "ac3", 32000, 1, Walk::Dolby},
        {"ac3_48k_3ch", "-c:a ac3 -f ac3", "ac3", 48000, 3, Walk::Dolby},
        {"eac3_48k_5.1", "-c:a eac3 -b:a 640k -f eac3", "eac3", 48000, 6, Walk::Dolby},
        {"eac3_44k_stereo", "-c:a eac3 -f eac3", "eac3", 44100, 2, Walk::Dolby},
        {"dts_48k_5.1", "-c:a dca -strict -2 -f dts", "dts", 48000, 6, Walk::Dts},
        {"dts_44k_stereo", "-c:a dca -strict -2 -f dts", "dts", 44100, 2, Walk::Dts},
        {"truehd_48k", "-c:a truehd -strict -2 -f truehd", "truehd", 48000, 2, Walk::AccessUnits},
        {"truehd_96k", "-c:a truehd -strict -2 -f truehd", "truehd", 96000, 2, Walk::AccessUnits},
        {"mlp_48k", "-c:a mlp -strict -2 -f mlp", "mlp", 48000, 2, Walk::AccessUnits},
        {"mlp_44k", "-c:a mlp -strict -2 -f mlp", "mlp", 44100, 2, Walk::AccessUnits},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Probed es = encode(dir, row);
        const int rate = number(es.stream["sample_rate"]);
        ASSERT_EQ(rate, row.sampleRate) << "ffmpeg changed the rate";
        ASSERT_GT(es.packets.size(), 4u);
        std::size_t at = 0;
        for (const nlohmann::json& packet : es.packets) {
            ASSERT_LT(at, es.data.size());
            const std::uint8_t* p = es.data.data() + at;
            const std::size_t left = es.data.size() - at;
            const auto size = static_cast<std::size_t>(number(packet["size"]));
            const int samples = samplesOf(packet, es.stream, rate);
            if (row.walk == Walk::AccessUnits) {
                EXPECT_EQ(accessUnitBytes(p), size);
                const MajorSync sync = majorSyncAt(p + 4, left - 4);
                if (at == 0) {
                    EXPECT_NE(sync, MajorSync::None) << "the first unit carries the major sync";
                }
                if (sync != MajorSync::None) {
                    EXPECT_EQ(sync, row.format == std::string("mlp") ? MajorSync::Mlp : MajorSync::TrueHd);
                    EXPECT_EQ(majorSyncSampleRate(p, left), rate);
                }
                EXPECT_DOUBLE_EQ(accessUnitsPerSecond(rate) * samples, rate);
            } else {
                const std::optional<FrameHeader> f =
                    row.walk == Walk::Dolby ? dolbyHeader(p, left) : dtsCoreHeader(p, left);
                ASSERT_TRUE(f.has_value()) << "at byte " << at;
                EXPECT_EQ(f->bytes, size) << "at byte " << at;
                EXPECT_EQ(f->samples, samples);
                EXPECT_EQ(f->sampleRate, rate);
                EXPECT_EQ(f->channels, number(es.stream["channels"]));
            }
            at += size;
        }
        EXPECT_EQ(at, es.data.size());
        // The window's search confirms the first frame by the syncword one frame
        // on. It takes an AC-3 frame's length as bit rate / 8 x 1536 / rate in
        // whole bytes, as the window always has, which a 44.1 kHz frame never
        // matches: those streams are left to the header walk above.
        const bool windowSearch = row.format != std::string("ac3") || rate != 44100;
        if (row.walk == Walk::Dolby && windowSearch) {
            const DolbySearch search = findDolbyFrame(es.data.data(), es.data.size());
            ASSERT_TRUE(search.frame.has_value());
            EXPECT_EQ(search.wrongDistances, 0);
            EXPECT_EQ(search.frame->sampleRate, static_cast<std::uint32_t>(rate));
            EXPECT_EQ(search.frame->isEac3(), row.format == std::string("eac3"));
            // The window gives an E-AC-3 bit rate at 48 kHz frames per second, its discs' only rate.
            if (!search.frame->isEac3() || rate == 48000) {
                EXPECT_EQ(search.frame->bitRate, static_cast<std::uint32_t>(number(es.stream["bit_rate"])));
            }
        }
    }
}

TEST(CodecFacts, LpcmHeaderAsFfmpegWritesIt) {
    const std::string dir = test::tempDir("codec-facts-lpcm");
    struct LpcmRow {
        Row row;
        const char* sampleFormat;
    };
    const std::vector<LpcmRow> rows = {
        {{"lpcm_48k_16_stereo", "", "mpeg", 48000, 2, Walk::Dolby}, "s16"},
        {{"lpcm_48k_24_stereo", "", "mpeg", 48000, 2, Walk::Dolby}, "s32"},
        {{"lpcm_96k_16_stereo", "", "mpeg", 96000, 2, Walk::Dolby}, "s16"},
        {{"lpcm_48k_16_mono", "", "mpeg", 48000, 1, Walk::Dolby}, "s16"},
        {{"lpcm_48k_16_5.1", "", "mpeg", 48000, 6, Walk::Dolby}, "s16"},
    };
    for (const LpcmRow& lpcm : rows) {
        SCOPED_TRACE(lpcm.row.name);
        const std::string options = std::string("-sample_fmt ") + lpcm.sampleFormat + " -c:a pcm_dvd -f vob";
        Row row = lpcm.row;
        row.encoder = options.c_str();
        const Probed vob = encode(dir, row, ".vob");
        // The first private stream 1 packet: 0xA0, frame count, first access unit, then the header.
        std::size_t at = 0;
        while (at + 4 < vob.data.size() && !(vob.data[at] == 0 && vob.data[at + 1] == 0 &&
                                             vob.data[at + 2] == 1 && vob.data[at + 3] == 0xBD))
            ++at;
        ASSERT_LT(at + 9, vob.data.size());
        const std::size_t payload = at + 9 + vob.data[at + 8];
        ASSERT_EQ(vob.data[payload] & 0xF8, 0xA0);
        std::string error;
        const std::optional<LpcmFormat> f = parseLpcmHeader(vob.data.data() + payload + 4, error);
        ASSERT_TRUE(f.has_value()) << error;
        EXPECT_EQ(f->sampleRate, number(vob.stream["sample_rate"]));
        EXPECT_EQ(f->channels, number(vob.stream["channels"]));
        EXPECT_EQ(f->bits, number(vob.stream["bits_per_raw_sample"]));
    }
    // The codes no source describes give no format and say why.
    const std::pair<std::uint8_t, const char*> reserved[] = {{0xC1, "quantisation code 3"},
                                                             {0x09, "sample rate code 1"}};
    for (const auto& [code, why] : reserved) {
        const std::uint8_t header[3] = {0x0C, code, 0x80};
        std::string error;
        EXPECT_FALSE(parseLpcmHeader(header, error).has_value());
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

} // namespace
} // namespace vantrel::codec
