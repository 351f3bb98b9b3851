#include "frame_counter.h"

#include "packets/start_code_scan.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VANTREL_HAVE_AVX2_PATH 1
#endif

namespace vantrel {

namespace {

#if defined(VANTREL_HAVE_AVX2_PATH)
__attribute__((target("avx2"))) inline __m256i load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The number of k in [3, n) with p[k-3..k] = 00 00 01 last, 64 places at a
// time, for processors with AVX2 (chosen at run time).
__attribute__((target("avx2"))) std::uint32_t countCodesAvx2(const std::uint8_t* p, std::size_t n,
                                                             std::uint8_t last) {
    std::uint32_t found = 0;
    std::size_t k = 3;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi8(1);
    const __m256i tail = _mm256_set1_epi8(static_cast<char>(last));
    while (k + 64 <= n) {
        const __m256i h0 = _mm256_and_si256(_mm256_cmpeq_epi8(load32(p + k - 1), one),
                                            _mm256_cmpeq_epi8(load32(p + k), tail));
        const __m256i h1 = _mm256_and_si256(_mm256_cmpeq_epi8(load32(p + k + 31), one),
                                            _mm256_cmpeq_epi8(load32(p + k + 32), tail));
        const __m256i any = _mm256_or_si256(h0, h1);
        if (!_mm256_testz_si256(any, any)) {
            const __m256i z0 = _mm256_and_si256(_mm256_cmpeq_epi8(load32(p + k - 3), zero),
                                                _mm256_cmpeq_epi8(load32(p + k - 2), zero));
            const __m256i z1 = _mm256_and_si256(_mm256_cmpeq_epi8(load32(p + k + 29), zero),
                                                _mm256_cmpeq_epi8(load32(p + k + 30), zero));
            const auto m0 = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(h0, z0)));
            const auto m1 = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(h1, z1)));
            found += static_cast<std::uint32_t>(__builtin_popcount(m0) + __builtin_popcount(m1));
        }
        k += 64;
    }
    // The rest (fewer than 64 places) as the 16-byte search counts them, from
    // a pointer that keeps the three bytes before k in reach.
    if (k < n) found += scan::countCodes(p + k - 3, n - k + 3, last);
    return found;
}

const bool kAvx2 = __builtin_cpu_supports("avx2");
#endif

std::uint32_t countCodes(const std::uint8_t* p, std::size_t n, std::uint8_t last) {
#if defined(VANTREL_HAVE_AVX2_PATH)
    if (kAvx2) return countCodesAvx2(p, n, last);
#endif
    return scan::countCodes(p, n, last);
}

} // namespace

std::uint32_t countFrameStarts(const std::uint8_t* run, std::size_t length, std::uint32_t code) {
    if ((code & 0xFFFFFF00u) != 0x00000100u) {
        // Not a start code: the register, byte by byte.
        std::uint32_t reg = 0;
        std::uint32_t found = 0;
        for (std::size_t i = 0; i < length; ++i) {
            reg = (reg << 8) | run[i];
            if (reg == code) ++found;
        }
        return found;
    }
    // The register starts at zero, so the run's first bytes complete the code
    // with the zeros in front of them: 01 xx at the start, or 00 01 xx.
    const auto last = static_cast<std::uint8_t>(code);
    std::uint32_t found = 0;
    if (length >= 2 && run[0] == 1 && run[1] == last) ++found;
    if (length >= 3 && run[0] == 0 && run[1] == 1 && run[2] == last) ++found;
    if (length > 3) found += countCodes(run, length, last);
    return found;
}

} // namespace vantrel
