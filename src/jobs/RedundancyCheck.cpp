#include "jobs/RedundancyCheck.h"

#include <algorithm>
#include <cstring>

namespace twinfold {

RedundancyCheck::RedundancyCheck(const DroppedChannel& dropped, float silenceThreshold, std::int64_t totalFrames,
                                 std::uint32_t analysisBlockFrames)
    : dropped_(dropped),
      threshold_(silenceThreshold),
      totalFrames_(totalFrames),
      analysisBlockFrames_(std::max<std::uint32_t>(analysisBlockFrames, 1)) {}

bool RedundancyCheck::add(const SourceBlock& block) {
    if (!holds_) return false;
    const int c = dropped_.channel, ref = dropped_.reference;
    const std::uint32_t n = block.frames();
    switch (dropped_.reason) {
    case Redundancy::silent: holds_ = kernels::maxMagnitude(block.floats(c), n) <= threshold_; break;
    case Redundancy::identicalTo:
        // Stored integers where both have them: 32-bit samples can differ
        // below what a float shows.
        holds_ = block.isInt(c) && block.isInt(ref)
                     ? std::memcmp(block.ints(c), block.ints(ref), n * sizeof(std::int32_t)) == 0
                     : kernels::bitIdentical(block.floats(c), block.floats(ref), n);
        break;
    case Redundancy::invertedCopyOf:
        holds_ = kernels::maxMagnitudeOfSum(block.floats(c), block.floats(ref), n) <= threshold_;
        break;
    case Redundancy::scaledCopyOf: holds_ = addScaled(block); break;
    }
    return holds_;
}

// Feeds the lane sums exactly as the analysis did: left then right in file
// order, closing a chunk every analysisBlockFrames frames.
bool RedundancyCheck::addScaled(const SourceBlock& block) {
    const int left = std::min(dropped_.channel, dropped_.reference);
    const int right = std::max(dropped_.channel, dropped_.reference);
    const float* l = block.floats(left);
    const float* r = block.floats(right);
    for (std::uint32_t done = 0; done < block.frames();) {
        const auto run =
            std::uint32_t(std::min<std::uint64_t>(block.frames() - done, analysisBlockFrames_ - framesInBlock_));
        laneSums_.add(l + done, r + done, run);
        framesInBlock_ += run;
        done += run;
        if (framesInBlock_ == analysisBlockFrames_) {
            moments_.addBlock(laneSums_.takeChunk(), framesInBlock_);
            framesInBlock_ = 0;
        }
    }
    return true;
}

bool RedundancyCheck::holds() const {
    if (!holds_) return false;
    if (dropped_.reason != Redundancy::scaledCopyOf) return true;
    StereoMoments moments = moments_;
    if (framesInBlock_ > 0) {
        kernels::StereoLaneSums rest = laneSums_;
        moments.addBlock(rest.takeChunk(), framesInBlock_);
    }
    const auto verdict = decidePannedMono(moments, totalFrames_);
    // The kept channel must be the louder one: dropping the louder side of
    // a pan would keep a quieter copy than the user had.
    const bool referenceIsLeft = dropped_.reference < dropped_.channel;
    return verdict && (verdict->louderChannel == ChannelSelection::left) == referenceIsLeft;
}

std::string RedundancyCheck::failureText(const std::string& referenceName) const {
    switch (dropped_.reason) {
    case Redundancy::silent: return "is not silent";
    case Redundancy::identicalTo: return "is not identical to " + referenceName;
    case Redundancy::invertedCopyOf: return "is not an inverted copy of " + referenceName;
    case Redundancy::scaledCopyOf: return "is not a scaled copy of " + referenceName;
    }
    return {};
}

}  // namespace twinfold
