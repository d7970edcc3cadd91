#include "analysis/SampleKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace twinfold::kernels {

namespace {

typedef float Vec4 __attribute__((vector_size(16)));
typedef int Int4 __attribute__((vector_size(16)));

// Unaligned load of four floats.
Vec4 load4(const float* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

Vec4 magnitude(Vec4 v) {
    Int4 bits;
    std::memcpy(&bits, &v, sizeof v);
    bits &= 0x7FFFFFFF;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Lane-wise maximum that keeps `m` when `a` is NaN.
Vec4 larger(Vec4 a, Vec4 m) { return a > m ? a : m; }

float largestLane(Vec4 m) {
    return std::max(std::max(m[0], m[1]), std::max(m[2], m[3]));
}

// Largest magnitude of f(i) over i in [0, n), 16 values per step in four
// independent accumulators (one would wait on its own latency each step).
template <typename Load>
float maxMagnitudeOf(std::size_t n, Load value) {
    Vec4 m0 = {}, m1 = {}, m2 = {}, m3 = {};
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        m0 = larger(magnitude(value(i)), m0);
        m1 = larger(magnitude(value(i + 4)), m1);
        m2 = larger(magnitude(value(i + 8)), m2);
        m3 = larger(magnitude(value(i + 12)), m3);
    }
    for (; i + 4 <= n; i += 4) m0 = larger(magnitude(value(i)), m0);
    float m = largestLane(larger(larger(m0, m1), larger(m2, m3)));
    for (; i < n; ++i) {
        const float a = std::fabs(value.scalar(i));
        m = a > m ? a : m;
    }
    return m;
}

struct Samples {
    const float* x;
    Vec4 operator()(std::size_t i) const { return load4(x + i); }
    float scalar(std::size_t i) const { return x[i]; }
};

struct SampleSums {
    const float *a, *b;
    Vec4 operator()(std::size_t i) const { return load4(a + i) + load4(b + i); }
    float scalar(std::size_t i) const { return a[i] + b[i]; }
};

}  // namespace

float maxMagnitude(const float* x, std::size_t n) { return maxMagnitudeOf(n, Samples{x}); }

float maxMagnitudeOfSum(const float* a, const float* b, std::size_t n) {
    return maxMagnitudeOf(n, SampleSums{a, b});
}

bool bitIdentical(const float* a, const float* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n * sizeof(float)) == 0;
}

namespace {

// Lanes 0..7 of a pair of four-lane vectors, combined in one fixed order.
template <typename Vec>
float combineLanes(const Vec (&v)[2]) {
    Vec s = v[0] + v[1];
    return (s[0] + s[1]) + (s[2] + s[3]);
}

}  // namespace

void StereoLaneSums::Level::addTo(Level& total) const {
    for (int h = 0; h < 2; ++h) {
        total.sumL[h] += sumL[h], total.sumR[h] += sumR[h];
        total.sqL[h] += sqL[h], total.sqR[h] += sqR[h], total.dot[h] += dot[h];
    }
}

void StereoLaneSums::Level::mirrorLeft() {
    for (int h = 0; h < 2; ++h) sumR[h] = sumL[h], sqR[h] = sqL[h], dot[h] = sqL[h];
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
    Level& b = block_;
    // Local copies so the accumulators live in registers for the loop.
    Vec sl0 = b.sumL[0], sl1 = b.sumL[1], sr0 = b.sumR[0], sr1 = b.sumR[1];
    Vec ql0 = b.sqL[0], ql1 = b.sqL[1], qr0 = b.sqR[0], qr1 = b.sqR[1];
    Vec d0 = b.dot[0], d1 = b.dot[1];
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        Vec x = load4(left + i), x1 = load4(left + i + 4);
        sl0 += x, ql0 += x * x, sl1 += x1, ql1 += x1 * x1;
        if constexpr (!identical) {
            Vec y = load4(right + i), y1 = load4(right + i + 4);
            sr0 += y, qr0 += y * y, d0 += x * y, sr1 += y1, qr1 += y1 * y1, d1 += x1 * y1;
        }
    }
    b.sumL[0] = sl0, b.sumL[1] = sl1, b.sumR[0] = sr0, b.sumR[1] = sr1;
    b.sqL[0] = ql0, b.sqL[1] = ql1, b.sqR[0] = qr0, b.sqR[1] = qr1;
    b.dot[0] = d0, b.dot[1] = d1;
    // The chunk's last few samples go to lanes 0, 1, … like any others.
    for (std::size_t k = 0; i + k < n; ++k) {
        const float x = left[i + k], y = right[i + k];
        const std::size_t h = k / 4, lane = k % 4;
        b.sumL[h][lane] += x, b.sqL[h][lane] += x * x;
        if constexpr (!identical) b.sumR[h][lane] += y, b.sqR[h][lane] += y * y, b.dot[h][lane] += x * y;
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

ChunkSums StereoLaneSums::takeChunk() {
    stopMirroring();
    block_.addTo(group_);
    group_.addTo(chunk_);
    const Level& c = chunk_;
    ChunkSums sums{combineLanes(c.sumL), combineLanes(c.sumR), combineLanes(c.sqL), combineLanes(c.sqR),
                   combineLanes(c.dot)};
    *this = StereoLaneSums{};
    return sums;
}

}  // namespace twinfold::kernels
