// The records of a subpicture file as the demux writes it: each unit behind a
// 10-byte record header ("SP", its PTS as 32 bits little-endian, four zero
// bytes), the unit's own size telling where the next record begins.
#pragma once

#include "packets/subpicture_record.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vantrel::subpicture {

struct UnitRecord {
    std::size_t offset = 0;             // of the record header, or of the stray bytes
    std::uint32_t pts = 0;              // from the record header
    std::span<const std::uint8_t> unit; // the unit's bytes as far as they are there
    bool stray = false;                 // bytes that belong to no record (no PTS to name)
    std::size_t strayLength = 0;
};

// Walks the records of a whole file held in memory. Where a unit's size does
// not lead to the next record header (a cut or damaged unit), the walk picks
// up again at the next header that starts a plausible unit.
class SupRecordReader {
public:
    explicit SupRecordReader(std::span<const std::uint8_t> data) : m_data(data) {}

    // The next record; false at the end of the data.
    bool next(UnitRecord& record);

    static bool isRecordHeader(std::span<const std::uint8_t> data, std::size_t at);
    // Bytes that begin like a unit (two zero bytes, a size that fits, a command
    // area inside it).
    static bool isPlausibleUnit(std::span<const std::uint8_t> bytes);

private:
    // A record header at `at` whose unit ends at the end of the data or at another record header.
    bool isChainedHeader(std::size_t at) const;
    // A record header whose unit begins like one and fits into the data.
    bool isPlausibleHeader(std::size_t at) const;
    std::size_t findHeader(std::size_t from) const;

    std::span<const std::uint8_t> m_data;
    std::size_t m_position = 0;
    bool m_afterUnit = false; // the position is where the last unit ended
    std::uint32_t m_lastPts = 0;
};

// Appends one record header with `pts` to `out` (for writers of record streams).
template <class Bytes> void appendRecordHeader(Bytes& out, std::uint32_t pts) {
    const auto header = subpictureRecordHeader(pts);
    out.insert(out.end(), header.begin(), header.end());
}

} // namespace vantrel::subpicture
