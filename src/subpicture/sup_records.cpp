#include "sup_records.h"

#include "subpicture_unit.h"

#include <algorithm>

namespace vantrel::subpicture {

namespace {

constexpr std::size_t kRecordHeader = 10;

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

} // namespace

bool SupRecordReader::isRecordHeader(std::span<const std::uint8_t> data, std::size_t at) {
    if (at > data.size() || data.size() - at < kRecordHeader) return false;
    const std::uint8_t* p = data.data() + at;
    return p[0] == 'S' && p[1] == 'P' && p[6] == 0 && p[7] == 0 && p[8] == 0 && p[9] == 0;
}

bool SupRecordReader::isChainedHeader(std::size_t at) const {
    if (!isRecordHeader(m_data, at)) return false;
    const std::size_t unitAt = at + kRecordHeader;
    if (m_data.size() - unitAt < 6) return false;
    const std::uint32_t size = be32(m_data.data() + unitAt + 2);
    if (size < kRecordHeader) return false;
    const std::size_t left = m_data.size() - unitAt;
    if (size > left) return false;
    return size == left || isRecordHeader(m_data, unitAt + size);
}

bool SupRecordReader::isPlausibleUnit(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kRecordHeader) return false;
    const std::uint8_t* u = bytes.data();
    const std::uint32_t size = be32(u + 2);
    const std::uint32_t commandsAt = be32(u + 6);
    return u[0] == 0 && u[1] == 0 && size >= kRecordHeader && size <= bytes.size() &&
           commandsAt >= kRecordHeader && commandsAt <= size - 6;
}

bool SupRecordReader::isPlausibleHeader(std::size_t at) const {
    return isRecordHeader(m_data, at) && isPlausibleUnit(m_data.subspan(at + kRecordHeader));
}

std::size_t SupRecordReader::findHeader(std::size_t from) const {
    for (std::size_t at = from; at + kRecordHeader <= m_data.size(); ++at) {
        if (m_data[at] == 'S' && isPlausibleHeader(at)) return at;
    }
    return m_data.size();
}

bool SupRecordReader::next(UnitRecord& record) {
    record = UnitRecord{};
    const std::size_t end = m_data.size();
    if (m_position >= end) return false;
    record.offset = m_position;

    const bool afterUnit = m_afterUnit;
    m_afterUnit = false;
    if (!isRecordHeader(m_data, m_position)) {
        // A unit right behind the last one, without a record header of its
        // own (its packet had no PTS): it goes through with the last PTS.
        if (afterUnit && isPlausibleUnit(m_data.subspan(m_position))) {
            const std::size_t size = be32(m_data.data() + m_position + 2);
            record.pts = m_lastPts;
            record.unit = m_data.subspan(m_position, size);
            m_position += size;
            m_afterUnit = true;
            return true;
        }
        const std::size_t resume = findHeader(m_position + 1);
        record.stray = true;
        record.strayLength = resume - m_position;
        m_position = resume;
        return true;
    }

    record.pts = le32(m_data.data() + m_position + 2);
    m_lastPts = record.pts;
    const std::size_t unitAt = m_position + kRecordHeader;
    if (isChainedHeader(m_position)) {
        const std::size_t size = be32(m_data.data() + unitAt + 2);
        record.unit = m_data.subspan(unitAt, size);
        m_position = unitAt + size;
        m_afterUnit = true;
        return true;
    }

    // The unit's size does not lead to a record boundary: hand over what
    // there is of it, up to its size or to the next header that starts a
    // plausible unit, whichever comes first, and go on from there.
    const std::size_t resume = findHeader(unitAt);
    std::size_t unitEnd = resume;
    if (end - unitAt >= 6) {
        const std::size_t size = be32(m_data.data() + unitAt + 2);
        if (size <= end - unitAt) unitEnd = std::min(unitEnd, unitAt + size);
    }
    record.unit = m_data.subspan(unitAt, std::max(unitEnd, unitAt) - unitAt);
    m_position = unitEnd;
    m_afterUnit = record.unit.size() >= 6 && announcedUnitSize(record.unit) == record.unit.size();
    return true;
}

} // namespace vantrel::subpicture
