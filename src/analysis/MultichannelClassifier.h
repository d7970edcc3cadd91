#pragma once

#include "records/ChannelAnalysis.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace twinfold {

// Peaks, silence and bit-identical channel pairs of a file with three or
// more channels, fed run by run. Pairs found different are never compared
// again, so a file whose channels all differ costs little beyond its peaks.
class MultichannelClassifier {
public:
    MultichannelClassifier(int channelCount, float silenceThresholdLinear);

    // `channels[c]` points at n samples of channel c.
    void add(const float* const* channels, std::size_t n);

    // One entry per channel, in channel order, with fresh ids.
    MultichannelAnalysis analysis() const;

private:
    ChannelAnalysis channelAnalysis(int channel) const;

    int channelCount_;
    float threshold_;
    std::vector<float> peaks_;
    // (i, j), i < j, ascending: the pairs identical in everything seen so far.
    std::vector<std::pair<int, int>> identicalPairs_;
};

}  // namespace twinfold
