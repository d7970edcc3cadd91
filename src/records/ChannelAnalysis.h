#pragma once

#include "records/Uuid.h"

#include <set>
#include <string>
#include <vector>

namespace twinfold {

// The label of a channel in a file of `channelCount` channels: speaker names
// for mono, stereo, 5.1 and 7.1, the 1-based number otherwise.
std::string labelForChannel(int index, int channelCount);

// One channel of a file with three or more channels.
struct ChannelAnalysis {
    Uuid id;
    int channelIndex = 0;
    std::string channelLabel;
    bool isSilent = false;
    float peakdBFS = 0;                    // minus infinity for a zero peak
    std::vector<int> identicalToChannels;  // bit-identical partners, ascending

    std::string peakText() const;  // "Silent", "-inf dB" or "-6.0 dBFS"

    bool operator==(const ChannelAnalysis&) const = default;
};

// The channels of a multichannel file and what can be removed from it.
struct MultichannelAnalysis {
    std::vector<ChannelAnalysis> channels;

    std::set<int> silentChannelIndices() const;
    // Groups of bit-identical channels, each ascending; the first member is kept.
    std::vector<std::vector<int>> duplicateGroups() const;
    // Silent channels plus every duplicate beyond the first of its group.
    std::set<int> removableChannelIndices() const;
    std::string summaryText() const;

    bool operator==(const MultichannelAnalysis&) const = default;
};

}  // namespace twinfold
