// Searches for the start-code prefix 00 00 01 with 16-byte vector compares
// (SSE2, present on every x86-64; a plain loop elsewhere). Used where the
// engine passes over bytes that only matter when they complete a start code:
// the bytes between packets, and video payload when frames are counted.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrel::scan {

// The first k in [from, n) with p[k-3] = 0, p[k-2] = 0 and p[k-1] = 1 (so p[k]
// is the byte after a 00 00 01 prefix); n when there is none. from >= 3.
inline std::size_t nextAfterPrefix(const std::uint8_t* p, std::size_t from, std::size_t n) {
    std::size_t k = from;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    while (k + 16 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k - 3));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k - 2));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k - 1));
        const __m128i hit = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(b, zero)),
                                          _mm_cmpeq_epi8(c, one));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return k + static_cast<std::size_t>(__builtin_ctz(mask));
        k += 16;
    }
#endif
    for (; k < n; ++k)
        if (p[k - 1] == 1 && p[k - 2] == 0 && p[k - 3] == 0) return k;
    return n;
}

// The number of k in [3, n) with p[k-3..k] = 00 00 01 last.
inline std::uint32_t countCodes(const std::uint8_t* p, std::size_t n, std::uint8_t last) {
    std::uint32_t found = 0;
    std::size_t k = 3;
#if defined(__SSE2__)
    // Bytes 01 last side by side are rare in coded video; only those places
    // are looked at further.
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    const __m128i tail = _mm_set1_epi8(static_cast<char>(last));
    while (k + 32 <= n) {
        const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k - 1));
        const __m128i d0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 15));
        const __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 16));
        const __m128i h0 = _mm_and_si128(_mm_cmpeq_epi8(c0, one), _mm_cmpeq_epi8(d0, tail));
        const __m128i h1 = _mm_and_si128(_mm_cmpeq_epi8(c1, one), _mm_cmpeq_epi8(d1, tail));
        if (_mm_movemask_epi8(_mm_or_si128(h0, h1)) != 0) {
            const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k - 3));
            const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k - 2));
            const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 13));
            const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 14));
            const __m128i z0 = _mm_and_si128(_mm_cmpeq_epi8(a0, zero), _mm_cmpeq_epi8(b0, zero));
            const __m128i z1 = _mm_and_si128(_mm_cmpeq_epi8(a1, zero), _mm_cmpeq_epi8(b1, zero));
            const unsigned m0 = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(h0, z0)));
            const unsigned m1 = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(h1, z1)));
            found += static_cast<std::uint32_t>(__builtin_popcount(m0) + __builtin_popcount(m1));
        }
        k += 32;
    }
#endif
    for (; k < n; ++k)
        if (p[k] == last && p[k - 1] == 1 && p[k - 2] == 0 && p[k - 3] == 0) ++found;
    return found;
}

} // namespace vantrel::scan
