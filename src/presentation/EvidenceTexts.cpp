#include "presentation/EvidenceTexts.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace twinfold {

namespace {

constexpr std::string_view minus = "\u2212";

// "−96.3", "0.0", "−∞": one decimal, a true minus sign.
std::string decibels(double value) {
    if (std::isinf(value)) return value < 0 ? std::string(minus) + "\u221E" : "\u221E";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::fabs(value));
    const bool negative = value < 0 && std::string_view(text) != "0.0";
    return (negative ? std::string(minus) : std::string()) + text;
}

// 47999 → "47,999".
std::string grouped(std::int64_t n) {
    std::string digits = std::to_string(n < 0 ? -n : n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return (n < 0 ? std::string(minus) : std::string()) + out;
}

std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string sideName(ChannelSelection side, bool capital) {
    if (side == ChannelSelection::left) return capital ? "Left" : "left";
    return capital ? "Right" : "right";
}

std::string thresholddBFS(const ScanResult& r) { return decibels(20.0 * std::log10(double(r.silenceThresholdLinear))); }

// "Channel 6 (Lav 2)", or "Channel 6" when the recorder named none.
std::string channelName(const ScanResult& r, int index) {
    std::string name = "Channel " + std::to_string(index + 1);
    const auto& channels = r.evidence.channels;
    if (index < int(channels.size()) && !channels[std::size_t(index)].trackName.empty())
        name += " (" + channels[std::size_t(index)].trackName + ")";
    return name;
}

// "Left and right differ only from frame 47,999 on, by at most −96.3 dBFS".
std::string differenceSentence(const PairEvidence& pair) {
    const std::string by = " by at most " + decibels(pair.maxDifferencedBFS) + " dBFS";
    if (pair.firstDifferingFrame.value_or(0) > 0)
        return "Left and right differ only from frame " + grouped(*pair.firstDifferingFrame) + " on," + by;
    return "Left and right differ" + by;
}

std::string panSentence(const ScanResult& r, ChannelSelection kept, float gaindB) {
    const ChannelSelection dropped = kept == ChannelSelection::left ? ChannelSelection::right : ChannelSelection::left;
    std::string text = sideName(dropped, true) + " is " + sideName(kept, false) + " \u00D7 " +
                       fixed(std::pow(10.0, double(gaindB) / 20.0), 2) + " (" + decibels(gaindB) + " dB)";
    if (r.panResidual && std::isfinite(r.panResidual->relativedB))
        text += "; the rest differs by " + decibels(r.panResidual->relativedB) + " dB";
    else if (r.panResidual)
        text += "; nothing else differs";
    return text;
}

std::vector<std::string> stereoSentences(const ScanResult& r) {
    const PairEvidence& pair = *r.evidence.pair;
    if (r.silentChannel == SilentChannelStatus::both)
        return {"Neither channel rises above " + thresholddBFS(r) + " dBFS"};
    if (r.silentChannel != SilentChannelStatus::none) {
        const bool right = r.silentChannel == SilentChannelStatus::right;
        return {std::string(right ? "Right" : "Left") + " never rises above " + thresholddBFS(r) + " dBFS"};
    }
    if (!pair.firstDifferingFrame) return {"Left and right are bit-identical"};
    std::vector<std::string> out;
    // A difference confined to the end (an edit, a fade) is the first thing
    // to know about a pair that is otherwise one signal.
    if (*pair.firstDifferingFrame > 0) out.push_back(differenceSentence(pair));
    if (r.isPannedMono && r.pannedMonoLouderChannel && pair.panGaindB) {
        out.push_back(panSentence(r, *r.pannedMonoLouderChannel, *pair.panGaindB));
    } else if (r.isPhaseInverted) {
        out.push_back("Left + right is silent everywhere: phase-inverted");
    } else {
        if (*pair.firstDifferingFrame == 0) out.push_back(differenceSentence(pair));
        out.push_back("Their correlation is " + fixed(pair.correlation, 3));
    }
    return out;
}

std::vector<std::string> multichannelSentences(const ScanResult& r) {
    std::vector<std::string> out;
    const MultichannelAnalysis& analysis = *r.multichannelAnalysis;
    for (const auto& group : analysis.duplicateGroups()) {
        for (std::size_t k = 1; k < group.size(); ++k)
            out.push_back(channelName(r, group[k]) + " duplicates " + "channel " + std::to_string(group.front() + 1));
    }
    for (int silent : analysis.silentChannelIndices()) out.push_back(channelName(r, silent) + " is silent");
    if (out.empty()) out.push_back("Every channel carries audio of its own");
    return out;
}

}  // namespace

std::vector<std::string> verdictSentences(const ScanResult& result) {
    if (result.unreadableReason) return {};
    if (result.multichannelAnalysis) return multichannelSentences(result);
    if (result.evidence.pair) return stereoSentences(result);
    return {};
}

}  // namespace twinfold
