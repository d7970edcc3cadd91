#include "conversion/SampleScaling.h"

#include <bit>
#include <cmath>
#include <type_traits>

namespace twinfold {

namespace {

// The grid of one depth, as floats: x · top lands on integers, clipped to
// [lo, hi]. hi is the largest float not above 2^(bits−1) − 1, which for
// 32 bits is 2^31 − 128 (2^31 − 1 has no float); anything above it there is
// 2^31 or more and becomes the largest integer.
struct Grid {
    float top, lo, hi;
    unsigned shift;
};

Grid gridFor(int bits) {
    const float top = std::ldexp(1.0f, bits - 1);
    return {top, -top, bits < 32 ? top - 1.0f : top - 128.0f, unsigned(32 - bits)};
}

constexpr std::uint32_t kSign = 0x80000000u;
constexpr std::uint32_t kTwoPow23 = 0x4B000000u;  // 2^23 as a float's bits

// Rounding: adding and removing ±2^23 leaves the nearest integer (ties to
// even) of any float of magnitude up to 2^23, in single precision and exactly
// as the writer's double-precision rounding would; floats of 2^23 and more are
// integers already and, on a 32-bit grid (Wide), skip the step. Scaling by
// `top` is exact, so clipping and rounding see the same value the writer does.
//
// Written so that g++ vectorises it at SSE2: the bounds arrive at run time
// (constant bounds let it split the loop into branches around the rounding),
// selections are bit masks, and NaN is cleared on the bit pattern. CleanNaN is
// off only where no NaN can arise: integers times a finite factor.
template <bool CleanNaN, bool Wide, typename In>
void scaleLoop(const In* in, std::size_t count, float factor, Grid grid, std::int32_t* __restrict out) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i) {
        float y = float(in[i]) * factor;
        if constexpr (CleanNaN) {
            std::uint32_t pattern = std::bit_cast<std::uint32_t>(y);
            pattern &= (pattern & ~kSign) <= 0x7F800000u ? 0xFFFFFFFFu : 0u;
            y = std::bit_cast<float>(pattern);
        }
        const float x = y * grid.top;
        float clipped = x < grid.lo ? grid.lo : x;
        clipped = clipped > grid.hi ? grid.hi : clipped;
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(clipped);
        std::uint32_t magic = (bits & kSign) | kTwoPow23;
        if constexpr (Wide) magic &= std::uint32_t(-std::int32_t((bits & ~kSign) < kTwoPow23));
        const float shiftBy = std::bit_cast<float>(magic);
        std::int32_t value = std::int32_t((clipped + shiftBy) - shiftBy);
        if constexpr (Wide) {
            const std::int32_t over = -std::int32_t(x > grid.hi);
            value = (0x7FFFFFFF & over) | (value & ~over);
        }
        out[i] = std::int32_t(std::uint32_t(value) << grid.shift);
    }
}

template <typename In>
void scaleAny(const In* in, std::size_t count, float factor, int bits, std::int32_t* out) {
    const Grid grid = gridFor(bits);
    const bool clean = !std::is_integral_v<In> || !std::isfinite(factor);
    if (bits < 32) {
        clean ? scaleLoop<true, false>(in, count, factor, grid, out)
              : scaleLoop<false, false>(in, count, factor, grid, out);
    } else {
        clean ? scaleLoop<true, true>(in, count, factor, grid, out)
              : scaleLoop<false, true>(in, count, factor, grid, out);
    }
}

}  // namespace

void scaleToGrid(const float* in, std::size_t count, float factor, int bits, std::int32_t* out) {
    scaleAny(in, count, factor, bits, out);
}

void scaleToGrid(const std::int32_t* in, std::size_t count, float factor, int bits, std::int32_t* out) {
    scaleAny(in, count, factor, bits, out);
}

}  // namespace twinfold
