// The muxing preparation's parsers over arbitrary bytes: the packet reader,
// the video header scanner, the audio frame walker and the LPCM unpacker,
// each fed in pieces whose size the input chooses. None may read out of
// bounds, loop or account more bytes than it was given.
#include "codecs/video_scan.h"
#include "mux/audio_frames.h"
#include "mux/lpcm.h"
#include "packets/packet_reader.h"

#include <cstdlib>
#include <string>

namespace {

class CountingSink : public vantrel::mux::FrameSink {
public:
    std::size_t bytes = 0;
    void frame(const std::uint8_t*, const vantrel::mux::AudioFrameInfo& info) override { bytes += info.size; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel;
    using namespace vantrel::mux;
    if (size < 2) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::uint8_t* d = data + 2;
    const std::size_t n = size - 2;

    for (EsKind kind : {EsKind::Mpeg2Video, EsKind::Vc1, EsKind::H264}) {
        VideoScanner scan(kind);
        for (std::size_t at = 0; at < n; at += piece) scan.feed(d + at, std::min(piece, n - at));
        scan.finish();
        if (scan.facts().frames > static_cast<std::int64_t>(n)) std::abort();
        (void)scan.facts().pulldown();
    }
    for (EsKind kind : {EsKind::Ac3, EsKind::Dts, EsKind::TrueHd}) {
        AudioFrameWalker walker(kind);
        CountingSink sink;
        for (std::size_t at = 0; at < n; at += piece) walker.feed(d + at, std::min(piece, n - at), sink);
        walker.flush(sink);
        if (sink.bytes + static_cast<std::size_t>(walker.skippedBytes()) != n) std::abort();
    }
    std::string why;
    const std::uint8_t header[3] = {0, data[1], 0};
    if (auto format = parseLpcmHeader(header, why)) {
        LpcmUnpacker unpacker(*format);
        std::vector<std::uint8_t> out;
        std::size_t produced = 0;
        for (std::size_t at = 0; at < n; at += piece) {
            unpacker.feed(d + at, std::min(piece, n - at), out);
            produced += out.size();
        }
        if (produced / static_cast<std::size_t>(format->outputBytesPerSample()) >
            n * 8 / static_cast<std::size_t>(format->bits))
            std::abort();
    }

    vantrel::MemorySource source(d, n);
    vantrel::PacketReader reader(source);
    vantrel::Packet p;
    std::size_t payload = 0;
    while (reader.next(p)) payload += p.payloadSize;
    if (payload > n) std::abort();
    return 0;
}
