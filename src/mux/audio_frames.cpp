#include "audio_frames.h"

#include "codecs/codec_facts.h"

namespace vantrel::mux {

namespace {

class BitReader {
public:
    BitReader(const std::uint8_t* d, std::size_t n) : m_d(d), m_n(n) {}
    std::uint32_t get(int bits) {
        std::uint32_t v = 0;
        for (int i = 0; i < bits; ++i) {
            const std::size_t byte = m_bit / 8;
            const std::uint32_t bit = byte < m_n ? (m_d[byte] >> (7 - m_bit % 8)) & 1u : 0u;
            v = (v << 1) | bit;
            ++m_bit;
        }
        return v;
    }
    void skip(int bits) { m_bit += static_cast<std::size_t>(bits); }

private:
    const std::uint8_t* m_d;
    std::size_t m_n;
    std::size_t m_bit = 0;
};

// The frame header readers are the codec facts' own; n is at least kFrameHeaderBytes.
bool copyHeader(const std::optional<codec::FrameHeader>& f, AudioFrameInfo& info) {
    if (!f) return false;
    info.size = f->bytes;
    info.samples = f->samples;
    info.sampleRate = f->sampleRate;
    info.channels = f->channels;
    return true;
}

bool dtsHeader(const std::uint8_t* d, AudioFrameInfo& info) {
    if (copyHeader(codec::dtsCoreHeader(d, kFrameHeaderBytes), info)) return true;
    if (d[0] == 0x64 && d[1] == 0x58 && d[2] == 0x20 && d[3] == 0x25) {
        BitReader r(d + 4, 8);
        r.skip(8 + 2);
        const bool wide = r.get(1) != 0;
        r.skip(wide ? 12 : 8);
        const std::uint32_t fsize = r.get(wide ? 20 : 16);
        info.size = fsize + 1;
        info.samples = 0; // belongs to the core frame before it
        info.sampleRate = 0;
        info.extension = true;
        return info.size >= 8;
    }
    return false;
}

bool mlpHeader(const std::uint8_t* d, AudioFrameInfo& info) {
    // Access units: the length in 16-bit words in the low 12 bits of the first
    // two bytes; units that carry a major sync give the rate.
    const std::size_t bytes = codec::accessUnitBytes(d);
    if (bytes < 4) return false;
    info.size = bytes;
    info.sampleRate = 0;
    if (codec::majorSyncAt(d + 4, kFrameHeaderBytes - 4) != codec::MajorSync::None) {
        info.sampleRate = codec::majorSyncSampleRate(d, kFrameHeaderBytes);
        if (info.sampleRate == 0) return false;
    }
    info.samples = -1; // filled in by the walker from the stream's rate: 1/1200 s (48 kHz family)
    return true;
}

} // namespace

bool readFrameHeader(EsKind kind, const std::uint8_t* d, std::size_t n, AudioFrameInfo& info) {
    if (n < kFrameHeaderBytes) return false;
    switch (kind) {
    case EsKind::Ac3:
    case EsKind::Eac3: return copyHeader(codec::dolbyHeader(d, kFrameHeaderBytes), info);
    case EsKind::Dts: return dtsHeader(d, info);
    case EsKind::TrueHd:
    case EsKind::Mlp: return mlpHeader(d, info);
    default: return false;
    }
}

void AudioFrameWalker::feed(const std::uint8_t* data, std::size_t n, FrameSink& sink) {
    if (m_pos > 0 && m_pos >= m_buf.size() / 2) {
        m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_pos = 0;
    }
    m_buf.insert(m_buf.end(), data, data + n);
    const bool lossless = m_kind == EsKind::TrueHd || m_kind == EsKind::Mlp;
    while (m_buf.size() - m_pos >= kFrameHeaderBytes) {
        const std::uint8_t* p = m_buf.data() + m_pos;
        const std::size_t left = m_buf.size() - m_pos;
        AudioFrameInfo info;
        bool ok = readFrameHeader(m_kind, p, left, info);
        // Lossless streams are entered only at a unit with a major sync.
        if (ok && lossless && m_rate == 0 && info.sampleRate == 0) ok = false;
        if (!ok) {
            ++m_pos;
            ++m_skipped;
            continue;
        }
        if (left < info.size) break;
        if (info.sampleRate != 0 && m_rate == 0) m_rate = info.sampleRate;
        if (info.channels != 0 && m_channels == 0) m_channels = info.channels;
        m_extension = m_extension || info.extension;
        if (info.samples < 0)
            info.samples = m_rate % 44100 == 0 ? 40 * (m_rate / 44100) : 40 * (m_rate / 48000);
        if (info.sampleRate == 0) info.sampleRate = m_rate;
        sink.frame(p, info);
        m_pos += info.size;
        if (info.samples > 0) {
            ++m_frames;
            m_samples += info.samples;
        }
    }
}

void AudioFrameWalker::flush(FrameSink& sink) {
    if (m_pos < m_buf.size()) {
        AudioFrameInfo info;
        info.size = m_buf.size() - m_pos;
        info.sampleRate = m_rate;
        sink.frame(m_buf.data() + m_pos, info);
    }
    m_buf.clear();
    m_pos = 0;
}

} // namespace vantrel::mux
