#include "analysis/SampleKernels.h"

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

void StereoLaneSums::add(const float* left, const float* right, std::size_t n) {
    // Local copies so the accumulators live in registers for the loop.
    Vec sl0 = sumL_[0], sl1 = sumL_[1], sr0 = sumR_[0], sr1 = sumR_[1];
    Vec ql0 = sqL_[0], ql1 = sqL_[1], qr0 = sqR_[0], qr1 = sqR_[1];
    Vec d0 = dot_[0], d1 = dot_[1];
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        Vec a = load4<Vec>(left + i), b = load4<Vec>(right + i);
        sl0 += a, sr0 += b, ql0 += a * a, qr0 += b * b, d0 += a * b;
        a = load4<Vec>(left + i + 4), b = load4<Vec>(right + i + 4);
        sl1 += a, sr1 += b, ql1 += a * a, qr1 += b * b, d1 += a * b;
    }
    sumL_[0] = sl0, sumL_[1] = sl1, sumR_[0] = sr0, sumR_[1] = sr1;
    sqL_[0] = ql0, sqL_[1] = ql1, sqR_[0] = qr0, sqR_[1] = qr1;
    dot_[0] = d0, dot_[1] = d1;
    // The chunk's last few samples go to lanes 0, 1, … like any others.
    for (std::size_t k = 0; i + k < n; ++k) {
        float a = left[i + k], b = right[i + k];
        Vec* half[5] = {&sumL_[k / 4], &sumR_[k / 4], &sqL_[k / 4], &sqR_[k / 4], &dot_[k / 4]};
        float add[5] = {a, b, a * a, b * b, a * b};
        for (int s = 0; s < 5; ++s) (*half[s])[k % 4] += add[s];
    }
}

ChunkSums StereoLaneSums::takeChunk() {
    ChunkSums sums{combineLanes(sumL_), combineLanes(sumR_), combineLanes(sqL_), combineLanes(sqR_),
                   combineLanes(dot_)};
    *this = StereoLaneSums{};
    return sums;
}

}  // namespace twinfold::kernels
