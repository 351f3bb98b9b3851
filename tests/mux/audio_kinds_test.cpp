// Each compressed audio kind from ffmpeg, carried in a program stream: the
// written file keeps every byte from the first frame on, gets the extension
// mkvmerge recognises (TrueHD and MLP told apart by the major sync), and the
// frame walker's duration agrees with ffprobe's.
#include "mux/mux_prep.h"
#include "support/title_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace vantrel::mux {
namespace {

struct Kind {
    const char* encoder; // ffmpeg codec and muxer
    int channels;
    const char* format; // ffmpeg demuxer for the units
    std::uint8_t subId;
    const char* extension;
    const char* codec; // as mkvmerge -J names it
    double unitTicks;
};

TEST(AudioKinds, FilesAndDurationsAsClientsSeeThem) {
    const std::string dir = test::tempDir("kinds");
    const std::vector<Kind> kinds = {
        {"-c:a ac3 -f ac3", 2, "ac3", 0x80, "ac3", "AC-3", 2880},
        {"-c:a eac3 -f eac3", 2, "eac3", 0xC2, "eac3", "E-AC-3", 2880},
        {"-c:a dca -strict -2 -f dts", 6, "dts", 0x89, "dts", "DTS", 960},
        {"-c:a truehd -strict -2 -f truehd", 2, "truehd", 0xB0, "thd", "TrueHD", 75},
        {"-c:a mlp -strict -2 -f mlp", 2, "mlp", 0xB1, "mlp", "MLP", 75},
    };
    for (const Kind& k : kinds) {
        const std::string es = dir + "es." + k.extension;
        test::shell("ffmpeg -v error -y -f lavfi -i sine=frequency=500:sample_rate=48000:duration=0.6 -ac " +
                    std::to_string(k.channels) + " " + k.encoder + " '" + es + "'");
        test::TrackSpec t;
        t.streamId = 0xBD;
        t.subId = k.subId;
        if ((k.subId & 0xF8) == 0xB0) t.extraHeader = {0x00};
        t.es = test::loadEs(es, k.format);
        ASSERT_GT(t.es.units.size(), 5u) << k.extension;
        t.unitTicks = k.unitTicks;
        const std::string evo = dir + "K_" + k.extension + ".EVO";
        test::writeFile(evo, test::buildTitle({t}));

        PrepOptions o;
        o.parts = {evo};
        o.folder = dir;
        o.baseName = std::string("K_") + k.extension;
        const PrepResult r = prepareStreams(o);
        ASSERT_EQ(r.streams.size(), 1u) << k.extension;
        const PreparedStream& s = r.streams[0];
        ASSERT_EQ(s.files.size(), 1u);
        EXPECT_EQ(s.files[0].substr(s.files[0].rfind('.') + 1), k.extension);
        EXPECT_TRUE(
            test::readFile(s.files[0]) ==
            test::Bytes(t.es.data.begin() + static_cast<std::ptrdiff_t>(t.es.units[0].pos), t.es.data.end()))
            << k.extension << ": bytes differ";
        const std::string ident = test::shell("mkvmerge -J '" + s.files[0] + "'");
        EXPECT_NE(ident.find(std::string("\"codec\": \"") + k.codec + "\""), std::string::npos) << ident;
        // The channels the track is named by, where the frame header gives them (AC-3,
        // E-AC-3, the DTS core: 5.1 counts its LFE).
        if ((k.subId & 0xF0) == 0x80 || (k.subId & 0xF0) == 0xC0) {
            EXPECT_EQ(s.channels,
                      nlohmann::json::parse(ident)["tracks"][0]["properties"].value("audio_channels", -1))
                << k.extension;
        }
        double probe = 0; // the packets' durations, as ffprobe gives them
        std::istringstream durations(test::shell("ffprobe -v error -f " + std::string(k.format) +
                                                 " -show_entries packet=duration_time -of csv=p=0 '" + es +
                                                 "'"));
        for (std::string line; std::getline(durations, line);)
            if (!line.empty() && line != "N/A") probe += std::stod(line);
        EXPECT_NEAR(s.part[0].seconds, probe, 0.011) << k.extension;
    }
}

} // namespace
} // namespace vantrel::mux
