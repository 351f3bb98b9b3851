// The stream table: the stream code seen (or listed) for every stream slot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantrel {

// Stream slots 1..64 (index 0 unused): video 1,2; audio 17..32; subpicture
// 33..64 (see stream_numbering.h). -1 no stream, 1 listed by the playlist,
// otherwise the first stream code seen.
class StreamTable {
public:
    std::int32_t& operator[](int slot) { return m_slots[static_cast<std::size_t>(slot)]; }
    std::int32_t operator[](int slot) const { return m_slots[static_cast<std::size_t>(slot)]; }
    void clear() {
        m_slots.fill(-1);
        m_slots[0] = 0;
    }

private:
    std::array<std::int32_t, 65> m_slots{};
};

} // namespace vantrel
