// The record header that goes ahead of each subpicture unit in a subpicture
// output file: "SP", the unit's 32-bit PTS (least significant byte first),
// then four zero bytes.
#pragma once

#include <array>
#include <cstdint>

namespace vantrel {

constexpr std::size_t kSubpictureRecordHeaderSize = 10;

constexpr std::array<std::uint8_t, kSubpictureRecordHeaderSize> subpictureRecordHeader(std::uint32_t pts) {
    return {'S',
            'P',
            static_cast<std::uint8_t>(pts),
            static_cast<std::uint8_t>(pts >> 8),
            static_cast<std::uint8_t>(pts >> 16),
            static_cast<std::uint8_t>(pts >> 24),
            0,
            0,
            0,
            0};
}

} // namespace vantrel
