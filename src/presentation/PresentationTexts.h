#pragma once

// The words the window and the command line both show for a result: its
// format columns, its channels, and byte counts. One English copy, without
// Qt: a text is a pattern with numbered arguments, so the window can look
// the pattern up in the user's language and the command line prints it as is.

#include "records/AudioFileInfo.h"
#include "records/ChannelAnalysis.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace twinfold::presentation {

struct Text {
    std::string pattern;            // English, with %1, %2, … where the arguments go
    std::vector<std::string> args;  // figures, never words to translate

    // The pattern with its arguments in place.
    std::string english() const;
    bool operator==(const Text&) const = default;
};

Text channelsText(const AudioFileInfo& info);            // "2ch"
Text bitDepthText(const AudioFileInfo& info);            // "24-bit", or "Compressed" for a coded source
Text channelNumberText(const ChannelAnalysis& channel);  // "Ch 3"
Text channelPillText(const ChannelAnalysis& channel);    // "Silent", "Unique", "Dup of 1,3"
// "2 removable channels", "1 removable channel", or an empty pattern when nothing can go.
Text removableChannelsText(const MultichannelAnalysis& analysis);

// A byte count the way file managers show sizes: decimal units with one
// fraction digit ("3.6 MB"), plain bytes below a thousand ("512 bytes").
std::string byteCountText(std::int64_t bytes, std::string_view decimalPoint = ".");

}  // namespace twinfold::presentation
