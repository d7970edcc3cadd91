#include "analysis/SampleKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace twinfold::kernels {

float maxMagnitude(const float* x, std::size_t n) {
    float m = 0;
#pragma omp simd reduction(max : m)
    for (std::size_t i = 0; i < n; ++i) {
        float a = std::fabs(x[i]);
        m = a > m ? a : m;
    }
    return m;
}

float maxMagnitudeOfSum(const float* a, const float* b, std::size_t n) {
    float m = 0;
#pragma omp simd reduction(max : m)
    for (std::size_t i = 0; i < n; ++i) {
        float s = std::fabs(a[i] + b[i]);
        m = s > m ? s : m;
    }
    return m;
}

bool bitIdentical(const float* a, const float* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n * sizeof(float)) == 0;
}

namespace {

// Unaligned load of four floats.
template <typename Vec>
Vec load4(const float* p) {
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

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

void StereoLaneSums::add(const float* left, const float* right, std::size_t n) {
    while (n > 0) {
        const std::size_t m = std::min(n, blockFrames - blockFill_);
        addToBlock(left, right, m);
        blockFill_ += m, left += m, right += m, n -= m;
        if (blockFill_ == blockFrames) closeBlock();
    }
}

void StereoLaneSums::addToBlock(const float* left, const float* right, std::size_t n) {
    Level& b = block_;
    // Local copies so the accumulators live in registers for the loop.
    Vec sl0 = b.sumL[0], sl1 = b.sumL[1], sr0 = b.sumR[0], sr1 = b.sumR[1];
    Vec ql0 = b.sqL[0], ql1 = b.sqL[1], qr0 = b.sqR[0], qr1 = b.sqR[1];
    Vec d0 = b.dot[0], d1 = b.dot[1];
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        Vec x = load4<Vec>(left + i), y = load4<Vec>(right + i);
        sl0 += x, sr0 += y, ql0 += x * x, qr0 += y * y, d0 += x * y;
        x = load4<Vec>(left + i + 4), y = load4<Vec>(right + i + 4);
        sl1 += x, sr1 += y, ql1 += x * x, qr1 += y * y, d1 += x * y;
    }
    b.sumL[0] = sl0, b.sumL[1] = sl1, b.sumR[0] = sr0, b.sumR[1] = sr1;
    b.sqL[0] = ql0, b.sqL[1] = ql1, b.sqR[0] = qr0, b.sqR[1] = qr1;
    b.dot[0] = d0, b.dot[1] = d1;
    // The chunk's last few samples go to lanes 0, 1, … like any others.
    for (std::size_t k = 0; i + k < n; ++k) {
        const float x = left[i + k], y = right[i + k];
        const std::size_t h = k / 4, lane = k % 4;
        b.sumL[h][lane] += x, b.sumR[h][lane] += y;
        b.sqL[h][lane] += x * x, b.sqR[h][lane] += y * y, b.dot[h][lane] += x * y;
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
    block_.addTo(group_);
    group_.addTo(chunk_);
    const Level& c = chunk_;
    ChunkSums sums{combineLanes(c.sumL), combineLanes(c.sumR), combineLanes(c.sqL), combineLanes(c.sqR),
                   combineLanes(c.dot)};
    *this = StereoLaneSums{};
    return sums;
}

}  // namespace twinfold::kernels
