#include "title_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace vantrel::test {

std::string shell(const std::string& command, int* status) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) throw std::runtime_error("popen failed: " + command);
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int rc = ::pclose(p);
    if (status) *status = WEXITSTATUS(rc);
    return out;
}

namespace {
// The folders this test program made, removed when it ends.
std::vector<std::string>& madeFolders() {
    static std::vector<std::string> folders;
    return folders;
}
void removeMadeFolders() {
    if (std::getenv("VANTREL_KEEP_TEST_FILES")) return; // to look at them after a run
    std::error_code ec;
    for (const auto& f : madeFolders()) std::filesystem::remove_all(f, ec);
}
} // namespace

std::string tempDir(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("vantrel-mux-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (madeFolders().empty()) std::atexit(removeMadeFolders);
    madeFolders().push_back(dir.string());
    return dir.string() + "/";
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Es loadEs(const std::string& path, const std::string& format) {
    Es es;
    es.data = readFile(path);
    std::istringstream lines(
        shell("ffprobe -v error -f " + format + " -show_entries packet=pos,size -of csv=p=0 '" + path + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        // ffprobe prints size,pos whatever the order asked for.
        long long a = 0, b = 0;
        if (std::sscanf(line.c_str(), "%lld,%lld", &a, &b) != 2) continue;
        es.units.push_back({static_cast<std::size_t>(b), static_cast<std::size_t>(a)});
    }
    std::sort(es.units.begin(), es.units.end(), [](const Unit& x, const Unit& y) { return x.pos < y.pos; });
    return es;
}

namespace {

struct Packet {
    double time;
    int track;
    PesSpec pes;
};

} // namespace

Bytes buildTitle(const std::vector<TrackSpec>& tracks) {
    std::vector<Packet> packets;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const TrackSpec& tr = tracks[t];
        PesSpec shape;
        shape.streamId = tr.streamId;
        shape.pts = 0;
        if (tr.streamId == 0xBD) {
            // Audio sub-streams carry three more header bytes; subpictures none.
            const bool audio = (tr.subId & 0xE0) != 0x20 && (tr.subId & 0xE0) != 0x60;
            Bytes head(audio ? 4 : 1, 0);
            head[0] = tr.subId;
            if (audio) {
                head[1] = 0x01;
                head[3] = 0x01;
            }
            head.insert(head.end(), tr.extraHeader.begin(), tr.extraHeader.end());
            shape.body = std::move(head);
        }
        const Bytes privateHead = shape.body;
        const std::size_t fullRoom = EvoBuilder::packPayloadRoom(shape);
        const std::size_t room = fullRoom - fullRoom % tr.groupBytes;
        // Where each unit starts, for the PTS of a packet.
        std::size_t unit = 0;
        std::size_t pos = tr.es.units.empty() ? 0 : tr.es.units.front().pos;
        const std::size_t end = tr.es.data.size();
        while (pos < end) {
            std::size_t take = std::min(room, end - pos);
            const std::size_t left = fullRoom - take;
            if (left > 0 && left < 6)
                take -= tr.groupBytes * ((6 - left + tr.groupBytes - 1) / tr.groupBytes);
            while (unit < tr.es.units.size() && tr.es.units[unit].pos < pos) ++unit;
            PesSpec s;
            s.streamId = tr.streamId;
            s.body = privateHead;
            s.body.insert(s.body.end(), tr.es.data.begin() + static_cast<std::ptrdiff_t>(pos),
                          tr.es.data.begin() + static_cast<std::ptrdiff_t>(pos + take));
            double time = 0;
            if (unit < tr.es.units.size() && tr.es.units[unit].pos < pos + take) {
                const double ticks =
                    static_cast<double>(tr.firstPts) + tr.unitTicks * static_cast<double>(unit);
                s.pts = static_cast<std::uint64_t>(std::llround(ticks));
                time = ticks;
            } else {
                time = static_cast<double>(tr.firstPts) + tr.unitTicks * static_cast<double>(unit);
                s.stuffing = 5; // the room was measured with a PTS
            }
            // Sent a little ahead of its time, as muxers do.
            packets.push_back({time - 9000.0, static_cast<int>(t), s});
            pos += take;
        }
    }
    std::stable_sort(packets.begin(), packets.end(),
                     [](const Packet& a, const Packet& b) { return a.time < b.time; });
    EvoBuilder evo;
    for (const auto& p : packets) evo.pack(p.pes);
    return evo.bytes();
}

Es lpcmEs(const std::vector<std::int32_t>& samples, int channels, int bits, int unitFrames) {
    // 16 bits: one sample frame at a time; 20/24 bits: groups of four samples,
    // high words first, then the low parts.
    Es es;
    const std::size_t ch = static_cast<std::size_t>(channels);
    const std::size_t group = bits == 16 ? ch : 4;
    const std::size_t unitSamples = static_cast<std::size_t>(unitFrames) * ch;
    for (std::size_t s = 0; s + group <= samples.size(); s += group) {
        if (s % unitSamples < group) es.units.push_back({es.data.size(), 0});
        const std::int32_t* g = samples.data() + s;
        for (std::size_t i = 0; i < group; ++i) {
            const std::uint32_t v = static_cast<std::uint32_t>(g[i]) << (32 - bits);
            es.data.push_back(static_cast<std::uint8_t>(v >> 24));
            es.data.push_back(static_cast<std::uint8_t>(v >> 16));
        }
        if (bits == 24)
            for (std::size_t i = 0; i < group; ++i) es.data.push_back(static_cast<std::uint8_t>(g[i] & 0xFF));
        if (bits == 20)
            for (std::size_t i = 0; i < group; i += 2)
                es.data.push_back(static_cast<std::uint8_t>((g[i] & 0xF) << 4 | (g[i + 1] & 0xF)));
    }
    for (std::size_t i = 0; i < es.units.size(); ++i)
        es.units[i].size = (i + 1 < es.units.size() ? es.units[i + 1].pos : es.data.size()) - es.units[i].pos;
    return es;
}

Bytes lpcmHeader(int bits, int rate, int channels) {
    const int quant = (bits - 16) / 4;
    const int rateCode = rate == 96000 ? 1 : rate == 44100 ? 2 : rate == 32000 ? 3 : 0;
    return {0x00, static_cast<std::uint8_t>(quant << 6 | rateCode << 4 | (channels - 1)), 0x80};
}

std::vector<std::int32_t> noiseSamples(std::size_t count, int bits, std::uint32_t seed) {
    std::vector<std::int32_t> out(count);
    std::uint32_t x = seed ? seed : 1;
    for (auto& v : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<std::int32_t>(x) >> (32 - bits);
    }
    return out;
}

// Soft 3:2 pulldown on an MPEG-2 stream coded at 24000/1001: 30000/1001 in the
// sequence header, an interlaced sequence, and the TFF/RFF cadence per picture.
void addPulldown(Bytes& es, bool repeatFlags) {
    int picture = 0;
    for (std::size_t i = 0; i + 8 < es.size(); ++i) {
        if (es[i] != 0 || es[i + 1] != 0 || es[i + 2] != 1) continue;
        const std::uint8_t code = es[i + 3];
        if (code == 0xB3) es[i + 7] = static_cast<std::uint8_t>((es[i + 7] & 0xF0) | 4);
        if (code == 0xB5 && (es[i + 4] >> 4) == 1) es[i + 5] &= static_cast<std::uint8_t>(~0x08);
        if (code == 0xB5 && (es[i + 4] >> 4) == 8) {
            static constexpr bool kTff[4] = {true, false, false, true}, kRff[4] = {true, false, true, false};
            std::uint8_t& b = es[i + 4 + 3];
            b = static_cast<std::uint8_t>((b & ~0x82) | (kTff[picture % 4] ? 0x80 : 0) |
                                          (repeatFlags && kRff[picture % 4] ? 0x02 : 0));
            ++picture;
        }
    }
}

} // namespace vantrel::test
