#include "analysis/SampleKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace twinfold::kernels {

namespace {

// GCC vector types: the loops below spell out their lanes, so the compiler
// keeps every accumulator in a register and the order of additions is fixed
// by the code, not by how the compiler chose to vectorise.
typedef float Float4 __attribute__((vector_size(16)));
typedef int Int4 __attribute__((vector_size(16)));
typedef float Float8 __attribute__((vector_size(32)));
typedef int Int8 __attribute__((vector_size(32)));

// Largest |a[i]| (or |a[i] + b[i]| with `pairSums`) over whole groups of four
// vectors; `done` is where the caller takes over. Four accumulators, so the
// maxima do not wait on one another.
template <typename V, typename I, bool pairSums>
[[gnu::always_inline]] inline float largestMagnitude(const float* a, const float* b, std::size_t n, std::size_t& done) {
    constexpr std::size_t width = sizeof(V) / sizeof(float);
    const I absMask = I{} + 0x7FFFFFFF;
    V m[4] = {};
    std::size_t i = 0;
    for (; i + 4 * width <= n; i += 4 * width) {
        for (std::size_t p = 0; p < 4; ++p) {
            V x, y;
            std::memcpy(&x, a + i + p * width, sizeof x);
            if constexpr (pairSums) std::memcpy(&y, b + i + p * width, sizeof y), x += y;
            I bits;
            std::memcpy(&bits, &x, sizeof x);
            bits &= absMask;
            std::memcpy(&x, &bits, sizeof x);
            m[p] = x > m[p] ? x : m[p];  // a NaN is never larger: it is skipped
        }
    }
    done = i;
    float largest = 0;
    for (std::size_t p = 0; p < 4; ++p)
        for (std::size_t k = 0; k < width; ++k) largest = std::max(largest, m[p][k]);
    return largest;
}

// Adds whole groups of 8 frames into the 8 lanes of each sum, held as
// 8 / width vectors of V; returns how many frames it took.
template <typename V, bool identical>
[[gnu::always_inline]] inline std::size_t addLanes(float (&lane)[5][8], const float* l, const float* r, std::size_t n) {
    constexpr std::size_t width = sizeof(V) / sizeof(float), parts = 8 / width;
    V acc[5][parts];
    std::memcpy(acc, lane, sizeof acc);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (std::size_t p = 0; p < parts; ++p) {
            V x, y;
            std::memcpy(&x, l + i + p * width, sizeof x);
            acc[0][p] += x, acc[2][p] += x * x;
            if constexpr (!identical) {
                std::memcpy(&y, r + i + p * width, sizeof y);
                acc[1][p] += y, acc[3][p] += y * y, acc[4][p] += x * y;
            }
        }
    }
    std::memcpy(lane, acc, sizeof acc);
    return i;
}

float largestMagnitudeNarrow(const float* a, const float* b, std::size_t n, std::size_t& done) {
    return b ? largestMagnitude<Float4, Int4, true>(a, b, n, done)
             : largestMagnitude<Float4, Int4, false>(a, b, n, done);
}

template <bool identical>
std::size_t addLanesNarrow(float (&lane)[5][8], const float* l, const float* r, std::size_t n) {
    return addLanes<Float4, identical>(lane, l, r, n);
}

#if defined(__x86_64__) || defined(__i386__)
// AVX2 builds of the same loops. No FMA: a fused multiply-add rounds once
// instead of twice and would change the sums from one processor to another.
[[gnu::target("avx2,no-fma")]] float largestMagnitudeWide(const float* a, const float* b, std::size_t n,
                                                          std::size_t& done) {
    return b ? largestMagnitude<Float8, Int8, true>(a, b, n, done)
             : largestMagnitude<Float8, Int8, false>(a, b, n, done);
}

template <bool identical>
[[gnu::target("avx2,no-fma")]] std::size_t addLanesWide(float (&lane)[5][8], const float* l, const float* r,
                                                        std::size_t n) {
    return addLanes<Float8, identical>(lane, l, r, n);
}

bool wide() {
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    return hasAvx2;
}
#else
bool wide() { return false; }
float largestMagnitudeWide(const float* a, const float* b, std::size_t n, std::size_t& done) {
    return largestMagnitudeNarrow(a, b, n, done);
}
template <bool identical>
std::size_t addLanesWide(float (&lane)[5][8], const float* l, const float* r, std::size_t n) {
    return addLanesNarrow<identical>(lane, l, r, n);
}
#endif

// `b` null: largest |a[i]|; otherwise largest |a[i] + b[i]|.
float largestMagnitude(const float* a, const float* b, std::size_t n) {
    std::size_t i = 0;
    float m = wide() ? largestMagnitudeWide(a, b, n, i) : largestMagnitudeNarrow(a, b, n, i);
    for (; i < n; ++i) {
        const float x = std::fabs(b ? a[i] + b[i] : a[i]);
        m = x > m ? x : m;
    }
    return m;
}

}  // namespace

float maxMagnitude(const float* x, std::size_t n) { return largestMagnitude(x, nullptr, n); }

float maxMagnitudeOfSum(const float* a, const float* b, std::size_t n) { return largestMagnitude(a, b, n); }

__attribute__((target_clones("avx2", "default"))) void extendRange(const float* x, std::size_t n, float& lo,
                                                                   float& hi) {
    float low = lo, high = hi;
#pragma omp simd reduction(min : low) reduction(max : high)
    for (std::size_t i = 0; i < n; ++i) {
        low = x[i] < low ? x[i] : low;
        high = x[i] > high ? x[i] : high;
    }
    lo = low, hi = high;
}

// One loop for all six figures, so each sample is loaded once; built for
// AVX2 too where the processor has it (min, max and |x| are exact, so
// either build gives the same figures).
__attribute__((target_clones("avx2", "default"))) void extendPairRange(const float* a, const float* b, std::size_t n,
                                                                       PairRange& range) {
    float loA = range.loA, hiA = range.hiA, loB = range.loB, hiB = range.hiB, s = range.sum, d = range.difference;
#pragma omp simd reduction(min : loA, loB) reduction(max : hiA, hiB, s, d)
    for (std::size_t i = 0; i < n; ++i) {
        const float x = a[i], y = b[i];
        loA = x < loA ? x : loA, hiA = x > hiA ? x : hiA;
        loB = y < loB ? y : loB, hiB = y > hiB ? y : hiB;
        const float plus = std::fabs(x + y), minus = std::fabs(x - y);
        s = plus > s ? plus : s, d = minus > d ? minus : d;
    }
    range = {loA, hiA, loB, hiB, s, d};
}

std::size_t firstDifference(const float* a, const float* b, std::size_t n) {
    if (bitIdentical(a, b, n)) return n;
    std::size_t i = 0;
    while (std::memcmp(a + i, b + i, sizeof(float)) == 0) ++i;
    return i;
}

bool bitIdentical(const float* a, const float* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n * sizeof(float)) == 0;
}

void StereoLaneSums::Level::addTo(Level& total) const {
    for (std::size_t s = 0; s < 5; ++s)
        for (std::size_t k = 0; k < lanes; ++k) total.lane[s][k] += lane[s][k];
}

void StereoLaneSums::Level::mirrorLeft() {
    std::copy_n(lane[0], lanes, lane[1]);  // sum of right = sum of left
    std::copy_n(lane[2], lanes, lane[3]);  // squares of right = squares of left
    std::copy_n(lane[2], lanes, lane[4]);  // left × right = left × left
}

void StereoLaneSums::stopMirroring() {
    if (!mirrored_) return;
    block_.mirrorLeft(), group_.mirrorLeft(), chunk_.mirrorLeft();
    mirrored_ = false;
}

void StereoLaneSums::add(const float* left, const float* right, std::size_t n) {
    stopMirroring();
    addRun<false>(left, right, n);
}

void StereoLaneSums::addIdentical(const float* samples, std::size_t n) {
    if (mirrored_) {
        addRun<true>(samples, samples, n);
    } else {
        addRun<false>(samples, samples, n);
    }
}

template <bool identical>
void StereoLaneSums::addRun(const float* left, const float* right, std::size_t n) {
    while (n > 0) {
        const std::size_t m = std::min(n, blockFrames - blockFill_);
        addToBlock<identical>(left, right, m);
        blockFill_ += m, left += m, right += m, n -= m;
        if (blockFill_ == blockFrames) closeBlock();
    }
}

template <bool identical>
void StereoLaneSums::addToBlock(const float* left, const float* right, std::size_t n) {
    auto& lane = block_.lane;
    std::size_t i =
        wide() ? addLanesWide<identical>(lane, left, right, n) : addLanesNarrow<identical>(lane, left, right, n);
    // The chunk's last few samples go to lanes 0, 1, … like any others.
    for (std::size_t k = 0; i < n; ++i, ++k) {
        const float x = left[i], y = right[i];
        lane[0][k] += x, lane[2][k] += x * x;
        if constexpr (!identical) lane[1][k] += y, lane[3][k] += y * y, lane[4][k] += x * y;
    }
}

void StereoLaneSums::closeBlock() {
    block_.addTo(group_);
    block_ = Level{};
    blockFill_ = 0;
    if (++groupFill_ == blocksPerGroup) {
        group_.addTo(chunk_);
        group_ = Level{};
        groupFill_ = 0;
    }
}

BlockSums StereoLaneSums::takeChunk() {
    stopMirroring();
    block_.addTo(group_);
    group_.addTo(chunk_);
    float sum[5];
    for (std::size_t s = 0; s < 5; ++s) {
        const float* v = chunk_.lane[s];
        sum[s] = ((v[0] + v[4]) + (v[1] + v[5])) + ((v[2] + v[6]) + (v[3] + v[7]));
    }
    *this = StereoLaneSums{};
    return {sum[0], sum[1], sum[2], sum[3], sum[4]};
}

}  // namespace twinfold::kernels
