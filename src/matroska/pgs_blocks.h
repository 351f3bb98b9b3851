// Presentation graphics as Matroska blocks: the converter's stream of "PG"
// segments cut into display sets (a presentation composition up to its end
// segment), each set one block of its segments without their "PG" headers,
// timed by the composition's PTS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vantrel::matroska {

class PgsBlocks {
public:
    // block(bytes, pts): one display set; pts is the 32-bit time of its segments.
    using Block = std::function<void(std::span<const std::uint8_t> bytes, std::uint32_t pts)>;
    explicit PgsBlocks(Block block) : m_block(std::move(block)) {}
    void feed(std::span<const std::uint8_t> bytes);
    // Segments that are not a whole display set, or not "PG" at all, are dropped and counted.
    std::int64_t droppedBytes() const { return m_dropped + static_cast<std::int64_t>(m_in.size()); }
    std::int64_t blocks() const { return m_blocks; }

private:
    Block m_block;
    std::vector<std::uint8_t> m_in;  // bytes not yet a whole segment
    std::vector<std::uint8_t> m_set; // the display set being gathered
    std::uint32_t m_setPts = 0;
    bool m_inSet = false;
    std::int64_t m_dropped = 0;
    std::int64_t m_blocks = 0;
};

} // namespace vantrel::matroska
