#pragma once

#include <string_view>
#include <vector>

namespace twinfold {

// What to do with a phase-inverted stereo file, whose channels would cancel
// if summed. Listed in the order the options sheet shows them.
enum class PhaseFixOption { useLeft, useRight, splitToTwo };

// What to do with a multichannel file that has silent or duplicate channels.
enum class MultichannelConversionOption { splitAllToMono, removeRedundant };

// The option's title ("Use Left Channel", …) and the line under it in the sheet.
std::string_view title(PhaseFixOption option);
std::string_view optionDescription(PhaseFixOption option);
std::string_view title(MultichannelConversionOption option);
std::string_view optionDescription(MultichannelConversionOption option);

const std::vector<PhaseFixOption>& allPhaseFixOptions();
const std::vector<MultichannelConversionOption>& allMultichannelConversionOptions();

}  // namespace twinfold
