#pragma once

#include "analysis/SampleKernels.h"
#include "records/ScanResult.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace twinfold {

// Whole-file moments of a stereo signal. From float samples, each chunk's
// float sums widened and added up in double: the float-per-chunk,
// double-across-chunks precision is part of the test's definition, as the
// 0.99 decision can change otherwise. From 16-bit integer samples, exact
// integer sums scaled to full scale 1.0, which can only come closer to the
// samples' true correlation.
struct StereoMoments {
    double sumL = 0, sumR = 0, sumSquaresL = 0, sumSquaresR = 0, dot = 0;
    std::int64_t frames = 0;

    void addBlock(const kernels::BlockSums& chunk, std::uint64_t blockFrames);
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
std::optional<PannedMonoVerdict> decidePannedMono(const StereoMoments& moments, std::int64_t totalFrames);

// The kept (louder) side scaled to match the dropped side as closely as any
// gain can (least squares over the raw samples, no mean removed, so it is
// the same difference a sample-by-sample pass measures), and how much of the
// dropped side is left over: its RMS relative to the dropped side's RMS.
// Both come from the moments alone. The float sums behind them are good to a
// few parts in a million, so a figure below about −60 dB means "nothing but
// rounding"; a true pan re-quantised is far below that.
struct PanFit {
    double gain = 0;  // dropped ≈ gain × kept
    float relativedB = -std::numeric_limits<float>::infinity();
};
PanFit fitPan(const StereoMoments& moments, ChannelSelection louderChannel);

}  // namespace twinfold
