#include "presentation/PresentationTexts.h"

#include "records/SourceFormat.h"

#include <cmath>
#include <cstdio>

namespace twinfold::presentation {

std::string Text::english() const {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const std::size_t index = std::size_t(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
            out += args[index];
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

Text channelsText(const AudioFileInfo& info) { return {"%1ch", {std::to_string(info.channelCount)}}; }

Text bitDepthText(const AudioFileInfo& info) {
    if (info.sourceFormatID != kFormatLinearPCM) return {"Compressed", {}};
    // What is stored: an 8-bit WAV is written as 8-bit, a float file as float.
    const int bits = info.storedBits > 0 ? info.storedBits : info.bitDepth;
    if (info.isFloat) return {"%1-bit float", {std::to_string(bits)}};
    return {"%1-bit", {std::to_string(bits)}};
}

Text channelNumberText(const ChannelAnalysis& channel) { return {"Ch %1", {std::to_string(channel.channelIndex + 1)}}; }

Text channelPillText(const ChannelAnalysis& channel) {
    if (channel.isSilent) return {"Silent", {}};
    if (channel.identicalToChannels.empty()) return {"Unique", {}};
    std::string numbers;
    for (int index : channel.identicalToChannels) {
        if (!numbers.empty()) numbers += ',';
        numbers += std::to_string(index + 1);
    }
    return {"Dup of %1", {numbers}};
}

Text removableChannelsText(const MultichannelAnalysis& analysis) {
    const auto count = analysis.removableChannelIndices().size();
    if (count == 0) return {};
    if (count == 1) return {"1 removable channel", {}};
    return {"%1 removable channels", {std::to_string(count)}};
}

std::string byteCountText(std::int64_t bytes, std::string_view decimalPoint) {
    static constexpr const char* units[] = {"bytes", "kB", "MB", "GB", "TB", "PB", "EB"};
    const double magnitude = std::abs(double(bytes));
    int power = 0;
    while (power < 6 && magnitude >= std::pow(1000.0, power + 1)) ++power;
    if (power == 0) return std::to_string(bytes) + " " + units[0];
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", double(bytes) / std::pow(1000.0, power));
    std::string text = number;
    if (const auto dot = text.find('.'); dot != std::string::npos) text.replace(dot, 1, decimalPoint);
    return text + " " + units[power];
}

}  // namespace twinfold::presentation
