// The muxing preparation's parsers over arbitrary bytes: the packet reader,
// the video header scanner, the audio frame walker and the LPCM unpacker,
// each fed in pieces whose size the input chooses; and the one-pass file's:
// the video framer with the Matroska writer behind it (writing nowhere), the
// presentation graphics blocks and the walk to a track's forced flag. None
// may read out of bounds, loop or account more bytes than it was given.
#include "codecs/video_scan.h"
#include "files/errors.h"
#include "matroska/matroska_writer.h"
#include "matroska/pgs_blocks.h"
#include "matroska/track_flags.h"
#include "matroska/video_frames.h"
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

// Each frame of the framer as one block, at the frame rate in decode order.
class WritingSink : public vantrel::matroska::VideoFrameSink {
public:
    explicit WritingSink(vantrel::matroska::MatroskaWriter& writer) : m_writer(writer) {}
    std::size_t bytes = 0;
    void frame(const vantrel::matroska::VideoFrame& f) override {
        bytes += f.size;
        m_writer.write(0, f.data, f.size, m_next, m_next, 3003, f.key);
        m_next += 3003;
    }

private:
    vantrel::matroska::MatroskaWriter& m_writer;
    std::int64_t m_next = 0;
};

void framedAndWritten(vantrel::EsKind kind, const std::uint8_t* d, std::size_t n, std::size_t piece) {
    using namespace vantrel::matroska;
    FileSpec fileSpec; // no path: the bytes go nowhere
    TrackSpec track;
    track.kind = kind;
    track.width = 1920;
    track.height = 1080;
    track.rateNum = 30000;
    track.rateDen = 1001;
    fileSpec.tracks.push_back(track);
    MatroskaWriter writer(fileSpec);
    WritingSink sink(writer);
    VideoFramer framer(kind);
    std::uint64_t pts = 0;
    for (std::size_t at = 0; at < n; at += piece) {
        const bool timed = d[at] & 1;
        framer.feed(d + at, std::min(piece, n - at), timed, pts, timed && (d[at] & 2), pts, sink);
        pts += 1501;
    }
    framer.flush(sink);
    if (sink.bytes > n) std::abort();
    writer.finish();
}

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

    for (EsKind kind : {EsKind::Mpeg2Video, EsKind::Vc1, EsKind::H264}) {
        try {
            framedAndWritten(kind, d, n, piece);
        } catch (const vantrel::Error&) {
            // the writer may refuse a file; it may not crash
        }
    }
    std::size_t pgsBytes = 0;
    matroska::PgsBlocks pgs(
        [&](std::span<const std::uint8_t> set, std::uint32_t) { pgsBytes += set.size(); });
    for (std::size_t at = 0; at < n; at += piece) pgs.feed({d + at, std::min(piece, n - at)});
    if (pgsBytes + static_cast<std::size_t>(pgs.droppedBytes()) > n) std::abort();
    for (std::uint64_t track = 1; track <= 3; ++track) {
        const std::int64_t at = matroska::forcedFlagOffset({d, n}, track);
        if (at >= static_cast<std::int64_t>(n) || at < -1) std::abort();
    }

    vantrel::MemorySource source(d, n);
    vantrel::PacketReader reader(source);
    vantrel::Packet p;
    std::size_t payload = 0;
    while (reader.next(p)) payload += p.payloadSize;
    if (payload > n) std::abort();
    return 0;
}
