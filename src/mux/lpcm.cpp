#include "lpcm.h"

#include <algorithm>

namespace vantrel::mux {

std::size_t LpcmFormat::groupBytes() const {
    const auto ch = static_cast<std::size_t>(channels);
    switch (bits) {
    case 16: return 2 * ch;
    case 20: return 4 * 2 + 2; // four high words, then two bytes of nibble pairs
    default: return 4 * 2 + 4; // 24: four high words, then one low byte per sample
    }
}

std::optional<LpcmFormat> parseLpcmHeader(const std::uint8_t* header, std::string& error) {
    static constexpr int kRates[4] = {48000, 96000, 44100, 32000};
    const std::uint8_t b = header[1];
    const int quant = (b >> 6) & 3;
    if (quant == 3) {
        error = "unknown LPCM quantisation code 3";
        return std::nullopt;
    }
    if (b & 0x08) {
        error = "unknown LPCM sample rate code " + std::to_string((b >> 3) & 7);
        return std::nullopt;
    }
    LpcmFormat f;
    f.bits = 16 + 4 * quant;
    f.sampleRate = kRates[(b >> 4) & 3];
    f.channels = (b & 7) + 1;
    f.code = b;
    return f;
}

LpcmUnpacker::LpcmUnpacker(const LpcmFormat& format) : m_format(format), m_groupBytes(format.groupBytes()) {
    m_held.reserve(m_groupBytes);
}

void LpcmUnpacker::convertGroup(const std::uint8_t* g, std::uint8_t* out) const {
    const std::size_t ch = static_cast<std::size_t>(m_format.channels);
    if (m_format.bits == 16) {
        for (std::size_t i = 0; i < ch; ++i) {
            out[2 * i] = g[2 * i + 1];
            out[2 * i + 1] = g[2 * i];
        }
        return;
    }
    // Four samples: their high words, then their low parts in the same order.
    const std::size_t samples = 4;
    const std::uint8_t* low = g + 2 * samples;
    for (std::size_t i = 0; i < samples; ++i) {
        std::uint8_t lsb;
        if (m_format.bits == 24) {
            lsb = low[i];
        } else {
            const std::uint8_t pair = low[i / 2];
            lsb = static_cast<std::uint8_t>(i % 2 == 0 ? (pair & 0xF0) : ((pair & 0x0F) << 4));
        }
        out[3 * i] = lsb;
        out[3 * i + 1] = g[2 * i + 1];
        out[3 * i + 2] = g[2 * i];
    }
}

void LpcmUnpacker::feed(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out) {
    out.clear();
    const std::size_t outGroup = static_cast<std::size_t>(m_format.samplesPerGroup()) *
                                 static_cast<std::size_t>(m_format.outputBytesPerSample());
    const std::size_t groups = (m_held.size() + n) / m_groupBytes;
    out.resize(groups * outGroup);
    std::uint8_t* dst = out.data();
    if (!m_held.empty()) {
        const std::size_t take = std::min(n, m_groupBytes - m_held.size());
        m_held.insert(m_held.end(), data, data + take);
        data += take;
        n -= take;
        if (m_held.size() < m_groupBytes) return;
        convertGroup(m_held.data(), dst);
        dst += outGroup;
        m_held.clear();
    }
    while (n >= m_groupBytes) {
        convertGroup(data, dst);
        dst += outGroup;
        data += m_groupBytes;
        n -= m_groupBytes;
    }
    m_held.assign(data, data + n);
    m_samples += static_cast<std::int64_t>(groups) * m_format.samplesPerGroup();
}

} // namespace vantrel::mux
