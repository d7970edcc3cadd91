#include "analysis/Int16Kernels.h"

#include <algorithm>
#include <cstdlib>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace twinfold::kernels {

namespace {

void addPlain(const std::int16_t* left, const std::int16_t* right, std::size_t n, Int16PairRange& g, Int16PairSums& s) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t x = left[i], y = right[i];
        g.loL = std::min(g.loL, x), g.hiL = std::max(g.hiL, x);
        g.loR = std::min(g.loR, y), g.hiR = std::max(g.hiR, y);
        g.largestSum = std::max(g.largestSum, std::abs(x + y));
        g.largestDifference = std::max(g.largestDifference, std::abs(x - y));
        s.sumL += x, s.sumR += y;
        s.squaresL += x * x, s.squaresR += y * y, s.dot += x * y;
    }
}

#if defined(__x86_64__)

// A 64-bit running total of unsigned 32-bit values, eight at a time. Adding
// the vector as four 64-bit lanes adds each even value plus each odd value
// times 2^32; the odd values are also summed on their own, which takes the
// 2^32 back out at the end. Two instructions a vector instead of three, and
// modulo 2^64 the total comes out exact.
struct WideTotal {
    __m256i lanes, odd;
};

[[gnu::target("avx2"), gnu::always_inline]] inline void addTo(WideTotal& t, __m256i v) {
    t.lanes = _mm256_add_epi64(t.lanes, v);
    t.odd = _mm256_add_epi64(t.odd, _mm256_srli_epi64(v, 32));
}

// The reductions below stay in registers: going through memory would lead
// the compiler to keep the loops' totals in memory too.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t sum64(__m256i v) {
    const __m128i x = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return std::uint64_t(_mm_cvtsi128_si64(x)) + std::uint64_t(_mm_extract_epi64(x, 1));
}

[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t totalOf(const WideTotal& t) {
    const __m256i odd = t.odd;
    return sum64(_mm256_add_epi64(_mm256_sub_epi64(t.lanes, _mm256_slli_epi64(odd, 32)), odd));
}

[[gnu::target("avx2"), gnu::always_inline]] inline std::int64_t sum32(__m256i v) {
    const __m256i wide = _mm256_add_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(v)),
                                          _mm256_cvtepi32_epi64(_mm256_extracti128_si256(v, 1)));
    return std::int64_t(sum64(wide));
}

enum class Fold { min16, max16, max32 };

template <Fold op>
[[gnu::target("avx2"), gnu::always_inline]] inline __m128i apply(__m128i a, __m128i b) {
    if constexpr (op == Fold::min16) return _mm_min_epi16(a, b);
    if constexpr (op == Fold::max16) return _mm_max_epi16(a, b);
    return _mm_max_epi32(a, b);
}

// The lanes of v folded into one: halves, then quarters, … of the register.
template <Fold op>
[[gnu::target("avx2"), gnu::always_inline]] inline std::int32_t fold(__m256i v) {
    __m128i x = apply<op>(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = apply<op>(x, _mm_shuffle_epi32(x, 0x4E));
    x = apply<op>(x, _mm_shuffle_epi32(x, 0xB1));
    if constexpr (op == Fold::max32) return _mm_cvtsi128_si32(x);
    return std::int16_t(_mm_extract_epi16(apply<op>(x, _mm_shufflelo_epi16(x, 0xB1)), 0));
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i splat16(std::int32_t v) {
    return _mm256_set1_epi16(std::int16_t(std::clamp<std::int32_t>(v, INT16_MIN, INT16_MAX)));
}

// Sixteen frames a step, in two loops over the frames given, so that each
// keeps its totals in registers. Interleaving the channels gives l + r and
// l − r in 32 bits, where they cannot overflow.
[[gnu::target("avx2")]] void widenRanges(const std::int16_t* left, const std::int16_t* right, std::size_t steps,
                                         Int16PairRange& g) {
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i plusMinus = _mm256_set1_epi32(std::int32_t(0xFFFF0001u));  // l · 1 + r · −1
    __m256i loL = splat16(g.loL), hiL = splat16(g.hiL), loR = splat16(g.loR), hiR = splat16(g.hiR);
    __m256i maxSum = _mm256_setzero_si256(), maxDifference = _mm256_setzero_si256();
    for (std::size_t k = 0; k < steps; ++k) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left + k * 16));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(right + k * 16));
        loL = _mm256_min_epi16(loL, x), hiL = _mm256_max_epi16(hiL, x);
        loR = _mm256_min_epi16(loR, y), hiR = _mm256_max_epi16(hiR, y);
        const __m256i lo = _mm256_unpacklo_epi16(x, y), hi = _mm256_unpackhi_epi16(x, y);
        maxSum = _mm256_max_epi32(maxSum, _mm256_abs_epi32(_mm256_madd_epi16(lo, ones)));
        maxSum = _mm256_max_epi32(maxSum, _mm256_abs_epi32(_mm256_madd_epi16(hi, ones)));
        maxDifference = _mm256_max_epi32(maxDifference, _mm256_abs_epi32(_mm256_madd_epi16(lo, plusMinus)));
        maxDifference = _mm256_max_epi32(maxDifference, _mm256_abs_epi32(_mm256_madd_epi16(hi, plusMinus)));
    }
    // The lanes started from the range given, so they replace it.
    g.loL = fold<Fold::min16>(loL), g.hiL = fold<Fold::max16>(hiL);
    g.loR = fold<Fold::min16>(loR), g.hiR = fold<Fold::max16>(hiR);
    g.largestSum = std::max(g.largestSum, fold<Fold::max32>(maxSum));
    g.largestDifference = std::max(g.largestDifference, fold<Fold::max32>(maxDifference));
}

// vpmaddwd does the multiplying: pairs of products added in 32 bits. A pair
// of squares reaches 2^31 only when both samples are −32768, which still
// fits as an unsigned value; a pair of cross products lies in
// [−2^31 + 2^16, 2^31], which the bias moves into the unsigned range. The
// channel sums stay in 32 bits for a bounded number of steps.
[[gnu::target("avx2")]] void addSums(const std::int16_t* left, const std::int16_t* right, std::size_t steps,
                                     Int16PairSums& s) {
    constexpr std::size_t stepsPerFlush = 16384;  // |sum| grows by at most 2^16 a step
    constexpr std::int32_t bias = 0x7FFF0000;
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i biasV = _mm256_set1_epi32(bias);
    WideTotal squaresL{}, squaresR{}, dot{};
    for (std::size_t k = 0; k < steps;) {
        const std::size_t end = std::min(steps, k + stepsPerFlush);
        __m256i sumL = _mm256_setzero_si256(), sumR = _mm256_setzero_si256();
        for (; k < end; ++k) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left + k * 16));
            const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(right + k * 16));
            sumL = _mm256_add_epi32(sumL, _mm256_madd_epi16(x, ones));
            sumR = _mm256_add_epi32(sumR, _mm256_madd_epi16(y, ones));
            addTo(squaresL, _mm256_madd_epi16(x, x));
            addTo(squaresR, _mm256_madd_epi16(y, y));
            addTo(dot, _mm256_add_epi32(_mm256_madd_epi16(x, y), biasV));
        }
        s.sumL += sum32(sumL), s.sumR += sum32(sumR);
    }
    s.squaresL += std::int64_t(totalOf(squaresL));
    s.squaresR += std::int64_t(totalOf(squaresR));
    // Eight biased pairs a step.
    s.dot += std::int64_t(totalOf(dot) - std::uint64_t(bias) * 8 * steps);
}

std::size_t addWide(const std::int16_t* left, const std::int16_t* right, std::size_t n, Int16PairRange& g,
                    Int16PairSums& s) {
    const std::size_t steps = n / 16;
    if (steps == 0) return 0;
    widenRanges(left, right, steps, g);
    addSums(left, right, steps, s);
    return steps * 16;
}

bool wide() {
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    return hasAvx2;
}
#else
bool wide() { return false; }
std::size_t addWide(const std::int16_t*, const std::int16_t*, std::size_t, Int16PairRange&, Int16PairSums&) {
    return 0;
}
#endif

}  // namespace

void addInt16Pair(const std::int16_t* left, const std::int16_t* right, std::size_t n, Int16PairRange& range,
                  Int16PairSums& sums) {
    const std::size_t done = wide() ? addWide(left, right, n, range, sums) : 0;
    addPlain(left + done, right + done, n - done, range, sums);
}

}  // namespace twinfold::kernels
