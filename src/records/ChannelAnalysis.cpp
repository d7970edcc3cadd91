#include "records/ChannelAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace twinfold {

std::string labelForChannel(int index, int channelCount) {
    static const char* const surround51[] = {"L", "R", "C", "LFE", "Ls", "Rs"};
    static const char* const surround71[] = {"L", "R", "C", "LFE", "Ls", "Rs", "Lrs", "Rrs"};
    if (channelCount == 1) return "Mono";
    if (channelCount == 2) return index == 0 ? "L" : "R";
    if (channelCount == 6 && index >= 0 && index < 6) return surround51[index];
    if (channelCount == 8 && index >= 0 && index < 8) return surround71[index];
    return std::to_string(index + 1);
}

std::string ChannelAnalysis::peakText() const {
    if (isSilent) return "Silent";
    if (std::isinf(peakdBFS) && peakdBFS < 0) return "-inf dB";
    if (peakdBFS < -120) return "-inf dB";
    char text[64];
    std::snprintf(text, sizeof text, "%.1f dBFS", double(peakdBFS));
    return text;
}

std::set<int> MultichannelAnalysis::silentChannelIndices() const {
    std::set<int> silent;
    for (const auto& channel : channels) {
        if (channel.isSilent) silent.insert(channel.channelIndex);
    }
    return silent;
}

std::vector<std::vector<int>> MultichannelAnalysis::duplicateGroups() const {
    std::vector<std::vector<int>> groups;
    std::set<int> grouped;
    for (const auto& channel : channels) {
        if (grouped.count(channel.channelIndex) || channel.identicalToChannels.empty()) continue;
        std::vector<int> group{channel.channelIndex};
        group.insert(group.end(), channel.identicalToChannels.begin(), channel.identicalToChannels.end());
        std::sort(group.begin(), group.end());
        grouped.insert(group.begin(), group.end());
        groups.push_back(std::move(group));
    }
    return groups;
}

std::set<int> MultichannelAnalysis::removableChannelIndices() const {
    std::set<int> removable = silentChannelIndices();
    for (const auto& group : duplicateGroups()) removable.insert(group.begin() + 1, group.end());
    return removable;
}

std::string MultichannelAnalysis::summaryText() const {
    std::vector<std::string> parts;
    std::size_t silent = silentChannelIndices().size();
    if (silent > 0) parts.push_back(std::to_string(silent) + " silent ch");
    auto groups = duplicateGroups();
    if (!groups.empty()) {
        std::size_t duplicates = 0;
        for (const auto& group : groups) duplicates += group.size() - 1;
        parts.push_back(std::to_string(duplicates) + " duplicate ch");
    }
    std::string head = "Multichannel (" + std::to_string(channels.size()) + "ch) - ";
    if (parts.empty()) return head + "Unique";
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) joined += (i ? ", " : "") + parts[i];
    return head + joined;
}

}  // namespace twinfold
