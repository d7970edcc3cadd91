#pragma once

#include <cstddef>
#include <cstdint>

namespace twinfold::kernels {

// Everything the stereo tests and their evidence want of 16-bit integer
// samples, in integers: the sums are exact (a product of two samples fits
// in 32 bits, a whole file's sum in 64), so unlike float sums they do not
// depend on how the file is cut into runs or on the order of the additions.
struct Int16PairSums {
    std::int64_t sumL = 0, sumR = 0, squaresL = 0, squaresR = 0, dot = 0;
};

// The range of each channel over the frames given, and the largest |l + r|
// and |l − r|. The ranges start empty (lo above hi) and only widen.
struct Int16PairRange {
    std::int32_t loL = INT16_MAX, hiL = INT16_MIN, loR = INT16_MAX, hiR = INT16_MIN;
    std::int32_t largestSum = 0, largestDifference = 0;
};

// Adds n frames of two channels to `sums` and widens `range`, in one pass.
void addInt16Pair(const std::int16_t* left, const std::int16_t* right, std::size_t n, Int16PairRange& range,
                  Int16PairSums& sums);

}  // namespace twinfold::kernels
