#include "pgs_blocks.h"

namespace vantrel::matroska {

namespace {
constexpr std::size_t kSegmentHeader = 13; // "PG", PTS, DTS, type, size
constexpr std::uint8_t kComposition = 0x16;
constexpr std::uint8_t kEnd = 0x80;
} // namespace

void PgsBlocks::feed(std::span<const std::uint8_t> bytes) {
    m_in.insert(m_in.end(), bytes.begin(), bytes.end());
    std::size_t at = 0;
    while (m_in.size() - at >= kSegmentHeader) {
        const std::uint8_t* s = m_in.data() + at;
        if (s[0] != 'P' || s[1] != 'G') {
            ++at;
            ++m_dropped;
            continue;
        }
        const std::size_t size = static_cast<std::size_t>(s[11]) << 8 | s[12];
        if (m_in.size() - at < kSegmentHeader + size) break;
        const std::uint8_t type = s[10];
        if (type == kComposition) {
            if (m_inSet) m_dropped += static_cast<std::int64_t>(m_set.size());
            m_set.clear();
            m_inSet = true;
            m_setPts = static_cast<std::uint32_t>(s[2]) << 24 | static_cast<std::uint32_t>(s[3]) << 16 |
                       static_cast<std::uint32_t>(s[4]) << 8 | s[5];
        }
        if (m_inSet) {
            m_set.insert(m_set.end(), s + 10, s + kSegmentHeader + size);
            if (type == kEnd) {
                m_block(m_set, m_setPts);
                ++m_blocks;
                m_set.clear();
                m_inSet = false;
            }
        } else {
            m_dropped += static_cast<std::int64_t>(kSegmentHeader + size);
        }
        at += kSegmentHeader + size;
    }
    m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace vantrel::matroska
