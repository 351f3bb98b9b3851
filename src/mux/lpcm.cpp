#include "lpcm.h"

#include <algorithm>

namespace vantrel::mux {

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
