#include "timed_evo.h"

#include "evo_builder.h"

#include <algorithm>
#include <tuple>

namespace vantrel::test {

namespace {

// AC-3: 48 kHz, 448 kbit/s (1792-byte frames), bsid 8, 3/2.
const Bytes kAc3Header = {0x0B, 0x77, 0x00, 0x00, 0x1E, 0x40, 0xE0};
// E-AC-3: 768-byte frames, 48 kHz, 6 blocks, 3/2 with LFE, bsid 16.
const Bytes kEac3Header = {0x0B, 0x77, 0x01, 0x7F, 0x3F, 0x80};

Bytes frame(const Bytes& header, std::size_t size) {
    Bytes f = header;
    f.resize(size, 0x00);
    return f;
}

Bytes payloadOf(TimedCodec codec) {
    switch (codec) {
    case TimedCodec::Vc1: {
        Bytes p = {0x00, 0x00, 0x01, 0x0D};
        p.resize(1500, 0x00);
        return p;
    }
    case TimedCodec::Ac3: return frame(kAc3Header, 1792);
    case TimedCodec::Eac3: {
        Bytes p = frame(kEac3Header, 768);
        Bytes second = frame(kEac3Header, 768);
        p.insert(p.end(), second.begin(), second.end());
        return p;
    }
    case TimedCodec::Lpcm: return Bytes(1920, 0x00);
    }
    return {};
}

} // namespace

std::uint64_t timedPackTicks(TimedCodec codec) {
    switch (codec) {
    case TimedCodec::Vc1: return 3750;
    case TimedCodec::Ac3: return 2880;
    case TimedCodec::Eac3: return 5760;
    case TimedCodec::Lpcm: return 900;
    }
    return 0;
}

void writeTimedEvo(const std::string& path, const std::vector<TimedStream>& streams) {
    // Every pack of every stream, in PTS order (video first among equals).
    std::vector<std::tuple<std::uint64_t, std::size_t>> packs;
    for (std::size_t s = 0; s < streams.size(); ++s)
        for (int i = 0; i < streams[s].packs; ++i)
            packs.emplace_back(
                streams[s].firstPts + static_cast<std::uint64_t>(i) * timedPackTicks(streams[s].codec), s);
    std::stable_sort(packs.begin(), packs.end());
    EvoBuilder evo;
    evo.packSystemHeader(1, 3);
    for (const auto& [pts, s] : packs) {
        const TimedStream& stream = streams[s];
        if (stream.codec == TimedCodec::Vc1)
            evo.packVc1(stream.id, payloadOf(stream.codec), pts);
        else
            evo.packPrivate(stream.id, payloadOf(stream.codec), pts);
    }
    evo.writeTo(path);
}

} // namespace vantrel::test
