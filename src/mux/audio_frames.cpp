#include "audio_frames.h"

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

bool ac3Header(const std::uint8_t* d, AudioFrameInfo& info) {
    static constexpr int kRates[3] = {48000, 44100, 32000};
    static constexpr int kKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                      192, 224, 256, 320, 384, 448, 512, 576, 640};
    const int bsid = d[5] >> 3;
    if (bsid <= 10) {
        const int fscod = d[4] >> 6;
        const int code = d[4] & 0x3F;
        if (fscod == 3 || code > 37) return false;
        const int kbps = kKbps[code / 2];
        int words = 0;
        if (fscod == 0)
            words = kbps * 2;
        else if (fscod == 2)
            words = kbps * 3;
        else
            words = kbps * 1536000 / 44100 / 16 + (code & 1);
        info.size = static_cast<std::size_t>(words) * 2;
        info.samples = 1536;
        info.sampleRate = kRates[fscod];
        return true;
    }
    if (bsid > 16) return false;
    // E-AC-3: frame size in 16-bit words; only independent substream 0 adds time.
    const int strmtyp = d[2] >> 6;
    const int substream = (d[2] >> 3) & 7;
    const int frmsiz = ((d[2] & 7) << 8) | d[3];
    const int fscod = d[4] >> 6;
    int blocks = 6;
    int rate = 0;
    if (fscod == 3) {
        const int fscod2 = (d[4] >> 4) & 3;
        if (fscod2 == 3) return false;
        rate = kRates[fscod2] / 2;
    } else {
        static constexpr int kBlocks[4] = {1, 2, 3, 6};
        blocks = kBlocks[(d[4] >> 4) & 3];
        rate = kRates[fscod];
    }
    info.size = static_cast<std::size_t>(frmsiz + 1) * 2;
    info.samples = (strmtyp != 1 && substream == 0) ? blocks * 256 : 0;
    info.sampleRate = rate;
    return true;
}

bool dtsHeader(const std::uint8_t* d, AudioFrameInfo& info) {
    static constexpr int kRates[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                                       44100, 0,    0,     12000, 24000, 48000, 0,     0};
    if (d[0] == 0x7F && d[1] == 0xFE && d[2] == 0x80 && d[3] == 0x01) {
        BitReader r(d + 4, 8);
        r.skip(1 + 5 + 1);
        const std::uint32_t nblks = r.get(7);
        const std::uint32_t fsize = r.get(14);
        r.skip(6);
        const std::uint32_t sfreq = r.get(4);
        if (fsize < 95) return false;
        info.size = fsize + 1;
        info.samples = static_cast<std::int64_t>(nblks + 1) * 32;
        info.sampleRate = kRates[sfreq];
        return info.sampleRate != 0;
    }
    if (d[0] == 0x64 && d[1] == 0x58 && d[2] == 0x20 && d[3] == 0x25) {
        BitReader r(d + 4, 8);
        r.skip(8 + 2);
        const bool wide = r.get(1) != 0;
        r.skip(wide ? 12 : 8);
        const std::uint32_t fsize = r.get(wide ? 20 : 16);
        info.size = fsize + 1;
        info.samples = 0; // belongs to the core frame before it
        info.sampleRate = 0;
        return info.size >= 8;
    }
    return false;
}

bool mlpHeader(const std::uint8_t* d, AudioFrameInfo& info) {
    // Access units: the length in 16-bit words in the low 12 bits of the first
    // two bytes; units that carry a major sync give the rate.
    const std::size_t words = static_cast<std::size_t>((d[0] & 0x0F) << 8 | d[1]);
    if (words < 2) return false;
    info.size = words * 2;
    info.sampleRate = 0;
    if (d[4] == 0xF8 && d[5] == 0x72 && d[6] == 0x6F && (d[7] == 0xBA || d[7] == 0xBB)) {
        const int code = (d[7] == 0xBA ? d[8] : d[9]) >> 4;
        static constexpr int kRates[16] = {48000, 96000, 192000, 0, 0, 0, 0, 0,
                                           44100, 88200, 176400, 0, 0, 0, 0, 0};
        info.sampleRate = kRates[code];
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
    case EsKind::Eac3: return d[0] == 0x0B && d[1] == 0x77 && ac3Header(d, info);
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
