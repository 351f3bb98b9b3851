// Bits read most significant first, as codec headers are written: fields of a
// fixed width and, for H.264, Exp-Golomb codes. A read past the end gives zero
// bits and sets overrun(), so that a parser reads a whole header and checks
// once. It reads the caller's bytes in place (no copy, no allocation).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel::codec {

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_bits(size * 8) {}

    // The next n bits (n <= 32) as a number.
    std::uint32_t u(int n) {
        std::uint32_t value = 0;
        for (int i = 0; i < n; ++i, ++m_position) {
            std::uint32_t bit = 0;
            if (m_position < m_bits)
                bit = (m_data[m_position >> 3] >> (7 - (m_position & 7))) & 1U;
            else
                m_overrun = true;
            value = value << 1 | bit;
        }
        return value;
    }
    bool flag() { return u(1) != 0; }
    // An unsigned Exp-Golomb code; a code longer than 32 bits counts as an overrun.
    std::uint32_t ue() {
        int zeros = 0;
        while (u(1) == 0) {
            if (++zeros > 31 || m_overrun) {
                m_overrun = true;
                return 0;
            }
        }
        return zeros == 0 ? 0 : (1U << zeros) - 1 + u(zeros);
    }
    // A signed Exp-Golomb code.
    std::int32_t se() {
        const std::uint32_t k = ue();
        return (k & 1) != 0 ? static_cast<std::int32_t>((k + 1) / 2) : -static_cast<std::int32_t>(k / 2);
    }
    void alignToByte() { m_position = (m_position + 7) & ~static_cast<std::size_t>(7); }
    bool overrun() const { return m_overrun; }

private:
    const std::uint8_t* m_data;
    std::size_t m_bits;
    std::size_t m_position = 0;
    bool m_overrun = false;
};

} // namespace vantrel::codec
