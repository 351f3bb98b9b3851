// A video elementary stream cut into frames (access units) as it streams in,
// each frame with the PES times of the packet its picture starts in: MPEG-2
// from a sequence, GOP or picture header to the next (a field pair in one
// frame), VC-1 advanced profile from a sequence header, entry point or frame
// start code, H.264 at each access unit delimiter (without them: at a
// parameter set, SEI or first slice after a slice). It also keeps the codec
// headers a Matroska track carries and the picture size.
#pragma once

#include "codecs/es_kind.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::matroska {

struct VideoFrame {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool key = false;
    bool hasPts = false, hasDts = false;
    std::uint64_t pts = 0, dts = 0; // 33-bit PES times
    int temporalReference = -1;     // MPEG-2
    bool gopStart = false;          // MPEG-2: a GOP header precedes the picture
};

class VideoFrameSink {
public:
    virtual ~VideoFrameSink() = default;
    virtual void frame(const VideoFrame& frame) = 0;
};

class VideoFramer {
public:
    explicit VideoFramer(EsKind kind) : m_kind(kind) {}
    // The payload of one PES packet with its times.
    void feed(const std::uint8_t* data, std::size_t n, bool hasPts, std::uint64_t pts, bool hasDts,
              std::uint64_t dts, VideoFrameSink& sink);
    // Hands over the frame being gathered (the end of a clip).
    void flush(VideoFrameSink& sink);

    // MPEG-2: the first sequence header with its extensions; VC-1: the first
    // sequence header and entry point; H.264: the first SPS and PPS with start codes.
    const std::vector<std::uint8_t>& codecPrivate() const { return m_private; }
    bool headersComplete() const;
    int width() const { return m_width; }
    int height() const { return m_height; }
    std::int64_t frames() const { return m_frames; }

private:
    struct Times {
        std::int64_t offset = 0;
        bool hasPts = false, hasDts = false;
        std::uint64_t pts = 0, dts = 0;
    };
    void scan(bool all, VideoFrameSink& sink);
    // Whether the start code at m_buf[i] (its code byte at i + 3) begins a new frame.
    bool startsFrame(std::size_t i);
    void look(std::size_t i); // notes what the header at i says
    void emit(std::size_t end, VideoFrameSink& sink);
    void capture(std::size_t i); // the headers up to the start code at i

    EsKind m_kind;
    std::vector<std::uint8_t> m_buf; // the frame being gathered and what follows it
    std::size_t m_scanned = 0;       // start codes before this are looked at
    std::int64_t m_bufOffset = 0;    // stream offset of m_buf[0]
    std::array<Times, 16> m_times{};
    std::size_t m_timesCount = 0;
    std::vector<std::uint8_t> m_private;
    std::int64_t m_privateFrom = -1; // buffer index where the headers being kept begin
    bool m_privateDone = false;
    bool m_spsKept = false, m_ppsKept = false;
    int m_width = 0, m_height = 0;
    std::int64_t m_frames = 0;
    // The frame being gathered.
    bool m_picture = false;     // its picture (or slice) has begun
    std::int64_t m_anchor = -1; // stream offset the PES times are matched at
    bool m_key = false;
    bool m_gop = false;
    bool m_firstField = false; // MPEG-2: a first field waits for its second
    int m_picturesInFrame = 0;
    int m_temporalReference = -1;
    bool m_audSeen = false;
    bool m_entryPoint = false; // VC-1: an entry point precedes the frame
};

} // namespace vantrel::matroska
