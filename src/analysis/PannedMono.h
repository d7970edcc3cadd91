#pragma once

#include "analysis/SampleKernels.h"
#include "records/ScanResult.h"

#include <cstdint>
#include <optional>

namespace twinfold {

// Whole-file moments of a stereo signal: each chunk's float sums, widened and
// added up in double. The float-per-chunk, double-across-chunks precision is
// part of the test's definition: the 0.99 decision can change otherwise.
struct StereoMoments {
    double sumL = 0, sumR = 0, sumSquaresL = 0, sumSquaresR = 0, dot = 0;
    std::int64_t frames = 0;

    void addChunk(const kernels::ChunkSums& chunk, std::uint64_t chunkFrames);
};

struct PannedMonoVerdict {
    ChannelSelection louderChannel;
    int panPercent;  // 1…100

    bool operator==(const PannedMonoVerdict&) const = default;
};

// Shorter files never count as panned mono: too few frames for a correlation.
constexpr std::int64_t minimumPannedMonoFrames = 1000;
constexpr float pannedMonoCorrelationThreshold = 0.99f;

// Panned mono when the channels' correlation is at least 0.99 (a positive
// correlation only, so an inverted copy is not panned mono). `totalFrames` is
// the file's length, `moments` what was read of it.
std::optional<PannedMonoVerdict> decidePannedMono(const StereoMoments& moments,
                                                  std::int64_t totalFrames);

}  // namespace twinfold
