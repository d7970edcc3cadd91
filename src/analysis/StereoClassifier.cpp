#include "analysis/StereoClassifier.h"

namespace twinfold {

namespace {

SilentChannelStatus silentChannel(const StereoFindings& f) {
    if (f.leftHasAudio && f.rightHasAudio) return SilentChannelStatus::none;
    if (f.leftHasAudio) return SilentChannelStatus::right;
    if (f.rightHasAudio) return SilentChannelStatus::left;
    return SilentChannelStatus::both;
}

}  // namespace

StereoVerdict decideStereo(const StereoFindings& f, std::int64_t totalFrames) {
    StereoVerdict v;
    v.silentChannel = silentChannel(f);
    if (v.silentChannel != SilentChannelStatus::none) return v;
    if (f.identical) {
        v.isDualMono = true;
        return v;
    }
    v.pannedMono = decidePannedMono(f.moments, totalFrames);
    if (v.pannedMono) return v;
    v.isPhaseInverted = !f.sumAboveThreshold;
    return v;
}

StereoClassifier::StereoClassifier(float silenceThresholdLinear, std::int64_t totalFrames)
    : threshold_(silenceThresholdLinear), totalFrames_(totalFrames) {}

void StereoClassifier::add(const float* left, const float* right, std::size_t n) {
    StereoFindings& f = found_;
    if (!f.leftHasAudio) f.leftHasAudio = kernels::maxMagnitude(left, n) > threshold_;
    if (!f.rightHasAudio) f.rightHasAudio = kernels::maxMagnitude(right, n) > threshold_;
    if (f.identical) f.identical = kernels::bitIdentical(left, right, n);
    if (!f.sumAboveThreshold) f.sumAboveThreshold = kernels::maxMagnitudeOfSum(left, right, n) > threshold_;
    if (f.identical) {
        blockSums_.addIdentical(left, n);
    } else {
        blockSums_.add(left, right, n);
    }
    blockFrames_ += n;
}

void StereoClassifier::endChunk() {
    found_.moments.addBlock(blockSums_.takeChunk(), blockFrames_);
    blockFrames_ = 0;
}

}  // namespace twinfold
