#pragma once

#include <cstddef>

namespace twinfold::kernels {

// Largest |x[i]|; 0 for an empty run. NaN samples are ignored.
float maxMagnitude(const float* x, std::size_t n);

// Largest |a[i] + b[i]|, each sum formed in float; 0 for an empty run.
float maxMagnitudeOfSum(const float* a, const float* b, std::size_t n);

// Whether the two runs hold the same bytes (so +0 and -0 differ).
bool bitIdentical(const float* a, const float* b, std::size_t n);

// The five float sums of one chunk that the panned-mono test needs.
struct ChunkSums {
    float sumL = 0, sumR = 0, sumSquaresL = 0, sumSquaresR = 0, dot = 0;
};

// Float sums over one chunk, fed in consecutive runs. Sample i of the chunk
// always lands in lane i mod `lanes`, and the lanes are combined in a fixed
// order, so the chunk's sums are the same however the chunk was split into
// runs — provided every run but the chunk's last is a multiple of `lanes`.
// Independent lanes are also what lets the additions run as vector code.
class StereoLaneSums {
public:
    static constexpr std::size_t lanes = 8;

    void add(const float* left, const float* right, std::size_t n);
    // The chunk's sums; the lanes restart from zero for the next chunk.
    ChunkSums takeChunk();

private:
    typedef float Vec __attribute__((vector_size(16)));
    // [0] holds lanes 0–3, [1] lanes 4–7.
    Vec sumL_[2] = {}, sumR_[2] = {}, sqL_[2] = {}, sqR_[2] = {}, dot_[2] = {};
};

}  // namespace twinfold::kernels
