#include "analysis/StereoClassifier.h"

namespace twinfold {

StereoClassifier::StereoClassifier(float silenceThresholdLinear, std::int64_t totalFrames)
    : threshold_(silenceThresholdLinear), totalFrames_(totalFrames) {}

void StereoClassifier::add(const float* left, const float* right, std::size_t n) {
    if (!leftHasAudio_) leftHasAudio_ = kernels::maxMagnitude(left, n) > threshold_;
    if (!rightHasAudio_) rightHasAudio_ = kernels::maxMagnitude(right, n) > threshold_;
    if (identical_) identical_ = kernels::bitIdentical(left, right, n);
    if (!sumAboveThreshold_) sumAboveThreshold_ = kernels::maxMagnitudeOfSum(left, right, n) > threshold_;
    if (identical_) {
        blockSums_.addIdentical(left, n);
    } else {
        blockSums_.add(left, right, n);
    }
    blockFrames_ += n;
}

void StereoClassifier::endChunk() {
    moments_.addBlock(blockSums_.takeChunk(), blockFrames_);
    blockFrames_ = 0;
}

SilentChannelStatus StereoClassifier::silentChannel() const {
    if (leftHasAudio_ && rightHasAudio_) return SilentChannelStatus::none;
    if (leftHasAudio_) return SilentChannelStatus::right;
    if (rightHasAudio_) return SilentChannelStatus::left;
    return SilentChannelStatus::both;
}

StereoVerdict StereoClassifier::verdict() const {
    StereoVerdict v;
    v.silentChannel = silentChannel();
    if (v.silentChannel != SilentChannelStatus::none) return v;
    if (identical_) {
        v.isDualMono = true;
        return v;
    }
    v.pannedMono = decidePannedMono(moments_, totalFrames_);
    if (v.pannedMono) return v;
    v.isPhaseInverted = !sumAboveThreshold_;
    return v;
}

}  // namespace twinfold
