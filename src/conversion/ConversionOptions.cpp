#include "conversion/ConversionOptions.h"

namespace twinfold {

std::string_view title(PhaseFixOption option) {
    switch (option) {
    case PhaseFixOption::useLeft: return "Use Left Channel";
    case PhaseFixOption::useRight: return "Use Right Channel";
    case PhaseFixOption::splitToTwo: return "Split to Two Mono Files";
    }
    return {};
}

std::string_view optionDescription(PhaseFixOption option) {
    switch (option) {
    case PhaseFixOption::useLeft: return "Create a mono file using only the left channel";
    case PhaseFixOption::useRight: return "Create a mono file using only the right channel";
    case PhaseFixOption::splitToTwo: return "Create two separate mono files (filename_L and filename_R)";
    }
    return {};
}

std::string_view title(MultichannelConversionOption option) {
    switch (option) {
    case MultichannelConversionOption::splitAllToMono: return "Split All Channels to Mono";
    case MultichannelConversionOption::removeRedundant: return "Remove Redundant Channels";
    }
    return {};
}

std::string_view optionDescription(MultichannelConversionOption option) {
    switch (option) {
    case MultichannelConversionOption::splitAllToMono: return "Create individual mono files for every channel";
    case MultichannelConversionOption::removeRedundant:
        return "Remove silent and duplicate channels, keeping unique content";
    }
    return {};
}

const std::vector<PhaseFixOption>& allPhaseFixOptions() {
    static const std::vector<PhaseFixOption> all{PhaseFixOption::useLeft, PhaseFixOption::useRight,
                                                 PhaseFixOption::splitToTwo};
    return all;
}

const std::vector<MultichannelConversionOption>& allMultichannelConversionOptions() {
    static const std::vector<MultichannelConversionOption> all{MultichannelConversionOption::splitAllToMono,
                                                               MultichannelConversionOption::removeRedundant};
    return all;
}

}  // namespace twinfold
