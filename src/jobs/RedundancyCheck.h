#pragma once

// Shows again, on a source as it is now, that a channel no output carries is
// redundant, by the rule that judged it during the scan. Plain C++; no Qt.

#include "analysis/PannedMono.h"
#include "analysis/SampleKernels.h"
#include "jobs/OutputVerifier.h"
#include "jobs/SourceBlock.h"

#include <cstdint>
#include <string>

namespace twinfold {

class RedundancyCheck {
public:
    // `analysisBlockFrames`: the chunk length the analysis summed over, so
    // the panned-mono sums come out exactly as the scan's did.
    RedundancyCheck(const DroppedChannel& dropped, float silenceThreshold, std::int64_t totalFrames,
                    std::uint32_t analysisBlockFrames);

    // False as soon as the block shows the channel is not redundant.
    bool add(const SourceBlock& block);
    // The verdict once every block has been added.
    bool holds() const;

    // "is not identical to channel 2 of a.wav", for the error message.
    std::string failureText(const std::string& referenceName) const;

private:
    bool addScaled(const SourceBlock& block);

    DroppedChannel dropped_;
    float threshold_;
    std::int64_t totalFrames_;
    std::uint32_t analysisBlockFrames_;
    bool holds_ = true;
    // The panned-mono sums, over the two channels in file order.
    kernels::StereoLaneSums laneSums_;
    std::uint64_t framesInBlock_ = 0;
    StereoMoments moments_;
};

}  // namespace twinfold
