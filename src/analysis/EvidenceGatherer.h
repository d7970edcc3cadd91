#pragma once

#include "analysis/Int16Kernels.h"
#include "analysis/PannedMono.h"
#include "analysis/SampleKernels.h"
#include "records/FileEvidence.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace twinfold {

// The min/max overview of one channel, fed run by run in frame order.
class OverviewBuilder {
public:
    explicit OverviewBuilder(std::int64_t totalFrames);
    void add(const float* samples, std::size_t n);
    // The column the next frame falls in, and how many of the next n frames
    // stay in it (at least 1).
    struct Span {
        std::size_t column, frames;
    };
    Span nextSpan(std::size_t n) const;
    // The range of a column; advance() moves past frames added to it by hand.
    float& minimum(std::size_t column) { return overview_.minima[column]; }
    float& maximum(std::size_t column) { return overview_.maxima[column]; }
    void advance(std::size_t frames) { position_ += std::int64_t(frames); }
    // The largest magnitude seen (every sample lands in some column).
    float peak() const;
    // Columns no frame fell in (a file shorter than its columns, or one
    // whose data ends early) read 0, 0.
    ChannelOverview take();

private:
    std::int64_t totalFrames_;
    std::int64_t position_ = 0;
    ChannelOverview overview_;
};

// The measurements behind a verdict, gathered in the analysis's own pass.
// Everything here is cheap next to decoding: a min/max per channel, for two
// channels the largest sum and difference (one fused pass with the min/max)
// and one goniometer point every `goniometerStride` frames (tens of
// thousands of points a minute, plenty for a density picture; a point per
// frame would cost more than all the rest), and for three or more channels
// per-channel float sums built like the stereo moments.
class EvidenceGatherer {
public:
    static constexpr std::int64_t goniometerStride = 32;

    EvidenceGatherer(int channelCount, std::int64_t totalFrames, float silenceThresholdLinear);

    // Two channels: the stereo moments supply levels and correlation.
    void addPair(const float* left, const float* right, std::size_t n);
    // Two channels of 16-bit integer samples (full scale 32768): the same
    // figures, no sample turned into a float, and exact sums besides.
    void addPair16(const std::int16_t* left, const std::int16_t* right, std::size_t n);
    // Three or more channels.
    void addChannels(const float* const* channels, std::size_t n);
    void endChunk();

    // The light numbers; `moments` for two channels (nullptr otherwise),
    // `panGain` (dropped = gain × kept) for a panned verdict.
    FileEvidence evidence(const StereoMoments* moments, std::optional<double> panGain) const;
    EvidencePictures takePictures();

    // What the stereo tests need of two channels fed through addPair16.
    bool hasAudio(int channel) const;
    float largestSum() const { return largestSum_; }
    bool identical() const { return !firstDifference_; }
    // The stereo moments from the exact integer sums.
    StereoMoments exactMoments() const;

private:
    ChannelEvidence channelEvidence(int channel, double sum, double sumSquares, std::int64_t frames) const;

    int channelCount_;
    float threshold_;
    std::int64_t framesSeen_ = 0;
    std::vector<OverviewBuilder> overviews_;
    // Two channels.
    float largestSum_ = 0, largestDifference_ = 0;
    std::optional<std::int64_t> firstDifference_;
    std::vector<std::uint32_t> goniometer_;
    kernels::Int16PairSums sums16_;
    // Three or more channels: per-channel chunk sums widened into doubles.
    std::vector<kernels::StereoLaneSums> laneSums_;
    std::vector<double> sums_, sumSquares_;
};

}  // namespace twinfold
