#include "analysis/MultichannelClassifier.h"

#include "analysis/SampleKernels.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace twinfold {

MultichannelClassifier::MultichannelClassifier(int channelCount, float silenceThresholdLinear)
    : channelCount_(channelCount), threshold_(silenceThresholdLinear), peaks_(std::size_t(channelCount), 0.0f) {
    for (int i = 0; i < channelCount; ++i)
        for (int j = i + 1; j < channelCount; ++j) identicalPairs_.emplace_back(i, j);
}

void MultichannelClassifier::add(const float* const* channels, std::size_t n) {
    for (int c = 0; c < channelCount_; ++c) {
        peaks_[std::size_t(c)] = std::max(peaks_[std::size_t(c)], kernels::maxMagnitude(channels[c], n));
    }
    std::erase_if(identicalPairs_, [&](const std::pair<int, int>& p) {
        return !kernels::bitIdentical(channels[p.first], channels[p.second], n);
    });
}

ChannelAnalysis MultichannelClassifier::channelAnalysis(int channel) const {
    const float peak = peaks_[std::size_t(channel)];
    ChannelAnalysis a;
    a.id = Uuid::random();
    a.channelIndex = channel;
    a.channelLabel = labelForChannel(channel, channelCount_);
    // The peak is the largest magnitude anywhere, so this is "no sample
    // louder than the threshold".
    a.isSilent = !(peak > threshold_);
    a.peakdBFS = peak > 0 ? 20.0f * std::log10(peak) : -std::numeric_limits<float>::infinity();
    // The pairs are in ascending (i, j) order: (0, c) … (c-1, c) come before
    // (c, c+1) …, so each list comes out ascending.
    for (const auto& [i, j] : identicalPairs_) {
        if (i == channel) a.identicalToChannels.push_back(j);
        if (j == channel) a.identicalToChannels.push_back(i);
    }
    return a;
}

MultichannelAnalysis MultichannelClassifier::analysis() const {
    MultichannelAnalysis result;
    for (int c = 0; c < channelCount_; ++c) result.channels.push_back(channelAnalysis(c));
    return result;
}

}  // namespace twinfold
