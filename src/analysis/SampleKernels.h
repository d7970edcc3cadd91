#pragma once

#include <cstddef>

namespace twinfold::kernels {

// Largest |x[i]|; 0 for an empty run. NaN samples are ignored.
float maxMagnitude(const float* x, std::size_t n);

// Largest |a[i] + b[i]|, each sum formed in float; 0 for an empty run.
float maxMagnitudeOfSum(const float* a, const float* b, std::size_t n);

// Widens [lo, hi] to take in every sample of the run; NaN samples are ignored.
void extendRange(const float* x, std::size_t n, float& lo, float& hi);

// Everything the evidence wants of a run of two channels, in one pass:
// each channel's range, and the largest |a[i] + b[i]| and |a[i] − b[i]|.
// Every figure only grows; NaN samples are ignored.
struct PairRange {
    float loA, hiA, loB, hiB;
    float sum = 0, difference = 0;
};
void extendPairRange(const float* a, const float* b, std::size_t n, PairRange& range);

// The first index at which the runs' bytes differ; n when they hold the same.
std::size_t firstDifference(const float* a, const float* b, std::size_t n);

// Whether the two runs hold the same bytes (so +0 and -0 differ).
bool bitIdentical(const float* a, const float* b, std::size_t n);

// The five float sums of one chunk that the panned-mono test needs.
struct BlockSums {
    float sumL = 0, sumR = 0, sumSquaresL = 0, sumSquaresR = 0, dot = 0;
};

// Float sums over one chunk, fed in consecutive runs.
//
// Precision: a plain running float sum over a million samples drifts by up
// to a few parts in a thousand (every addition rounds against a growing
// total), which is enough to give a constant channel a sizeable "variance".
// So each sum is built in three float levels: 8 lanes over blocks of 1024
// frames, 32 blocks to a group, groups to the chunk. That keeps the error
// near a few parts in a million while every sum stays a float sum.
//
// Determinism: sample i of a chunk always lands in lane i mod 8 of block
// i / 1024, and every level is combined in a fixed order, so the sums are
// the same however the chunk was split into runs, provided every run but the
// chunk's last is a multiple of `lanes` frames. Independent lanes are also
// what lets the additions run as vector code: four lanes to a register, or
// eight with AVX2 where the processor has it — the same additions either way.
class StereoLaneSums {
public:
    static constexpr std::size_t lanes = 8;
    static constexpr std::size_t blockFrames = 1024;
    static constexpr std::size_t blocksPerGroup = 32;

    void add(const float* left, const float* right, std::size_t n);
    // The same for a run whose right channel is bit-identical to its left.
    // As long as every run of the chunk is, the right-hand sums and the dot
    // product equal the left-hand ones bit for bit, so only those are formed.
    void addIdentical(const float* samples, std::size_t n);
    // The chunk's sums; everything restarts from zero for the next chunk.
    BlockSums takeChunk();

private:
    // The lanes of each sum, in the order of BlockSums's fields.
    struct Level {
        float lane[5][lanes] = {};
        void addTo(Level& total) const;
        void mirrorLeft();
    };

    template <bool identical>
    void addRun(const float* left, const float* right, std::size_t n);
    template <bool identical>
    void addToBlock(const float* left, const float* right, std::size_t n);
    void closeBlock();
    void stopMirroring();

    Level block_, group_, chunk_;
    bool mirrored_ = true;       // right sums and dot not formed: they equal the left ones
    std::size_t blockFill_ = 0;  // frames in block_
    std::size_t groupFill_ = 0;  // blocks in group_
};

}  // namespace twinfold::kernels
