// Finds the frames of a compressed audio elementary stream as it streams in
// (AC-3, E-AC-3, DTS with its extension substreams, MLP and TrueHD access
// units), with each frame's duration in samples. The join of a split feature
// uses it to measure the first part's audio and to drop whole frames of the
// second part's audio.
#pragma once

#include "codecs/es_kind.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::mux {

struct AudioFrameInfo {
    std::size_t size = 0;     // bytes of the frame
    std::int64_t samples = 0; // samples it adds to the duration (0 for dependent parts)
    int sampleRate = 0;       // 0 when the header gives none
    int channels = 0;         // 0 when the header gives none
    bool extension = false;   // a DTS-HD extension substream
};

// Reads the frame header at d[0..n-1]; false when it is not one (or too short to tell).
bool readFrameHeader(EsKind kind, const std::uint8_t* d, std::size_t n, AudioFrameInfo& info);
// Bytes a header needs before readFrameHeader can decide.
constexpr std::size_t kFrameHeaderBytes = 16;

class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void frame(const std::uint8_t* data, const AudioFrameInfo& info) = 0;
};

class AudioFrameWalker {
public:
    explicit AudioFrameWalker(EsKind kind) : m_kind(kind) {}
    // Hands every complete frame to the sink. Bytes that do not start a frame
    // are passed over until one does (counted in skippedBytes).
    void feed(const std::uint8_t* data, std::size_t n, FrameSink& sink);
    // Hands what is left (an incomplete frame) to the sink with no samples.
    void flush(FrameSink& sink);

    std::int64_t frames() const { return m_frames; }
    std::int64_t samples() const { return m_samples; }
    int sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }      // the first header's that gives them; 0 none
    bool hdExtension() const { return m_extension; } // a DTS-HD extension substream was seen
    std::int64_t skippedBytes() const { return m_skipped; }

private:
    EsKind m_kind;
    std::vector<std::uint8_t> m_buf;
    std::size_t m_pos = 0;
    std::int64_t m_frames = 0;
    std::int64_t m_samples = 0;
    std::int64_t m_skipped = 0;
    int m_rate = 0;
    int m_channels = 0;
    bool m_extension = false;
};

} // namespace vantrel::mux
