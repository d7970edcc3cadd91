#pragma once

#include "analysis/PannedMono.h"
#include "analysis/SampleKernels.h"
#include "records/ScanResult.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace twinfold {

// What the stereo tests decide, in the order they take precedence.
struct StereoVerdict {
    SilentChannelStatus silentChannel = SilentChannelStatus::none;
    bool isDualMono = false;
    std::optional<PannedMonoVerdict> pannedMono;
    bool isPhaseInverted = false;

    bool operator==(const StereoVerdict&) const = default;
};

// What the four tests read from a file, and all they decide from.
struct StereoFindings {
    bool leftHasAudio = false, rightHasAudio = false;
    bool identical = true;           // bit for bit, so +0 and −0 differ
    bool sumAboveThreshold = false;  // some |l + r| is above the threshold
    StereoMoments moments;
};

// The findings combined in the order the tests take precedence;
// `totalFrames` is the file's length.
StereoVerdict decideStereo(const StereoFindings& findings, std::int64_t totalFrames);

// All four stereo tests in one sweep over the file. The tests are defined as
// separate passes, each reading the file from the start: silent channel, then
// dual mono, then panned mono, then phase inversion, the first positive one
// deciding. Every pass's figures depend only on the samples, so they are
// gathered together here and combined in that order at the end, which gives
// exactly the outcome of the separate passes while decoding the file once.
// A figure stops being computed as soon as its test is decided; the moments
// are formed for every file, short ones too, as they also give the levels
// and correlation the evidence reports.
class StereoClassifier {
public:
    StereoClassifier(float silenceThresholdLinear, std::int64_t totalFrames);

    // The next run of samples of the current chunk. Every run but a chunk's
    // last must be a multiple of kernels::StereoLaneSums::lanes frames.
    void add(const float* left, const float* right, std::size_t n);
    // Closes the current chunk: its float sums go into the double moments.
    void endChunk();

    // The verdict for the samples seen, taken as the whole file.
    StereoVerdict verdict() const { return decideStereo(found_, totalFrames_); }
    // What the samples seen show, the whole-file moments among it.
    const StereoFindings& findings() const { return found_; }

private:
    float threshold_;
    std::int64_t totalFrames_;
    StereoFindings found_;
    kernels::StereoLaneSums blockSums_;
    std::uint64_t blockFrames_ = 0;
};

}  // namespace twinfold
